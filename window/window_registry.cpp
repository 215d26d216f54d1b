#include "window/window_registry.h"

#include "platform/windows.h"
#include "window/window.h"

#include <algorithm>
#include <mutex>

namespace morvex {

namespace {

// Windows open and close under the runtime lock; the mutex lets threads
// outside it (the script driver) look as well.
struct Registry {
    std::mutex mutex;
    std::vector<Window*> windows;
    int system_modal = 0;
};

Registry& registry() {
    static Registry* instance = new Registry; // lives until the process ends
    return *instance;
}

} // namespace

void RegisterOpenWindow(Window& window) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.windows.push_back(&window);
}

void UnregisterOpenWindow(Window& window) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::erase(r.windows, &window);
}

Window* CurrentWindow() {
    const platform::ThreadKey thread = platform::current_thread();
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (auto it = r.windows.rbegin(); it != r.windows.rend(); ++it)
        if ((*it)->platform_thread() == thread)
            return *it;
    return nullptr;
}

Window* CurrentWindowOfSlot(int slot) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (auto it = r.windows.rbegin(); it != r.windows.rend(); ++it)
        if ((*it)->thread_slot() == slot)
            return *it;
    return nullptr;
}

std::vector<Window*> OpenWindows() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.windows;
}

Window* WindowOfHandle(platform::WindowHandle handle) {
    if (handle == 0)
        return nullptr;
    const std::vector<Window*> windows = OpenWindows();
    for (platform::WindowHandle h = handle; h != 0; h = platform::parent_window(h))
        for (Window* window : windows)
            if (window->handle() == h)
                return window;
    return nullptr;
}

int SystemModalCount() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.system_modal;
}

void ChangeSystemModalCount(int delta) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.system_modal = std::max(0, r.system_modal + delta);
}

} // namespace morvex
