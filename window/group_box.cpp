#include "window/group_box.h"

#include "platform/windows.h"
#include "window/control_drawing.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/window.h"

namespace morvex {

namespace {

bool inside(const platform::Rect& outer, const platform::Rect& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

} // namespace

void GroupBox::create(platform::WindowHandle parent) {
    Control::create(parent);
    if (m_handle)
        platform::enable_window(m_handle, false);
}

void GroupBox::attributes_changed(uint32_t changed) {
    Control::attributes_changed(changed);
    if (m_handle)
        platform::enable_window(m_handle, false);
}

void GroupBox::activate_mnemonic() {
    // The first control after the group in record order that lies inside its
    // frame and takes the focus; else the next one that does, as a prompt's.
    const auto& controls = m_window.controls();
    bool after = false;
    Control* next = nullptr;
    for (const auto& control : controls) {
        if (control.get() == this) {
            after = true;
            continue;
        }
        if (!after || !control->can_take_focus())
            continue;
        if (inside(m_rect, control->rect())) {
            control->focus();
            return;
        }
        if (!next)
            next = control.get();
    }
    if (next)
        next->focus();
}

void GroupBox::paint_frame(painter::Painter& painter) {
    const std::shared_ptr<painter::Font> font = this->font();
    if (!font)
        return;
    const platform::Rect all = platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height());
    if (m_colours.colour != wdf::DefaultColour && !has_attribute(AttrTransparent))
        painter.fill_rect(all, background_colour());
    DrawGroupFrame(painter, all, m_text, *font, text_colour(), background_colour(), effectively_enabled());
}

void GroupBox::paint(painter::Painter& painter) {
    paint_frame(painter);
}

} // namespace morvex
