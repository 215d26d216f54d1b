#include "window/image_reference.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace morvex {
namespace {

using Kind = ImageReference::Kind;

std::vector<uint8_t> numeric(uint8_t kind, uint16_t stored) {
    return {0, 0, 0xFF, kind, static_cast<uint8_t>(stored), static_cast<uint8_t>(stored >> 8)};
}
std::vector<uint8_t> named(std::string_view name) {
    const std::string text = std::string(2, '\0') + std::string(name) + '\0';
    return std::vector<uint8_t>(text.begin(), text.end());
}

struct Case {
    const char* label;
    std::vector<uint8_t> block; // the reference at offset 2
    ImageUse use;
    ImageReference expected;
};

class ImageReferenceTest : public ::testing::TestWithParam<Case> {};

TEST_P(ImageReferenceTest, Resolves) {
    const Case& c = GetParam();
    EXPECT_EQ(ResolveImageReference(wdf::ByteView(c.block), 2, c.use, "mod"), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ImageReferenceTest,
    ::testing::Values(
        Case{"StandardApplicationIcon", numeric(1, 32513), ImageUse::Icon, {Kind::System, "", 0, 32512, ""}},
        Case{"StoredZeroIsNone", numeric(1, 0), ImageUse::Icon, {}},
        Case{"ResourceByNumber", numeric(2, 32532), ImageUse::Icon, {Kind::Resource, "", 0, 32531, "mod"}},
        Case{"UnknownKindIsNone", numeric(3, 17), ImageUse::Icon, {}},
        Case{"CursorReplacement32641", numeric(1, 32641), ImageUse::Cursor, {Kind::System, "", 0, 32646, ""}},
        Case{"CursorReplacement32642", numeric(1, 32642), ImageUse::Cursor, {Kind::System, "", 0, 32512, ""}},
        Case{"IconsAreNotReplaced", numeric(1, 32642), ImageUse::Icon, {Kind::System, "", 0, 32641, ""}},
        Case{"LinkedName", named("~wizok.ico"), ImageUse::Icon, {Kind::Linked, "WIZOK_ICO", 0, 0, "mod"}},
        Case{"EveryDotBecomesUnderscore",
             named("~a.b.c"),
             ImageUse::Picture,
             {Kind::Linked, "A_B_C", 0, 0, "mod"}},
        Case{"IconFile", named("EXIT2.ICO"), ImageUse::Icon, {Kind::File, "EXIT2.ICO", 0, 0, ""}},
        Case{"IconFileIndex", named("shell.dll[12]"), ImageUse::Icon, {Kind::File, "shell.dll", 12, 0, ""}},
        Case{"MalformedIndexIsPartOfTheName", named("a[x]"), ImageUse::Icon, {Kind::File, "a[x]", 0, 0, ""}},
        Case{"CursorFileIsTheArrow", named("HAND.CUR"), ImageUse::Cursor, {Kind::System, "", 0, 32512, ""}},
        Case{"LinkedCursor", named("~hand.cur"), ImageUse::Cursor, {Kind::Linked, "HAND_CUR", 0, 0, "mod"}},
        Case{"TildeAloneIsNone", named("~"), ImageUse::Icon, {}},
        Case{"TruncatedNumericIsNone", std::vector<uint8_t>{0, 0, 0xFF, 1, 1}, ImageUse::Icon, {}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ImageReferenceTest, OffsetZeroOrOutsideIsNone) {
    const std::vector<uint8_t> block = named("X.ICO");
    EXPECT_EQ(ResolveImageReference(wdf::ByteView(block), 0, ImageUse::Icon, "m").kind, Kind::None);
    EXPECT_EQ(ResolveImageReference(wdf::ByteView(block), 99, ImageUse::Icon, "m").kind, Kind::None);
}

TEST(ImageReferenceTest, ACallerMayAskForALinkedImage) {
    const std::vector<uint8_t> block = named("x.ico");
    EXPECT_EQ(ResolveImageReference(wdf::ByteView(block), 2, ImageUse::Icon, "m", true),
              (ImageReference{Kind::Linked, "X_ICO", 0, 0, "m"}));
}

} // namespace
} // namespace morvex
