#include "files/page_read.h"

#include "files/driver.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

namespace morvex {

int32_t ReadPage(FileDeclaration& file, PageReader& reader) {
    CallDriver(DriverOperation::ReadPage, file, &reader);
    return ErrorCode();
}

std::optional<uint32_t> ChangeCounter(FileDeclaration& file) {
    const int32_t counter = CallDriver(DriverOperation::ChangeCounter, file);
    if (ErrorCode() != 0) {
        ClearError();
        return std::nullopt;
    }
    return static_cast<uint32_t>(counter);
}

} // namespace morvex
