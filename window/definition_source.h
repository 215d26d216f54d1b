// The window definitions of one procedure as plain values: what the text
// format says and what a block holds, field for field. The compiler parses
// text into this model and encodes it into a block; the dumper decodes a
// block into it and prints it as text. Values are kept raw (window units,
// 10 ms time values, stored image values) so that both directions are exact.
#pragma once

#include "window/definition_format.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvex::wdf {

struct ImageSource {
    enum class Kind : uint8_t { Name, Numeric };
    Kind kind = Kind::Name;
    std::string name;         // Kind::Name: as written, "~" included
    uint8_t numeric_kind = 0; // Kind::Numeric: 1 system, 2 program resource
    uint16_t stored = 0;      // Kind::Numeric: id + 1
};

struct FontSource {
    std::string typeface;
    int32_t point_size = 0;
    uint32_t colour = DefaultColour;
    int32_t weight = 400;
};

struct ColourSource {
    uint32_t colour = DefaultColour;
    uint32_t selected_text = DefaultColour;
    uint32_t selected_background = DefaultColour;
};

struct VariableSource {
    uint8_t data_type = 0;
    uint16_t data_size = 0;
};

// One type-specific field that the definition gives (fields left out take
// their layout's default).
struct FieldSource {
    const FieldSpec* field_spec = nullptr;
    int64_t integer = 0;
    double real = 0.0;
    std::string text;
    ImageSource image;
    VariableSource variable;
    std::vector<std::string> texts;
};

using Position = std::array<int32_t, 4>; // x, y, width, height; DefaultPosition = not given

struct ControlSource {
    uint8_t type = 0;
    int32_t feq = 0;
    uint32_t attributes = 0;
    Position position{};
    std::optional<VariableSource> variable;
    std::optional<std::string> format;
    std::vector<FieldSource> fields; // in layout order
    std::optional<FontSource> font;
    std::optional<ColourSource> colours;
    std::optional<std::string> tip;
    uint8_t justification = 0;
    int32_t indent = 0;
    int line = 0; // source line, for messages
};

struct MenuItemSource {
    uint8_t type = MenuItemRecordType; // item, submenu or separator
    uint32_t attributes = 0;
    int32_t use = 0;
    std::optional<std::string> text;
    std::optional<std::string> shortcut;
    std::optional<ImageSource> icon;
    std::vector<MenuItemSource> children;
};

struct MenuBarSource {
    uint32_t attributes = 0;
    std::vector<MenuItemSource> items;
};

struct ToolbarSource {
    ControlSource record; // the type-23 record itself
    std::vector<ControlSource> controls;
};

struct WindowSource {
    uint8_t type = WindowRecordType;
    std::string label;
    uint32_t attributes1 = 0;
    uint32_t open_attributes = 0;
    uint32_t attributes2 = 0;
    Position position{};
    std::optional<FontSource> font;
    std::optional<std::string> caption;
    std::optional<ColourSource> colours;
    std::optional<ImageSource> icon;
    std::optional<std::string> text1;
    std::optional<std::string> text2;
    std::vector<uint32_t> extra_items;
    std::vector<uint32_t> further_items;
    uint32_t palette_size = 0;
    uint32_t timer = 0;
    std::optional<MenuBarSource> menu;
    std::optional<ToolbarSource> toolbar;
    std::optional<std::string> wallpaper;
    std::array<uint8_t, 2> dock{};
    std::vector<ControlSource> controls;
    int line = 0;
};

struct ProcedureSource {
    std::string name; // "tavemon$taven002"
    std::vector<WindowSource> windows;
    int line = 0;
};

// The control numbers the text format leaves out: one after the previous
// control's for window controls (from 1), one below for toolbar controls
// (from -1), always 0 for the toolbar record; wrapping around at the ends.
struct ControlNumbering {
    int32_t step = 1;
    int32_t next = 1;

    void advance(int32_t feq) {
        if (step != 0)
            next = static_cast<int32_t>(static_cast<uint32_t>(feq) + static_cast<uint32_t>(step));
    }
};
constexpr ControlNumbering WindowNumbering{1, 1};
constexpr ControlNumbering ToolbarNumbering{-1, -1};
constexpr ControlNumbering ToolbarRecordNumbering{0, 0};

// The resource name of a procedure: the part after the first "$" (or the
// whole name), upper-cased (ASCII), with "_RSC" appended.
std::string ResourceNameOf(std::string_view procedure);

} // namespace morvex::wdf
