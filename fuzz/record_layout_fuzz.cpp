// Fuzzes the record layout text that `morvex qvd --layout-file` reads: any
// input is either refused with a line-numbered reason or gives a layout whose
// declaration holds together and whose text form reads back to itself.
#include "files/file_declaration.h"
#include "files/record_layout.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const morvex::LayoutParse parse = morvex::ParseRecordLayout(text);
    if (!parse.ok) {
        check(!parse.error.empty());
        return 0;
    }
    morvex::FileDeclaration file(parse.layout.file_spec(nullptr));
    check(file.validate() == 0);
    const std::string again = morvex::RecordLayoutText(parse.layout);
    const morvex::LayoutParse reparsed = morvex::ParseRecordLayout(again);
    check(reparsed.ok);
    check(morvex::RecordLayoutText(reparsed.layout) == again);
    return 0;
}
