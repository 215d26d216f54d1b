// List box format strings: the grammar that lays a list's columns out, the
// check that finds where a string breaks it, and the parse into column and
// group records with their cells placed in pixels.
//
// A format is a row of items, each a column or a bracketed group of columns:
//   20C~Heading~@s20@    40L(2)|M*I    [30L~A~40R~B~](80)~Group~
// A column is a width, a justification letter (L R C D), an optional indent
// "(n)" and modifiers; the grammar is documented in docs/list-format.md.
#pragma once

#include "platform/geometry.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

// Attribute word A of a column or group.
enum ListAttributeA : uint32_t {
    ListJustifyMask = 0x3,        // data: 0 left, 1 right, 2 centre, 3 decimal
    ListHeadingJustifyMask = 0xC, // heading: the same values << 2
    ListRightBorder = 0x10,       // "|"
    ListUnderline = 0x20,         // "_"
    ListFixed = 0x40,             // "F"
    ListScrolled = 0x80,          // "S"
    ListResizable = 0x100,        // "M"
    ListLineBreak = 0x200,        // "/"
    ListLocator = 0x400,          // "?"
    ListIcon = 0x800,             // "I" or "J"
    ListLastOfLine = 0x4000,      // the last column of its line or group
    ListTree = 0x8000,            // "T"
};

// Attribute word B.
enum ListAttributeB : uint32_t {
    ListCellColours = 0x1,       // "*": four colour fields
    ListHeadingHeight = 0x2,     // "H(n)"
    ListTreeLines = 0x4,         // tree option "L"
    ListTreeBoxes = 0x8,         // "B"
    ListTreeIndent = 0x10,       // "I"
    ListTreeLevel1 = 0x20,       // "1"
    ListTreeRoot = 0x40,         // "R"
    ListCellStyle = 0x80,        // "Y"
    ListTransparentIcon = 0x100, // "J"
    ListCellTip = 0x200,         // "P"
    ListDefaultTip = 0x400,      // "Q"
};

// What kind of cell value a queue field holds for a column.
enum class ListCellValue { Data, Colours, Icon, TreeLevel, Style, Tip };

struct ListColumn {
    uint32_t attributes_a = 0;
    uint32_t attributes_b = 0;
    int32_t heading_indent = 0; // pixels
    std::optional<std::string> heading;
    int32_t scroll_width = 0; // pixels
    int32_t data_indent = 0;  // pixels
    platform::Rect cell;      // within one row; right = left - 1 for a width of 0 or less
    int32_t width = 0;        // pixels, 0 when the width was 0 or negative
    std::optional<std::string> picture;
    int32_t field = 0; // the data's queue field, 1-based
    // Explicit colours from "E": text, background, selected text, selected background.
    std::array<std::optional<int32_t>, 4> colours;
    std::optional<int32_t> style;   // "Z"
    std::optional<std::string> tip; // "Q"
    int32_t heading_height = 0;     // pixels, from "H"
    int32_t line = 0;               // which line of the row (after "/" breaks)
    // The units as written, kept for property reads.
    int32_t width_units = 0;

    uint32_t justification() const { return attributes_a & ListJustifyMask; }
    uint32_t heading_justification() const { return (attributes_a & ListHeadingJustifyMask) >> 2; }
    // The queue field of a kind of value, or 0 when the column has none.
    int32_t field_of(ListCellValue kind) const;
    // How many queue fields the column takes.
    int32_t field_count() const;
};

struct ListGroup {
    uint32_t attributes_a = 0;
    uint32_t attributes_b = 0;
    std::optional<std::string> heading;
    uint32_t heading_justification = 0;
    int32_t heading_indent = 0;
    int32_t width = 0; // pixels
    std::size_t first_column = 0;
    std::size_t column_count = 0;
    int32_t x = 0; // running x position
    bool bracketed = false;
};

struct ListLayout {
    std::vector<ListColumn> columns;
    std::vector<ListGroup> groups;
    int32_t total_width = 0;
    int32_t row_height = 0;
    int32_t multi_line_height = 0; // the height of a row with line breaks
    int locator = -1;              // index of the locator column, -1 = none
    bool has_icons = false;
    bool has_tree = false;
    int groups_without_heading = 0;
    bool any_group_scrolls = false;
    int32_t fields_used = 0; // the highest queue field the columns take
};

// How a format's units become pixels, and the height of one text line.
struct ListUnits {
    std::function<int32_t(int32_t)> x = [](int32_t v) { return v; };
    std::function<int32_t(int32_t)> y = [](int32_t v) { return v; };
    int32_t line_height = 16;
};

// 0 when the format is well formed, else the 1-based position where the
// check failed; `reason` (if given) says what was wrong there.
int CheckListFormat(std::string_view format, std::string* reason = nullptr);
// The layout of a well-formed, non-empty format; nullopt otherwise.
std::optional<ListLayout> ParseListFormat(std::string_view format, const ListUnits& units);

} // namespace morvex
