// The text of a profile (INI) file held as its lines: parse, look up, change
// one entry or section, serialise. No file system here: profile.cpp reads the
// files, and replaces them with what this class produces.
//
// A line is a section header when its first non-blank byte is "[" (the name
// runs to the first "]", or to the end of the line without one), a comment
// when it is ";" or "#", an entry when it holds "=" (the name before the first
// "=", the value after it), blank when it holds only spaces and tabs; any
// other line is kept but means nothing. Names and values lose the blanks
// around them, and names compare without regard to case (the letters of
// Windows-1252). Lines before the first header belong to no section. A section
// that appears twice is one section: a lookup finds the first matching entry,
// a removal removes every one.
//
// Parsing never fails and loses nothing: text() of a parsed document is the
// parsed text, byte for byte. Each line keeps its own end ("\n" or "\r\n");
// new lines take the end of the document's first line. Out of memory
// surfaces as std::bad_alloc, which the profile functions catch.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvex::platform {

enum class ProfileEdit {
    Changed,
    Unchanged, // the document already read as asked: nothing to write
    Invalid,   // the names or the value cannot be written as lines (see can_store)
};

class ProfileDocument {
public:
    ProfileDocument() = default;
    explicit ProfileDocument(std::string_view text);

    // The document as file contents.
    std::string text() const;

    // The value of an entry, or nothing when the section or the entry is missing.
    std::optional<std::string_view> value(std::string_view section, std::string_view entry) const;
    bool has_section(std::string_view section) const;
    // Each section name once, as first written, in file order.
    std::vector<std::string_view> section_names() const;
    // Each entry name of a section once, as first written, in file order.
    std::vector<std::string_view> entry_names(std::string_view section) const;

    // True when an entry with these names and this value can be written as lines that read back
    // as given: no line breaks anywhere, no "]" in the section name, no "=" in the entry name,
    // and an entry name that does not begin like a comment or a header.
    static bool can_store(std::string_view section, std::string_view entry, std::string_view value);
    // True when two names name the same section or entry: apart from the blanks around them, and
    // without regard to case.
    static bool same_name(std::string_view a, std::string_view b);

    // Sets an entry, creating it at the end of the section's entries, or the section at the end
    // of the document. An existing entry keeps its name as written and the layout before its value.
    ProfileEdit set_value(std::string_view section, std::string_view entry, std::string_view value);
    ProfileEdit remove_entry(std::string_view section, std::string_view entry);
    // Removes every header of the section and the lines up to the next header.
    ProfileEdit remove_section(std::string_view section);

private:
    enum class LineEnd : unsigned char {
        None, // the last line of a text that does not end with a line break
        Lf,
        CrLf,
        Cr, // the last line of a text that ends with a lone "\r"
    };
    struct Line {
        std::string text; // without its line end
        LineEnd end = LineEnd::None;
    };

    std::optional<size_t> first_header(std::string_view section) const;
    LineEnd new_line_end() const;
    void terminate(Line& line) const;

    std::vector<Line> m_lines;
};

} // namespace morvex::platform
