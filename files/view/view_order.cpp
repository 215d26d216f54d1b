// Order items and filter bounds (view_order.h). The scanners here only have
// to find the top-level structure of a text; the evaluator compiles it.
#include "files/view/view_order.h"

#include "runtime/ascii_case.h"
#include "runtime/error_state.h"
#include "runtime/evaluator.h"
#include "runtime/string_ops.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <memory>

namespace morvex {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

bool is_name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// Walks `text` at depth 0 outside quotes, calling `at(i)` for each such index;
// `at` returns false to stop. False when parentheses or quotes do not match.
template <class At>
bool scan_top_level(std::string_view text, At&& at) {
    int depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '\'')
                quoted = false;
            continue;
        }
        if (c == '\'') {
            quoted = true;
        } else if (c == '(' || c == '[') {
            ++depth;
        } else if (c == ')' || c == ']') {
            if (--depth < 0)
                return false;
        } else if (depth == 0 && !at(i)) {
            return true;
        }
    }
    return depth == 0 && !quoted;
}

// The word operator starting at i (AND, OR, XOR, NOT) when it stands alone.
std::string_view word_at(std::string_view text, size_t i) {
    if (i > 0 && is_name_char(text[i - 1]))
        return {};
    size_t end = i;
    while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end])))
        ++end;
    if (end == i || (end < text.size() && is_name_char(text[end])))
        return {};
    return text.substr(i, end - i);
}

// A whole text in one pair of parentheses: its inside, else nullopt.
std::optional<std::string_view> enclosed(std::string_view text) {
    if (text.size() < 2 || text.front() != '(' || text.back() != ')')
        return std::nullopt;
    int depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            quoted = c != '\'';
            continue;
        }
        if (c == '\'')
            quoted = true;
        else if (c == '(')
            ++depth;
        else if (c == ')' && --depth == 0 && i + 1 < text.size())
            return std::nullopt;
    }
    return text.substr(1, text.size() - 2);
}

bool parse_literal(std::string_view text, FieldBound& bound);

// Functions whose value depends on their arguments alone, so that a call
// over constants is a constant. Not TODAY, CLOCK, AGE (today's date),
// RANDOM, MEMORY, GETINI (the environment), NULL (a field's state), nor
// FORMAT and DEFORMAT (pictures follow settings the program may change).
constexpr std::string_view PureFunctions[] = {
    "ABS",      "ACOS",   "ALL",  "ASIN", "ATAN",  "BAND", "BOR",   "BSHIFT", "BXOR",
    "CENTER",   "CHOOSE", "CHR",  "CLIP", "COS",   "DATE", "DAY",   "INLIST", "INRANGE",
    "INSTRING", "INT",    "LEFT", "LEN",  "LOG10", "LOGE", "LOWER", "MONTH",  "NUMERIC",
    "RIGHT",    "ROUND",  "SIN",  "SQRT", "SUB",   "TAN",  "UPPER", "VAL",    "YEAR",
};

// Whether every name `text` calls is a pure function (the evaluator rejects
// any other name when compiling in an empty scope).
bool calls_pure_functions_only(std::string_view text) {
    bool quoted = false;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (quoted || c == '\'') {
            quoted = c == '\'' ? !quoted : quoted;
            ++i;
            continue;
        }
        if (!std::isalpha(static_cast<unsigned char>(c)) && c != '_') {
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < text.size() && is_name_char(text[i]))
            ++i;
        const std::string_view name = text.substr(start, i - start);
        size_t next = i;
        while (next < text.size() && is_blank(text[next]))
            ++next;
        if (next < text.size() && text[next] == '(' &&
            std::none_of(std::begin(PureFunctions), std::end(PureFunctions),
                         [&](std::string_view pure) { return EqualsIgnoringAsciiCase(name, pure); }))
            return false;
    }
    return true;
}

// A constant expression: no names but calls of pure functions, compiled and
// evaluated once in an empty scope (so that no variable is seen).
bool fold_constant(std::string_view text, FieldBound& bound) {
    if (!calls_pure_functions_only(text))
        return false;
    PUSHSCOPE();
    std::unique_ptr<Expression> expression = Expression::Compile(text);
    POPSCOPE();
    bool folded = false;
    if (expression) {
        switch (expression->value_class()) {
        case ValueClass::Integer:
            bound.number = static_cast<double>(expression->as_integer());
            folded = ErrorCode() == 0;
            break;
        case ValueClass::Real:
            bound.number = expression->as_real();
            folded = ErrorCode() == 0 && std::isfinite(bound.number);
            break;
        case ValueClass::Text:
            bound.is_text = true;
            bound.text = std::string(expression->as_text());
            folded = ErrorCode() == 0;
            break;
        case ValueClass::Picture:
            break;
        }
    }
    ClearError();
    return folded;
}

// A constant: a number, a quoted text with '' for a quote, UPPER of a quoted
// text (its value raised), or an expression of pure functions over constants.
bool parse_constant(std::string_view text, FieldBound& bound) {
    if (parse_literal(text, bound))
        return true;
    bound.is_text = false;
    bound.text.clear();
    return fold_constant(trim(text), bound);
}

