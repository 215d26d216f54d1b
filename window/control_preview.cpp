#include "window/control_preview.h"

#include "window/definition_services.h"
#include "window/image_cache.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"

#include <algorithm>

namespace morvex {

namespace {

using painter::Border;
using painter::Color;
using painter::HorizontalAlign;
using painter::SystemColor;
using painter::TextFormat;
using painter::VerticalAlign;
using platform::Rect;

constexpr int MaxPreviewExtent = 1 << 20;

Color text_colour(const ControlDefinition& control, const FontDefinition* window_font,
                  SystemColor otherwise) {
    const FontDefinition* font = control.font ? &*control.font : window_font;
    if (font)
        if (const auto colour = painter::resolve_colorref(font->colour))
            return *colour;
    return painter::system_color(otherwise);
}

Color fill_colour(const ControlDefinition& control, SystemColor otherwise) {
    if (control.colours)
        if (const auto colour = painter::resolve_colorref(control.colours->colour))
            return *colour;
    return painter::system_color(otherwise);
}

bool is_sunken_field(uint8_t type) {
    switch (type) {
    case wdf::EntryControl:
    case wdf::ListControl:
    case wdf::ComboControl:
    case wdf::SpinControl:
    case wdf::TextControl:
    case wdf::DropControl:
    case wdf::Combo2Control:
        return true;
    default:
        return false;
    }
}

TextFormat centred() {
    TextFormat format;
    format.horizontal = HorizontalAlign::Center;
    format.vertical = VerticalAlign::Center;
    format.single_line = true;
    format.mnemonic = true;
    return format;
}

} // namespace

Rect ControlPreviewRect(const ControlDefinition& control, painter::Font& font) {
    int width = control.width;
    int height = control.height;
    const int text_width = font.text_width(control.text);
    const int text_height = font.metrics().height;
    if (control.defaulted & 4)
        width = control.type == wdf::ButtonControl ? std::max(text_width + 16, 50) : text_width + 4;
    if (control.defaulted & 8)
        height = control.type == wdf::ButtonControl ? text_height + 10 : text_height + 4;
    // Kept within a range where no edge can overflow, whatever the record says.
    const auto coordinate = [](int value) { return std::clamp(value, -MaxPreviewExtent, MaxPreviewExtent); };
    const auto extent = [](int value) { return std::clamp(value, 0, MaxPreviewExtent); };
    return Rect::FromSize(coordinate(control.x), coordinate(control.y), extent(width), extent(height));
}

void PaintControlPreview(painter::Painter& painter, const ControlDefinition& control,
                         const FontDefinition* window_font, std::string_view module,
                         painter::Color background) {
    const std::shared_ptr<painter::Font> font = FontOfDefinition(control.font ? &*control.font : window_font);
    if (!font)
        return;
    const Rect rect = ControlPreviewRect(control, *font);
    if (rect.empty())
        return;
    painter::Painter inside = painter.clipped_to(rect);
    if (control.type == wdf::PromptControl) {
        TextFormat format;
        format.mnemonic = true;
        format.word_break = true;
        inside.draw_text(rect, control.text, *font,
                         text_colour(control, window_font, SystemColor::WindowText), format);
    } else if (control.type == wdf::ButtonControl) {
        inside.fill_rect(rect, fill_colour(control, SystemColor::ButtonFace));
        Rect face = inside.draw_border(rect, Border::RaisedDouble);
        if (const painter::Image* icon = ProgramImages().Get(ProgramImages().LoadIcon(control.icon))) {
            // Shrunk to the face when it is taller.
            const int side = std::min(icon->height, std::max(face.height() - 2, 1));
            const int width = icon->width * side / std::max(icon->height, 1);
            const Rect place =
                Rect::FromSize(face.left + 2, face.top + (face.height() - side) / 2, width, side);
            if (side == icon->height)
                inside.draw_image(*icon, {place.left, place.top});
            else
                inside.draw_image_stretched(*icon, place);
            face.left = place.right + 2;
        }
        inside.draw_text(face, control.text, *font,
                         text_colour(control, window_font, SystemColor::ButtonText), centred());
    } else if (is_sunken_field(control.type)) {
        inside.fill_rect(rect, fill_colour(control, SystemColor::Window));
        inside.draw_border(rect, Border::SunkenDouble);
    } else if (control.type == wdf::CheckControl) {
        const int box = std::min(13, rect.height());
        const Rect square = Rect::FromSize(rect.left, rect.top + (rect.height() - box) / 2, box, box);
        inside.fill_rect(square, painter::system_color(SystemColor::Window));
        inside.draw_border(square, Border::SunkenDouble);
        TextFormat format;
        format.vertical = VerticalAlign::Center;
        format.single_line = true;
        format.mnemonic = true;
        inside.draw_text(Rect{square.right + 4, rect.top, rect.right, rect.bottom}, control.text, *font,
                         text_colour(control, window_font, SystemColor::WindowText), format);
    } else if (control.type == wdf::GroupControl) {
        const int half = font->metrics().height / 2;
        inside.draw_border(Rect{rect.left, rect.top + half, rect.right, rect.bottom}, Border::Etched);
        if (!control.text.empty()) {
            const Rect label = Rect::FromSize(rect.left + 8, rect.top, font->text_width(control.text) + 4,
                                              font->metrics().height);
            inside.fill_rect(label, background);
            inside.draw_text({label.left + 2, label.top}, control.text, *font,
                             text_colour(control, window_font, SystemColor::WindowText));
        }
    } else if (control.type == wdf::ImageControl) {
        if (const painter::Image* image =
                ProgramImages().Get(ProgramImages().LoadPicture(control.image_name, module)))
            inside.draw_image(*image, {rect.left, rect.top});
    }
}

} // namespace morvex
