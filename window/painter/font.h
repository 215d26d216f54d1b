// A font ready to draw: a FreeType face at one pixel size with the metrics
// the engine lays windows out by, and a cache of rendered glyphs for the 256
// Windows-1252 characters. Fonts are shared (Font::get caches them by
// typeface, size, weight and italic) and safe to use from several threads.
#pragma once

#include "platform/charset.h"
#include "platform/geometry.h"
#include "window/painter/font_matcher.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace morvex::painter {

struct FontMetrics {
    int pixel_size = 0;         // the em, in pixels
    int ascent = 0;             // baseline to the top of the cell
    int descent = 0;            // baseline to the bottom of the cell
    int height = 0;             // ascent + descent
    int internal_leading = 0;   // height - em
    int average_char_width = 0; // of the 52 Latin letters, as dialog units count it
    int max_char_width = 0;
};

// An anti-aliased glyph: 8-bit coverage, `left` and `top` place its top-left
// corner relative to the pen on the baseline (top counts upwards).
struct Glyph {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int advance = 0;
    std::vector<uint8_t> coverage;
};

struct FontFace;

class Font {
public:
    // The shared font for a request, matched through fontconfig; nullptr only
    // when no font at all can be loaded.
    static std::shared_ptr<Font> get(const FontRequest& request);
    // A font from a file, bypassing matching and the cache.
    static std::shared_ptr<Font> open_file(const std::string& path, const FontRequest& request,
                                           int face_index = 0);

    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    const FontRequest& request() const { return m_request; }
    const std::string& family() const { return m_family; }
    const FontMetrics& metrics() const { return m_metrics; }

    // Widths in pixels of Windows-1252 text.
    int char_width(uint8_t c);
    int text_width(std::string_view text);
    // Width of the text and the font's height.
    platform::Size text_extent(std::string_view text);

    // Calls visit(glyph, pen_x) for each character, holding the glyph cache
    // once for the whole text.
    template <typename Visit>
    void for_each_glyph(std::string_view text, Visit&& visit) {
        std::lock_guard lock(m_mutex);
        int pen = 0;
        for (const char c : text) {
            const Glyph& glyph = glyph_locked(static_cast<uint8_t>(c));
            visit(glyph, pen);
            pen += glyph.advance;
        }
    }

private:
    Font(std::unique_ptr<FontFace> face, const FontRequest& request, bool embolden, bool slant);
    const Glyph& glyph_locked(uint8_t c);
    Glyph render(uint8_t c);
    void compute_metrics();

    std::unique_ptr<FontFace> m_face;
    FontRequest m_request;
    std::string m_family;
    bool m_embolden;
    bool m_slant;
    FontMetrics m_metrics;
    std::mutex m_mutex;
    std::array<std::unique_ptr<Glyph>, 256> m_glyphs;
};

// The Unicode character of a Windows-1252 byte.
using platform::windows1252_code_point;

} // namespace morvex::painter
