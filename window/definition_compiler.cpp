// A line-oriented parser: each line is one statement, blocks (procedure
// windows, menus, toolbars) close with "end". A parse error leaves through an
// internal exception that ParseWindowDefinitions turns into its message.
#include "window/definition_compiler.h"

#include "window/definition_syntax.h"
#include "window/position_units.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace morvex::wdf {

namespace {

struct ParseError {
    std::string message;
};

struct Token {
    enum class Kind { Word, String };
    Kind kind;
    std::string text;
};

[[noreturn]] void fail(std::string message) {
    throw ParseError{std::move(message)};
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Splits one line into words and quoted strings; commas separate like blanks
// and "#" starts a comment.
std::vector<Token> tokenize(std::string_view line) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == ',' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            std::string text;
            ++i;
            for (;;) {
                if (i >= line.size())
                    fail("unterminated string");
                const char d = line[i++];
                if (d == '"')
                    break;
                if (d == '\0')
                    fail("a text cannot hold a NUL character");
                if (d != '\\') {
                    text += d;
                    continue;
                }
                if (i >= line.size())
                    fail("unterminated string");
                const char e = line[i++];
                switch (e) {
                case '\\':
                case '"':
                    text += e;
                    break;
                case 'n':
                    text += '\n';
                    break;
                case 't':
                    text += '\t';
                    break;
                case 'x': {
                    const int hi = i < line.size() ? hex_digit(line[i]) : -1;
                    const int lo = i + 1 < line.size() ? hex_digit(line[i + 1]) : -1;
                    if (hi < 0 || lo < 0)
                        fail("\\x needs two hexadecimal digits");
                    if (hi == 0 && lo == 0)
                        fail("a text cannot hold a NUL character");
                    text += static_cast<char>(hi * 16 + lo);
                    i += 2;
                    break;
                }
                default:
                    fail(std::string("unknown escape \\") + e);
                }
            }
            tokens.push_back({Token::Kind::String, std::move(text)});
        } else {
            const std::size_t start = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != ',' && line[i] != '"' &&
                   line[i] != '#' && line[i] != '\r')
                ++i;
            tokens.push_back({Token::Kind::Word, std::string(line.substr(start, i - start))});
        }
    }
    return tokens;
}

// The tokens of one statement, consumed from the front.
class Statement {
public:
    explicit Statement(std::vector<Token> tokens) : m_tokens(std::move(tokens)) {}

    bool done() const { return m_next >= m_tokens.size(); }
    bool next_is_string() const { return !done() && m_tokens[m_next].kind == Token::Kind::String; }
    bool next_is_word(std::string_view word) const {
        return !done() && m_tokens[m_next].kind == Token::Kind::Word && m_tokens[m_next].text == word;
    }
    // Whether the next token looks like a number (a digit, after an optional sign).
    bool next_is_number() const {
        if (done() || m_tokens[m_next].kind != Token::Kind::Word)
            return false;
        std::string_view text = m_tokens[m_next].text;
        if (!text.empty() && (text.front() == '-' || text.front() == '+'))
            text.remove_prefix(1);
        return !text.empty() && text.front() >= '0' && text.front() <= '9';
    }
    // The next token's text, empty at the end of the statement.
    std::string_view peek() const {
        return done() ? std::string_view() : std::string_view(m_tokens[m_next].text);
    }

    std::string word(std::string_view what) {
        if (done() || m_tokens[m_next].kind != Token::Kind::Word)
            fail("expected " + std::string(what));
        return m_tokens[m_next++].text;
    }
    std::string string(std::string_view what) {
        if (!next_is_string())
            fail("expected " + std::string(what) + " as a quoted text");
        return m_tokens[m_next++].text;
    }

