// Evaluation of compiled expressions: the four ways of evaluating a node,
// the conversions between the value classes, bound-variable reads, and the
// public Expression and EVALUATE.
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/evaluator_internal.h"
#include "runtime/number_text.h"
#include "runtime/string_stack.h"
#include "runtime/text_compare.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

namespace morvex {

// The number the text starts with, by the runtime's rule (number_text.h).
// At most 40 significant digits are passed on, with a last 1 standing for
// any non-zero digit dropped, so that the result rounds as the full text would.
double TextToReal(std::string_view text) {
    const NumberText number = ReadNumberText(text);
    char digits[48];
    int count = 0;
    int64_t exponent = number.exponent;
    bool dropped = false;
    auto take = [&](std::string_view part, bool fraction) {
        for (const char c : part) {
            if (count == 0 && c == '0') {
                exponent -= fraction;
            } else if (count < 40) {
                digits[count++] = c;
                exponent -= fraction;
            } else {
                dropped = dropped || c != '0';
                exponent += !fraction;
            }
        }
    };
    take(number.integer, false);
    take(number.fraction, true);
    if (count == 0)
        return 0;
    if (dropped) {
        digits[count++] = '1';
        --exponent;
    }
    char* end = digits + count;
    *end++ = 'e';
    end = std::to_chars(end, digits + sizeof digits, exponent).ptr;
    double value = 0;
    const auto [stop, error] = std::from_chars(digits, end, value);
    if (error != std::errc{} || !std::isfinite(value))
        return 0;
    return number.negative ? -value : value;
}

std::string_view RealToText(double value, char (&buffer)[32]) {
    if (value == 0 || !std::isfinite(value)) {
        buffer[0] = '0';
        return {buffer, 1};
    }
    const int length = std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return {buffer, static_cast<std::size_t>(length)};
}

namespace evaluator {

int64_t RealToInteger(double value) {
    if (std::isnan(value))
        return 0;
    if (value >= 9.2e18)
        return std::numeric_limits<int64_t>::max();
    if (value <= -9.2e18)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(value);
}

std::string_view IntegerToText(int64_t value, std::string& buffer) {
    char digits[24];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    buffer.assign(digits, end);
    return buffer;
}

bool TextIsTrue(std::string_view text) {
    return text.find_first_not_of(' ') != std::string_view::npos;
}

namespace {

template <typename T>
T load(const uint8_t* address) {
    T value;
    std::memcpy(&value, address, sizeof value);
    return value;
}

// A packed decimal: DECIMAL has its sign in the first byte's high half and
// the digits after it; PDECIMAL has the digits first and the sign in the
// last byte's low half (0xD negative).
double decode_decimal(const uint8_t* bytes, uint32_t size, uint8_t decimals, bool packed_sign_last) {
    double value = 0;
    bool negative = false;
    const uint32_t nibbles = size * 2;
    for (uint32_t i = 0; i < nibbles; ++i) {
        const uint8_t byte = bytes[i / 2];
        const uint8_t nibble = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
        const bool sign = packed_sign_last ? i == nibbles - 1 : i == 0;
        if (sign) {
            negative = packed_sign_last ? nibble == 0x0D : nibble != 0;
            continue;
        }
        value = value * 10 + (nibble > 9 ? 9 : nibble);
    }
    value /= std::pow(10.0, decimals);
    return negative ? -value : value;
}

// The element of a dimensioned variable the node selects; null when its
// index is out of range.
const uint8_t* element_address(Node& node) {
    const BoundVariable& variable = node.variable;
    auto* base = static_cast<const uint8_t*>(variable.address);
    if (variable.dimension <= 1)
        return base;
    const int64_t index = node.index.empty() ? 1 : EvalInteger(*node.index.front());
    if (index < 1 || index > static_cast<int64_t>(variable.dimension))
        return nullptr;
    return base + static_cast<std::size_t>(index - 1) * variable.size;
}

std::size_t element_indexes(const Node& node) {
    return node.variable.dimension > 1 ? 1 : 0;
}
bool selects_characters(const Node& node) {
    return node.sliced || node.index.size() > element_indexes(node);
}

int64_t variable_integer(const FieldType type, const uint8_t* at) {
    switch (type) {
    case FieldType::Byte:
        return at[0];
    case FieldType::Short:
        return load<int16_t>(at);
    case FieldType::UShort:
        return load<uint16_t>(at);
    case FieldType::Long:
        return load<int32_t>(at);
    case FieldType::ULong:
        return load<uint32_t>(at);
    case FieldType::Date:
        return DateToLong(load<DateStorage>(at));
    case FieldType::Time:
        return TimeToLong(load<TimeStorage>(at));
    default:
        return 0;
    }
}

double variable_real(const BoundVariable& variable, const uint8_t* at) {
    switch (variable.type) {
    case FieldType::SReal:
        return load<float>(at);
    case FieldType::Real:
        return load<double>(at);
    case FieldType::Decimal:
        return decode_decimal(at, variable.size, variable.decimals, false);
    case FieldType::PDecimal:
        return decode_decimal(at, variable.size, variable.decimals, true);
    default:
        return static_cast<double>(variable_integer(variable.type, at));
    }
}

std::string_view variable_text_value(Node& node, const uint8_t* at) {
    const BoundVariable& variable = node.variable;
    const char* text = reinterpret_cast<const char*>(at);
    switch (variable.type) {
    case FieldType::String:
        return {text, variable.size};
    case FieldType::CString:
        return {text, strnlen(text, variable.size)};
    case FieldType::PString:
        return {text + 1, std::min<std::size_t>(at[0], variable.size - 1)};
    default:
        break;
    }
    if (node.value_class == ValueClass::Integer)
        return IntegerToText(variable_integer(variable.type, at), node.buffer);
    char buffer[32];
    node.buffer.assign(RealToText(variable_real(variable, at), buffer));
    return node.buffer;
}

// A variable's text with any character index or slice applied.
std::string_view variable_text(Node& node) {
    if (node.variable.type == FieldType::String && node.variable.dimension <= 1 && node.index.empty())
        return {static_cast<const char*>(node.variable.address), node.variable.size};
    const uint8_t* at = element_address(node);
    if (!at)
        return {};
    const bool numeric_sliced = !IsTextType(node.variable.type) && selects_characters(node);
    std::string_view text;
    if (numeric_sliced) {
        // The number's own text, made without the sliced node's text class.
        const FieldType type = node.variable.type;
        const bool real = type == FieldType::SReal || type == FieldType::Real || type == FieldType::Decimal ||
                          type == FieldType::PDecimal;
        char buffer[32];
        if (real)
            node.buffer.assign(RealToText(variable_real(node.variable, at), buffer));
        else
            IntegerToText(variable_integer(type, at), node.buffer);
        text = node.buffer;
    } else {
        text = variable_text_value(node, at);
    }
    if (!selects_characters(node))
        return text;
    const std::size_t first_index = element_indexes(node);
    const int64_t from = node.index.size() > first_index ? EvalInteger(*node.index[first_index]) : 1;
    const int64_t to = node.sliced ? EvalInteger(*node.slice_end) : from;
    const int64_t length = static_cast<int64_t>(text.size());
    const int64_t first = std::max<int64_t>(from, 1);
    const int64_t last = std::min<int64_t>(to, length);
    if (first > last)
        return {};
    return text.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1));
}

double arithmetic(Node& node) {
    const double left = EvalReal(*node.left);
    if (node.op == Op::Negate)
        return -left;
    const double right = EvalReal(*node.right);
    double result = 0;
    switch (node.op) {
    case Op::Add:
        result = left + right;
        break;
    case Op::Subtract:
        result = left - right;
        break;
    case Op::Multiply:
        result = left * right;
        break;
    case Op::Divide:
        result = left / right;
        break;
    case Op::Modulo:
        result = std::fmod(left, right);
        break;
    case Op::Power:
        result = right == 2 ? left * left : std::pow(left, right);
        break;
    default:
        break;
    }
    // Division by zero and the like have no number to give: they give 0.
    return std::isfinite(result) ? result : 0;
}

int compare(Node& left, Node& right) {
    if (left.value_class == ValueClass::Integer && right.value_class == ValueClass::Integer) {
        const int64_t a = EvalInteger(left);
        const int64_t b = EvalInteger(right);
        return a < b ? -1 : a > b ? 1 : 0;
    }
    if (left.value_class == ValueClass::Text && right.value_class == ValueClass::Text) {
        const std::string_view a = EvalText(left);
        return CompareStringValues(a, EvalText(right));
    }
    const double a = EvalReal(left);
    const double b = EvalReal(right);
    return a < b ? -1 : a > b ? 1 : 0;
}

int64_t logical(Node& node) {
    switch (node.op) {
    case Op::Equal:
        return compare(*node.left, *node.right) == 0;
    case Op::NotEqual:
        return compare(*node.left, *node.right) != 0;
    case Op::Less:
        return compare(*node.left, *node.right) < 0;
    case Op::Greater:
        return compare(*node.left, *node.right) > 0;
    case Op::LessEqual:
        return compare(*node.left, *node.right) <= 0;
    case Op::GreaterEqual:
        return compare(*node.left, *node.right) >= 0;
    case Op::Not:
        return !EvalTruth(*node.left);
    default:
        break;
    }
    // The right operand is skipped only when its value cannot change the
    // result and evaluating it has no effect, so the result is the same as
    // evaluating both.
    const bool left = EvalTruth(*node.left);
    if (node.right->pure && ((node.op == Op::And && !left) || (node.op == Op::Or && left)))
        return left;
    const bool right = EvalTruth(*node.right);
    switch (node.op) {
    case Op::And:
        return left && right;
    case Op::Or:
        return left || right;
    case Op::Xor:
        return left != right;
    default:
        return 0;
    }
}

bool is_logical(Op op) {
    return op >= Op::Equal && op <= Op::Xor;
}
bool is_arithmetic(Op op) {
    return op >= Op::Power && op <= Op::Subtract;
}

} // namespace

