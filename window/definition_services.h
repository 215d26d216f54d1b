// The engine's DefinitionServices: font metrics through the painter's fonts,
// icons and cursors through the program's image cache, and the runtime's
// global option bit 4 (a flag the program sets).
#pragma once

#include "window/definition_loader.h"
#include "window/painter/font.h"

#include <memory>

namespace morvex {

// The face a window without a font record is drawn in.
constexpr std::string_view SystemFontTypeface = "MS Sans Serif";
constexpr int SystemFontPointSize = 8;
constexpr int SystemFontWeight = 400;

// The painter font of a font record (nullptr = the system font); nullptr
// only when no font at all can be loaded.
std::shared_ptr<painter::Font> FontOfDefinition(const FontDefinition* font);

// The metrics positions convert by: the font's average character width and
// height at 96 pixels per inch.
UnitMetrics UnitMetricsOf(const FontDefinition* font);

void SetGlobalOptionBit4(bool set);
bool GlobalOptionBit4();

DefinitionServices DefaultDefinitionServices();

} // namespace morvex
