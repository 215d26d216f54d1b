// A stand-in drawing of controls until the control engine exists: each
// control record drawn simply by its type, in the classic look (prompts as
// text, buttons raised, entries and lists sunken, images as they are). The
// control engine replaces all of this; nothing else should grow on it.
#pragma once

#include "platform/geometry.h"
#include "window/painter/color.h"
#include "window/window_definition.h"

#include <string_view>

namespace morvex {

namespace painter {
class Font;
class Painter;
} // namespace painter

// The control's rectangle in the preview: defaulted positions are 0 and
// defaulted sizes follow the control's text.
platform::Rect ControlPreviewRect(const ControlDefinition& control, painter::Font& font);

// Draws one control. `window_font` is the window's font record (nullptr =
// the system font), used when the control has none; "~" images load from
// `module`; a group box clears its title to `background`.
void PaintControlPreview(painter::Painter& painter, const ControlDefinition& control,
                         const FontDefinition* window_font, std::string_view module,
                         painter::Color background);

} // namespace morvex