int CompareNodes(Node& left, Node& right) {
    return compare(left, right);
}

int64_t EvalInteger(Node& node) {
    if (is_logical(node.op))
        return logical(node);
    switch (node.op) {
    case Op::IntegerConstant:
        return node.integer;
    case Op::Variable:
        if (node.value_class == ValueClass::Integer) {
            const uint8_t* at = element_address(node);
            return at ? variable_integer(node.variable.type, at) : 0;
        }
        break;
    case Op::Function:
        if (node.value_class == ValueClass::Integer)
            return BuiltinInteger(node);
        break;
    default:
        break;
    }
    return RealToInteger(EvalReal(node));
}

double EvalReal(Node& node) {
    if (node.program)
        return RunProgram(*node.program);
    if (is_arithmetic(node.op))
        return arithmetic(node);
    if (is_logical(node.op))
        return static_cast<double>(logical(node));
    switch (node.op) {
    case Op::IntegerConstant:
        return static_cast<double>(node.integer);
    case Op::RealConstant:
        return node.real;
    case Op::Variable:
        if (node.value_class == ValueClass::Integer)
            return static_cast<double>(EvalInteger(node));
        if (node.value_class == ValueClass::Real) {
            const uint8_t* at = element_address(node);
            return at ? variable_real(node.variable, at) : 0;
        }
        break;
    case Op::Function:
        if (node.value_class == ValueClass::Integer)
            return static_cast<double>(BuiltinInteger(node));
        if (node.value_class == ValueClass::Real)
            return BuiltinReal(node);
        break;
    default:
        break;
    }
    return TextToReal(EvalText(node));
}

