#include "window/prompt.h"

#include "window/control_drawing.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/window.h"

namespace morvex {

void Prompt::activate_mnemonic() {
    // The control after the prompt in record order takes the focus.
    bool after = false;
    for (const auto& control : m_window.controls()) {
        if (after && control->can_take_focus()) {
            control->focus();
            return;
        }
        if (control.get() == this)
            after = true;
    }
}

void Prompt::paint(painter::Painter& painter) {
    const std::shared_ptr<painter::Font> font = this->font();
    if (!font)
        return;
    if (m_colours.colour != wdf::DefaultColour && !has_attribute(AttrTransparent))
        painter.fill_rect(platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height()),
                          background_colour());
    painter::TextFormat format;
    format.mnemonic = true;
    format.word_break = true;
    format.horizontal = m_justification == 1   ? painter::HorizontalAlign::Right
                        : m_justification == 2 ? painter::HorizontalAlign::Center
                                               : painter::HorizontalAlign::Left;
    const platform::Rect area{m_indent, 0, m_rect.width(), m_rect.height()};
    DrawControlText(painter, area, m_text, *font, text_colour(), effectively_enabled(), format);
}

} // namespace morvex
