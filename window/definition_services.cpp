#include "window/definition_services.h"

#include "window/image_cache.h"

#include <atomic>

namespace morvex {

namespace {

std::atomic<bool> g_option_bit4{false};

// What positions convert by when not even a fallback font can be loaded.
constexpr UnitMetrics FallbackMetrics{6, 13, 96};

} // namespace

std::shared_ptr<painter::Font> FontOfDefinition(const FontDefinition* font) {
    painter::FontRequest request;
    if (font) {
        request.typeface = font->typeface;
        request.point_size = font->point_size;
        request.weight = font->weight;
    } else {
        request.typeface = SystemFontTypeface;
        request.point_size = SystemFontPointSize;
        request.weight = SystemFontWeight;
    }
    return painter::Font::get(request);
}

UnitMetrics UnitMetricsOf(const FontDefinition* font) {
    const std::shared_ptr<painter::Font> loaded = FontOfDefinition(font);
    if (!loaded)
        return FallbackMetrics;
    const painter::FontMetrics& m = loaded->metrics();
    return UnitMetrics{m.average_char_width, m.height, 96};
}

void SetGlobalOptionBit4(bool set) {
    g_option_bit4 = set;
}

bool GlobalOptionBit4() {
    return g_option_bit4;
}

DefinitionServices DefaultDefinitionServices() {
    DefinitionServices services;
    services.metrics = UnitMetricsOf;
    services.load_icon = [](const ImageReference& image, int32_t index) {
        return ProgramImages().LoadIcon(image, index);
    };
    services.load_cursor = [](const ImageReference& image) { return ProgramImages().LoadCursor(image); };
    services.global_option_bit4 = GlobalOptionBit4;
    return services;
}

} // namespace morvex
