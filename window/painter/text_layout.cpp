// Lines of text placed in a rectangle; painter_text.cpp draws them.
#include "window/painter/text_layout.h"

#include "window/painter/font.h"

#include <algorithm>

namespace morvex::painter {

namespace {

// Removes the "&" markers; "&&" stays as one "&".
TextLine strip_mnemonic(std::string_view text) {
    TextLine line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != '&' && line.mnemonic < 0)
                line.mnemonic = static_cast<int>(line.text.size());
        }
        line.text.push_back(text[i]);
    }
    return line;
}

std::vector<std::string_view> split_lines(std::string_view text, bool single_line) {
    std::vector<std::string_view> lines;
    if (single_line) {
        lines.push_back(text);
        return lines;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        std::string_view line =
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return lines;
}

// Breaks one line between words so that each piece fits `width`; a word
// wider than the width stands on a line of its own.
void wrap_line(TextLine line, Font& font, int width, std::vector<TextLine>& out) {
    const std::string& text = line.text;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.size();
        if (font.text_width(std::string_view(text).substr(start)) > width) {
            std::size_t fit = start;
            for (std::size_t space = text.find(' ', start); space != std::string::npos;
                 space = text.find(' ', space + 1)) {
                if (font.text_width(std::string_view(text).substr(start, space - start)) > width)
                    break;
                fit = space;
            }
            if (fit == start)
                fit = text.find(' ', start);
            if (fit != std::string::npos)
                end = fit;
        }
        TextLine piece;
        piece.text = text.substr(start, end - start);
        if (line.mnemonic >= static_cast<int>(start) && line.mnemonic < static_cast<int>(end))
            piece.mnemonic = line.mnemonic - static_cast<int>(start);
        out.push_back(std::move(piece));
        if (end >= text.size())
            break;
        start = text.find_first_not_of(' ', end);
        if (start == std::string::npos)
            break;
    }
}

} // namespace

std::vector<TextLine> layout_text(const platform::Rect& rect, std::string_view text, Font& font,
                                  const TextFormat& format) {
    std::vector<TextLine> lines;
    for (std::string_view raw : split_lines(text, format.single_line)) {
        TextLine line;
        if (format.mnemonic)
            line = strip_mnemonic(raw);
        else
            line.text = raw;
        if (format.word_break && !format.single_line)
            wrap_line(std::move(line), font, rect.width(), lines);
        else
            lines.push_back(std::move(line));
    }
    const int line_height = font.metrics().height;
    const int total_height = static_cast<int>(lines.size()) * line_height;
    int y = rect.top;
    if (format.vertical == VerticalAlign::Center)
        y = rect.top + (rect.height() - total_height) / 2;
    if (format.vertical == VerticalAlign::Bottom)
        y = rect.bottom - total_height;
    for (TextLine& line : lines) {
        line.width = font.text_width(line.text);
        int x = rect.left;
        if (format.horizontal == HorizontalAlign::Center)
            x = rect.left + (rect.width() - line.width) / 2;
        if (format.horizontal == HorizontalAlign::Right)
            x = rect.right - line.width;
        line.position = {x, y};
        y += line_height;
    }
    return lines;
}

platform::Rect text_bounds(const std::vector<TextLine>& lines, const Font& font) {
    platform::Rect bounds;
    for (const TextLine& line : lines)
        bounds = bounds.unite(
            platform::Rect::FromSize(line.position.x, line.position.y, line.width, font.metrics().height));
    return bounds;
}

} // namespace morvex::painter
