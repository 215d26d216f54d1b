// The value of a variable bound to a control, read and written as text or as
// a number whatever the variable's type, and shown through a picture. Text
// types keep their layout (blank-padded STRING, NUL-terminated CSTRING,
// length-prefixed PSTRING); numbers read and write as decimal text, through
// the decimal stack so that DECIMAL fields stay exact. Controls call these
// under the runtime lock on their window's thread.
#pragma once

#include "runtime/evaluator.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

struct CompiledPicture;

// A picture kept by a control: its text ("n-14", "s20"; a leading "@" is
// allowed) and the compiled form, which points into the text. An empty or
// unreadable text is the invalid picture, which shows values plainly.
class ValuePicture {
public:
    ValuePicture();
    explicit ValuePicture(std::string_view text);
    ~ValuePicture();
    ValuePicture(const ValuePicture&) = delete;
    ValuePicture& operator=(const ValuePicture&) = delete;

    void set(std::string_view text);
    const std::string& text() const { return m_text; }
    const CompiledPicture& compiled() const { return *m_compiled; }

private:
    std::string m_text;
    std::unique_ptr<CompiledPicture> m_compiled;
};

bool IsTextVariable(const BoundVariable& variable);
// How many characters a text variable holds (0 for numeric types).
std::size_t TextCapacity(const BoundVariable& variable);
// A field of a record as a variable (list cells, queues of a script).
BoundVariable FieldVariable(const FieldDescription& field, const uint8_t* record);

// The value: text without its trailing blanks, numbers as decimal text
// ("12", "-2.5"). Types that hold no value read as the empty text.
std::string VariableText(const BoundVariable& variable);
// The value as a number (text is read as one: 0 when it holds none).
double VariableNumber(const BoundVariable& variable);

// Text types take the text cut to their size; numbers read it as a number
// (integers drop the fraction, as a LONG assignment does).
void SetVariableText(const BoundVariable& variable, std::string_view text);
void SetVariableNumber(const BoundVariable& variable, double value);

// The value through the picture, without leading and trailing blanks; an
// invalid picture gives the plain value text.
std::string FormattedValue(const BoundVariable& variable, const CompiledPicture& picture);
// Typed text taken back through the picture into the variable (DeformattedText).
void DeformatInto(const BoundVariable& variable, std::string_view text, const CompiledPicture& picture);

// The value text that typed text stands for: what DEFORMAT reads from it, or
// the text itself under a string picture or an invalid one.
std::string DeformattedText(std::string_view text, const CompiledPicture& picture);

// How many characters typing may put into a field for the variable: the
// width of a string picture, else the size of a text variable; 0 for no limit.
std::size_t TypingLimit(const BoundVariable& variable, const CompiledPicture& picture);

// A copy of the variable's bytes, to tell whether an operation changed it.
std::vector<uint8_t> VariableBytes(const BoundVariable& variable);

// A number read from text by the runtime's one rule (runtime/number_text.h).
double NumberOfText(std::string_view text);

// A number as the shortest decimal text that reads back as it, never in
// exponent form ("31", "-2.5", "10000000000").
std::string NumberText(double value);

// The text without leading and trailing blanks.
std::string_view TrimBlanks(std::string_view text);

} // namespace morvex
