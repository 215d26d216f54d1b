// The local wall clock, as the runtime's TODAY and CLOCK read it.
//
// Tests and the headless backend replace the system clock with a fixed or
// scripted one; everything that needs "now" goes through read_local_time().
#pragma once

#include <functional>

namespace morvex::platform {

struct LocalDateTime {
    int year = 0;
    int month = 0; // 1..12
    int day = 0;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The local date and time now, from the installed clock source.
LocalDateTime read_local_time();

using LocalClockSource = std::function<LocalDateTime()>;

// Installs a clock source in place of the system clock; an empty function
// restores the system clock. Not synchronised: install it before use.
void set_local_clock(LocalClockSource source);

} // namespace morvex::platform
