#include "window/list_format.h"

#include "runtime/ascii_case.h"
#include "runtime/leading_integer.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace morvex {

int32_t ListColumn::field_of(ListCellValue kind) const {
    int32_t next = field + 1;
    const auto take = [&](bool present, int32_t count) {
        const int32_t at = present ? next : 0;
        if (present)
            next += count;
        return at;
    };
    const int32_t colours = take(attributes_b & ListCellColours, 4);
    const int32_t icon = take(attributes_a & ListIcon, 1);
    const int32_t tree = take(attributes_a & ListTree, 1);
    const int32_t style = take(attributes_b & ListCellStyle, 1);
    const int32_t tip = take(attributes_b & ListCellTip, 1);
    switch (kind) {
    case ListCellValue::Data:
        return field;
    case ListCellValue::Colours:
        return colours;
    case ListCellValue::Icon:
        return icon;
    case ListCellValue::TreeLevel:
        return tree;
    case ListCellValue::Style:
        return style;
    case ListCellValue::Tip:
        return tip;
    }
    return 0;
}

int32_t ListColumn::field_count() const {
    return 1 + ((attributes_b & ListCellColours) ? 4 : 0) + ((attributes_a & ListIcon) ? 1 : 0) +
           ((attributes_a & ListTree) ? 1 : 0) + ((attributes_b & ListCellStyle) ? 1 : 0) +
           ((attributes_b & ListCellTip) ? 1 : 0);
}

namespace {

// Justification letters and the bits they set: data and heading.
std::optional<uint32_t> justification_of(char c) {
    switch (c) {
    case 'L':
        return 0;
    case 'R':
        return 1;
    case 'C':
        return 2;
    case 'D':
        return 3;
    default:
        return std::nullopt;
    }
}

// Widths, indents and heights are 16-bit values.
constexpr int64_t LargestNumber = 32767;

// One pass over the string: the check and the parse share it, so they can
// never disagree about what is well formed.
class FormatReader {
public:
    FormatReader(std::string_view text, ListLayout* layout) : m_text(text), m_layout(layout) {}

    // 0, or the 1-based position of the failure.
    int read() {
        if (m_text.empty())
            return fail("the format is empty");
        while (!at_end()) {
            if (peek() == '[') {
                if (!group())
                    return m_failure;
            } else {
                start_group(false);
                if (!column())
                    return m_failure;
                end_group();
            }
        }
        return 0;
    }
    const std::string& reason() const { return m_reason; }

private:
    bool at_end() const { return m_at >= m_text.size(); }
    char peek() const { return at_end() ? '\0' : m_text[m_at]; }
    bool fail_bool(std::string reason) {
        fail(std::move(reason));
        return false;
    }
    int fail(std::string reason) {
        if (m_failure == 0) {
            m_failure = static_cast<int>(std::min(m_at, m_text.size())) + 1;
            m_reason = std::move(reason);
        }
        return m_failure;
    }

    // Decimal digits at the current place (no blanks, no sign), held at `limit`.
    LeadingInteger read_digits(int64_t limit) {
        const LeadingInteger digits = ReadLeadingInteger(m_text.substr(std::min(m_at, m_text.size())),
                                                         {.limit = limit, .sign = false, .blanks = {}});
        m_at += digits.length;
        return digits;
    }

    std::optional<int32_t> integer() {
        const std::size_t start = m_at;
        bool negative = false;
        if (peek() == '-') {
            negative = true;
            ++m_at;
        }
        const LeadingInteger digits = read_digits(LargestNumber + 1);
        if (!digits.found()) {
            m_at = start;
            return std::nullopt;
        }
        // Larger widths, indents and heights are refused, not cut.
        if (digits.value > LargestNumber) {
            m_at = start;
            fail("a number is at most 32767");
            return std::nullopt;
        }
        return static_cast<int32_t>(negative ? -digits.value : digits.value);
    }

    // "(n)"; a "(" must be followed by a number and ")".
    std::optional<int32_t> parenthesised() {
        if (peek() != '(')
            return std::nullopt;
        ++m_at;
        const auto value = integer();
        if (!value) {
            fail("expected a number after '('");
            return std::nullopt;
        }
        if (peek() != ')') {
            fail("expected ')'");
            return std::nullopt;
        }
        ++m_at;
        return value;
    }
    bool optional_parenthesised(std::optional<int32_t>& value) {
        if (peek() != '(')
            return true;
        value = parenthesised();
        return m_failure == 0;
    }

