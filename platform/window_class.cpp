// The class registry. Records are never freed while the process runs, so
// windows can keep a plain pointer to their class.
#include "platform/window_class.h"

#include "platform/window_table.h"

#include <memory>
#include <mutex>
#include <vector>

namespace morvex::platform {

namespace {

struct ClassRegistry {
    std::mutex mutex;
    std::vector<std::unique_ptr<WindowClass>> all; // every record ever made
    std::vector<const WindowClass*> registered;    // the ones that can be used
};

ClassRegistry& registry() {
    static ClassRegistry instance;
    return instance;
}

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

const WindowClass* find_locked(ClassRegistry& r, std::string_view name) {
    for (const WindowClass* window_class : r.registered) {
        if (same_name(window_class->name, name))
            return window_class;
    }
    return nullptr;
}

} // namespace

bool register_window_class(const WindowClass& window_class) {
    if (window_class.name.empty() || !window_class.procedure)
        return false;
    ClassRegistry& r = registry();
    std::lock_guard lock(r.mutex);
    if (find_locked(r, window_class.name))
        return false;
    r.all.push_back(std::make_unique<WindowClass>(window_class));
    r.registered.push_back(r.all.back().get());
    return true;
}

bool unregister_window_class(std::string_view name) {
    ClassRegistry& r = registry();
    const WindowClass* window_class = nullptr;
    {
        std::lock_guard lock(r.mutex);
        window_class = find_locked(r, name);
        if (!window_class)
            return false;
    }
    {
        // As on Win32, a class with windows stays.
        WindowTable& table = window_table();
        MutexLock lock(table.mutex);
        for (const auto& [handle, record] : table.windows) {
            if (record->window_class == window_class)
                return false;
        }
    }
    std::lock_guard lock(r.mutex);
    std::erase(r.registered, window_class);
    return true;
}

bool is_window_class(std::string_view name) {
    return find_window_class(name) != nullptr;
}

const WindowClass* find_window_class(std::string_view name) {
    ClassRegistry& r = registry();
    std::lock_guard lock(r.mutex);
    return find_locked(r, name);
}

} // namespace morvex::platform
