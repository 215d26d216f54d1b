// Fuzzes list box format strings: the check and the parse must agree, a
// parsed layout must be sound (columns in their groups, fields numbered
// forward, no cell wider than the row), and neither may crash on any input.
#include "window/list_format.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

#define CHECK(condition)                                                                                     \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            __builtin_trap();                                                                                \
    } while (0)

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view format(reinterpret_cast<const char*>(data), size);
    const int failure = morvex::CheckListFormat(format);
    morvex::ListUnits units;
    units.x = [](int32_t v) { return v * 3 / 2; };
    units.y = [](int32_t v) { return v * 2; };
    const auto layout = morvex::ParseListFormat(format, units);
    CHECK((failure == 0) == layout.has_value());
    CHECK(failure >= 0 && static_cast<std::size_t>(failure) <= size + 1);
    if (!layout)
        return 0;
    std::size_t columns = 0;
    for (const morvex::ListGroup& group : layout->groups) {
        CHECK(group.first_column == columns);
        columns += group.column_count;
    }
    CHECK(columns == layout->columns.size());
    for (const morvex::ListColumn& column : layout->columns) {
        CHECK(column.field >= 0);
        CHECK(column.width >= 0);
        CHECK(column.field_of(morvex::ListCellValue::Data) == column.field);
        CHECK(column.field + column.field_count() - 1 <= layout->fields_used || column.field <= 0);
    }
    CHECK(layout->locator < static_cast<int>(layout->columns.size()));
    return 0;
}
