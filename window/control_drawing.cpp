#include "window/control_drawing.h"

#include "window/painter/font.h"
#include "window/painter/image.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"

#include <algorithm>
#include <cmath>

namespace morvex {

using painter::Border;
using painter::Color;
using painter::SystemColor;
using painter::system_color;

platform::Rect DrawButtonFace(painter::Painter& painter, const platform::Rect& rect, ButtonLook look, Color face) {
    painter.fill_rect(rect, face);
    switch (look) {
    case ButtonLook::Normal:
        return painter.draw_border(rect, Border::RaisedDouble);
    case ButtonLook::Default: {
        // The default button has a dark ring outside its bevel.
        painter.draw_rect(rect, system_color(SystemColor::WindowFrame));
        const platform::Rect inside{rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1};
        return painter.draw_border(inside, Border::RaisedDouble);
    }
    case ButtonLook::Pressed: {
        painter.draw_rect(rect, system_color(SystemColor::WindowFrame));
        const platform::Rect inside{rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1};
        painter.draw_rect(inside, system_color(SystemColor::ButtonShadow));
        return {inside.left + 2, inside.top + 2, inside.right, inside.bottom};
    }
    case ButtonLook::FlatHot:
        return painter.draw_border(rect, Border::Raised);
    case ButtonLook::Flat:
        return {rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1};
    }
    return rect;
}

void DrawControlText(painter::Painter& painter, const platform::Rect& rect, std::string_view text,
                     painter::Font& font, Color colour, bool enabled, const painter::TextFormat& format) {
    if (enabled) {
        painter.draw_text(rect, text, font, colour, format);
        return;
    }
    painter.draw_text(rect.offset(1, 1), text, font, system_color(SystemColor::ButtonHighlight), format);
    painter.draw_text(rect, text, font, system_color(SystemColor::ButtonShadow), format);
}

void DrawFocus(painter::Painter& painter, const platform::Rect& rect) {
    if (!rect.empty())
        painter.draw_focus_rect(rect);
}

void DrawCheckBox(painter::Painter& painter, platform::Point at, bool checked, bool enabled, bool pushed) {
    const platform::Rect box = platform::Rect::FromSize(at.x, at.y, CheckBoxSize, CheckBoxSize);
    const platform::Rect inside = painter.draw_border(box, Border::SunkenDouble);
    painter.fill_rect(inside, system_color(enabled && !pushed ? SystemColor::Window : SystemColor::ButtonFace));
    if (!checked)
        return;
    DrawCheckMark(painter, inside, system_color(enabled ? SystemColor::WindowText : SystemColor::GrayText));
}

void DrawCheckMark(painter::Painter& painter, const platform::Rect& rect, Color ink) {
    // The classic 7-pixel check mark, three pixels thick.
    const int x = rect.left + (rect.width() - 7) / 2;
    const int y = rect.top + (rect.height() - 7) / 2 + 2;
    for (int i = 0; i < 3; ++i) {
        painter.draw_vline(x + i, y + i, 3, ink);
        painter.draw_vline(x + 3 + i, y + 2 - i, 3, ink);
    }
    painter.draw_vline(x + 6, y - 1, 3, ink);
}

void DrawRadio(painter::Painter& painter, platform::Point at, bool selected, bool enabled, bool pushed) {
    // Drawn as four arcs in the bevel colours with a filled centre, anti-aliased.
    const double r = RadioSize / 2.0;
    const double cx = at.x + r;
    const double cy = at.y + r;
    const Color shadow = system_color(SystemColor::ButtonShadow);
    const Color dark = system_color(SystemColor::DarkShadow);
    const Color light = system_color(SystemColor::Light);
    const Color highlight = system_color(SystemColor::ButtonHighlight);
    const Color fill = system_color(enabled && !pushed ? SystemColor::Window : SystemColor::ButtonFace);
    for (int y = 0; y < RadioSize; ++y) {
        for (int x = 0; x < RadioSize; ++x) {
            const double dx = x + 0.5 - r;
            const double dy = y + 0.5 - r;
            const double d = std::sqrt(dx * dx + dy * dy);
            const bool upper_left = dx + dy < 0;
            Color c;
            if (d > r)
                continue;
            if (d > r - 1.0)
                c = upper_left ? shadow : highlight;
            else if (d > r - 2.0)
                c = upper_left ? dark : light;
            else
                c = fill;
            painter.set_pixel({at.x + x, at.y + y}, c);
        }
    }
    if (selected) {
        const Color ink = system_color(enabled ? SystemColor::WindowText : SystemColor::GrayText);
        for (int y = 0; y < RadioSize; ++y)
            for (int x = 0; x < RadioSize; ++x) {
                const double dx = at.x + x + 0.5 - cx;
                const double dy = at.y + y + 0.5 - cy;
                if (dx * dx + dy * dy <= 2.2 * 2.2)
                    painter.set_pixel({at.x + x, at.y + y}, ink);
            }
    }
}

void DrawArrow(painter::Painter& painter, const platform::Rect& rect, ArrowDirection direction, int size,
               Color colour) {
    const int cx = rect.left + rect.width() / 2;
    const int cy = rect.top + rect.height() / 2;
    for (int i = 0; i < size; ++i) {
        const int half = i;
        switch (direction) {
        case ArrowDirection::Up:
            painter.draw_hline(cx - half, cy - size / 2 + i, 2 * half + 1, colour);
            break;
        case ArrowDirection::Down:
            painter.draw_hline(cx - half, cy + size / 2 - i, 2 * half + 1, colour);
            break;
        case ArrowDirection::Left:
            painter.draw_vline(cx - size / 2 + i, cy - half, 2 * half + 1, colour);
            break;
        case ArrowDirection::Right:
            painter.draw_vline(cx + size / 2 - i, cy - half, 2 * half + 1, colour);
            break;
        }
    }
}

void DrawCentredImage(painter::Painter& painter, const platform::Rect& rect, const painter::Image& image,
                      bool enabled) {
    int width = image.width;
    int height = image.height;
    // Shrunk to fit, keeping its proportions.
    if (width > rect.width() || height > rect.height()) {
        const double scale = std::min(static_cast<double>(rect.width()) / std::max(1, width),
                                      static_cast<double>(rect.height()) / std::max(1, height));
        width = std::max(1, static_cast<int>(width * scale));
        height = std::max(1, static_cast<int>(height * scale));
    }
    const platform::Rect dest = platform::Rect::FromSize(rect.left + (rect.width() - width) / 2,
                                                         rect.top + (rect.height() - height) / 2, width, height);
    if (enabled) {
        if (width == image.width && height == image.height)
            painter.draw_image(image, {dest.left, dest.top});
        else
            painter.draw_image_stretched(image, dest);
        return;
    }
    // Disabled: the image's shape embossed in the bevel colours.
    painter::Image grey = image;
    for (auto& pixel : grey.pixels)
        pixel = (pixel & 0xFF000000) | 0x808080;
    painter::Image light = image;
    for (auto& pixel : light.pixels)
        pixel = (pixel & 0xFF000000) | 0xFFFFFF;
    painter.draw_image_stretched(light, dest.offset(1, 1));
    painter.draw_image_stretched(grey, dest);
}

} // namespace morvex
