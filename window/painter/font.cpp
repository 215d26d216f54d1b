#include "window/painter/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cctype>
#include <map>
#include <tuple>

namespace morvex::painter {

namespace {

constexpr int Dpi = 96;

// FreeType's library object is not thread-safe for creating and freeing faces.
std::mutex g_library_mutex;

FT_Library library() {
    static FT_Library instance = [] {
        FT_Library created = nullptr;
        return FT_Init_FreeType(&created) == 0 ? created : nullptr;
    }();
    return instance;
}

int ceil_26_6(FT_Pos value) {
    return static_cast<int>((value + 63) >> 6);
}
int round_26_6(FT_Pos value) {
    return static_cast<int>((value + 32) >> 6);
}

int effective_point_size(int point_size) {
    return point_size <= 0 ? 8 : std::min(point_size, 400);
}

} // namespace

struct FontFace {
    FT_Face face = nullptr;
    ~FontFace() {
        std::lock_guard lock(g_library_mutex);
        FT_Done_Face(face);
    }
};

std::shared_ptr<Font> Font::open_file(const std::string& path, const FontRequest& request, int face_index) {
    auto face = std::make_unique<FontFace>();
    {
        std::lock_guard lock(g_library_mutex);
        if (!library() || FT_New_Face(library(), path.c_str(), face_index, &face->face) != 0) {
            face->face = nullptr;
            return nullptr;
        }
    }
    FontRequest effective = request;
    effective.point_size = effective_point_size(request.point_size);
    if (FT_Set_Char_Size(face->face, 0, effective.point_size * 64, Dpi, Dpi) != 0)
        return nullptr;
    FT_Select_Charmap(face->face, FT_ENCODING_UNICODE);
    const bool embolden = request.weight >= 600 && !(face->face->style_flags & FT_STYLE_FLAG_BOLD);
    const bool slant = request.italic && !(face->face->style_flags & FT_STYLE_FLAG_ITALIC);
    return std::shared_ptr<Font>(new Font(std::move(face), effective, embolden, slant));
}

std::shared_ptr<Font> Font::get(const FontRequest& request) {
    using Key = std::tuple<std::string, int, int, bool>;
    static std::mutex cache_mutex;
    static std::map<Key, std::shared_ptr<Font>> cache;
    static int cache_generation = 0;

    std::string typeface = request.typeface;
    for (char& c : typeface)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const Key key{typeface, effective_point_size(request.point_size), request.weight, request.italic};
    std::lock_guard lock(cache_mutex);
    if (const int generation = font_settings_generation(); generation != cache_generation) {
        cache.clear();
        cache_generation = generation;
    }
    if (const auto found = cache.find(key); found != cache.end())
        return found->second;
    const FontFile file = match_font(request);
    if (file.path.empty())
        return nullptr;
    // A typeface heavier than its stand-in file (such as a black face drawn
    // with a regular one) is emboldened.
    FontRequest opened = request;
    if (file.embolden)
        opened.weight = std::max(opened.weight, 700);
    std::shared_ptr<Font> font = open_file(file.path, opened, file.index);
    if (font)
        cache.emplace(key, font);
    return font;
}

Font::Font(std::unique_ptr<FontFace> face, const FontRequest& request, bool embolden, bool slant)
    : m_face(std::move(face)), m_request(request), m_embolden(embolden), m_slant(slant) {
    if (m_face->face->family_name)
        m_family = m_face->face->family_name;
    compute_metrics();
}

Font::~Font() = default;

void Font::compute_metrics() {
    FT_Face face = m_face->face;
    const FT_Size_Metrics& size = face->size->metrics;
    m_metrics.pixel_size = size.y_ppem;
    // The cell is what the face's Windows metrics promise, so that accents and
    // descenders of every character fit the line.
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
        m_metrics.ascent = ceil_26_6(FT_MulFix(os2->usWinAscent, size.y_scale));
        m_metrics.descent = ceil_26_6(FT_MulFix(os2->usWinDescent, size.y_scale));
    } else {
        m_metrics.ascent = ceil_26_6(size.ascender);
        m_metrics.descent = ceil_26_6(-size.descender);
    }
    m_metrics.height = m_metrics.ascent + m_metrics.descent;
    m_metrics.internal_leading = std::max(0, m_metrics.height - m_metrics.pixel_size);
    const int letters = text_width("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    m_metrics.average_char_width = (letters / 26 + 1) / 2;
    int widest = 0;
    for (int c = 0x20; c < 256; ++c)
        widest = std::max(widest, char_width(static_cast<uint8_t>(c)));
    m_metrics.max_char_width = widest;
}

int Font::char_width(uint8_t c) {
    std::lock_guard lock(m_mutex);
    return glyph_locked(c).advance;
}

int Font::text_width(std::string_view text) {
    int width = 0;
    for_each_glyph(text, [&width](const Glyph& glyph, int) { width += glyph.advance; });
    return width;
}

platform::Size Font::text_extent(std::string_view text) {
    return {text_width(text), m_metrics.height};
}

const Glyph& Font::glyph_locked(uint8_t c) {
    std::unique_ptr<Glyph>& slot = m_glyphs[c];
    if (!slot)
        slot = std::make_unique<Glyph>(render(c));
    return *slot;
}

Glyph Font::render(uint8_t c) {
    Glyph glyph;
    FT_Face face = m_face->face;
    const FT_UInt index = FT_Get_Char_Index(face, windows1252_code_point(c));
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT) != 0)
        return glyph;
    FT_GlyphSlot slot = face->glyph;
    if (m_slant)
        FT_GlyphSlot_Oblique(slot);
    if (m_embolden)
        FT_GlyphSlot_Embolden(slot);
    glyph.advance = round_26_6(slot->advance.x);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_LIGHT) != 0)
        return glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.width == 0 || bitmap.rows == 0)
        return glyph;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.width = static_cast<int>(bitmap.width);
    glyph.height = static_cast<int>(bitmap.rows);
    glyph.coverage.resize(static_cast<std::size_t>(glyph.width) * static_cast<std::size_t>(glyph.height));
    for (int y = 0; y < glyph.height; ++y) {
        const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
        std::copy_n(row, glyph.width, glyph.coverage.data() + static_cast<std::size_t>(y) * glyph.width);
    }
    return glyph;
}

} // namespace morvex::painter
