#include "files/csv.h"

#include <cerrno>
#include <cstring>
#include <exception>

namespace morvex {

bool CsvReader::fail(std::size_t line, std::string message) {
    m_error = "line " + std::to_string(line) + ": " + std::move(message);
    return false;
}

bool CsvReader::next(std::vector<std::string>& fields) {
    fields.clear();
    if (!m_error.empty())
        return false;
    // The stream's buffer throws when the system refuses a read (a
    // directory, an I/O error), whatever the stream's exception mask says.
    try {
        errno = 0;
        return read_record(fields);
    } catch (const std::exception& failure) {
        fields.clear();
        return fail(m_line, std::string("cannot read the input: ") +
                                (errno != 0 ? std::strerror(errno) : failure.what()));
    }
}

bool CsvReader::read_record(std::vector<std::string>& fields) {
    m_record_line = m_line;
    std::streambuf& in = *m_in.rdbuf();
    using Traits = std::char_traits<char>;

    if (Traits::eq_int_type(in.sgetc(), Traits::eof()))
        return false;

    std::string field;
    bool quoted = false; // the current field started with a quote
    bool closed = false; // its closing quote has been read
    std::size_t quote_line = 0;
    for (;;) {
        const Traits::int_type next = in.sbumpc();
        if (Traits::eq_int_type(next, Traits::eof())) {
            if (quoted && !closed)
                return fail(quote_line, "a quoted field is not closed before the end of the input");
            fields.push_back(std::move(field));
            return true;
        }
        const char c = Traits::to_char_type(next);
        if (quoted && !closed) {
            if (c == '"') {
                if (Traits::eq_int_type(in.sgetc(), Traits::to_int_type('"'))) {
                    in.sbumpc();
                    field += '"';
                } else {
                    closed = true;
                }
            } else {
                if (c == '\n')
                    ++m_line;
                field += c;
            }
            continue;
        }
        if (c == ',') {
            fields.push_back(std::move(field));
            field.clear();
            quoted = closed = false;
            continue;
        }
        if (c == '\r' || c == '\n') {
            if (c == '\r' && Traits::eq_int_type(in.sgetc(), Traits::to_int_type('\n')))
                in.sbumpc();
            else if (c == '\r')
                return fail(m_line, "a carriage return without its line feed");
            ++m_line;
            fields.push_back(std::move(field));
            return true;
        }
        if (closed)
            return fail(m_line, std::string("'") + c + "' after the closing quote of a field");
        if (c == '"') {
            if (!field.empty())
                return fail(m_line,
                            "a quote inside an unquoted field (quote the field and double the quote)");
            quoted = true;
            quote_line = m_line;
            continue;
        }
        field += c;
    }
}

std::string CsvField(std::string_view text) {
    const bool needs_quotes = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                              (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!needs_quotes)
        return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

void CsvWriter::write(const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            m_out << ',';
        m_out << CsvField(fields[i]);
    }
    // A record of one empty field would read back as a blank line, which is
    // no record: quote it.
    if (fields.size() == 1 && fields[0].empty())
        m_out << "\"\"";
    m_out << (m_line_end == CsvLineEnd::CrLf ? "\r\n" : "\n");
}

} // namespace morvex
