#include "runtime/ini_access.h"
#include "runtime/string_stack.h"
#include "tests/support/temp_ini_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace morvex {
namespace {

class IniAccessTest : public ::testing::Test {
protected:
    testing::TempIniDir dir;
};

TEST_F(IniAccessTest, AnEmptyFileNameWritesTheWindowsProfile) {
    PUTINI("intl", "sTime", ".", "");
    EXPECT_TRUE(std::filesystem::exists(dir.file("win.ini")));
    EXPECT_EQ(GETINI("intl", "sTime", ":", ""), ".");
    EXPECT_EQ(GETINI("intl", "sTime", ":", "other.ini"), ":");
}

TEST_F(IniAccessTest, MissingEntriesReadAsTheDefault) {
    EXPECT_EQ(GETINI("Section", "Entry", "fallback", "app.ini"), "fallback");
    PUTINI("Section", "Other", "x", "app.ini");
    EXPECT_EQ(GETINI("Section", "Entry", "fallback", "app.ini"), "fallback");
    EXPECT_EQ(GETINI("Section", "Entry", "", "app.ini"), "");
}

TEST_F(IniAccessTest, LongValuesAreCutTo1023Characters) {
    const std::string long_value(2000, 'v');
    PUTINI("S", "E", long_value, "app.ini");
    EXPECT_EQ(GETINI("S", "E", "", "app.ini"), std::string(1023, 'v'));
}

TEST_F(IniAccessTest, TrailingBlanksNameTheSameSectionAndEntryAndAreNotStored) {
    PUTINI("Section  ", "Entry   ", "value   ", "app.ini  ");
    EXPECT_EQ(GETINI("Section", "Entry", "", "app.ini"), "value");
    EXPECT_EQ(GETINI("section", "ENTRY", "", "app.ini"), "value");
}

TEST_F(IniAccessTest, OmittedEntryRemovesTheSectionAndOmittedValueTheEntry) {
    PUTINI("A", "one", "1", "app.ini");
    PUTINI("A", "two", "2", "app.ini");
    PUTINI("B", "three", "3", "app.ini");
    PUTINI("A", "one", std::nullopt, "app.ini");
    EXPECT_EQ(GETINI("A", "one", "gone", "app.ini"), "gone");
    EXPECT_EQ(GETINI("A", "two", "", "app.ini"), "2");
    PUTINI("A", std::nullopt, std::nullopt, "app.ini");
    EXPECT_EQ(GETINI("A", "two", "gone", "app.ini"), "gone");
    EXPECT_EQ(GETINI("B", "three", "", "app.ini"), "3");
}

TEST_F(IniAccessTest, StackFormsTakeTheirArgumentsFromTheStringStack) {
    StringStack& stack = Strings();
    // Pushed from the last argument to the first.
    stack.push_copy("app.ini");
    stack.push_copy("stacked value ");
    stack.push_copy("Key");
    stack.push_copy("Section");
    StackPUTINI(false, false);
    stack.push_copy("app.ini");
    stack.push_copy("default");
    stack.push_copy("Key");
    stack.push_copy("Section");
    StackGETINI();
    EXPECT_EQ(stack.take(), "stacked value");
    stack.push_copy("app.ini");
    stack.push_copy("");
    stack.push_copy("Key");
    stack.push_copy("Section");
    StackPUTINI(false, true);
    EXPECT_EQ(GETINI("Section", "Key", "removed", "app.ini"), "removed");
    EXPECT_TRUE(stack.empty());
}

} // namespace
} // namespace morvex
