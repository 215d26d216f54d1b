// Fixes the local clock (and so TODAY, CLOCK and the current-year cache) for
// the life of a test; the system clock comes back afterwards.
#pragma once

#include "platform/local_clock.h"
#include "runtime/date.h"

namespace morvex::testing {

class FixedClock {
public:
    explicit FixedClock(platform::LocalDateTime now) { set(now); }
    ~FixedClock() {
        platform::set_local_clock({});
        ResetCurrentYearCache();
    }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

    void set(platform::LocalDateTime now) {
        platform::set_local_clock([now] { return now; });
        ResetCurrentYearCache();
    }
};

} // namespace morvex::testing
