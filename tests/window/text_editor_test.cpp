// The text and caret logic that texts and entries share: each row starts
// from a text with a selection, runs a few editing steps and says what the
// text, the caret and the anchor must be afterwards. "|" marks the caret
// and "^" the anchor (the anchor is the caret when it is not shown).
#include "window/text_editor.h"

#include <functional>
#include <gtest/gtest.h>

namespace morvex {
namespace {

using Step = std::function<void(TextEditor&)>;

struct EditCase {
    const char* label;
    const char* before; // with "|" and maybe "^"
    std::size_t max_length;
    std::vector<Step> steps;
    const char* after;
    bool modified;
};

TextEditor editor_of(std::string_view marked, std::size_t max_length) {
    std::string text;
    std::size_t caret = 0, anchor = std::string::npos;
    for (const char c : marked) {
        if (c == '|')
            caret = text.size();
        else if (c == '^')
            anchor = text.size();
        else
            text.push_back(c);
    }
    TextEditor editor(max_length);
    editor.set_text(text);
    editor.select(anchor == std::string::npos ? caret : anchor, caret);
    return editor;
}

std::string marked(const TextEditor& editor) {
    std::string result = editor.text();
    const std::size_t caret = editor.caret();
    const std::size_t anchor = editor.anchor();
    if (anchor != caret && anchor > caret)
        result.insert(anchor, "^");
    result.insert(caret, "|");
    if (anchor != caret && anchor < caret)
        result.insert(anchor, "^");
    return result;
}

Step type(std::string text) {
    return [text](TextEditor& e) { e.insert(text); };
}
Step back() {
    return [](TextEditor& e) { e.erase_backward(); };
}
Step del() {
    return [](TextEditor& e) { e.erase_forward(); };
}
Step to(std::size_t position, bool extend = false) {
    return [=](TextEditor& e) {
        e.move_caret(position, extend ? TextEditor::Selection::Extend : TextEditor::Selection::Collapse);
    };
}
Step word_left(bool extend = false) {
    return [=](TextEditor& e) {
        e.move_caret(e.word_start_before(e.caret()),
                     extend ? TextEditor::Selection::Extend : TextEditor::Selection::Collapse);
    };
}
Step word_right() {
    return [](TextEditor& e) { e.move_caret(e.word_start_after(e.caret())); };
}
Step left() {
    return [](TextEditor& e) { e.move_caret(e.previous(e.caret())); };
}
Step right(bool extend = false) {
    return [=](TextEditor& e) {
        e.move_caret(e.next(e.caret()),
                     extend ? TextEditor::Selection::Extend : TextEditor::Selection::Collapse);
    };
}
Step word_at() {
    return [](TextEditor& e) { e.select(e.word_begin(e.caret()), e.word_end(e.caret())); };
}

constexpr std::size_t Free = TextEditor::Unlimited;

class TextEditorTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(TextEditorTest, EditsAsADesktopEditBoxDoes) {
    const EditCase& c = GetParam();
    TextEditor editor = editor_of(c.before, c.max_length);
    for (const Step& step : c.steps)
        step(editor);
    EXPECT_EQ(marked(editor), c.after);
    EXPECT_EQ(editor.modified(), c.modified);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextEditorTest,
    ::testing::Values(
        EditCase{"TypingGoesInAtTheCaret", "ab|cd", Free, {type("XY")}, "abXY|cd", true},
        EditCase{"TypingReplacesTheSelection", "a^bc|d", Free, {type("Z")}, "aZ|d", true},
        EditCase{"BackspaceTakesTheCharacterBefore", "abc|", Free, {back(), back()}, "a|", true},
        EditCase{"BackspaceAtTheStartChangesNothing", "|abc", Free, {back()}, "|abc", false},
        EditCase{"DeleteTakesTheCharacterAfter", "a|bc", Free, {del()}, "a|c", true},
        EditCase{"DeleteAtTheEndChangesNothing", "abc|", Free, {del()}, "abc|", false},
        EditCase{"DeleteTakesTheSelectionOnly", "a|bc^d", Free, {del()}, "a|d", true},
        EditCase{"ALineBreakGoesAsOneCharacter", "ab\r\n|cd", Free, {back()}, "ab|cd", true},
        EditCase{"DeleteBeforeALineBreakTakesBothBytes", "ab|\r\ncd", Free, {del()}, "ab|cd", true},
        EditCase{"StepsOverALineBreakWhole", "a|\r\nb", Free, {right(), right()}, "a\r\nb|", false},
        EditCase{"StepsBackOverALineBreakWhole", "a\r\n|b", Free, {left()}, "a|\r\nb", false},
        EditCase{"TheCaretNeverStandsInsideALineBreak", "|a\r\nb", Free, {to(2)}, "a|\r\nb", false},
        EditCase{"ShiftExtendsFromTheAnchor", "ab|cd", Free, {right(true), right(true)}, "ab^cd|", false},
        EditCase{"ExtendingBackPastTheAnchorTurnsTheSelection",
                 "ab|cd",
                 Free,
                 {right(true), to(1, true)},
                 "a|b^cd",
                 false},
        EditCase{"AFullTextTakesNoMore", "ab|", 3, {type("XYZ")}, "abX|", true},
        EditCase{"AFullTextTakesNothing", "abc|", 3, {type("X")}, "abc|", false},
        EditCase{"ReplacingASelectionMakesRoom", "^abc|", 3, {type("XYZW")}, "XYZ|", true},
        EditCase{"ALineBreakIsNotCutInHalf", "ab|", 3, {type("\r\n")}, "ab|", false},
        EditCase{"CtrlLeftGoesToTheStartOfTheWord", "one two|", Free, {word_left()}, "one |two", false},
        EditCase{"CtrlLeftSkipsBlanksFirst", "one two  |x", Free, {word_left()}, "one |two  x", false},
        EditCase{"CtrlLeftStopsAtPunctuation", "a, b|", Free, {word_left(), word_left()}, "a|, b", false},
        EditCase{"CtrlLeftStopsAtALineBreak",
                 "one\r\n|two",
                 Free,
                 {word_left(), word_left()},
                 "|one\r\ntwo",
                 false},
        EditCase{"CtrlRightGoesToTheNextWord", "|one two", Free, {word_right()}, "one |two", false},
        EditCase{"CtrlRightStopsAfterALineBreak",
                 "on|e\r\ntwo",
                 Free,
                 {word_right(), word_right()},
                 "one\r\n|two",
                 false},
        EditCase{"ADoubleClickTakesTheWord", "one t|wo three", Free, {word_at()}, "one ^two| three", false},
        EditCase{"ADoubleClickOnBlanksTakesTheBlanks", "one | two", Free, {word_at()}, "one^  |two", false}),
    [](const ::testing::TestParamInfo<EditCase>& info) { return std::string(info.param.label); });

TEST(TextEditor, SetTextStartsUnchangedAtTheStartAndKeepsTheLimit) {
    TextEditor editor(4);
    editor.insert("ab");
    editor.set_text("abcdef");
    EXPECT_EQ(editor.text(), "abcd");
    EXPECT_EQ(editor.caret(), 0u);
    EXPECT_FALSE(editor.modified());
    editor.move_caret(4);
    editor.set_max_length(2);
    EXPECT_EQ(editor.text(), "ab");
    EXPECT_EQ(editor.caret(), 2u);
    EXPECT_EQ(editor.selected_text(), "");
}

} // namespace
} // namespace morvex
