// Reading a view's order and filter texts for planning: the order property's
// items, and the comparisons of a filter's top-level AND terms that hold a
// field to a constant (from which the planner takes key ranges).
#pragma once

#include "files/file_declaration.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

// One item of an order text: the expression and its direction. When the
// expression is a field label of the primary file, or UPPER of one, `field`
// is its number and `upper` says which.
struct OrderItem {
    std::string expression;
    bool descending = false;
    int32_t field = 0;
    bool upper = false;
};

// Splits an order text at its top-level commas; blanks and tabs around items
// are dropped, a leading '-' or '+' sets the direction. False for an empty
// item ("A,,B", "-").
bool ParseOrder(std::string_view text, const FileDeclaration& file, std::vector<OrderItem>& items);

enum class BoundOp : uint8_t { Equal, AtLeast, AtMost };

// A filter term `field op constant` (or `UPPER(field) op constant`) that
// every record the filter lets through satisfies. `>` and `<` are read as
// `>=` and `<=`: the bound is used to narrow a walk, and the filter itself
// is still applied to every record.
struct FieldBound {
    int32_t field = 0;
    bool upper = false;
    BoundOp op = BoundOp::Equal;
    bool is_text = false;
    std::string text; // a text constant
    double number = 0;
};

// The bounds the filter's top-level AND terms give. Terms inside parentheses
// that enclose a whole term are read too; a filter with OR, XOR or NOT at the
// top level gives none, since its terms need not each hold.
std::vector<FieldBound> FilterBounds(std::string_view filter, const FileDeclaration& file);

// The field number for a label or "UPPER(label)" (blanks allowed inside), or 0.
int32_t FieldReference(std::string_view text, const FileDeclaration& file, bool& upper);

} // namespace morvex