    // A whole number within [low, high]: decimal, or hexadecimal after "0x".
    int64_t integer(std::string_view what, int64_t low, int64_t high) {
        const std::string text = word(what);
        std::string_view digits = text;
        bool negative = false;
        if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
            negative = digits.front() == '-';
            digits.remove_prefix(1);
        }
        int base = 10;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            base = 16;
            digits.remove_prefix(2);
        }
        uint64_t magnitude = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
            magnitude > (uint64_t{1} << 40))
            fail("expected " + std::string(what) + " as a number, not '" + text + "'");
        const int64_t value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
        if (value < low || value > high)
            fail(std::string(what) + " " + text + " is out of range (" + std::to_string(low) + " to " +
                 std::to_string(high) + ")");
        return value;
    }
    uint32_t u32(std::string_view what) {
        return static_cast<uint32_t>(integer(what, std::numeric_limits<int32_t>::min(), 0xFFFFFFFF));
    }
    int32_t i32(std::string_view what) {
        return static_cast<int32_t>(integer(what, std::numeric_limits<int32_t>::min(), 0xFFFFFFFF));
    }

    double real(std::string_view what) {
        const std::string text = word(what);
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(value))
            fail("expected " + std::string(what) + " as a number, not '" + text + "'");
        return value;
    }

    uint32_t colour(std::string_view what) {
        if (next_is_word("default")) {
            ++m_next;
            return DefaultColour;
        }
        return u32(what);
    }

    void expect_end() {
        if (!done())
            fail("unexpected '" + m_tokens[m_next].text + "'");
    }

private:
    std::vector<Token> m_tokens;
    std::size_t m_next = 0;
};

// Attribute words and numbers, or'ed together: to the end of the statement,
// or (`Until::OtherWord`, among a control's options) up to the first word
// that is neither.
enum class Until { End, OtherWord };

uint32_t parse_flags(Statement& s, std::span<const SyntaxWord> names, Until until) {
    uint32_t bits = 0;
    bool any = false;
    while (!s.done()) {
        if (const std::optional<uint32_t> bit = ValueOfWord(names, s.peek())) {
            s.word("attribute");
            bits |= *bit;
        } else if (until == Until::End || s.next_is_number()) {
            bits |= s.u32("attribute");
        } else {
            break;
        }
        any = true;
    }
    if (!any)
        fail("expected attribute names or numbers");
    return bits;
}

// The value a word of `table` names, or the failure naming the words.
uint32_t parse_word(Statement& s, std::span<const SyntaxWord> table, std::string_view what) {
    const std::string word = s.word(what);
    const std::optional<uint32_t> value = ValueOfWord(table, word);
    if (!value)
        fail("unknown " + std::string(what) + " '" + word + "' (" + WordList(table) + ")");
    return *value;
}

Position parse_position(Statement& s) {
    Position p{};
    for (int32_t& v : p) {
        if (s.next_is_word("-")) {
            s.word("position");
            v = DefaultPosition;
        } else {
            v = s.i32("position value");
        }
    }
    return p;
}

FontSource parse_font(Statement& s) {
    FontSource font;
    font.typeface = s.string("typeface");
    font.point_size = s.i32("point size");
    for (;;) {
        if (s.next_is_word("weight")) {
            s.word("weight");
            font.weight = s.i32("weight");
        } else if (s.next_is_word("colour")) {
            s.word("colour");
            font.colour = s.colour("font colour");
        } else {
            return font;
        }
    }
}

ColourSource parse_colours(Statement& s) {
    ColourSource c;
    c.colour = s.colour("colour");
    c.selected_text = s.colour("selected text colour");
    c.selected_background = s.colour("selected background colour");
    return c;
}

ImageSource parse_image(Statement& s) {
    ImageSource image;
    if (s.next_is_string()) {
        image.name = s.string("image name");
        if (!image.name.empty() && static_cast<uint8_t>(image.name[0]) == NumericImageMarker)
            fail("an image name cannot start with the byte 0xFF");
        return image;
    }
    const std::string form = s.word("image reference");
    image.kind = ImageSource::Kind::Numeric;
    if (const std::optional<uint32_t> kind = ValueOfWord(ImageKinds(), form)) {
        image.numeric_kind = static_cast<uint8_t>(*kind);
        image.stored = static_cast<uint16_t>(s.integer("image id", 0, 0xFFFE) + 1);
    } else if (form == "numeric") {
        image.numeric_kind = static_cast<uint8_t>(s.integer("image kind", 0, 0xFF));
        image.stored = static_cast<uint16_t>(s.integer("stored value", 0, 0xFFFF));
    } else {
        fail("expected an image: a quoted name, system ID, resource ID or numeric KIND VALUE");
    }
    return image;
}

