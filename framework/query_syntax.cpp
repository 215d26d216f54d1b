#include "framework/query_syntax.h"

#include "runtime/picture.h"
#include "runtime/string_ops.h"

#include <algorithm>

namespace morvex {

namespace {

constexpr std::string_view OperatorCharacters = "=<>~";

bool blank(std::string_view text) {
    return text.find_first_not_of(' ') == std::string_view::npos;
}

bool contains(std::string_view text, char c) {
    return text.find(c) != std::string_view::npos;
}

// A number as the evaluator reads a numeric constant: a sign, digits and at
// most one decimal point, blanks around it.
bool plain_number(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return false;
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (text.front() == '-' || text.front() == '+')
        text.remove_prefix(1);
    bool digit = false, point = false;
    for (const char c : text) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c == '.' && !point)
            point = true;
        else
            return false;
    }
    return digit;
}

std::string deformat(std::string_view value, std::string_view picture) {
    const std::string text = "@" + std::string(picture);
    CompiledPicture compiled;
    CompilePicture(compiled, text);
    return std::string(DEFORMAT(value, compiled));
}

// The value's own operator prefix and case marker, folded into the condition.
// Answers false when the value is to be compared as typed.
bool take_prefix(QueryCondition& c, const QueryFieldValues& field) {
    auto [op, rest] = NormaliseOperator(c.value, c.op);
    c.op = std::move(op);
    c.value = std::move(rest);
    if (!c.value.empty() && c.value.front() == '^') {
        c.no_case = true;
        c.value = UPPER(std::string_view(c.value).substr(1));
    }
    if (UPPER(field.name).find("UPPER(") != std::string::npos) {
        c.no_case = true;
        c.value = UPPER(c.value);
    }
    if (field.force_edit_picture && !IsStringPicture(field.picture)) {
        c.no_case = false;
        return false;
    }
    return true;
}

void read_back(QueryCondition& c, const QueryFieldValues& field) {
    if (blank(field.picture) || IsStringPicture(field.picture))
        return;
    if (!blank(c.value))
        c.value = deformat(c.value, field.picture);
    c.no_case = false;
}

QueryCondition bound(std::string_view value, std::string_view op, const QueryFieldValues& field) {
    QueryCondition c{std::string(value), std::string(op), false};
    if (!blank(field.middle))
        c.op += '=';
    if (take_prefix(c, field))
        read_back(c, field);
    return c;
}

} // namespace

bool IsStringPicture(std::string_view picture) {
    return !picture.empty() && (picture.front() == 'S' || picture.front() == 's');
}

std::pair<std::string, std::string> NormaliseOperator(std::string_view value, std::string_view op) {
    const std::size_t end = std::min(value.find_first_not_of(OperatorCharacters), value.size());
    std::string prefix(value.substr(0, end));
    std::string rest(value.substr(end));
    if (op == ContainsOperator)
        rest.insert(0, "*");
    else if (op == BeginsOperator)
        rest.push_back('*');
    else if (op == NotEqualOperator)
        prefix += "<>";
    else
        prefix += op;
    std::string result;
    for (const char c : prefix)
        if (c != '=' && !contains(result, c))
            result.push_back(c);
    if (contains(prefix, '=') && !(contains(prefix, '<') && contains(prefix, '>')))
        result.push_back('=');
    return {result, rest};
}

std::vector<QueryCondition> FieldConditions(const QueryFieldValues& field) {
    std::vector<QueryCondition> conditions;
    if (!blank(field.low)) {
        conditions.push_back(bound(field.low, ">", field));
        if (!blank(field.high))
            conditions.push_back(bound(field.high, "<", field));
        return conditions;
    }
    if (!blank(field.high)) {
        conditions.push_back(bound(field.high, "<", field));
        return conditions;
    }
    QueryCondition c{std::string(field.middle), blank(field.middle) ? "" : "=", false};
    bool compare_as_typed = !take_prefix(c, field);
    if (!c.value.empty() && c.value.front() == '*') {
        c.op = ContainsOperator;
        c.value.erase(0, 1);
    } else if (!c.value.empty() && c.value.back() == '*') {
        c.op = BeginsOperator;
        c.value.pop_back();
    }
    if (!c.value.empty() && c.value.front() == '^') {
        c.no_case = true;
        c.value = UPPER(std::string_view(c.value).substr(1));
    }
    compare_as_typed = compare_as_typed || field.force_edit_picture;
    if (!compare_as_typed && c.op != ContainsOperator && c.op != BeginsOperator)
        read_back(c, field);
    // Every text contains and begins with the empty text: a lone "*" asks
    // for nothing, where the evaluator's INSTRING would find nothing.
    if ((c.op == ContainsOperator || c.op == BeginsOperator) && c.value.empty())
        return conditions;
    conditions.push_back(std::move(c));
    return conditions;
}

void AppendCondition(std::string& filter, const QueryFieldValues& field, const QueryCondition& condition) {
    if (blank(condition.value) && condition.op.empty())
        return;
    std::string name(field.name);
    std::string value = condition.value;
    bool no_case = condition.no_case;
    const bool pattern = condition.op == ContainsOperator || condition.op == BeginsOperator;
    const bool string_field = IsStringPicture(field.picture);
    if (pattern && !blank(field.picture) && !string_field) {
        // The field compared as the text its picture shows.
        name = "FORMAT(" + name + ",@" + std::string(field.picture) + ")";
        no_case = true;
    }
    if (condition.op == "<>" && blank(value) && !string_field)
        value = "0";
    if (no_case) {
        value = UPPER(value);
        if (!value.empty() && value.front() == '^')
            value.erase(0, 1);
        if (UPPER(name).find("UPPER(") == std::string::npos)
            name = "UPPER(" + name + ")";
    }
    if (!filter.empty())
        filter += " AND ";
    if (condition.op == ContainsOperator) {
        filter += "INSTRING(" + QueryQuote(value) + "," + name + ",1,1) <> 0";
    } else if (condition.op == BeginsOperator) {
        filter += "SUB(" + name + ",1," + std::to_string(value.size()) + ") = " + QueryQuote(value);
    } else {
        // A value that is not a number is quoted even for a numeric field,
        // so that no typed text can become part of the expression itself.
        const bool quote = string_field || !plain_number(value);
        filter += "(" + name + " " + NormaliseOperator(condition.op, "").first + " " +
                  (quote ? QueryQuote(value) : value) + ")";
    }
}

std::string QueryQuote(std::string_view text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted.push_back(c);
        if (c == '\'')
            quoted.push_back('\'');
    }
    quoted.push_back('\'');
    return quoted;
}

std::string CaseInsensitiveValue(std::string_view value) {
    const std::size_t at = std::min(value.find_first_not_of(OperatorCharacters), value.size());
    if ((at < value.size() && value[at] == '^') || (at + 1 < value.size() && value[at + 1] == '^'))
        return std::string(value);
    std::string marked(value);
    marked.insert(at, "^");
    return marked;
}

} // namespace morvex
