#include "platform/backend_choice.h"

#include <gtest/gtest.h>

namespace morvex::platform {
namespace {

TEST(ChooseBackend, OptionWinsOverTheDisplay) {
    EXPECT_EQ(choose_backend("headless", ":0"), BackendKind::Headless);
    EXPECT_EQ(choose_backend("x11", nullptr), BackendKind::X11);
}

TEST(ChooseBackend, WithoutAnOptionADisplayMeansX11) {
    EXPECT_EQ(choose_backend("", ":3"), BackendKind::X11);
    EXPECT_EQ(choose_backend("", ""), BackendKind::Headless);
    EXPECT_EQ(choose_backend("", nullptr), BackendKind::Headless);
}

TEST(ChooseBackend, UnknownNamesAreRefused) {
    EXPECT_EQ(choose_backend("X11", ":0"), std::nullopt);
    EXPECT_EQ(choose_backend("wayland", ":0"), std::nullopt);
}

} // namespace
} // namespace morvex::platform
