#include "window/toolbar.h"

#include "platform/window_messages.h"
#include "platform/windows.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"
#include "window/window.h"

namespace morvex {

void Toolbar::paint(painter::Painter& painter) {
    const platform::Rect all = platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height());
    painter.fill_rect(all, background_colour());
    // A raised band, set off from the caption above by an etched line.
    painter.draw_hline(0, 0, all.width(), painter::system_color(painter::SystemColor::ButtonShadow));
    painter.draw_border({all.left, all.top + 1, all.right, all.bottom}, painter::Border::Raised);
    // Drawn controls of the toolbar (images, shapes) lie on the band.
    for (const auto& control : m_window.controls()) {
        if (control->feq() >= 0 || control->handle() != 0 || !control->effectively_visible())
            continue;
        painter::Painter sub = painter.sub_painter(control->rect());
        control->paint(sub);
    }
}

bool Toolbar::handle_message(const platform::Message& message, intptr_t& result) {
    // The frame places the band; its rectangle follows.
    if (message.number == platform::MsgMove || message.number == platform::MsgSize) {
        if (m_handle)
            m_rect = platform::window_rect(m_handle);
        result = 0;
        return true;
    }
    return Control::handle_message(message, result);
}

} // namespace morvex
