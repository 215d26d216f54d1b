// The value syntax of query by example: how the values a user typed for a
// field (a value, a lower and an upper bound) become conditions, and how a
// condition is written into the filter text for the view's evaluator.
//
// A value may start with operator characters ("=", "<", ">", "~" and their
// pairs), "*" at its start means contains, at its end begins with, and "^"
// asks for a case-insensitive match. A field whose picture is not a string
// picture has its values read back through the picture.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morvex {

// The operators of conditions that are not comparisons.
inline constexpr std::string_view ContainsOperator = "Contains";
inline constexpr std::string_view BeginsOperator = "Begins";
inline constexpr std::string_view NotEqualOperator = "NOT =";

// A field's values as the query manager keeps them.
struct QueryFieldValues {
    std::string_view name;    // as the filter names it, perhaps "UPPER(" name ")"
    std::string_view picture; // without the at-sign
    std::string_view low;
    std::string_view middle;
    std::string_view high;
    bool force_edit_picture = false;
};

struct QueryCondition {
    std::string value;
    std::string op;
    bool no_case = false;
};

// A picture that begins with S (either case): the field is text.
bool IsStringPicture(std::string_view picture);

// The value's leading operator characters combined with `op`: (operator,
// the rest of the value). "<>" and "<>=" give "<>", "=>" gives ">=".
std::pair<std::string, std::string> NormaliseOperator(std::string_view value, std::string_view op);

// The conditions of one field: the bounds when given (one or two),
// otherwise the value; none when nothing was typed.
std::vector<QueryCondition> FieldConditions(const QueryFieldValues& field);

// Appends the condition to the filter, joined by " AND ".
void AppendCondition(std::string& filter, const QueryFieldValues& field, const QueryCondition& condition);

// The text between single quotes, every single quote inside it doubled.
std::string QueryQuote(std::string_view text);

// A restored value of a text field made case-insensitive: "^" after its
// operator characters, unless it has one there already.
std::string CaseInsensitiveValue(std::string_view value);

} // namespace morvex
