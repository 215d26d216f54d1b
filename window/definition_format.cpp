// The control layouts, one table row per control type. The offsets of the
// fields named for each type are fixed by the records the engine reads; the
// remaining fields and the common tail are placed in the gaps, and are
// documented in docs/window-definitions.md.
#include "window/definition_format.h"

#include <array>

namespace morvex::wdf {

namespace {

using enum FieldKind;

constexpr int32_t NoColour = -1;

constexpr FieldSpec ImageFields[] = {
    {Field::ImageName, "name", 0x25, Text},
    {Field::ImageMode, "mode", 0x2D, Byte},
};
constexpr FieldSpec ShapeFields[] = {
    {Field::Shape, "kind", 0x25, Byte},
    {Field::FillColour, "fill", 0x26, Colour, NoColour},
    {Field::BorderColour, "border", 0x2A, Colour, NoColour},
    {Field::LineWidth, "linewidth", 0x2E, Long, 1},
};
constexpr FieldSpec EntryFields[] = {
    {Field::Picture, "picture", 0x49, Text},
    {Field::Value, "value", 0x4D, Long},
    {Field::EntryFlags, "flags", 0x51, Byte},
};
constexpr FieldSpec ButtonFields[] = {
    {Field::Cursor, "cursor", 0x3D, Image},    {Field::Text, "text", 0x45, Text},
    {Field::Icon, "icon", 0x49, Image},        {Field::Value, "value", 0x51, Long},
    {Field::ButtonFlags, "flags", 0x55, Byte}, {Field::Delay, "delay", 0x56, Word},
    {Field::Repeat, "repeat", 0x58, Word},
};
constexpr FieldSpec PromptFields[] = {
    {Field::Text, "text", 0x29, Text},
};
constexpr FieldSpec OptionFields[] = {
    {Field::Text, "text", 0x29, Text},
    {Field::GroupStyle, "style", 0x2D, Long},
};
constexpr FieldSpec RadioFields[] = {
    {Field::Text, "text", 0x25, Text},
    {Field::RadioValue, "value", 0x29, Text},
};
constexpr FieldSpec CheckFields[] = {
    {Field::Text, "text", 0x49, Text},
    {Field::TrueValue, "true", 0x55, Long, 1},
    {Field::FalseValue, "false", 0x59, Long},
};
constexpr FieldSpec GroupFields[] = {
    {Field::GroupStyle, "style", 0x39, Long},
    {Field::Text, "text", 0x45, Text},
    {Field::Value, "value", 0x49, Long},
};
constexpr FieldSpec ListFields[] = {
    {Field::DropCount, "drop", 0x4D, Byte},        {Field::Rows, "rows", 0x4E, Long},
    {Field::DataSource, "from", 0x54, Descriptor}, {Field::LineHeight, "lineheight", 0x58, Long},
    {Field::Selection, "selection", 0x5C, Long},   {Field::Column, "column", 0x60, Long},
    {Field::ListFlags, "flags", 0x64, Byte},       {Field::ScrollTo, "scroll", 0x65, Long},
    {Field::Mark, "mark", 0x69, Long, -1},
};
constexpr FieldSpec ComboFields[] = {
    {Field::DropCount, "drop", 0x4D, Byte},
    {Field::Picture, "picture", 0x6D, Text},
    {Field::Choices, "choices", 0x71, TextList},
};
constexpr FieldSpec SpinFields[] = {
    {Field::Cursor, "cursor", 0x41, Image}, {Field::Picture, "picture", 0x49, Text},
    {Field::RangeLow, "low", 0x52, Real},   {Field::RangeHigh, "high", 0x5A, Real},
    {Field::Delay, "delay", 0x62, Word},    {Field::Repeat, "repeat", 0x64, Word},
    {Field::Step, "step", 0x66, Real},      {Field::Choices, "choices", 0x6E, TextList},
};
constexpr FieldSpec TextFields[] = {
    {Field::Text, "text", 0x29, Text},
    {Field::TextFlags, "flags", 0x51, Byte},
};
constexpr FieldSpec DropFields[] = {
    {Field::DropCount, "drop", 0x4D, Byte},
    {Field::DropWidth, "dropwidth", 0x52, Word},
    {Field::Choices, "choices", 0x54, TextList},
};
constexpr FieldSpec SheetFields[] = {
    {Field::Selection, "selection", 0x4D, Long},
    {Field::GroupStyle, "style", 0x57, Long},
    {Field::Placement, "placement", 0x5B, Byte},
};
constexpr FieldSpec TabFields[] = {
    {Field::Text, "text", 0x25, Text},
    {Field::TabState, "state", 0x29, Byte},
    {Field::TabSheet, "sheet", 0x32, Long},
    {Field::TabCount, "count", 0x3A, Long},
};
constexpr FieldSpec RegionFields[] = {
    {Field::FillColour, "fill", 0x25, Colour, NoColour},
    {Field::BorderColour, "border", 0x29, Colour, NoColour},
    {Field::LineWidth, "linewidth", 0x2D, Long},
};

using enum PositionBlock;

constexpr ControlLayout Layouts[] = {
    {ImageControl, "image", Plain, 0x2E, ImageFields},
    {ShapeControl, "shape", Plain, 0x32, ShapeFields},
    {OptionControl, "option", Variable, 0x31, OptionFields},
    {EntryControl, "entry", Variable, 0x52, EntryFields},
    {ButtonControl, "button", Plain, 0x5A, ButtonFields},
    {PromptControl, "prompt", Plain, 0x2D, PromptFields},
    {RadioControl, "radio", Plain, 0x2D, RadioFields},
    {CheckControl, "check", Variable, 0x5D, CheckFields},
    {GroupControl, "group", Plain, 0x4D, GroupFields},
    {ListControl, "list", VariableAndFormat, 0x6D, ListFields},
    {ComboControl, "combo", VariableAndFormat, 0x75, ComboFields},
    {SpinControl, "spin", Variable, 0x72, SpinFields},
    {TextControl, "text", Variable, 0x52, TextFields},
    {ToolbarControl, "toolbar", Plain, 0x49, {}},
    {DropControl, "drop", VariableAndFormat, 0x58, DropFields},
    {Combo2Control, "combo2", VariableAndFormat, 0x75, ComboFields},
    {SheetControl, "sheet", Variable, 0x5C, SheetFields},
    {TabControl, "tab", Plain, 0x3E, TabFields},
    {RegionControl, "region", Plain, 0x31, RegionFields},
};

// Codes without a creator of their own: plain position block, no fields.
constexpr ControlLayout GenericLayout{0, "control", Plain, 0x25, {}};

constexpr std::array<const ControlLayout*, 256> make_index() {
    std::array<const ControlLayout*, 256> index{};
    for (const ControlLayout& layout : Layouts)
        index[layout.type] = &layout;
    return index;
}
constexpr std::array<const ControlLayout*, 256> LayoutIndex = make_index();

} // namespace

const ControlLayout& LayoutOf(uint8_t type) {
    const ControlLayout* layout = LayoutIndex[type];
    return layout ? *layout : GenericLayout;
}

const ControlLayout* LayoutByKeyword(std::string_view keyword) {
    for (const ControlLayout& layout : Layouts)
        if (layout.keyword == keyword)
            return &layout;
    return nullptr;
}

uint32_t VariableOffsetOf(PositionBlock block) {
    return block == Plain ? 0 : ctl::PositionBlock;
}
uint32_t FormatOffsetOf(PositionBlock block) {
    return block == VariableAndFormat ? ctl::PositionBlock + 4 : 0;
}
uint32_t PositionOffsetOf(PositionBlock block) {
    switch (block) {
    case Plain:
        return ctl::PositionBlock;
    case Variable:
        return ctl::PositionBlock + 4;
    case VariableAndFormat:
        return ctl::PositionBlock + 8;
    }
    return ctl::PositionBlock;
}

const FieldSpec* FindField(const ControlLayout& layout, Field id) {
    for (const FieldSpec& field_spec : layout.fields)
        if (field_spec.id == id)
            return &field_spec;
    return nullptr;
}

} // namespace morvex::wdf
