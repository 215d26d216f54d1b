#include "platform/os_error.h"
#include "runtime/char_tables.h"
#include "runtime/date.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/locale.h"
#include "runtime/picture.h"
#include "runtime/text_compare.h"
#include "tests/support/temp_directory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace morvex {
namespace {

class EnvironmentTest : public ::testing::Test {
protected:
    void SetUp() override { ResetLocale(); }
    void TearDown() override {
        ResetLocale();
        ClearError();
    }
};

TEST_F(EnvironmentTest, MonthNamesReplaceOnlyTheGivenOnes) {
    ApplyEnvironmentText("MVXMONTH=Januar,Februar,Maerz\r\n");
    EXPECT_EQ(MonthName(1), "Januar");
    EXPECT_EQ(MonthName(3), "Maerz");
    EXPECT_EQ(MonthName(4), "April");
    ApplyEnvironmentText("MVXMONTH=Alpha,,Gamma\nMVXMON=JANVIER,FEV\n");
    EXPECT_EQ(MonthName(1), "Alpha");
    EXPECT_EQ(MonthName(3), "Maerz"); // an empty item ends the list
    EXPECT_EQ(MonthAbbreviation(1), "JAN");
    EXPECT_EQ(MonthAbbreviation(2), "FEV");
    ApplyEnvironmentText("MVXMONTH=AVeryLongMonthName\n");
    EXPECT_EQ(MonthName(1), "AVeryLongMon");
}

TEST_F(EnvironmentTest, ValueSyntaxDecodesCharacterCodes) {
    ApplyEnvironmentText("MVXMSG30=<65><<B\n");
    EXPECT_EQ(MessageReplacement(30), "A<B");
    ApplyEnvironmentText("MVXMSG31=<65x<b<<<\n");
    EXPECT_EQ(MessageReplacement(31), "A<b<<"); // the character ending a number is consumed
    ApplyEnvironmentText("MVXMSG32=trailing  \t \n");
    EXPECT_EQ(MessageReplacement(32), "trailing");
    ApplyEnvironmentText("MVXMSG33=a, \"quoted\", text\n");
    EXPECT_EQ(MessageReplacement(33), "a, \"quoted\", text"); // one item, quotes kept
}

TEST_F(EnvironmentTest, MessageReplacementsAreLookedUpNewestFirst) {
    ApplyEnvironmentText("MVXMSG30=Eintrag nicht gefunden\nmvxmsg30 = Kein Eintrag\n");
    EXPECT_EQ(MessageReplacement(30), " Kein Eintrag"); // only trailing blanks go
    SetError(ErrEntryNotFound);
    EXPECT_EQ(ErrorText(), "Kein Eintrag");
    EXPECT_EQ(MessageReplacement(35), std::nullopt);
}

TEST_F(EnvironmentTest, AmPmTextsAndWindows) {
    ApplyEnvironmentText("MVXAMPM=vorm,nachm\n");
    EXPECT_EQ(RuntimeAmPm(false), "vo");
    EXPECT_EQ(RuntimeAmPm(true), "na");
    IntlSettings settings;
    settings.s1159 = "a";
    settings.s2359 = "p";
    ApplyLocale(settings);
    ApplyEnvironmentText("MVXAMPM=WINDOWS\n");
    EXPECT_EQ(RuntimeAmPm(false), "a");
    EXPECT_EQ(RuntimeAmPm(true), "p");
}

TEST_F(EnvironmentTest, CollationSequenceRules) {
    ApplyEnvironmentText("MVXCOLSEQ=ba\n");
    EXPECT_EQ(Chars().collation['a'], 'b');
    EXPECT_EQ(Chars().collation['b'], 'a');
    EXPECT_EQ(Chars().collation['c'], 'c');

    // A full sequence of the 222 printable characters receives 32..126, 128..254.
    std::string full;
    for (int c = 126; c >= 33; --c)
        full += static_cast<char>(c);
    full += ' ';
    for (int c = 254; c >= 128; --c)
        full += static_cast<char>(c);
    ASSERT_EQ(full.size(), 222u);
    ApplyEnvironmentText("MVXCOLSEQ=" + full + "\n");
    EXPECT_EQ(Chars().collation[126], 32);
    EXPECT_EQ(Chars().collation[' '], 126);
    EXPECT_EQ(Chars().collation[254], 128);
    EXPECT_EQ(Chars().collation[128], 254);
    EXPECT_EQ(Chars().collation[127], 127);
    EXPECT_EQ(Chars().collation[10], 10);

    // Repeats are dropped and the rest share their own codes' weights.
    ApplyEnvironmentText("MVXCOLSEQ=zaz\n");
    EXPECT_EQ(Chars().collation['z'], 'a');
    EXPECT_EQ(Chars().collation['a'], 'z');

    ApplyEnvironmentText("MVXCOLSEQ=\n");
    EXPECT_TRUE(TextOrderIsBytewise());
}

TEST_F(EnvironmentTest, WindowsCollationSortsLettersTogether) {
    ApplyEnvironmentText("MVXCOLSEQ=WINDOWS\n");
    EXPECT_LT(CompareText("a", "B"), 0);
    EXPECT_LT(CompareText("B", "c"), 0);
    EXPECT_LT(CompareText("e", "\xe9"), 0);
    EXPECT_LT(CompareText("\xe9", "f"), 0);
    EXPECT_LT(CompareText("9", "a"), 0);
}

TEST_F(EnvironmentTest, CasePairsAboveAscii) {
    ApplyEnvironmentText("MVXCASE=\xc0\xc1,\xe0\xe1\n");
    EXPECT_EQ(Chars().case_partner[0xC0], 0xE0);
    EXPECT_EQ(Chars().char_class[0xE1], CharLower);
    EXPECT_EQ(Chars().case_partner[0xC9], 0);
    ApplyEnvironmentText("MVXCASE=\xc0\xc1,\xe0\n"); // unequal lengths: the platform's pairs
    EXPECT_EQ(Chars().case_partner[0xC9], 0xE9);
    EXPECT_EQ(Chars().case_partner[0x8A], 0x9A);
    ApplyEnvironmentText("MVXCASE=\n");
    EXPECT_EQ(Chars().case_partner[0xC0], 0);
    EXPECT_EQ(Chars().case_partner['A'], 'a');
}

TEST_F(EnvironmentTest, ButtonsLongFileNamesAndUnknownLines) {
    ApplyEnvironmentText("MVXBUTTON=Gut,,&Nein\nMVXLFN=On\nNOEQUALSIGN\nMVXUNKNOWN=1\n"
                         "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456=x\n");
    EXPECT_EQ(ButtonCaption(0), "Gut");
    EXPECT_EQ(ButtonCaption(1), "&Yes");
    EXPECT_EQ(ButtonCaption(2), "&Nein");
    EXPECT_EQ(ButtonCaption(6), "Cancel");
    EXPECT_TRUE(LongFileNames());
    ApplyEnvironmentText("MVX LFN = off\n"); // spaces in keys are dropped
    EXPECT_FALSE(LongFileNames());
}

TEST_F(EnvironmentTest, CtrlZEndsTheFile) {
    ApplyEnvironmentText("MVXMSG40=before\n\x1aMVXMSG41=after\n");
    EXPECT_EQ(MessageReplacement(40), "before");
    EXPECT_EQ(MessageReplacement(41), std::nullopt);
}

TEST_F(EnvironmentTest, OemValuesAreConvertedAfterTheCharsetKey) {
    ApplyEnvironmentText("MVXMSG50=\x82\nMVXCHARSET=OEM\nMVXMSG51=\x82t\x82\n");
    EXPECT_TRUE(OemCharset());
    EXPECT_EQ(MessageReplacement(50), "\x82");
    EXPECT_EQ(MessageReplacement(51), "\xe9t\xe9");
}

TEST_F(EnvironmentTest, DigraphsTakeThreeCharacterItems) {
    ApplyEnvironmentText("MVXDIGRAPH=\xe6"
                         "ae,\xf8oe\n");
    ASSERT_EQ(Chars().digraph_count, 2u);
    EXPECT_EQ(Chars().digraphs[1].character, 0xF8);
    EXPECT_EQ(Chars().oem_digraphs[0].character, 0x91); // the ligature in the OEM set
    ApplyEnvironmentText("MVXDIGRAPH=\xe6"
                         "ae\xf8oe\n");
    EXPECT_EQ(Chars().digraph_count, 2u);
}

TEST_F(EnvironmentTest, FilesAreReadAndMissingOnesReported) {
    const testing::TempDirectory directory("morvex_environment");
    const std::string path = directory.file("test.ENV");
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("MVXMONTH=Jan1\n", file);
    std::fclose(file);
    EXPECT_TRUE(ApplyEnvironmentFile(path));
    EXPECT_EQ(MonthName(1), "Jan1");
    std::remove(path.c_str());
    EXPECT_FALSE(ApplyEnvironmentFile(path));
    EXPECT_EQ(ErrorCode(), OsErrorNumber(platform::OsFileNotFound));
}

TEST_F(EnvironmentTest, WhatIsNotAReadableFileIsReportedNotThrown) {
    testing::TempDirectory directory;
    ASSERT_EQ(mkfifo(directory.file("fifo.ENV").c_str(), 0600), 0);
    struct Row {
        std::string path;
        int32_t error;
    };
    const Row rows[] = {
        {directory.path(), OsErrorNumber(platform::OsAccessDenied)},               // a directory
        {directory.file("fifo.ENV"), OsErrorNumber(platform::OsInvalidParameter)}, // not a regular file
        {directory.file("missing.ENV"), OsErrorNumber(platform::OsFileNotFound)},
    };
    for (const Row& row : rows) {
        EXPECT_FALSE(ApplyEnvironmentFile(row.path)) << row.path;
        EXPECT_EQ(ErrorCode(), row.error) << row.path;
    }
    ClearError();
}

// The environment file beside the program is optional: a directory in its
// place is skipped like a missing file. Run in a fresh process, since the
// start-up step runs once.
TEST(LoadLocaleAndEnvironmentDeathTest, ADirectoryInTheEnvironmentFilesPlaceIsSkipped) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string environment = EnvironmentFilePath();
    ASSERT_TRUE(mkdir(environment.c_str(), 0700) == 0 || errno == EEXIST);
    EXPECT_EXIT(
        {
            LoadLocaleAndEnvironment();
            std::exit(ErrorCode() == 0 && MonthName(1) == "January" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    rmdir(environment.c_str());
}

// The whole start-up step: win.ini's [intl] values, then the environment
// file beside this test program. It runs once per process, so one test.
TEST(LoadLocaleAndEnvironment, ReadsIntlValuesAndTheFileBesideTheProgram) {
    const testing::TempDirectory directory("morvex_locale");
    setenv("MORVEX_INIDIR", directory.path().c_str(), 1);
    setenv("LC_ALL", "C", 1);
    const std::string ini = directory.file("win.ini");
    std::FILE* file = std::fopen(ini.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("[intl]\r\niTime=1\r\nsShortDate=dd.MM.yyyy\r\ns1159=vm\r\n", file);
    std::fclose(file);
    const std::string environment = EnvironmentFilePath();
    file = std::fopen(environment.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("MVXAMPM=WINDOWS\nMVXMSG30=Nicht gefunden\n", file);
    std::fclose(file);

    LoadLocaleAndEnvironment();
    std::remove(environment.c_str());
    unsetenv("MORVEX_INIDIR");

    EXPECT_EQ(RuntimeAmPm(false), "vm");
    EXPECT_EQ(RuntimeAmPm(true), "PM"); // the default: win.ini has no s2359
    EXPECT_EQ(ErrorCode(), 0);
    SetError(ErrEntryNotFound);
    EXPECT_EQ(ErrorText(), "Nicht gefunden");
    char out[MaxPictureWidth];
    EXPECT_EQ(std::string(out, FORMAT(int64_t{DATE(1, 5, 2023)}, LocaleDatePicture(17), out)), "05.01.2023");
    ClearError();
    ResetLocale();
}

TEST(EnvironmentFilePath, ReplacesTheFileNamesExtension) {
    EXPECT_EQ(EnvironmentFilePathFor("build/app/tavemon"), "build/app/tavemon.ENV");
    EXPECT_EQ(EnvironmentFilePathFor("/opt/x.y/tavemon.exe"), "/opt/x.y/tavemon.ENV");
    EXPECT_EQ(EnvironmentFilePathFor("/opt/x.y/tavemon"), "/opt/x.y/tavemon.ENV");
}

} // namespace
} // namespace morvex
