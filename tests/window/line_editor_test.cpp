#include "window/key_codes.h"
#include "window/line_editor.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace morvex {
namespace {

struct EditCase {
    const char* label;
    const char* start;                // the text set, caret at its end
    std::vector<std::string> actions; // key names, or "type:TEXT"
    const char* text;
    std::size_t selection_start;
    std::size_t selection_end; // equal to the start: the caret only
    std::size_t limit = 0;
};

class LineEditorTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(LineEditorTest, KeysAndTypingEditTheTextAsADesktopFieldDoes) {
    const EditCase& c = GetParam();
    LineEditor editor;
    editor.set_text(c.start);
    editor.set_limit(c.limit);
    for (const std::string& action : c.actions) {
        if (action.starts_with("type:")) {
            for (const char ch : action.substr(5))
                EXPECT_TRUE(editor.character(static_cast<uint8_t>(ch)));
            continue;
        }
        const auto code = KeyCodeByName(action);
        ASSERT_TRUE(code) << action;
        EXPECT_TRUE(editor.key(*code & 0xFF, *code & (ShiftKeyBit | CtrlKeyBit | AltKeyBit))) << action;
    }
    EXPECT_EQ(editor.text(), c.text);
    EXPECT_EQ(editor.selection_start(), c.selection_start);
    EXPECT_EQ(editor.selection_end(), c.selection_end);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, LineEditorTest,
    ::testing::Values(
        EditCase{"BackspaceDeletesBeforeTheCaret", "hello", {"Left", "Left", "Backspace"}, "helo", 2, 2},
        EditCase{"DeleteDeletesAtTheCaret", "hello", {"Home", "Delete", "Delete"}, "llo", 0, 0},
        EditCase{"CtrlLeftGoesToTheStartOfWords",
                 "one two three",
                 {"Ctrl+Left", "Ctrl+Left", "type:X"},
                 "one Xtwo three",
                 5,
                 5},
        EditCase{
            "CtrlRightGoesPastTheNextWord", "one two", {"Home", "Ctrl+Right", "type:_"}, "one _two", 5, 5},
        EditCase{"TypingReplacesTheSelection",
                 "abcdef",
                 {"Home", "Shift+Right", "Shift+Right", "type:Q"},
                 "Qcdef",
                 1,
                 1},
        EditCase{"CtrlASelectsAll", "abc", {"Ctrl+A"}, "abc", 0, 3},
        EditCase{"LeftEndsASelectionAtItsStart", "abc", {"Shift+Home", "Left", "type:X"}, "Xabc", 1, 1},
        EditCase{"RightEndsASelectionAtItsEnd", "abc", {"Home", "Shift+End", "Right"}, "abc", 3, 3},
        EditCase{
            "ShiftExtendsFromTheAnchor", "abcd", {"Home", "Right", "Shift+End", "Shift+Left"}, "abcd", 1, 3},
        EditCase{"BackspaceTakesTheSelection", "abcd", {"Shift+Left", "Shift+Left", "Backspace"}, "ab", 2, 2},
        EditCase{"CtrlBackspaceTakesAWord", "one two", {"Ctrl+Backspace"}, "one ", 4, 4},
        EditCase{"TheLimitStopsTyping", "abc", {"type:defg"}, "abcd", 4, 4, 4},
        EditCase{
            "NothingBeforeTheStartOrAfterTheEnd", "ab", {"Right", "Home", "Left", "Backspace"}, "ab", 0, 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(LineEditorTest, OnlyTypingAndDeletingModify) {
    LineEditor editor;
    editor.set_text("31");
    EXPECT_FALSE(editor.modified());
    editor.key(KeyCodeByName("Left").value(), 0);
    editor.select_all();
    EXPECT_FALSE(editor.modified());
    EXPECT_FALSE(editor.character('\b')) << "control characters come as keys";
    EXPECT_FALSE(editor.key(KeyCodeByName("Left").value(), AltKeyBit)) << "Alt keys are the window's";
    EXPECT_FALSE(editor.modified());
    editor.character('4');
    EXPECT_TRUE(editor.modified());
    EXPECT_EQ(editor.text(), "4");
    editor.clear_modified();
    editor.type_over("12");
    EXPECT_TRUE(editor.modified()) << "a text set as typed is taken like typing";
}

} // namespace
} // namespace morvex
