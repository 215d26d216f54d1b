// Profile text as lines: classifying a line, finding sections and entries,
// and the three edits. Everything works on bytes; nothing here assumes UTF-8.
#include "platform/profile_document.h"

namespace morvex::platform {

namespace {

enum class LineKind { Blank, Comment, Header, Entry, Other };

struct ParsedLine {
    LineKind kind = LineKind::Blank;
    std::string_view name;   // section of a header, entry name of an entry
    std::string_view value;  // value of an entry
    size_t value_offset = 0; // where an entry's value starts: after "=" and the blanks that follow it
};

constexpr bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size() && is_blank(text[begin]))
        ++begin;
    size_t end = text.size();
    while (end > begin && is_blank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Upper case of a Windows-1252 byte: ASCII letters, the accented letters
// 0xE0..0xFE (except the division sign), and the four letters whose capitals
// lie in 0x80..0x9F.
unsigned char fold_case(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A: // s caron
    case 0x9C: // oe
    case 0x9E: // z caron
        return static_cast<unsigned char>(c - 0x10);
    case 0xFF: // y diaeresis
        return 0x9F;
    default:
        return c;
    }
}

bool names_equal(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (fold_case(static_cast<unsigned char>(a[i])) != fold_case(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

ParsedLine parse_line(std::string_view text) {
    ParsedLine line;
    size_t start = 0;
    while (start < text.size() && is_blank(text[start]))
        ++start;
    if (start == text.size())
        return line;
    const char first = text[start];
    if (first == ';' || first == '#') {
        line.kind = LineKind::Comment;
        return line;
    }
    if (first == '[') {
        const size_t close = text.find(']', start + 1);
        line.kind = LineKind::Header;
        line.name = trim(text.substr(start + 1, close == std::string_view::npos ? close : close - start - 1));
        return line;
    }
    const size_t equals = text.find('=', start);
    if (equals == std::string_view::npos) {
        line.kind = LineKind::Other;
        return line;
    }
    line.kind = LineKind::Entry;
    line.name = trim(text.substr(start, equals - start));
    line.value_offset = equals + 1;
    while (line.value_offset < text.size() && is_blank(text[line.value_offset]))
        ++line.value_offset;
    line.value = trim(text.substr(line.value_offset));
    return line;
}

bool has_line_break(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// Walks the lines and calls `visit(index, parsed line)` for every entry line
// inside the section named `section`.
template <typename Lines, typename Visit>
void for_each_entry_in(const Lines& lines, std::string_view section, Visit visit) {
    bool inside = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine line = parse_line(lines[i].text);
        if (line.kind == LineKind::Header)
            inside = names_equal(line.name, section);
        else if (inside && line.kind == LineKind::Entry)
            visit(i, line);
    }
}

} // namespace

ProfileDocument::ProfileDocument(std::string_view text) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t newline = text.find('\n', start);
        Line line;
        if (newline == std::string_view::npos) {
            line.text = text.substr(start);
            if (line.text.back() == '\r') {
                line.text.pop_back();
                line.end = LineEnd::Cr;
            }
            start = text.size();
        } else {
            line.text = text.substr(start, newline - start);
            line.end = LineEnd::Lf;
            if (!line.text.empty() && line.text.back() == '\r') {
                line.text.pop_back();
                line.end = LineEnd::CrLf;
            }
            start = newline + 1;
        }
        m_lines.push_back(std::move(line));
    }
}

std::string ProfileDocument::text() const {
    size_t size = 0;
    for (const Line& line : m_lines)
        size += line.text.size() + 2;
    std::string result;
    result.reserve(size);
    for (const Line& line : m_lines) {
        result += line.text;
        switch (line.end) {
        case LineEnd::None:
            break;
        case LineEnd::Lf:
            result += '\n';
            break;
        case LineEnd::CrLf:
            result += "\r\n";
            break;
        case LineEnd::Cr:
            result += '\r';
            break;
        }
    }
    return result;
}

std::optional<std::string_view> ProfileDocument::value(std::string_view section,
                                                       std::string_view entry) const {
    section = trim(section);
    entry = trim(entry);
    bool inside = false;
    for (const Line& line : m_lines) {
        const ParsedLine parsed = parse_line(line.text);
        if (parsed.kind == LineKind::Header)
            inside = names_equal(parsed.name, section);
        else if (inside && parsed.kind == LineKind::Entry && names_equal(parsed.name, entry))
            return parsed.value;
    }
    return std::nullopt;
}

bool ProfileDocument::has_section(std::string_view section) const {
    return first_header(trim(section)).has_value();
}

std::vector<std::string_view> ProfileDocument::section_names() const {
    std::vector<std::string_view> names;
    for (const Line& line : m_lines) {
        const ParsedLine parsed = parse_line(line.text);
        if (parsed.kind != LineKind::Header)
            continue;
        bool known = false;
        for (std::string_view name : names)
            known = known || names_equal(name, parsed.name);
        if (!known)
            names.push_back(parsed.name);
    }
    return names;
}

std::vector<std::string_view> ProfileDocument::entry_names(std::string_view section) const {
    std::vector<std::string_view> names;
    for_each_entry_in(m_lines, trim(section), [&](size_t, const ParsedLine& parsed) {
        bool known = false;
        for (std::string_view name : names)
            known = known || names_equal(name, parsed.name);
        if (!known)
            names.push_back(parsed.name);
    });
    return names;
}

bool ProfileDocument::can_store(std::string_view section, std::string_view entry, std::string_view value) {
    section = trim(section);
    entry = trim(entry);
    if (has_line_break(section) || has_line_break(entry) || has_line_break(value))
        return false;
    if (section.find(']') != std::string_view::npos || entry.find('=') != std::string_view::npos)
        return false;
    return entry.empty() || (entry.front() != ';' && entry.front() != '#' && entry.front() != '[');
}

bool ProfileDocument::same_name(std::string_view a, std::string_view b) {
    return names_equal(trim(a), trim(b));
}

ProfileEdit ProfileDocument::set_value(std::string_view section, std::string_view entry,
                                       std::string_view value) {
    if (!can_store(section, entry, value))
        return ProfileEdit::Invalid;
    section = trim(section);
    entry = trim(entry);
    value = trim(value);

    std::optional<size_t> existing;
    std::string_view old_value;
    size_t value_offset = 0;
    for_each_entry_in(m_lines, section, [&](size_t index, const ParsedLine& parsed) {
        if (!existing && names_equal(parsed.name, entry)) {
            existing = index;
            old_value = parsed.value;
            value_offset = parsed.value_offset;
        }
    });
    if (existing) {
        if (old_value == value)
            return ProfileEdit::Unchanged;
        // Whatever stood after the old value (blanks only) goes with it.
        std::string& text = m_lines[*existing].text;
        text.replace(value_offset, std::string::npos, value);
        return ProfileEdit::Changed;
    }

    const LineEnd end = new_line_end();
    std::string entry_line;
    entry_line.reserve(entry.size() + 1 + value.size());
    entry_line.append(entry).append(1, '=').append(value);

    const std::optional<size_t> header = first_header(section);
    if (!header) {
        std::string header_line;
        header_line.reserve(section.size() + 2);
        header_line.append(1, '[').append(section).append(1, ']');
        m_lines.reserve(m_lines.size() + 3);
        if (!m_lines.empty()) {
            terminate(m_lines.back());
            if (parse_line(m_lines.back().text).kind != LineKind::Blank)
                m_lines.push_back(Line{{}, end});
        }
        m_lines.push_back(Line{std::move(header_line), end});
        m_lines.push_back(Line{std::move(entry_line), end});
        return ProfileEdit::Changed;
    }

    // After the last line of the section's first block that says something, so
    // that blank lines and a comment heading the next section stay below it.
    size_t last = *header;
    for (size_t i = *header + 1; i < m_lines.size(); ++i) {
        const LineKind kind = parse_line(m_lines[i].text).kind;
        if (kind == LineKind::Header)
            break;
        if (kind != LineKind::Blank && kind != LineKind::Comment)
            last = i;
    }
    m_lines.reserve(m_lines.size() + 1);
    terminate(m_lines[last]);
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(last + 1), Line{std::move(entry_line), end});
    return ProfileEdit::Changed;
}

