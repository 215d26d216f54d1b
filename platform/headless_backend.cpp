// The headless backend's bookkeeping.
#include "platform/headless_backend.h"

#include "platform/png_file.h"
#include "platform/windows.h"

namespace morvex::platform {

void HeadlessBackend::top_level_created(WindowHandle window, const Rect& screen_rect,
                                        std::string_view caption) {
    std::lock_guard lock(m_mutex);
    TopLevel& top_level = m_windows[window];
    top_level = TopLevel{};
    top_level.screen_rect = screen_rect;
    top_level.caption = std::string(caption);
}

void HeadlessBackend::top_level_destroyed(WindowHandle window) {
    std::lock_guard lock(m_mutex);
    m_windows.erase(window);
}

void HeadlessBackend::top_level_shown(WindowHandle window, bool visible) {
    std::lock_guard lock(m_mutex);
    if (auto found = m_windows.find(window); found != m_windows.end())
        found->second.visible = visible;
}

void HeadlessBackend::top_level_moved(WindowHandle window, const Rect& screen_rect) {
    std::lock_guard lock(m_mutex);
    if (auto found = m_windows.find(window); found != m_windows.end())
        found->second.screen_rect = screen_rect;
}

void HeadlessBackend::top_level_caption(WindowHandle window, std::string_view caption) {
    std::lock_guard lock(m_mutex);
    if (auto found = m_windows.find(window); found != m_windows.end())
        found->second.caption = std::string(caption);
}

void HeadlessBackend::present(WindowHandle window, const FrameBuffer&, const Rect& dirty) {
    std::lock_guard lock(m_mutex);
    if (auto found = m_windows.find(window); found != m_windows.end()) {
        ++found->second.presents;
        found->second.presented = found->second.presented.unite(dirty);
    }
}

void HeadlessBackend::beep() {
    std::lock_guard lock(m_mutex);
    ++m_beeps;
}

void HeadlessBackend::top_level_activated(WindowHandle window) {
    std::lock_guard lock(m_mutex);
    m_last_activated = window;
}

void HeadlessBackend::top_level_dialog(WindowHandle window, WindowHandle owner) {
    std::lock_guard lock(m_mutex);
    if (auto found = m_windows.find(window); found != m_windows.end()) {
        found->second.dialog = true;
        found->second.dialog_owner = owner;
    }
}

void HeadlessBackend::top_level_icon(WindowHandle window, std::span<const IconImage> images) {
    std::lock_guard lock(m_mutex);
    if (auto found = m_windows.find(window); found != m_windows.end())
        found->second.icons.assign(images.begin(), images.end());
}

void HeadlessBackend::set_cursor(WindowHandle top_level, MouseCursor shape) {
    std::lock_guard lock(m_mutex);
    if (auto found = m_windows.find(top_level); found != m_windows.end())
        found->second.cursor = shape;
}

WindowHandle HeadlessBackend::last_activated() const {
    std::lock_guard lock(m_mutex);
    return m_last_activated;
}

int HeadlessBackend::beep_count() const {
    std::lock_guard lock(m_mutex);
    return m_beeps;
}

std::optional<HeadlessBackend::TopLevel> HeadlessBackend::top_level(WindowHandle window) const {
    std::lock_guard lock(m_mutex);
    auto found = m_windows.find(window);
    return found == m_windows.end() ? std::nullopt : std::optional<TopLevel>(found->second);
}

std::size_t HeadlessBackend::top_level_count() const {
    std::lock_guard lock(m_mutex);
    return m_windows.size();
}

HeadlessBackend* headless_backend() {
    return dynamic_cast<HeadlessBackend*>(&backend());
}

bool save_window_png(WindowHandle top_level, const std::string& path) {
    if (!is_window(top_level) || parent_window(top_level) != 0)
        return false;
    return write_png(frame_buffer_copy(top_level), path);
}

} // namespace morvex::platform
