#include "window/control_drawing.h"

#include "window/painter/font.h"
#include "window/painter/image.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace morvex {

using painter::Border;
using painter::Color;
using painter::system_color;
using painter::SystemColor;

platform::Rect DrawButtonFace(painter::Painter& painter, const platform::Rect& rect, ButtonLook look,
                              Color face) {
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
    painter.fill_rect(inside,
                      system_color(enabled && !pushed ? SystemColor::Window : SystemColor::ButtonFace));
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
    // The classic 12-pixel circle, pixel by pixel: an outer ring in shadow
    // and highlight, an inner ring in dark shadow and light, split along the
    // diagonal so that the circle looks sunken, and a 4-pixel dot.
    // clang-format off
    static constexpr const char* Rows[RadioSize] = {
        "    oooo    ",
        "  ooiiiioo  ",
        " oiiffffiio ",
        " oiffffffio ",
        "oiffffffffio",
        "oiffffffffio",
        "oiffffffffio",
        "oiffffffffio",
        " oiffffffio ",
        " oiiffffiio ",
        "  ooiiiioo  ",
        "    oooo    ",
    };
    // clang-format on
    static constexpr const char* Dot[4] = {" xx ", "xxxx", "xxxx", " xx "};
    const Color fill = system_color(enabled && !pushed ? SystemColor::Window : SystemColor::ButtonFace);
    for (int y = 0; y < RadioSize; ++y) {
        for (int x = 0; x < RadioSize; ++x) {
            const bool upper_left = x + y <= RadioSize - 2;
            Color c;
            switch (Rows[y][x]) {
            case 'o':
                c = system_color(upper_left ? SystemColor::ButtonShadow : SystemColor::ButtonHighlight);
                break;
            case 'i':
                c = system_color(upper_left ? SystemColor::DarkShadow : SystemColor::Light);
                break;
            case 'f':
                c = fill;
                break;
            default:
                continue;
            }
            painter.set_pixel({at.x + x, at.y + y}, c);
        }
    }
    if (!selected)
        return;
    const Color ink = system_color(enabled ? SystemColor::WindowText : SystemColor::GrayText);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            if (Dot[y][x] == 'x')
                painter.set_pixel({at.x + 4 + x, at.y + 4 + y}, ink);
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
    const platform::Rect dest = platform::Rect::FromSize(
        rect.left + (rect.width() - width) / 2, rect.top + (rect.height() - height) / 2, width, height);
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

void DrawGroupFrame(painter::Painter& painter, const platform::Rect& rect, std::string_view text,
                    painter::Font& font, Color colour, Color background, bool enabled) {
    const int text_height = font.metrics().height;
    const platform::Rect frame{rect.left, rect.top + text_height / 2, rect.right, rect.bottom};
    painter.draw_border(frame, Border::Etched);
    if (text.empty())
        return;
    painter::TextFormat format;
    format.single_line = true;
    format.mnemonic = true;
    // The text sits a little in from the corner, with a blank on either side
    // cut out of the frame.
    constexpr int Indent = 8;
    constexpr int Blank = 2;
    const platform::Rect text_area{rect.left + Indent, rect.top, rect.right - Indent, rect.top + text_height};
    const std::vector<painter::TextLine> lines = painter::layout_text(text_area, text, font, format);
    const platform::Rect covered = painter::text_bounds(lines, font);
    if (covered.empty())
        return;
    painter.fill_rect(
        {covered.left - Blank, frame.top, std::min(covered.right + Blank, text_area.right), frame.top + 2},
        background);
    DrawControlText(painter, text_area, text, font, colour, enabled, format);
}

platform::Rect DrawFieldFrame(painter::Painter& painter, const platform::Rect& rect, Color fill) {
    const platform::Rect inside = painter.draw_border(rect, Border::SunkenDouble);
    painter.fill_rect(inside, fill);
    return inside;
}

Color FieldBackground(uint32_t colour, bool enabled) {
    if (colour != 0xFFFFFFFF)
        if (const auto own = painter::resolve_colorref(colour))
            return *own;
    return system_color(enabled ? SystemColor::Window : SystemColor::ButtonFace);
}

void DrawArrowButton(painter::Painter& painter, const platform::Rect& rect, ArrowDirection direction,
                     bool pressed, bool enabled) {
    if (rect.empty())
        return;
    const Color face = system_color(SystemColor::ButtonFace);
    painter.fill_rect(rect, face);
    platform::Rect inside;
    if (pressed) {
        // Pressed in: a flat shadow line, the arrow one pixel down and right.
        painter.draw_rect(rect, system_color(SystemColor::ButtonShadow));
        inside = platform::Rect{rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1}.offset(1, 1);
    } else if (rect.height() < 12 || rect.width() < 12) {
        // The half-height buttons of a spin box take a single bevel, which
        // leaves the arrow room to be seen.
        inside = painter.draw_border(rect, Border::Raised);
    } else {
        inside = painter.draw_border(rect, Border::RaisedDouble);
    }
    // The arrow is as large as the button allows: 4 rows on a full-size
    // button, fewer on the half-height buttons of a small spin box.
    const bool vertical = direction == ArrowDirection::Up || direction == ArrowDirection::Down;
    // It keeps a pixel clear of the bevel at either end.
    const int room = vertical ? std::min(inside.height() - 2, (inside.width() + 1) / 2)
                              : std::min(inside.width() - 2, (inside.height() + 1) / 2);
    const int size = std::clamp(room, 1, 4);
    if (enabled) {
        DrawArrow(painter, inside, direction, size, system_color(SystemColor::ButtonText));
        return;
    }
    // The embossed highlight stays inside the bevel, where small buttons leave little room.
    painter::Painter within = painter.clipped_to(inside);
    DrawArrow(within, inside.offset(1, 1), direction, size, system_color(SystemColor::ButtonHighlight));
    DrawArrow(painter, inside, direction, size, system_color(SystemColor::ButtonShadow));
}

} // namespace morvex