VariableSource parse_variable(Statement& s) {
    VariableSource v;
    if (const std::optional<uint32_t> type = ValueOfWord(DataTypes(), s.peek())) {
        v.data_type = static_cast<uint8_t>(*type);
        s.word("type");
    } else {
        v.data_type =
            static_cast<uint8_t>(s.integer("data type (" + WordList(DataTypes(), "a number") + ")", 0, 255));
    }
    v.data_size = static_cast<uint16_t>(s.integer("data size", 0, 0xFFFF));
    return v;
}

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    std::vector<ProcedureSource> run() {
        while (next_line()) {
            Statement s = statement();
            const std::string keyword = s.word("a statement");
            if (keyword == "procedure") {
                ProcedureSource procedure;
                procedure.name = s.string("procedure name");
                if (procedure.name.empty())
                    fail("the procedure name is empty");
                procedure.line = m_line;
                s.expect_end();
                m_procedures.push_back(std::move(procedure));
            } else if (keyword == "window" || keyword == "report") {
                if (m_procedures.empty())
                    fail("a window needs a 'procedure' statement before it");
                WindowSource w;
                w.type = keyword == "window" ? WindowRecordType : ReportRecordType;
                w.label = s.string("window label");
                w.line = m_line;
                w.position = {DefaultPosition, DefaultPosition, DefaultPosition, DefaultPosition};
                s.expect_end();
                window_body(w);
                m_procedures.back().windows.push_back(std::move(w));
            } else {
                fail("expected 'procedure', 'window' or 'report', not '" + keyword + "'");
            }
        }
        for (const ProcedureSource& p : m_procedures)
            if (p.windows.empty()) {
                m_line = p.line;
                fail("procedure \"" + p.name + "\" has no window");
            }
        return std::move(m_procedures);
    }

    int line() const { return m_line; }

