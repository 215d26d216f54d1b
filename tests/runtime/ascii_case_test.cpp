// ASCII case folding: the 26 letter pairs and nothing else, whatever the
// character tables hold for the rest of the Windows character set.
#include "runtime/ascii_case.h"
#include "runtime/char_tables.h"

#include <gtest/gtest.h>

namespace morvex {
namespace {

TEST(AsciiCase, FoldsTheLettersAndNothingElse) {
    for (int c = 0; c < 256; ++c) {
        const char ch = static_cast<char>(c);
        const bool lower = c >= 'a' && c <= 'z';
        const bool upper = c >= 'A' && c <= 'Z';
        EXPECT_EQ(AsciiUpper(ch), lower ? static_cast<char>(c - 32) : ch) << c;
        EXPECT_EQ(AsciiLower(ch), upper ? static_cast<char>(c + 32) : ch) << c;
    }
}

TEST(AsciiCase, LeavesWindowsLettersToTheCharacterTables) {
    // The default tables pair only ASCII letters; tables that pair "ä" with
    // "Ä" change the runtime's folding of program text, never this one.
    CharTables tables = CharTables::Defaults();
    tables.case_partner[0xE4] = 0xC4;
    tables.case_partner[0xC4] = 0xE4;
    tables.char_class[0xE4] = CharLower;
    tables.char_class[0xC4] = CharUpper;
    SetCharTables(tables);
    EXPECT_EQ(ToUpperChar(0xE4), 0xC4);
    EXPECT_EQ(AsciiUpper("m\xE4rz"), "M\xE4RZ");
    EXPECT_FALSE(EqualsIgnoringAsciiCase("\xE4", "\xC4"));
    SetCharTables(CharTables::Defaults());
}

TEST(AsciiCase, ComparesWholeTextsWithoutCase) {
    EXPECT_TRUE(EqualsIgnoringAsciiCase("EVENT:Accepted", "event:ACCEPTED"));
    EXPECT_TRUE(EqualsIgnoringAsciiCase("", ""));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("Ctrl", "Ctrl+"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("@", "`")); // differ by the case bit, but are no letters
    EXPECT_EQ(AsciiLower("MvxList_RSC"), "mvxlist_rsc");
}

} // namespace
} // namespace morvex
