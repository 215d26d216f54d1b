// The check that a program and the runtime belong to the same release. The
// program passes its version code (bit 8 set for a release build, the major
// version in the low four bits), the minor number and the release number;
// the runtime is version 5.2.0.
#pragma once

#include <cstdint>
#include <string>

namespace morvex {

constexpr int32_t RuntimeMajor = 5;
constexpr int32_t RuntimeMinor = 2;
constexpr int32_t RuntimeRelease = 0;
// The version code of a release build for this runtime: bit 8 and major 5.
constexpr int32_t ReleaseVersionCode = 0x100 | RuntimeMajor;

// 1 when the program may run; otherwise the message box titled "Morvex 5
// Runtime Library" has been shown and the result is 0.
int VersionCheck(int32_t version_code, int32_t minor, int32_t release);

// The text of the failure box for a version code, minor and release number.
std::string VersionCheckMessage(int32_t version_code, int32_t minor, int32_t release);

} // namespace morvex