std::string_view EvalText(Node& node) {
    switch (node.op) {
    case Op::TextConstant:
    case Op::PictureConstant:
        return node.text;
    case Op::Variable:
        if (node.value_class == ValueClass::Text)
            return variable_text(node);
        break;
    case Op::Concat: {
        const std::string_view left = EvalText(*node.left);
        const std::string_view right = EvalText(*node.right);
        node.buffer.assign(left);
        node.buffer.append(right);
        return node.buffer;
    }
    case Op::Function:
        if (node.value_class == ValueClass::Text)
            return BuiltinText(node);
        break;
    default:
        break;
    }
    if (node.value_class == ValueClass::Integer)
        return IntegerToText(EvalInteger(node), node.buffer);
    char buffer[32];
    node.buffer.assign(RealToText(EvalReal(node), buffer));
    return node.buffer;
}

bool EvalTruth(Node& node) {
    switch (node.value_class) {
    case ValueClass::Integer:
        return EvalInteger(node) != 0;
    case ValueClass::Real:
        return EvalReal(node) != 0.0;
    default:
        return TextIsTrue(EvalText(node));
    }
}

} // namespace evaluator

using evaluator::ExpressionTree;

Expression::Expression(std::unique_ptr<ExpressionTree> tree) : m_tree(std::move(tree)) {}
Expression::~Expression() = default;

std::unique_ptr<Expression> Expression::Compile(std::string_view text) {
    ClearError();
    try {
        auto tree = std::make_unique<ExpressionTree>();
        if (!evaluator::Parse(text, *tree))
            return nullptr;
        return std::unique_ptr<Expression>(new Expression(std::move(tree)));
    } catch (const std::bad_alloc&) {
        SetError(ErrInvalidExpression);
        return nullptr;
    }
}

ValueClass Expression::value_class() const {
    return m_tree->root->value_class;
}

// Running out of memory while evaluating gives 0, empty text or false and
// sets error 8, so the caller can tell it from a real value.
int64_t Expression::as_integer() {
    try {
        return evaluator::EvalInteger(*m_tree->root);
    } catch (const std::bad_alloc&) {
        SetError(ErrInsufficientMemory);
        return 0;
    }
}

double Expression::as_real() {
    try {
        return evaluator::EvalReal(*m_tree->root);
    } catch (const std::bad_alloc&) {
        SetError(ErrInsufficientMemory);
        return 0;
    }
}

std::string_view Expression::as_text() {
    try {
        return evaluator::EvalText(*m_tree->root);
    } catch (const std::bad_alloc&) {
        SetError(ErrInsufficientMemory);
        return {};
    }
}

bool Expression::as_truth() {
    try {
        return evaluator::EvalTruth(*m_tree->root);
    } catch (const std::bad_alloc&) {
        SetError(ErrInsufficientMemory);
        return false;
    }
}

void Expression::push_text() {
    Strings().push_copy(as_text());
}

std::string EVALUATE(std::string_view text) {
    std::unique_ptr<Expression> expression = Expression::Compile(text);
    if (!expression)
        return {};
    try {
        return std::string(expression->as_text());
    } catch (const std::bad_alloc&) {
        SetError(ErrInsufficientMemory);
        return {};
    }
}

} // namespace morvex