    // A number of "E": decimal, or hexadecimal with a trailing "H".
    std::optional<int32_t> colour_number() {
        const std::size_t start = m_at;
        bool negative = false;
        if (peek() == '-') {
            negative = true;
            ++m_at;
        }
        std::size_t end = m_at;
        while (end < m_text.size() && std::isxdigit(static_cast<unsigned char>(m_text[end])))
            ++end;
        int64_t value = 0;
        if (end < m_text.size() && AsciiUpper(m_text[end]) == 'H' && end > m_at) {
            for (std::size_t i = m_at; i < end; ++i) {
                const char c = AsciiUpper(m_text[i]);
                value = value * 16 + (c <= '9' ? c - '0' : c - 'A' + 10);
                value = std::min<int64_t>(value, 0xFFFFFFFFLL);
            }
            m_at = end + 1;
        } else {
            const LeadingInteger digits = read_digits(0xFFFFFFFFLL);
            if (!digits.found()) {
                m_at = start;
                return std::nullopt;
            }
            value = digits.value;
        }
        return static_cast<int32_t>(static_cast<uint32_t>(negative ? -value : value));
    }

    // "~text~" with an optional justification letter and "(indent)".
    bool heading(std::optional<std::string>& text, std::optional<uint32_t>& justification,
                 std::optional<int32_t>& indent) {
        const std::size_t close = m_text.find('~', m_at + 1);
        if (close == std::string_view::npos)
            return fail_bool("the heading has no closing '~'");
        ++m_at; // "~"
        text = close == m_at ? std::nullopt
                             : std::optional<std::string>(std::string(m_text.substr(m_at, close - m_at)));
        m_at = close + 1;
        if (const auto j = justification_of(peek())) {
            justification = *j;
            ++m_at;
        }
        return optional_parenthesised(indent);
    }

    void start_group(bool bracketed) {
        if (!m_layout)
            return;
        ListGroup group;
        group.bracketed = bracketed;
        group.first_column = m_layout->columns.size();
        group.x = m_x;
        m_layout->groups.push_back(group);
        m_line_x = 0;
        m_line = 0;
    }

    void end_group() {
        if (!m_layout)
            return;
        ListGroup& group = m_layout->groups.back();
        group.column_count = m_layout->columns.size() - group.first_column;
        if (group.column_count > 0)
            m_layout->columns.back().attributes_a |= ListLastOfLine;
        int32_t widest = 0;
        int32_t line_width = 0;
        for (std::size_t i = group.first_column; i < m_layout->columns.size(); ++i) {
            line_width += m_layout->columns[i].width;
            widest = std::max(widest, line_width);
            if (m_layout->columns[i].attributes_a & ListLineBreak)
                line_width = 0;
        }
        if (group.width == 0)
            group.width = widest;
        if (!group.heading)
            ++m_layout->groups_without_heading;
        if (group.attributes_a & ListScrolled)
            m_layout->any_group_scrolls = true;
        m_layout->multi_line_height =
            std::max(m_layout->multi_line_height, (m_line + 1) * m_units_line_height);
        m_x += group.width;
    }

    bool group() {
        ++m_at; // "["
        start_group(true);
        int columns = 0;
        while (!at_end() && peek() != ']') {
            if (!column())
                return false;
            ++columns;
        }
        if (peek() != ']')
            return fail_bool("the group has no closing ']'");
        if (columns == 0)
            return fail_bool("a group needs at least one column");
        ++m_at;
        std::optional<int32_t> width;
        if (!optional_parenthesised(width))
            return false;
        ListGroup scratch;
        ListGroup& group = m_layout ? m_layout->groups.back() : scratch;
        if (width && m_layout)
            group.width = std::max(0, m_units.x(*width));
        while (!at_end()) {
            const char c = AsciiUpper(peek());
            if (c == '~') {
                std::optional<uint32_t> justification;
                std::optional<int32_t> indent;
                if (!heading(group.heading, justification, indent))
                    return false;
                if (justification)
                    group.heading_justification = *justification;
                if (indent && m_layout)
                    group.heading_indent = m_units.x(*indent);
            } else if (c == 'M') {
                ++m_at;
                group.attributes_a |= ListResizable;
            } else if (c == 'F') {
                ++m_at;
                group.attributes_a |= ListFixed;
            } else if (c == 'S') {
                ++m_at;
                group.attributes_a |= ListScrolled;
                std::optional<int32_t> scroll;
                if (!optional_parenthesised(scroll))
                    return false;
            } else if (c == 'H') {
                ++m_at;
                if (!parenthesised())
                    return fail_bool("'H' needs a height in parentheses");
                group.attributes_b |= ListHeadingHeight;
            } else if (c == '|') {
                ++m_at;
                group.attributes_a |= ListRightBorder;
                if (width)
                    group.width += 1;
            } else if (c == '_') {
                ++m_at;
                group.attributes_a |= ListUnderline;
            } else {
                break;
            }
        }
        end_group();
        return true;
    }

