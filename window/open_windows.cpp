#include "window/open_windows.h"

#include "runtime/error_numbers.h"
#include "runtime/fatal_error.h"

#include <mutex>
#include <unordered_set>

namespace morvex {

namespace {

struct OpenWindows {
    std::mutex mutex;
    std::unordered_set<const void*> windows;
};

OpenWindows& open_windows() {
    static OpenWindows* instance = new OpenWindows; // windows may close during shutdown
    return *instance;
}

} // namespace

bool TryMarkWindowOpen(const void* window) {
    OpenWindows& o = open_windows();
    std::lock_guard lock(o.mutex);
    return o.windows.insert(window).second;
}

void MarkWindowOpen(const void* window) {
    if (!TryMarkWindowOpen(window))
        FatalError(ErrWindowAlreadyOpen, {});
}

void MarkWindowClosed(const void* window) {
    OpenWindows& o = open_windows();
    std::lock_guard lock(o.mutex);
    o.windows.erase(window);
}

bool IsWindowOpen(const void* window) {
    OpenWindows& o = open_windows();
    std::lock_guard lock(o.mutex);
    return o.windows.contains(window);
}

} // namespace morvex
