#include "files/page_read.h"

#include "files/driver.h"
#include "runtime/error_state.h"

namespace morvex {

int32_t ReadPage(FileDeclaration& file, PageReader& reader) {
    CallDriver(DriverOperation::ReadPage, file, &reader);
    return ErrorCode();
}

} // namespace morvex
