#include "window/open_windows.h"

#include <gtest/gtest.h>

namespace morvex {
namespace {

TEST(OpenWindowsTest, AWindowIsOpenUntilClosed) {
    int window = 0;
    EXPECT_FALSE(IsWindowOpen(&window));
    EXPECT_TRUE(TryMarkWindowOpen(&window));
    EXPECT_TRUE(IsWindowOpen(&window));
    EXPECT_FALSE(TryMarkWindowOpen(&window));
    MarkWindowClosed(&window);
    EXPECT_FALSE(IsWindowOpen(&window));
    MarkWindowOpen(&window); // may open again once closed
    MarkWindowClosed(&window);
}

TEST(OpenWindowsDeathTest, OpeningAnOpenWindowHaltsWith535) {
    EXPECT_EXIT(
        {
            int window = 0;
            MarkWindowOpen(&window);
            MarkWindowOpen(&window);
        },
        ::testing::ExitedWithCode(2), "Window is already open");
}

} // namespace
} // namespace morvex
