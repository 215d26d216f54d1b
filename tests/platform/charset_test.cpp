#include "platform/charset.h"

#include <gtest/gtest.h>

namespace morvex::platform {
namespace {

TEST(Charset, LettersSurviveTheTripThroughTheOemSet) {
    // Every Latin-1 letter exists in code page 850.
    for (int c = 0xC0; c <= 0xFF; ++c) {
        if (c == 0xD7 || c == 0xF7)
            continue;
        const auto windows = static_cast<uint8_t>(c);
        EXPECT_EQ(oem_to_windows(windows_to_oem(windows)), windows) << c;
    }
    EXPECT_EQ(windows_to_oem(0xE9), 0x82);
    EXPECT_EQ(oem_to_windows(0x9A), 0xDC);
    EXPECT_EQ(oem_to_windows(0xC4), '-'); // box drawing has no Windows equivalent
    EXPECT_EQ(windows_to_oem(0x8A), 'S');
    EXPECT_EQ(windows_to_oem("abc"), "abc");
}

TEST(Charset, CasePairsOfWindows1252) {
    EXPECT_TRUE(is_upper_letter(0xC9));
    EXPECT_EQ(lower_of(0xC9), 0xE9);
    EXPECT_EQ(lower_of(0x9F), 0xFF);
    EXPECT_FALSE(is_upper_letter(0xDF));
    EXPECT_FALSE(is_upper_letter(0xD7));
    EXPECT_FALSE(is_upper_letter('A')); // ASCII is the runtime's own default
}

TEST(Charset, SortOrderListsEveryCharacterOnce) {
    const auto order = one_character_sort_order();
    ASSERT_EQ(order.size(), 254u);
    std::array<bool, 256> seen{};
    for (uint8_t c : order) {
        EXPECT_FALSE(seen[c]);
        seen[c] = true;
    }
    EXPECT_FALSE(seen[0]);
    EXPECT_FALSE(seen[255]);
}

TEST(Charset, Utf8AtTheEdges) {
    EXPECT_EQ(utf8_to_windows1252("caf\xc3\xa9 \xe2\x82\xac \xe4\xb8\xad"), "caf\xe9 \x80 ?");
    EXPECT_EQ(utf8_to_windows1252("\xc3"), "?");
    EXPECT_EQ(windows1252_to_utf8("caf\xe9 \x80"), "caf\xc3\xa9 \xe2\x82\xac");
    EXPECT_EQ(utf16_to_windows1252(u"\u0160\xd800"), "\x8a?");
}

TEST(Charset, ExactUtf8ConversionKeepsEveryWindowsCharacter) {
    for (int c = 1; c < 256; ++c) {
        const std::string windows(1, static_cast<char>(c));
        EXPECT_EQ(utf8_to_windows1252_exact(windows1252_to_utf8(windows)), windows) << c;
    }
}

TEST(Charset, ExactUtf8ConversionRefusesWhatWindowsCannotHold) {
    struct Row {
        std::string_view text;
        std::size_t offset;
    };
    const Row rows[] = {
        {"caf\xc3\xa9 \xe4\xb8\xad", 6}, // a character beyond Windows-1252
        {"ab\xc3", 2},                   // a cut sequence
        {"\x80x", 0},                    // a stray continuation byte
        {"a\xc0\x80", 1},                // an overlong form
        {"\xed\xa0\x80", 0},             // a surrogate
    };
    for (const Row& row : rows) {
        std::size_t offset = 99;
        EXPECT_EQ(utf8_to_windows1252_exact(row.text, &offset), std::nullopt) << row.text;
        EXPECT_EQ(offset, row.offset) << row.text;
    }
}

} // namespace
} // namespace morvex::platform
