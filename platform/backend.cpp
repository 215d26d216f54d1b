// The process's backend, the defaults of the backend's optional operations
// and the program's identity. A replaced backend is kept until the process
// ends, so that a thread still holding a reference to it never sees it freed.
#include "platform/backend.h"

#include "platform/headless_backend.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace morvex::platform {

namespace {

// The clipboard of a backend that has none of its own.
InProcessClipboard& process_clipboard() {
    static InProcessClipboard* instance = new InProcessClipboard;
    return *instance;
}

struct ApplicationSlot {
    std::mutex mutex;
    ApplicationClass identity;
};

ApplicationSlot& application_slot() {
    static ApplicationSlot* instance = new ApplicationSlot;
    return *instance;
}

struct BackendSlot {
    std::mutex mutex;
    std::atomic<Backend*> current{nullptr};
    std::vector<std::unique_ptr<Backend>> all;
};

BackendSlot& slot() {
    static BackendSlot* instance = new BackendSlot;
    return *instance;
}

} // namespace

void Backend::top_level_activated(WindowHandle) {}

void Backend::top_level_dialog(WindowHandle, WindowHandle) {}

void Backend::top_level_icon(WindowHandle, std::span<const IconImage>) {}

void Backend::set_cursor(WindowHandle, MouseCursor) {}

Clipboard& Backend::clipboard() {
    return process_clipboard();
}

Backend& backend() {
    BackendSlot& s = slot();
    if (Backend* current = s.current.load(std::memory_order_acquire))
        return *current;
    std::lock_guard lock(s.mutex);
    if (!s.current.load()) {
        s.all.push_back(std::make_unique<HeadlessBackend>());
        s.current.store(s.all.back().get(), std::memory_order_release);
    }
    return *s.current.load();
}

void set_backend(std::unique_ptr<Backend> backend) {
    BackendSlot& s = slot();
    std::lock_guard lock(s.mutex);
    s.all.push_back(backend ? std::move(backend) : std::make_unique<HeadlessBackend>());
    s.current.store(s.all.back().get(), std::memory_order_release);
}

void set_application_class(std::string_view name, std::string_view class_name) {
    ApplicationSlot& s = application_slot();
    std::lock_guard lock(s.mutex);
    s.identity = ApplicationClass{std::string(name), std::string(class_name)};
}

ApplicationClass application_class() {
    ApplicationSlot& s = application_slot();
    std::lock_guard lock(s.mutex);
    return s.identity;
}

std::optional<FrameBuffer> Backend::capture(WindowHandle) {
    return std::nullopt;
}

} // namespace morvex::platform
