// The process's backend. A replaced backend is kept until the process ends,
// so that a thread still holding a reference to it never sees it freed.
#include "platform/backend.h"

#include "platform/headless_backend.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace morvex::platform {

namespace {

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

} // namespace morvex::platform
