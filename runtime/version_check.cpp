#include "runtime/version_check.h"

#include "platform/message_box.h"

#include <cstdio>

namespace morvex {

namespace {

constexpr const char* RuntimeName = "M5RUN%s";
constexpr const char* RuntimeSuffix = "X";

std::string runtime_name() {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, RuntimeName, RuntimeSuffix);
    return buffer;
}

} // namespace

std::string VersionCheckMessage(int32_t version_code, int32_t minor, int32_t release) {
    if (!(version_code & 0x100))
        return "This program or a component DLL was built using the beta release of Morvex 5\r\nIt will not "
               "operate "
               "correctly with this copy of " +
               runtime_name() + "\r\nPlease obtain a new version of this program";
    char buffer[256];
    std::snprintf(
        buffer, sizeof buffer,
        "This program or a component DLL requires %s version %d.%03d.%02d or later\r\nThis version is "
        "%d.%03d.%02d",
        runtime_name().c_str(), static_cast<int>(version_code & 0xF), static_cast<int>(minor),
        static_cast<int>(release), static_cast<int>(RuntimeMajor), static_cast<int>(RuntimeMinor),
        static_cast<int>(RuntimeRelease));
    return buffer;
}

int VersionCheck(int32_t version_code, int32_t minor, int32_t release) {
    if (version_code == ReleaseVersionCode && minor <= RuntimeMinor)
        return 1;
    platform::MessageBoxRequest request;
    request.caption = "Morvex 5 Runtime Library";
    request.text = VersionCheckMessage(version_code, minor, release);
    request.icon = platform::MessageBoxIcon::Stop;
    request.buttons = platform::MessageBoxButtons::Ok;
    platform::show_message_box(request);
    return 0;
}

} // namespace morvex
