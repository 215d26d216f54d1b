// Environment file contents of any bytes: applying them must never fail,
// and the tables they leave must keep their limits and give a consistent
// text order.
#include "runtime/char_tables.h"
#include "runtime/locale.h"
#include "runtime/string_ops.h"
#include "runtime/text_compare.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view contents(reinterpret_cast<const char*>(data), size);
    morvex::ApplyEnvironmentText(contents);

    for (int month = 1; month <= 12; ++month) {
        check(morvex::MonthName(month).size() <= 12);
        check(morvex::MonthAbbreviation(month).size() <= 3);
    }
    check(morvex::RuntimeAmPm(false).size() <= 2 && morvex::RuntimeAmPm(true).size() <= 2);
    check(morvex::Chars().digraph_count <= morvex::MaxDigraphs);

    const std::string_view a = contents.substr(0, contents.size() / 2);
    const std::string_view b = contents.substr(contents.size() / 2);
    check(morvex::CompareText(a, a) == 0);
    check(morvex::CompareStringValues(b, b) == 0);
    check(sign(morvex::CompareText(a, b)) == -sign(morvex::CompareText(b, a)));
    check(sign(morvex::CompareStringValues(a, b)) == -sign(morvex::CompareStringValues(b, a)));
    check(sign(morvex::CompareStringValuesNoCase(a, b)) == -sign(morvex::CompareStringValuesNoCase(b, a)));
    check(morvex::UPPER(a).size() == a.size());
    if (!b.empty())
        check(morvex::INSTRING(b.substr(0, 1 + b.size() / 3), contents, 1, 1) > 0);

    morvex::ResetLocale();
    return 0;
}
