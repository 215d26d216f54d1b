// Fuzzes the CSV reader: any input reads to records or stops with a
// line-numbered error, and whatever it read writes back to text that reads
// to the same records.
#include "files/csv.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    morvex::CsvReader reader(in);
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> fields;
    while (reader.next(fields))
        rows.push_back(fields);
    check(reader.error().empty() || reader.error().starts_with("line "));

    std::ostringstream out;
    morvex::CsvWriter writer(out);
    for (const auto& row : rows)
        writer.write(row);
    std::istringstream back(out.str());
    morvex::CsvReader again(back);
    std::size_t n = 0;
    while (again.next(fields)) {
        check(n < rows.size() && fields == rows[n]);
        ++n;
    }
    check(again.error().empty() && n == rows.size());
    return 0;
}
