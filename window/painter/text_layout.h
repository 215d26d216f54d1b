// Laying text out in a rectangle: lines broken at "\n" and, if asked, between
// words; each line placed by the alignment; "&" mnemonics resolved. Drawing
// uses the result, and controls that size themselves to their text measure
// it without drawing.
#pragma once

#include "platform/geometry.h"

#include <string>
#include <string_view>
#include <vector>

namespace morvex::painter {

class Font;

enum class HorizontalAlign { Left, Center, Right };
enum class VerticalAlign { Top, Center, Bottom };

// How text is laid out in a rectangle. Without single_line, "\n" (and "\r\n")
// break lines; with word_break, lines also break between words to fit.
struct TextFormat {
    HorizontalAlign horizontal = HorizontalAlign::Left;
    VerticalAlign vertical = VerticalAlign::Top;
    bool single_line = false;
    bool word_break = false;
    bool clip = true;      // clip to the rectangle as well as to the painter
    bool mnemonic = false; // "&x" underlines x, "&&" is one "&"
};

struct TextLine {
    std::string text;         // Windows-1252, mnemonic markers removed
    platform::Point position; // top-left of the line's cell
    int width = 0;
    int mnemonic = -1; // index in text of the underlined character, or -1
};

std::vector<TextLine> layout_text(const platform::Rect& rect, std::string_view text, Font& font,
                                  const TextFormat& format);
// The rectangle the laid-out lines cover (empty when there is no text).
platform::Rect text_bounds(const std::vector<TextLine>& lines, const Font& font);

} // namespace morvex::painter
