// A window record and its control records as the engine uses them: plain
// values read from the current definition block by the DefinitionLoader.
// Window positions stay in window units (the frame hands the default marker
// to the platform); control positions are converted to pixels.
#pragma once

#include "window/definition_format.h"
#include "window/image_reference.h"
#include "window/position_units.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace morvex {

struct FontDefinition {
    std::string typeface;
    int32_t point_size = 0;
    uint32_t colour = wdf::DefaultColour;
    int32_t weight = 400;
};

struct ColourDefinition {
    uint32_t colour = wdf::DefaultColour;
    uint32_t selected_text = wdf::DefaultColour;
    uint32_t selected_background = wdf::DefaultColour;
};

struct VariableDescriptor {
    uint32_t offset = 0; // block offset; the program fills its last 6 bytes when it binds
    uint8_t data_type = 0;
    uint16_t data_size = 0;
};

struct MenuItemDefinition {
    enum class Kind { Item, Submenu, Separator };
    Kind kind = Kind::Item;
    uint32_t attributes = 0;
    int32_t use = 0;
    std::string text;
    std::string shortcut;
    ImageReference icon;
    std::vector<MenuItemDefinition> children;
};

struct MenuDefinition {
    uint32_t attributes = 0; // bit 0: not shared with the frame's children
    std::vector<MenuItemDefinition> items;
};

struct WindowDefinition {
    uint32_t offset = 0;
    uint8_t type = wdf::WindowRecordType;
    uint32_t attributes1 = 0;
    uint32_t open_attributes = 0;
    uint32_t attributes2 = 0; // with the global option's bit already applied
    int32_t x = DefaultPosition, y = DefaultPosition, width = DefaultPosition, height = DefaultPosition;
    std::string label;
    std::optional<FontDefinition> font;
    std::optional<std::string> caption;
    std::optional<ColourDefinition> colours;
    ImageReference icon;
    std::optional<std::string> text1;
    std::optional<std::string> text2;
    std::vector<uint32_t> extra_items;
    std::vector<uint32_t> further_items;
    uint32_t palette_size = 0;
    uint32_t timer = 0; // hundredths of a second, 0 = none
    std::optional<MenuDefinition> menu;
    uint32_t toolbar = 0; // offset of the toolbar record, 0 = none
    std::optional<std::string> wallpaper;
    std::array<uint8_t, 2> dock{};
    uint32_t first_control = 0; // offset, 0 = no controls

    PositionUnit unit() const { return PositionUnitOf(attributes1); }
    bool modal() const { return (attributes2 & wdf::WinModal) != 0; }
    bool posts_sized() const { return (attributes1 & wdf::WinPostSized) != 0; }
    bool dockable() const { return dock[0] != 0 || dock[1] != 0; }
};

struct ControlDefinition {
    uint32_t offset = 0;
    uint8_t type = 0;
    uint32_t attributes = 0;
    int32_t feq = 0;
    // Pixels; a value left at the default marker reads 0 and sets its bit in
    // `defaulted` (1 x, 2 y, 4 width, 8 height) so that the caller applies its default.
    int32_t x = 0, y = 0, width = 0, height = 0;
    uint8_t defaulted = 0;
    std::optional<VariableDescriptor> variable;
    std::optional<std::string> list_format;
    std::string text;
    std::string picture;    // without its leading "@"
    std::string image_name; // image controls
    std::string value_text; // a radio button's value
    ImageReference icon;
    ImageReference cursor;
    uint32_t delay_ms = 0; // buttons and spin boxes
    uint32_t repeat_ms = 0;
    uint8_t drop_count = 0;
    std::optional<VariableDescriptor> data_source;
    // Spin boxes: the range (both 0 = unbounded) and the step (never 0).
    double range_low = 0.0, range_high = 0.0, step = 1.0;
    bool unbounded = false;
    uint32_t value_source = 0;        // offset, 0 = the numeric range
    uint8_t value_source_type = 0;    // the type byte of that record
    std::vector<std::string> choices; // a value source holding a text list
    uint32_t first_toolbar_control = 0;
    std::optional<FontDefinition> font;
    std::optional<ColourDefinition> colours;
    std::optional<std::string> tip;
    uint8_t justification = 0;
    int32_t indent = 0;
    // Every numeric field of the type's layout (defaults included), for the
    // fields that only the control's own class reads.
    std::vector<std::pair<wdf::Field, int64_t>> numbers;

    int64_t number(wdf::Field field, int64_t otherwise = 0) const {
        for (const auto& [id, value] : numbers)
            if (id == field)
                return value;
        return otherwise;
    }
};

// The application frame's toolbar with its controls placed by the running layout.
struct ToolbarDefinition {
    ControlDefinition record;
    std::vector<ControlDefinition> controls;
    int32_t width = 0;
    int32_t height = 0;
};

} // namespace morvex
