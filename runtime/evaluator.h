// The expression evaluator: BIND makes program variables known by name in the
// current scope, PUSHSCOPE/POPSCOPE save and restore scopes, and an
// Expression is compiled once from text and then evaluated any number of
// times against the variables' current contents (as an integer, a real
// number, text or a truth value). EVALUATE compiles and evaluates in one go.
//
// Failures set the runtime error state: 800 for text that does not parse,
// 801 "No BIND on variable (name)" for an unknown name. Nothing throws.
#pragma once

#include "runtime/date.h"
#include "runtime/fixed_text.h"
#include "runtime/record_description.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace morvex {

constexpr std::size_t MaxBoundNameLength = 99;

// A reference to a program variable: its storage, field type, the size of
// one element, decimal places (DECIMAL, PDECIMAL) and element count. The
// storage is read each time an expression using it is evaluated.
struct BoundVariable {
    FieldType type = FieldType::End;
    void* address = nullptr;
    uint32_t size = 0;
    uint8_t decimals = 0;
    uint32_t dimension = 1;
};

// Whether the evaluator can read variables of this field type.
bool IsBindableType(FieldType type);

// Enters (or replaces) `name` in the current scope. The name is cut to 99
// characters and at its first character that is not a letter, digit, '_'
// or ':' (a following '#', '$' or '"' is kept). False, with nothing
// entered, for an empty name or a type the evaluator cannot read.
bool BIND(std::string_view name, const BoundVariable& variable);
// The same with the name taken from the string stack.
bool StackBIND(const BoundVariable& variable);

// Typed forms for the program's own variables.
bool BIND(std::string_view name, int32_t& variable);  // LONG
bool BIND(std::string_view name, int16_t& variable);  // SHORT
bool BIND(std::string_view name, uint16_t& variable); // USHORT
bool BIND(std::string_view name, uint8_t& variable);  // BYTE
bool BIND(std::string_view name, uint32_t& variable); // ULONG
bool BIND(std::string_view name, float& variable);    // SREAL
bool BIND(std::string_view name, double& variable);   // REAL
bool BIND(std::string_view name, DateStorage& variable);
bool BIND(std::string_view name, TimeStorage& variable);
template <std::size_t N>
bool BIND(std::string_view name, FixedText<N>& variable) {
    return BIND(name, BoundVariable{FieldType::String, variable.bytes, static_cast<uint32_t>(N), 0, 1});
}

// Saves the current scope with `flag` and starts an empty one.
void PUSHSCOPE(int32_t flag = 0);
// Restores the saved scope; with none saved the program ends with 802.
void POPSCOPE();
// Forgets every name bound in the current scope.
void ClearScope();
// Scopes saved by PUSHSCOPE on the calling thread.
std::size_t ScopeDepth();

// What a compiled expression's top node yields in its natural form.
enum class ValueClass : uint8_t { Integer, Real, Text, Picture };

namespace evaluator {
class ExpressionTree;
}

class Expression {
public:
    // The compiled expression, or null (error 800 or 801 set) when the text
    // does not compile. The error state is cleared on success.
    static std::unique_ptr<Expression> Compile(std::string_view text);
    ~Expression();
    Expression(const Expression&) = delete;
    Expression& operator=(const Expression&) = delete;

    ValueClass value_class() const;
    int64_t as_integer();
    double as_real();
    // Valid until the next evaluation of this expression.
    std::string_view as_text();
    bool as_truth();
    // The value as text on the string stack.
    void push_text();

private:
    explicit Expression(std::unique_ptr<evaluator::ExpressionTree> tree);
    std::unique_ptr<evaluator::ExpressionTree> m_tree;
};

// Compiles and evaluates `text`; its value as text, or empty text with the
// error state set (800, or 801 with the name).
std::string EVALUATE(std::string_view text);

// A real number as the evaluator writes it: up to 15 significant digits,
// no trailing zeros, no decimal point for a whole number.
std::string_view RealToText(double value, char (&buffer)[32]);
// The number `text` starts with, by the runtime's rule (number_text.h:
// blanks, sign, digits with "." or "," as the point, exponent); 0 when there
// is none.
double TextToReal(std::string_view text);

} // namespace morvex
