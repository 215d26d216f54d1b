// Text drawing: glyph coverage from the font's cache blended onto the
// buffer, line by line as text_layout.h places it, with mnemonic underlines.
#include "window/painter/font.h"
#include "window/painter/painter.h"

namespace morvex::painter {

void Painter::draw_text(Point top_left, std::string_view text, Font& font, Color color) {
    const int64_t baseline = int64_t{m_origin.y} + top_left.y + font.metrics().ascent;
    const int64_t pen_x = int64_t{m_origin.x} + top_left.x;
    if (baseline + font.metrics().height < m_clip.top || baseline - font.metrics().height >= m_clip.bottom)
        return;
    font.for_each_glyph(text, [&](const Glyph& glyph, int pen) {
        if (glyph.coverage.empty())
            return;
        const int64_t x = pen_x + pen + glyph.left;
        const int64_t y = baseline - glyph.top;
        if (x >= m_clip.right || x + glyph.width <= m_clip.left || y >= m_clip.bottom ||
            y + glyph.height <= m_clip.top)
            return;
        blend_coverage(static_cast<int>(x), static_cast<int>(y), glyph.coverage.data(), glyph.width,
                       glyph.height, glyph.width, color);
    });
}

Rect Painter::draw_text(const Rect& rect, std::string_view text, Font& font, Color color,
                        const TextFormat& format) {
    const std::vector<TextLine> lines = layout_text(rect, text, font, format);
    Painter painter = format.clip ? clipped_to(rect) : *this;
    for (const TextLine& line : lines) {
        painter.draw_text(line.position, line.text, font, color);
        if (line.mnemonic < 0)
            continue;
        const std::size_t index = static_cast<std::size_t>(line.mnemonic);
        const int underline_x =
            line.position.x + font.text_width(std::string_view(line.text).substr(0, index));
        painter.draw_hline(underline_x, line.position.y + font.metrics().ascent + 1,
                           font.char_width(static_cast<uint8_t>(line.text[index])), color);
    }
    return text_bounds(lines, font);
}

} // namespace morvex::painter