    bool column() {
        ListColumn column;
        const auto width = integer();
        if (!width)
            return fail_bool("expected a column width");
        const auto justification = justification_of(peek());
        if (!justification)
            return fail_bool("expected a justification letter L, R, C or D");
        ++m_at;
        column.attributes_a |= *justification | (*justification << 2);
        std::optional<int32_t> indent;
        if (!optional_parenthesised(indent))
            return false;
        bool seen_e = false, seen_q = false, seen_z = false;
        std::optional<int32_t> field;
        while (!at_end()) {
            const char c = AsciiUpper(peek());
            if (c == '~') {
                std::optional<uint32_t> heading_justification;
                std::optional<int32_t> heading_indent;
                if (!heading(column.heading, heading_justification, heading_indent))
                    return false;
                if (heading_justification)
                    column.attributes_a =
                        (column.attributes_a & ~ListHeadingJustifyMask) | (*heading_justification << 2);
                if (heading_indent)
                    column.heading_indent = m_units.x(*heading_indent);
            } else if (c == '@') {
                const std::size_t close = m_text.find('@', m_at + 1);
                if (close == std::string_view::npos)
                    return fail_bool("the picture has no closing '@'");
                if (!column.picture)
                    column.picture = std::string(m_text.substr(m_at, close + 1 - m_at));
                m_at = close + 1;
            } else if (c == '#') {
                ++m_at;
                field = integer();
                if (!field || peek() != '#')
                    return fail_bool("expected a field number between '#' and '#'");
                if (*field < 1)
                    return fail_bool("a field number starts at 1");
                ++m_at;
            } else if (c == '*') {
                ++m_at;
                column.attributes_b |= ListCellColours;
            } else if (c == 'I' || c == 'J') {
                ++m_at;
                column.attributes_a |= ListIcon;
                if (c == 'J')
                    column.attributes_b |= ListTransparentIcon;
            } else if (c == 'T') {
                ++m_at;
                column.attributes_a |= ListTree;
                if (peek() == '(') {
                    ++m_at;
                    while (!at_end() && peek() != ')') {
                        switch (peek()) {
                        case 'L':
                            column.attributes_b |= ListTreeLines;
                            break;
                        case 'B':
                            column.attributes_b |= ListTreeBoxes;
                            break;
                        case 'I':
                            column.attributes_b |= ListTreeIndent;
                            break;
                        case '1':
                            column.attributes_b |= ListTreeLevel1;
                            break;
                        case 'R':
                            column.attributes_b |= ListTreeRoot;
                            break;
                        default:
                            return fail_bool("a tree option is one of L, B, I, 1 and R");
                        }
                        ++m_at;
                    }
                    if (peek() != ')')
                        return fail_bool("expected ')'");
                    ++m_at;
                }
            } else if (c == 'Y') {
                ++m_at;
                column.attributes_b |= ListCellStyle;
            } else if (c == 'P') {
                ++m_at;
                column.attributes_b |= ListCellTip;
            } else if (c == 'Q') {
                if (seen_q)
                    return fail_bool("'Q' is given twice");
                seen_q = true;
                ++m_at;
                const char quote = peek();
                if (quote != '\'' && quote != '"')
                    return fail_bool("'Q' needs a quoted text");
                ++m_at;
                std::string text;
                while (true) {
                    if (at_end())
                        return fail_bool("the tip text has no closing quote");
                    if (peek() == quote) {
                        if (m_at + 1 < m_text.size() && m_text[m_at + 1] == quote) {
                            text += quote;
                            m_at += 2;
                            continue;
                        }
                        ++m_at;
                        break;
                    }
                    text += peek();
                    ++m_at;
                }
                column.tip = text;
                column.attributes_b |= ListDefaultTip;
            } else if (c == 'E') {
                if (seen_e)
                    return fail_bool("'E' is given twice");
                seen_e = true;
                ++m_at;
                if (peek() != '(')
                    return fail_bool("'E' needs colours in parentheses");
                ++m_at;
                for (int i = 0; i < 4 && peek() != ')'; ++i) {
                    if (peek() != ',') {
                        const auto value = colour_number();
                        if (!value)
                            return fail_bool("expected a colour number");
                        column.colours[static_cast<std::size_t>(i)] = *value;
                    }
                    if (peek() == ',')
                        ++m_at;
                    else
                        break;
                }
                if (peek() != ')')
                    return fail_bool("expected ')' after at most four colours");
                ++m_at;
            } else if (c == 'Z') {
                if (seen_z)
                    return fail_bool("'Z' is given twice");
                seen_z = true;
                ++m_at;
                const auto style = parenthesised();
                if (!style)
                    return fail_bool("'Z' needs a style number in parentheses");
                column.style = *style;
            } else if (c == 'M') {
                ++m_at;
                column.attributes_a |= ListResizable;
            } else if (c == 'F') {
                ++m_at;
                column.attributes_a |= ListFixed;
            } else if (c == '|') {
                ++m_at;
                column.attributes_a |= ListRightBorder;
            } else if (c == '_') {
                ++m_at;
                column.attributes_a |= ListUnderline;
            } else if (c == '/') {
                ++m_at;
                column.attributes_a |= ListLineBreak;
            } else if (c == '?') {
                ++m_at;
                column.attributes_a |= ListLocator;
            } else if (c == 'S') {
                ++m_at;
                column.attributes_a |= ListScrolled;
                std::optional<int32_t> scroll;
                if (!optional_parenthesised(scroll))
                    return false;
                if (scroll)
                    column.scroll_width = m_units.x(*scroll);
            } else if (c == 'H') {
                ++m_at;
                const auto height = parenthesised();
                if (!height)
                    return fail_bool("'H' needs a height in parentheses");
                column.attributes_b |= ListHeadingHeight;
                column.heading_height = m_units.y(*height);
            } else {
                break;
            }
        }
        if (!m_layout)
            return true;
        // Placement in the row.
        column.width_units = *width;
        const int32_t pixels = *width > 0 ? m_units.x(*width) : 0;
        column.width = std::max(0, pixels);
        column.data_indent = indent ? m_units.x(*indent) : 0;
        if (indent && !column.heading_indent)
            column.heading_indent = column.data_indent;
        column.line = m_line;
        const int32_t left = m_layout->groups.back().x + m_line_x;
        const int32_t top = m_line * m_units_line_height;
        column.cell = {left, top, column.width > 0 ? left + column.width : left - 1,
                       top + m_units_line_height};
        if (column.attributes_a & ListUnderline)
            column.cell.bottom -= 1;
        column.field = field.value_or(m_next_field);
        m_next_field = column.field + column.field_count();
        m_layout->fields_used = std::max(m_layout->fields_used, m_next_field - 1);
        if (column.attributes_a & ListLocator)
            m_layout->locator = static_cast<int>(m_layout->columns.size());
        if (column.attributes_a & ListIcon)
            m_layout->has_icons = true;
        if (column.attributes_a & ListTree)
            m_layout->has_tree = true;
        m_line_x += column.width;
        if (column.attributes_a & ListLineBreak) {
            column.attributes_a |= ListLastOfLine;
            m_line_x = 0;
            ++m_line;
        }
        m_layout->columns.push_back(std::move(column));
        return true;
    }

public:
    void set_units(const ListUnits& units) {
        m_units = units;
        m_units_line_height = units.line_height;
    }

private:
    std::string_view m_text;
    ListLayout* m_layout;
    ListUnits m_units;
    int32_t m_units_line_height = 16;
    std::size_t m_at = 0;
    int m_failure = 0;
    std::string m_reason;
    int32_t m_x = 0;
    int32_t m_line_x = 0;
    int32_t m_line = 0;
    int32_t m_next_field = 1;
};

} // namespace

int CheckListFormat(std::string_view format, std::string* reason) {
    FormatReader reader(format, nullptr);
    const int failure = reader.read();
    if (reason)
        *reason = reader.reason();
    return failure;
}

std::optional<ListLayout> ParseListFormat(std::string_view format, const ListUnits& units) {
    ListLayout layout;
    FormatReader reader(format, &layout);
    reader.set_units(units);
    if (reader.read() != 0)
        return std::nullopt;
    layout.row_height = units.line_height;
    layout.multi_line_height = std::max(layout.multi_line_height, layout.row_height);
    for (const ListGroup& group : layout.groups)
        layout.total_width += group.width;
    return layout;
}

} // namespace morvex
