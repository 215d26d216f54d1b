// The system clock through clock_gettime and localtime_r, replaceable by tests.
#include "platform/local_clock.h"

#include <ctime>
#include <utility>

namespace morvex::platform {

namespace {

LocalClockSource& installed_source() {
    static LocalClockSource source;
    return source;
}

LocalDateTime read_system_clock() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    return LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                         // A leap second reads as the last second of the minute.
                         local.tm_sec > 59 ? 59 : local.tm_sec, static_cast<int>(now.tv_nsec / 1'000'000)};
}

} // namespace

LocalDateTime read_local_time() {
    const LocalClockSource& source = installed_source();
    return source ? source() : read_system_clock();
}

void set_local_clock(LocalClockSource source) {
    installed_source() = std::move(source);
}

} // namespace morvex::platform
