// Software painting speed: a full repaint of a calendar-sized window, and
// drawing glyphs from a warm cache.
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <string>

namespace {

using namespace morvex::painter;

std::shared_ptr<Font> bench_font() {
    static const std::shared_ptr<Font> font = Font::get({"DejaVu Sans", 8, 400, false});
    return font;
}

// A 400 × 300 calendar: a face-coloured background, ten bordered controls
// with captions, a month heading, the weekday row and six weeks of days.
void paint_calendar(Painter& painter, Font& font) {
    const Color face = system_color(SystemColor::ButtonFace);
    const Color window = system_color(SystemColor::Window);
    const Color text = system_color(SystemColor::WindowText);
    painter.fill_rect({0, 0, 400, 300}, face);
    static const char* const Buttons[] = {"<<", "<", "Today", ">", ">>", "Select", "Close"};
    for (int i = 0; i < 7; ++i) {
        const Rect button = Rect::FromSize(8 + i * 56, 268, 50, 24);
        const Rect inside = painter.draw_border(button, Border::RaisedDouble);
        painter.draw_text(inside, Buttons[i], font, text,
                          {HorizontalAlign::Center, VerticalAlign::Center, true});
    }
    painter.draw_focus_rect({116, 271, 162, 289});
    const Rect month = painter.draw_border({8, 8, 250, 30}, Border::SunkenDouble);
    painter.fill_rect(month, window);
    painter.draw_text(month, "August 2001", font, text,
                      {HorizontalAlign::Center, VerticalAlign::Center, true});
    painter.fill_rect(painter.draw_border({258, 8, 330, 30}, Border::SunkenDouble), window);
    painter.fill_rect(painter.draw_border({338, 8, 392, 30}, Border::SunkenDouble), window);
    const Rect grid = painter.draw_border({8, 38, 392, 260}, Border::SunkenDouble);
    painter.fill_rect(grid, window);
    static const char* const Days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const int cell_width = grid.width() / 7;
    for (int column = 0; column < 7; ++column)
        painter.draw_text(Rect::FromSize(grid.left + column * cell_width, grid.top, cell_width, 24),
                          Days[column], font, text, {HorizontalAlign::Center, VerticalAlign::Center, true});
    painter.draw_hline(grid.left, grid.top + 24, grid.width(), system_color(SystemColor::ButtonShadow));
    for (int row = 0; row < 6; ++row) {
        char line[64];
        int length = 0;
        for (int column = 0; column < 7; ++column) {
            const int day = row * 7 + column - 2;
            length += std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length),
                                    day >= 1 && day <= 31 ? "%2d  " : "    ", day);
        }
        painter.draw_text({grid.left + 4, grid.top + 30 + row * 30},
                          std::string_view(line, static_cast<std::size_t>(length)), font, text);
    }
}

void BM_CalendarWindowRepaint(benchmark::State& state) {
    FrameBuffer buffer(400, 300);
    Painter painter(buffer);
    Font& font = *bench_font();
    paint_calendar(painter, font); // warms the glyph cache
    for (auto _ : state) {
        paint_calendar(painter, font);
        benchmark::DoNotOptimize(buffer.row(0));
    }
}
BENCHMARK(BM_CalendarWindowRepaint)->Unit(benchmark::kMicrosecond);

void BM_TenThousandCachedGlyphs(benchmark::State& state) {
    FrameBuffer buffer(800, 600, 0xFFFFFF);
    Painter painter(buffer);
    Font& font = *bench_font();
    std::string line;
    while (line.size() < 100)
        line += "The quick brown fox jumps over the lazy dog 0123456789. ";
    line.resize(100);
    for (auto _ : state) {
        for (int row = 0; row < 100; ++row)
            painter.draw_text({0, (row * 6) % 590}, line, font, Color{0, 0, 0});
        benchmark::DoNotOptimize(buffer.row(0));
    }
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_TenThousandCachedGlyphs)->Unit(benchmark::kMicrosecond);

} // namespace
