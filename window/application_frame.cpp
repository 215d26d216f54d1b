#include "window/application_frame.h"

#include "platform/windows.h"
#include "runtime/error_numbers.h"
#include "runtime/fatal_error.h"
#include "window/window_registry.h"

#include <atomic>

namespace morvex {

namespace {

// Opened and closed under the runtime lock; read by other threads too.
std::atomic<ApplicationFrame*> g_active{nullptr};

} // namespace

ApplicationFrame::ApplicationFrame() {
    m_kind = Kind::ApplicationFrame;
}

ApplicationFrame::~ApplicationFrame() {
    Close();
    ApplicationFrame* self = this;
    g_active.compare_exchange_strong(self, nullptr);
}

ApplicationFrame* ApplicationFrame::Active() {
    return g_active.load();
}

void ApplicationFrame::Open(Window* owner) {
    if (g_active.load() != nullptr)
        FatalError(ErrApplicationAlreadyActive, {});
    if (SystemModalCount() > 0)
        FatalError(ErrApplicationSystemModal, {});
    Window::Open(owner);
    g_active = this;
}

platform::WindowHandle ApplicationFrame::create_platform_window(Window*) {
    // The frame has no owner; its client area is the MDI client.
    return Window::create_platform_window(nullptr);
}

void ApplicationFrame::activate_child(Window* child) {
    if (child == m_active_child || (child && child->kind() != Kind::MdiChild))
        return;
    Window* previous = m_active_child;
    m_active_child = child;
    if (previous && previous->IsOpen())
        platform::invalidate(previous->handle());
    if (child && child->IsOpen()) {
        platform::bring_to_top(child->handle());
        platform::invalidate(child->handle());
    }
}

void ApplicationFrame::child_closed(Window* child) {
    if (m_active_child == child) {
        m_active_child = nullptr;
        for (auto it = m_owned.rbegin(); it != m_owned.rend(); ++it)
            if (*it != child && (*it)->kind() == Kind::MdiChild) {
                activate_child(*it);
                break;
            }
    }
    // The frame's accept loop may be waiting for its children to close.
    if (m_handle)
        platform::post_message({m_handle, platform::MsgNull, 0, 0});
}

void ApplicationFrame::frame_closed() {
    ApplicationFrame* self = this;
    g_active.compare_exchange_strong(self, nullptr);
    m_active_child = nullptr;
}

} // namespace morvex