private:
    // Moves to the next line that holds a statement; false at the end.
    bool next_line() {
        while (m_pos < m_text.size()) {
            const std::size_t end = m_text.find('\n', m_pos);
            const std::size_t stop = end == std::string_view::npos ? m_text.size() : end;
            m_current = m_text.substr(m_pos, stop - m_pos);
            m_pos = end == std::string_view::npos ? m_text.size() : end + 1;
            ++m_line;
            m_tokens = tokenize(m_current);
            if (!m_tokens.empty())
                return true;
        }
        return false;
    }

    Statement statement() { return Statement(m_tokens); }

    void window_body(WindowSource& w) {
        ControlNumbering numbering = WindowNumbering;
        for (;;) {
            if (!next_line())
                fail("window \"" + w.label + "\" has no 'end'");
            Statement s = statement();
            const std::string keyword = s.word("a statement");
            if (keyword == "end") {
                s.expect_end();
                return;
            }
            if (keyword == "at") {
                w.position = parse_position(s);
            } else if (keyword == "units") {
                w.attributes1 = (w.attributes1 & ~WinUnitMask) | parse_word(s, PositionUnits(), "unit");
            } else if (keyword == "attributes") {
                w.attributes1 |= parse_flags(s, WindowFlags1(), Until::End);
            } else if (keyword == "attributes2") {
                w.attributes2 |= parse_flags(s, WindowFlags2(), Until::End);
            } else if (keyword == "open-attributes") {
                w.open_attributes = s.u32("attribute word");
            } else if (keyword == "caption") {
                w.caption = s.string("caption");
            } else if (keyword == "font") {
                w.font = parse_font(s);
            } else if (keyword == "colours") {
                w.colours = parse_colours(s);
            } else if (keyword == "icon") {
                w.icon = parse_image(s);
            } else if (keyword == "text1") {
                w.text1 = s.string("text");
            } else if (keyword == "text2") {
                w.text2 = s.string("text");
            } else if (keyword == "items" || keyword == "further") {
                std::vector<uint32_t>& list = keyword == "items" ? w.extra_items : w.further_items;
                list.clear();
                while (!s.done())
                    list.push_back(s.u32("item value"));
            } else if (keyword == "palette") {
                w.palette_size = s.u32("palette size");
            } else if (keyword == "timer") {
                w.timer = s.u32("timer interval");
            } else if (keyword == "wallpaper") {
                w.wallpaper = s.string("wallpaper name");
            } else if (keyword == "dock") {
                w.dock[0] = static_cast<uint8_t>(s.integer("docking byte", 0, 255));
                w.dock[1] = static_cast<uint8_t>(s.integer("docking byte", 0, 255));
            } else if (keyword == "menubar") {
                if (w.menu)
                    fail("the window already has a menu bar");
                MenuBarSource menu;
                while (!s.done()) {
                    if (const std::optional<uint32_t> flag = ValueOfWord(MenuBarFlags(), s.peek())) {
                        s.word("menu bar attribute");
                        menu.attributes |= *flag;
                    } else if (s.next_is_word("attributes")) {
                        s.word("attributes");
                        menu.attributes |= s.u32("menu attributes");
                    } else {
                        fail("unexpected '" + std::string(s.peek()) + "' after menubar");
                    }
                }
                menu_body(menu.items, 0);
                w.menu = std::move(menu);
                continue;
            } else if (keyword == "toolbar") {
                if (w.toolbar)
                    fail("the window already has a toolbar");
                ToolbarSource toolbar;
                toolbar.record.type = ToolbarControl;
                toolbar.record.line = m_line;
                ControlNumbering record_numbering = ToolbarRecordNumbering;
                control_options(s, toolbar.record, record_numbering);
                toolbar_body(toolbar);
                w.toolbar = std::move(toolbar);
                continue;
            } else if (const std::optional<uint8_t> type = control_type(keyword, s)) {
                ControlSource c;
                c.type = *type;
                c.line = m_line;
                control_options(s, c, numbering);
                w.controls.push_back(std::move(c));
                continue;
            } else {
                fail("unknown window statement '" + keyword + "'");
            }
            s.expect_end();
        }
    }

    // The control type of a statement keyword ("button", or "control CODE"),
    // nothing when the keyword names no control.
    static std::optional<uint8_t> control_type(const std::string& keyword, Statement& s) {
        if (keyword == "control") {
            const auto code = static_cast<uint8_t>(s.integer("control type code", 0, 255));
            if (code == ToolbarControl)
                fail("a toolbar is given with the 'toolbar' statement");
            return code;
        }
        const ControlLayout* layout = LayoutByKeyword(keyword);
        if (layout == nullptr || layout->type == ToolbarControl)
            return std::nullopt;
        return layout->type;
    }

    void toolbar_body(ToolbarSource& toolbar) {
        ControlNumbering numbering = ToolbarNumbering;
        for (;;) {
            if (!next_line())
                fail("toolbar has no 'end'");
            Statement s = statement();
            const std::string keyword = s.word("a control");
            if (keyword == "end") {
                s.expect_end();
                return;
            }
            const std::optional<uint8_t> type = control_type(keyword, s);
            if (!type)
                fail("expected a control or 'end' in the toolbar, not '" + keyword + "'");
            ControlSource c;
            c.type = *type;
            c.line = m_line;
            control_options(s, c, numbering);
            toolbar.controls.push_back(std::move(c));
        }
    }

    void menu_body(std::vector<MenuItemSource>& items, int depth) {
        if (depth > 8)
            fail("menus nest deeper than 8 levels");
        for (;;) {
            if (!next_line())
                fail("menu has no 'end'");
            Statement s = statement();
            const std::string keyword = s.word("a menu item");
            if (keyword == "end") {
                s.expect_end();
                return;
            }
            MenuItemSource item;
            if (keyword == "separator")
                item.type = MenuSeparatorRecordType;
            else if (keyword == "item")
                item.type = MenuItemRecordType;
            else if (keyword == "menu")
                item.type = SubmenuRecordType;
            else
                fail("expected 'item', 'menu', 'separator' or 'end', not '" + keyword + "'");
            if (s.next_is_string())
                item.text = s.string("item text");
            while (!s.done()) {
                const std::string option = s.word("an item option");
                if (option == "use")
                    item.use = s.i32("use number");
                else if (option == "key")
                    item.shortcut = s.string("key name");
                else if (option == "icon")
                    item.icon = parse_image(s);
                else if (const std::optional<uint32_t> flag = ValueOfWord(MenuItemFlags(), option))
                    item.attributes |= *flag;
                else if (option == "attributes")
                    item.attributes |= s.u32("item attributes");
                else
                    fail("unknown menu item option '" + option + "'");
            }
            if (item.type == SubmenuRecordType)
                menu_body(item.children, depth + 1);
            items.push_back(std::move(item));
        }
    }

    void control_options(Statement& s, ControlSource& c, ControlNumbering& numbering) {
        const ControlLayout& layout = LayoutOf(c.type);
        c.position = {DefaultPosition, DefaultPosition, DefaultPosition, DefaultPosition};
        bool feq_given = false;
        std::vector<bool> given(layout.fields.size(), false);
        while (!s.done()) {
            const std::string option = s.word("a control option");
            if (option == "feq") {
                c.feq = s.i32("control number");
                feq_given = true;
            } else if (option == "at") {
                c.position = parse_position(s);
            } else if (option == "attributes") {
                c.attributes = parse_flags(s, ControlFlags(), Until::OtherWord);
            } else if (option == "var") {
                if (!VariableOffsetOf(layout.block))
                    fail("a " + std::string(layout.keyword) + " has no variable");
                c.variable = parse_variable(s);
            } else if (option == "format") {
                if (!FormatOffsetOf(layout.block))
                    fail("a " + std::string(layout.keyword) + " has no list format");
                c.format = s.string("list format");
            } else if (option == "font") {
                c.font = parse_font(s);
            } else if (option == "colours") {
                c.colours = parse_colours(s);
            } else if (option == "tip") {
                c.tip = s.string("tip text");
            } else if (option == "justify") {
                c.justification = static_cast<uint8_t>(parse_word(s, Justifications(), "justification"));
            } else if (option == "indent") {
                c.indent = s.i32("indent");
            } else {
                std::size_t index = 0;
                while (index < layout.fields.size() && layout.fields[index].keyword != option)
                    ++index;
                if (index == layout.fields.size())
                    fail("unknown option '" + option + "' for a " + std::string(layout.keyword));
                if (given[index])
                    fail("'" + option + "' is given twice");
                given[index] = true;
                c.fields.push_back(field_value(s, layout.fields[index]));
            }
        }
        // Fields are kept in layout order, whatever order the line gives them in.
        std::vector<FieldSource> ordered;
        for (const FieldSpec& field_spec : layout.fields)
            for (FieldSource& f : c.fields)
                if (f.field_spec == &field_spec)
                    ordered.push_back(std::move(f));
        c.fields = std::move(ordered);
        if (!feq_given)
            c.feq = numbering.next;
        numbering.advance(c.feq);
    }

    static FieldSource field_value(Statement& s, const FieldSpec& field_spec) {
        FieldSource f;
        f.field_spec = &field_spec;
        const std::string name(field_spec.keyword);
        switch (field_spec.kind) {
        case FieldKind::Text:
            f.text = s.string(name);
            break;
        case FieldKind::Image:
            f.image = parse_image(s);
            break;
        case FieldKind::Byte:
            f.integer = s.integer(name, 0, 255);
            break;
        case FieldKind::Word:
            f.integer = s.integer(name, 0, 0xFFFF);
            break;
        case FieldKind::Long:
            f.integer = s.i32(name);
            break;
        case FieldKind::Colour:
            f.integer = s.colour(name);
            break;
        case FieldKind::Real:
            f.real = s.real(name);
            break;
        case FieldKind::Descriptor:
            f.variable = parse_variable(s);
            break;
        case FieldKind::TextList:
            while (s.next_is_string()) {
                f.texts.push_back(s.string("choice"));
                if (f.texts.back().empty())
                    fail("a choice cannot be empty");
            }
            break;
        }
        return f;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_line = 0;
    std::string_view m_current;
    std::vector<Token> m_tokens;
    std::vector<ProcedureSource> m_procedures;
};

} // namespace

CompileResult ParseWindowDefinitions(std::string_view text, std::string_view file) {
    CompileResult result;
    Parser parser(text);
    try {
        result.procedures = parser.run();
    } catch (const ParseError& e) {
        result.procedures.clear();
        result.error = std::string(file) + ":" + std::to_string(parser.line()) + ": " + e.message;
    }
    return result;
}

} // namespace morvex::wdf
