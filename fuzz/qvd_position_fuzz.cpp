// Fuzzes the position texts of RESET and REGET: arbitrary bytes are parsed
// (a parsed position must format back to the bytes it was read from), then
// given to RESET and REGET in record order and in each key of a small QVD
// file, each followed by NEXT and PREVIOUS. Nothing may crash, every answer
// must be 0 or one of the documented errors, and the file stays readable.
#include "files/file_statements.h"
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_position.h"
#include "runtime/error_state.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

using namespace morvex;

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void check_error(std::initializer_list<int32_t> allowed) {
    const int32_t error = ErrorCode();
    for (int32_t code : allowed) {
        if (error == code)
            return;
    }
    __builtin_trap();
}

FileDeclaration& fuzz_file() {
    static FileDeclaration* file = [] {
        static char pattern[] = "/tmp/qvd_position_fuzz_XXXXXX";
        const char* dir = mkdtemp(pattern);
        check(dir != nullptr);
        std::atexit([] { std::filesystem::remove_all(pattern); });
        auto* made = new FileDeclaration(FileSpec{
            .label = "FUZZ",
            .driver = QvdDriver,
            .record = RecordDescription(24, {FieldDescription::Of(FieldType::Long, "F:ID", 0),
                                             FieldDescription::Sized(FieldType::String, "F:NAME", 4, 20)}),
            .keys = {{.label = "F:BYID", .attributes = 0, .components = {1}},
                     {.label = "F:BYNAME", .attributes = KeyDup | KeyNoCase, .components = {-2}}},
            .options = {.name = std::string(dir) + "/Fuzz"},
        });
        CREATE(*made);
        OPEN(*made, AccessReadWrite | ShareDenyNone);
        check(ErrorCode() == 0);
        for (int32_t id = 1; id <= 20; ++id) {
            made->clear_record();
            std::memcpy(made->buffer(), &id, 4);
            std::memcpy(made->buffer() + 4, id % 2 ? "odd" : "even", id % 2 ? 3 : 4);
            ADD(*made);
            check(ErrorCode() == 0);
        }
        return made;
    }();
    return *file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto position = qvd::ParsePosition(text)) {
        const std::string formatted = qvd::FormatPosition(*position);
        check(text.substr(0, formatted.size()) == formatted);
    }
    FileDeclaration& file = fuzz_file();
    KeyDeclaration* orders[] = {nullptr, file.key(1), file.key(2)};
    for (KeyDeclaration* key : orders) {
        key ? RESET(*key, text) : RESET(file, text);
        check_error({0, 35});
        if (ErrorCode() == 0) {
            NEXT(file);
            check_error({0, 33});
            PREVIOUS(file);
            check_error({0, 33});
        }
        key ? REGET(*key, text) : REGET(file, text);
        check_error({0, 35});
    }
    check(RECORDS(file) == 20);
    return 0;
}
