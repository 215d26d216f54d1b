// Drawing shared by the controls: the classic desktop look of push buttons,
// check marks, option circles, arrow glyphs, the dotted focus rectangle and
// text that is greyed and embossed when its control is disabled.
#pragma once

#include "platform/geometry.h"
#include "window/painter/color.h"
#include "window/painter/text_layout.h"

#include <string_view>

namespace morvex {

namespace painter {
class Painter;
class Font;
struct Image;
} // namespace painter

enum class ButtonLook { Normal, Pressed, Default, Flat, FlatHot };

// The face and border of a push button filling `rect`; returns the area inside the border.
platform::Rect DrawButtonFace(painter::Painter& painter, const platform::Rect& rect, ButtonLook look,
                              painter::Color face);

// Text as controls draw it: in `colour`, or embossed in the disabled colours.
void DrawControlText(painter::Painter& painter, const platform::Rect& rect, std::string_view text,
                     painter::Font& font, painter::Color colour, bool enabled,
                     const painter::TextFormat& format);

// The dotted focus rectangle around `rect`.
void DrawFocus(painter::Painter& painter, const platform::Rect& rect);

// A 13-pixel check box square (sunken, white inside) with a check mark when checked.
void DrawCheckBox(painter::Painter& painter, platform::Point top_left, bool checked, bool enabled,
                  bool pushed);
// The check mark alone, centred in `rect` (menus, toolbar checks).
void DrawCheckMark(painter::Painter& painter, const platform::Rect& rect, painter::Color colour);
// A 12-pixel option circle with its dot when selected.
void DrawRadio(painter::Painter& painter, platform::Point top_left, bool selected, bool enabled, bool pushed);

enum class ArrowDirection { Up, Down, Left, Right };
// A solid triangle centred in `rect`, `size` pixels along its base's half.
void DrawArrow(painter::Painter& painter, const platform::Rect& rect, ArrowDirection direction, int size,
               painter::Color colour);

// An image centred in `rect`, greyed when disabled.
void DrawCentredImage(painter::Painter& painter, const platform::Rect& rect, const painter::Image& image,
                      bool enabled);

// The etched frame of a group box filling `rect`, its text (with a mnemonic)
// set into the top border on the `background` colour.
void DrawGroupFrame(painter::Painter& painter, const platform::Rect& rect, std::string_view text,
                    painter::Font& font, painter::Color colour, painter::Color background, bool enabled);

// The sunken frame of an entry-like field (spin box, drop-down list) filling
// `rect`, filled with `fill`; returns the area inside the frame.
platform::Rect DrawFieldFrame(painter::Painter& painter, const platform::Rect& rect, painter::Color fill);
// The fill of such a field: the control's own colour (a colour reference,
// 0xFFFFFFFF for none), else white, or the face grey when disabled.
painter::Color FieldBackground(uint32_t colour, bool enabled);

// A small push button with an arrow on it (spin boxes, drop-down buttons),
// pressed in when `pressed`, the arrow greyed and embossed when disabled.
void DrawArrowButton(painter::Painter& painter, const platform::Rect& rect, ArrowDirection direction,
                     bool pressed, bool enabled);

// The width of the widest side bearing a control keeps between its border and its text.
constexpr int TextMargin = 3;
constexpr int CheckBoxSize = 13;
constexpr int RadioSize = 12;
// The width of a drop-down button and of a vertical scroll bar.
constexpr int ScrollBarWidth = 16;

} // namespace morvex
