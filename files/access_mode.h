// The access modes of OPEN: the low nibble says how this open uses the file,
// the high nibble what it lets other opens do at the same time. A mode is one
// access value | one sharing value.
#pragma once

#include <cstdint>

namespace morvex {

enum AccessMode : int32_t {
    AccessReadOnly = 0x0,
    AccessWriteOnly = 0x1,
    AccessReadWrite = 0x2,
    ShareDenyAll = 0x10,
    ShareDenyWrite = 0x20,
    ShareDenyRead = 0x30,
    ShareDenyNone = 0x40,
};

constexpr int32_t AccessMask = 0x0F;
constexpr int32_t ShareMask = 0xF0;

} // namespace morvex
