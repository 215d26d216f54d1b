#include "window/image_control.h"

#include "window/image_cache.h"
#include "window/painter/image.h"
#include "window/painter/painter.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <algorithm>

namespace morvex {

ImageControl::ImageControl(Window& window, const ControlDefinition& definition)
    : Control(window, definition) {
    m_mode = static_cast<uint8_t>(definition.number(wdf::Field::ImageMode, 0));
    if (!definition.image_name.empty())
        load(definition.image_name);
    else if (definition.icon.kind != ImageReference::Kind::None)
        m_image = ProgramImages().LoadIcon(definition.icon, 0);
}

void ImageControl::load(std::string_view name) {
    m_name = std::string(name);
    // An icon file shows the icon that suits the control's size best.
    const int icon_size = std::max(8, std::min(m_rect.width(), m_rect.height()));
    m_image = name.empty() ? 0 : ProgramImages().LoadPicture(name, m_window.module(), icon_size);
}

void ImageControl::paint(painter::Painter& painter) {
    const painter::Image* image = ProgramImages().Get(m_image);
    if (!image || image->empty())
        return;
    const platform::Rect all = platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height());
    switch (m_mode) {
    case Stretched:
        painter.draw_image_stretched(*image, all);
        break;
    case Tiled:
        painter.draw_image_tiled(*image, all);
        break;
    case Centred:
        painter.draw_image(*image, {(all.width() - image->width) / 2, (all.height() - image->height) / 2});
        break;
    default:
        painter.clipped_to(all).draw_image(*image, {0, 0});
        break;
    }
}

std::optional<std::string> ImageControl::get_property(uint32_t number) {
    if (number == Prop::ImageName || number == Prop::Text)
        return m_name;
    return Control::get_property(number);
}

bool ImageControl::set_property(uint32_t number, int32_t index, std::string_view value) {
    if (number == Prop::ImageName || number == Prop::Text) {
        load(value);
        invalidate();
        return true;
    }
    return Control::set_property(number, index, value);
}

} // namespace morvex