ProfileEdit ProfileDocument::remove_entry(std::string_view section, std::string_view entry) {
    section = trim(section);
    entry = trim(entry);
    std::vector<bool> doomed(m_lines.size(), false);
    bool any = false;
    for_each_entry_in(m_lines, section, [&](size_t index, const ParsedLine& parsed) {
        if (names_equal(parsed.name, entry)) {
            doomed[index] = true;
            any = true;
        }
    });
    if (!any)
        return ProfileEdit::Unchanged;
    size_t kept = 0;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (!doomed[i] && kept++ != i)
            m_lines[kept - 1] = std::move(m_lines[i]);
    }
    m_lines.resize(kept);
    return ProfileEdit::Changed;
}

ProfileEdit ProfileDocument::remove_section(std::string_view section) {
    section = trim(section);
    size_t kept = 0;
    bool inside = false;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const ParsedLine parsed = parse_line(m_lines[i].text);
        if (parsed.kind == LineKind::Header)
            inside = names_equal(parsed.name, section);
        if (!inside && kept++ != i)
            m_lines[kept - 1] = std::move(m_lines[i]);
    }
    if (kept == m_lines.size())
        return ProfileEdit::Unchanged;
    m_lines.resize(kept);
    return ProfileEdit::Changed;
}

std::optional<size_t> ProfileDocument::first_header(std::string_view section) const {
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const ParsedLine parsed = parse_line(m_lines[i].text);
        if (parsed.kind == LineKind::Header && names_equal(parsed.name, section))
            return i;
    }
    return std::nullopt;
}

// A lone "\r" can only end the last line; it stands for "\r\n".
ProfileDocument::LineEnd ProfileDocument::new_line_end() const {
    for (const Line& line : m_lines) {
        if (line.end != LineEnd::None)
            return line.end == LineEnd::Lf ? LineEnd::Lf : LineEnd::CrLf;
    }
    return LineEnd::Lf;
}

// Gives the last line of the document a line end before a line follows it.
void ProfileDocument::terminate(Line& line) const {
    if (line.end == LineEnd::None)
        line.end = new_line_end();
    else if (line.end == LineEnd::Cr)
        line.end = LineEnd::CrLf;
}

} // namespace morvex::platform
