#include "platform/x11_error_trap.h"

#include <cstdio>
#include <mutex>
#include <set>
#include <tuple>
#include <vector>

namespace morvex::platform {

namespace {

// The requests of one x11_request_error() call: serials first..last-1.
struct Trap {
    Display* display;
    unsigned long first;
    unsigned long last;
    int error = 0;
};

struct TrapRegistry {
    std::mutex mutex;
    std::vector<Trap*> traps;
    std::set<std::tuple<int, int, int>> logged; // error code, major, minor
};

TrapRegistry& registry() {
    static TrapRegistry instance;
    return instance;
}

int handle_error(Display* display, XErrorEvent* event) {
    TrapRegistry& traps = registry();
    std::lock_guard lock(traps.mutex);
    for (Trap* trap : traps.traps) {
        if (trap->display == display && event->serial >= trap->first && event->serial < trap->last) {
            if (trap->error == 0)
                trap->error = event->error_code;
            return 0;
        }
    }
    // Xlib is not to be called from here (the display is locked), so the
    // message gives the numbers only.
    if (traps.logged.emplace(event->error_code, event->request_code, event->minor_code).second) {
        std::fprintf(stderr,
                     "morvex: X error %d on request %d.%d (further ones of this kind are not shown)\n",
                     event->error_code, event->request_code, event->minor_code);
    }
    return 0;
}

int handle_io_error(Display* display) {
    std::fprintf(stderr, "morvex: lost the connection to the X display \"%s\"\n", DisplayString(display));
    return 0;
}

} // namespace

void install_x11_error_handler() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        XSetErrorHandler(handle_error);
        XSetIOErrorHandler(handle_io_error);
    });
}

int x11_request_error(Display* display, const std::function<void()>& requests) {
    install_x11_error_handler();
    Trap trap{display, 0, static_cast<unsigned long>(-1)};
    XLockDisplay(display);
    trap.first = NextRequest(display);
    {
        std::lock_guard lock(registry().mutex);
        registry().traps.push_back(&trap);
    }
    requests();
    {
        std::lock_guard lock(registry().mutex);
        trap.last = NextRequest(display);
    }
    XSync(display, False);
    XUnlockDisplay(display);
    std::lock_guard lock(registry().mutex);
    std::erase(registry().traps, &trap);
    return trap.error;
}

} // namespace morvex::platform
