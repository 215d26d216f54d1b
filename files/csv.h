// Comma-separated values as RFC 4180 has them: fields separated by commas,
// records by CRLF or LF; a field in double quotes may hold commas, line
// breaks and doubled quotes. The reader reports the first malformed record
// with its line number; the writer quotes only fields that need it.
#pragma once

#include <cstddef>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

class CsvReader {
public:
    explicit CsvReader(std::istream& in) : m_in(in) {}

    // Reads the next record into `fields`. False at the end of the input or
    // on an error (then error() is not empty): a malformed record, or the
    // input could not be read. A blank last line is no record.
    bool next(std::vector<std::string>& fields);

    const std::string& error() const { return m_error; }
    // The line on which the record last returned (or the failed one) starts.
    std::size_t record_line() const { return m_record_line; }

private:
    bool read_record(std::vector<std::string>& fields);
    bool fail(std::size_t line, std::string message);

    std::istream& m_in;
    std::size_t m_line = 1; // the line the next character is on
    std::size_t m_record_line = 0;
    std::string m_error;
};

enum class CsvLineEnd { CrLf, Lf };

class CsvWriter {
public:
    explicit CsvWriter(std::ostream& out, CsvLineEnd line_end = CsvLineEnd::CrLf)
        : m_out(out), m_line_end(line_end) {}

    void write(const std::vector<std::string>& fields);

private:
    std::ostream& m_out;
    CsvLineEnd m_line_end;
};

// The field as it is written: quoted when it holds a comma, a quote, a line
// break or leading or trailing blanks (so they survive tools that trim).
std::string CsvField(std::string_view text);

} // namespace morvex
