// Software drawing on a frame buffer. A painter draws in its own coordinates,
// offset by an origin into the buffer and clipped to a rectangle of the
// buffer, so that a child window draws into its top-level window's buffer
// within its own bounds. Every operation clips; nothing writes outside the
// clip rectangle or the buffer.
#pragma once

#include "platform/frame_buffer.h"
#include "platform/geometry.h"
#include "window/painter/color.h"
#include "window/painter/text_layout.h"

#include <cstdint>
#include <string_view>

namespace morvex::painter {

using platform::FrameBuffer;
using platform::Point;
using platform::Rect;
using platform::Size;

class Font;
struct Image;

// The classic 3D borders. Single borders are one pixel wide, double ones two.
enum class Border {
    Raised,       // highlight top-left, shadow bottom-right
    Sunken,       // shadow top-left, highlight bottom-right
    RaisedDouble, // a push button: highlight and light inside, dark shadow and shadow
    SunkenDouble, // an entry field or list: shadow and dark shadow inside, highlight and light
    Etched,       // a group box: a sunken line followed by a raised one
    Bump,         // the opposite of etched
};

class Painter {
public:
    // Draws on the whole buffer.
    explicit Painter(FrameBuffer& target);
    // Draws with (0,0) at `origin` in the buffer, within `clip` (buffer coordinates).
    Painter(FrameBuffer& target, Point origin, Rect clip);

    // A painter for a part of this one: (0,0) at `area`'s top-left corner,
    // clipped to `area` as well as to this painter's clip.
    Painter sub_painter(const Rect& area) const;
    // The same origin with the clip narrowed to `area` (own coordinates).
    Painter clipped_to(const Rect& area) const;

    FrameBuffer& target() const { return *m_target; }
    Point origin() const { return m_origin; }
    // The clip rectangle in this painter's coordinates.
    Rect clip_rect() const { return m_clip.offset(-m_origin.x, -m_origin.y); }

    void fill_rect(const Rect& rect, Color color);
    void set_pixel(Point point, Color color);
    // Lines with both end points drawn.
    void draw_hline(int x, int y, int length, Color color);
    void draw_vline(int x, int y, int length, Color color);
    void draw_line(Point from, Point to, Color color);
    // Every other pixel, starting on the pixels whose buffer x + y is even,
    // so that dotted lines of neighbouring controls line up.
    void draw_dotted_hline(int x, int y, int length, Color color);
    void draw_dotted_vline(int x, int y, int length, Color color);
    // One-pixel outline just inside the rectangle.
    void draw_rect(const Rect& rect, Color color);
    void draw_dotted_rect(const Rect& rect, Color color);
    // Inverts every other pixel of the outline just inside the rectangle;
    // drawing it twice leaves the pixels as they were.
    void draw_focus_rect(const Rect& rect);
    void invert_rect(const Rect& rect);

    // Draws the border just inside `rect` and returns the area it encloses.
    Rect draw_border(const Rect& rect, Border border);

    // Text in Windows-1252. `top_left` is the top of the text cell (the
    // baseline lies the font's ascent below it).
    void draw_text(Point top_left, std::string_view text, Font& font, Color color);
    // Lays the text out in `rect` and returns the rectangle the text covers.
    Rect draw_text(const Rect& rect, std::string_view text, Font& font, Color color,
                   const TextFormat& format);

    // Images are blended by their alpha.
    void draw_image(const Image& image, Point top_left);
    // The part `source` of the image (image coordinates) at `top_left`.
    void draw_image_part(const Image& image, const Rect& source, Point top_left);
    // Scaled to fill `dest`, nearest neighbour.
    void draw_image_stretched(const Image& image, const Rect& dest);
    // Repeated over `dest`, the first copy at dest's top-left corner.
    void draw_image_tiled(const Image& image, const Rect& dest);

private:
    // The buffer rectangle of `rect` (own coordinates) inside the clip.
    Rect to_device(const Rect& rect) const;
    void blend_coverage(int device_x, int device_y, const uint8_t* coverage, int width, int height, int pitch,
                        Color color);

    FrameBuffer* m_target;
    Point m_origin;
    Rect m_clip; // buffer coordinates, always inside the buffer
};

} // namespace morvex::painter