// A literal: a number, a quoted text with '' for a quote, or UPPER of a
// quoted text (its value raised).
bool parse_literal(std::string_view text, FieldBound& bound) {
    text = trim(text);
    bool upper = false;
    if (text.size() > 6 && EqualsIgnoringAsciiCase(text.substr(0, 5), "UPPER")) {
        std::string_view rest = trim(text.substr(5));
        const std::optional<std::string_view> inside = enclosed(rest);
        if (!inside)
            return false;
        text = trim(*inside);
        upper = true;
    }
    if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
        std::string value;
        for (size_t i = 1; i + 1 < text.size(); ++i) {
            if (text[i] == '\'') {
                if (i + 2 >= text.size() || text[i + 1] != '\'')
                    return false;
                ++i;
            }
            value += text[i];
        }
        bound.is_text = true;
        bound.text = upper ? UPPER(value) : value;
        return true;
    }
    if (upper || text.empty())
        return false;
    size_t i = 0;
    if (text[0] == '-' || text[0] == '+')
        i = 1;
    size_t digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(text[i])))
            ++digits;
        else if (text[i] == '.' && !point)
            point = true;
        else
            return false;
    }
    if (digits == 0)
        return false;
    bound.number = TextToReal(text);
    return std::isfinite(bound.number);
}

// One term `left op right`: a bound when one side is a field and the other a constant.
std::optional<FieldBound> parse_term(std::string_view term, const FileDeclaration& file) {
    size_t op_at = std::string_view::npos;
    size_t op_length = 0;
    scan_top_level(term, [&](size_t i) {
        if (op_at < std::string_view::npos - 1 && i < op_at + op_length)
            return true; // the second character of the comparison
        const char c = term[i];
        // Arithmetic and & bind more tightly than a comparison: they belong
        // to its operands (a constant one is folded below).
        if (c != '<' && c != '>' && c != '=' && c != '~')
            return true;
        if (op_at != std::string_view::npos || c == '~') {
            op_at = std::string_view::npos - 1; // not a plain comparison
            return false;
        }
        op_at = i;
        op_length = (i + 1 < term.size() && (term[i + 1] == '=' || term[i + 1] == '>')) ? 2 : 1;
        return true;
    });
    if (op_at >= std::string_view::npos - 1)
        return std::nullopt;
    const std::string_view op = term.substr(op_at, op_length);
    FieldBound bound;
    std::string_view left = term.substr(0, op_at);
    std::string_view right = term.substr(op_at + op_length);
    bool swapped = false;
    bound.field = FieldReference(left, file, bound.upper);
    if (bound.field == 0) {
        bound.field = FieldReference(right, file, bound.upper);
        std::swap(left, right);
        swapped = true;
    }
    if (bound.field == 0 || !parse_constant(right, bound))
        return std::nullopt;
    if (op == "=")
        bound.op = BoundOp::Equal;
    else if (op == ">=" || op == ">" || op == "=>")
        bound.op = swapped ? BoundOp::AtMost : BoundOp::AtLeast;
    else if (op == "<=" || op == "<" || op == "=<")
        bound.op = swapped ? BoundOp::AtLeast : BoundOp::AtMost;
    else
        return std::nullopt; // <> and the like bound nothing
    return bound;
}

void collect_bounds(std::string_view filter, const FileDeclaration& file, std::vector<FieldBound>& bounds) {
    filter = trim(filter);
    if (const std::optional<std::string_view> inside = enclosed(filter)) {
        collect_bounds(*inside, file, bounds);
        return;
    }
    std::vector<std::string_view> terms;
    size_t term_start = 0;
    bool usable = true;
    const bool matched = scan_top_level(filter, [&](size_t i) {
        const std::string_view word = word_at(filter, i);
        if (word.empty())
            return true;
        if (EqualsIgnoringAsciiCase(word, "AND")) {
            terms.push_back(filter.substr(term_start, i - term_start));
            term_start = i + word.size();
        } else if (EqualsIgnoringAsciiCase(word, "OR") || EqualsIgnoringAsciiCase(word, "XOR") ||
                   EqualsIgnoringAsciiCase(word, "NOT")) {
            usable = false;
            return false;
        }
        return true;
    });
    if (!matched || !usable)
        return;
    terms.push_back(filter.substr(term_start));
    for (std::string_view term : terms) {
        term = trim(term);
        if (enclosed(term)) {
            collect_bounds(term, file, bounds);
        } else if (std::optional<FieldBound> bound = parse_term(term, file)) {
            bounds.push_back(std::move(*bound));
        }
    }
}

} // namespace

int32_t FieldReference(std::string_view text, const FileDeclaration& file, bool& upper) {
    text = trim(text);
    upper = false;
    if (text.size() > 5 && EqualsIgnoringAsciiCase(text.substr(0, 5), "UPPER")) {
        const std::optional<std::string_view> inside = enclosed(trim(text.substr(5)));
        if (!inside)
            return 0;
        upper = true;
        text = trim(*inside);
    }
    for (char c : text) {
        if (!is_name_char(c))
            return 0;
    }
    return text.empty() ? 0 : file.find_field(text);
}

bool ParseOrder(std::string_view text, const FileDeclaration& file, std::vector<OrderItem>& items) {
    items.clear();
    if (trim(text).empty())
        return true;
    std::vector<std::string_view> parts;
    size_t start = 0;
    const bool matched = scan_top_level(text, [&](size_t i) {
        if (text[i] == ',') {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
        return true;
    });
    if (!matched)
        return false;
    parts.push_back(text.substr(start));
    for (std::string_view part : parts) {
        part = trim(part);
        OrderItem item;
        if (!part.empty() && (part.front() == '-' || part.front() == '+')) {
            item.descending = part.front() == '-';
            part = trim(part.substr(1));
        }
        if (part.empty())
            return false;
        item.expression = std::string(part);
        item.field = FieldReference(part, file, item.upper);
        items.push_back(std::move(item));
    }
    return true;
}

std::vector<FieldBound> FilterBounds(std::string_view filter, const FileDeclaration& file) {
    std::vector<FieldBound> bounds;
    collect_bounds(filter, file, bounds);
    return bounds;
}

} // namespace morvex
