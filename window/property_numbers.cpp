#include "window/property_numbers.h"

#include "runtime/ascii_case.h"

#include <algorithm>
#include <charconv>

namespace morvex {

namespace {

constexpr NamedProperty Names[] = {
    {Prop::LineHeight, "LineHeight"},
    {Prop::ParentNumber, "ParentNumber"},
    {Prop::Thread, "Thread"},
    {Prop::Delay, "Delay"},
    {Prop::Repeat, "Repeat"},
    {Prop::Feq, "Feq"},
    {Prop::ChildIndex, "ChildIndex"},
    {Prop::LayoutBit1, "LayoutBit1"},
    {Prop::IconList, "IconList"},
    {Prop::FontCharSet, "FontCharSet"},
    {Prop::FullWidth, "FullWidth"},
    {Prop::FullHeight, "FullHeight"},
    {Prop::ClientWidth, "ClientWidth"},
    {Prop::ClientHeight, "ClientHeight"},
    {Prop::Fill, "Fill"},
    {Prop::LineWidth, "LineWidth"},
    {Prop::TipShown, "TipShown"},
    {Prop::SelectionEnd, "SelectionEnd"},
    {Prop::Thumb, "Thumb"},
    {Prop::MouseRow, "MouseRow"},
    {Prop::Text, "Text"},
    {Prop::Type, "Type"},
    {Prop::XPos, "XPos"},
    {Prop::YPos, "YPos"},
    {Prop::Width, "Width"},
    {Prop::Height, "Height"},
    {Prop::Center, "Center"},
    {Prop::CenterOffset, "CenterOffset"},
    {Prop::Left, "Left"},
    {Prop::LeftOffset, "LeftOffset"},
    {Prop::Decimal, "Decimal"},
    {Prop::DecimalOffset, "DecimalOffset"},
    {Prop::Right, "Right"},
    {Prop::RightOffset, "RightOffset"},
    {Prop::FontName, "FontName"},
    {Prop::FontSize, "FontSize"},
    {Prop::FontColor, "FontColor"},
    {Prop::FontStyle, "FontStyle"},
    {Prop::RangeLow, "RangeLow"},
    {Prop::RangeHigh, "RangeHigh"},
    {Prop::Checked, "Checked"},
    {Prop::Step, "Step"},
    {Prop::ChoiceCount, "ChoiceCount"},
    {Prop::Items, "Items"},
    {Prop::TopRow, "TopRow"},
    {Prop::Selection, "Selection"},
    {Prop::Column, "Column"},
    {Prop::Format, "Format"},
    {Prop::Timer, "Timer"},
    {Prop::Cursor, "Cursor"},
    {Prop::Default, "Default"},
    {Prop::ReadOnly, "ReadOnly"},
    {Prop::Icon, "Icon"},
    {Prop::Hide, "Hide"},
    {Prop::Tip, "Tip"},
    {Prop::Disable, "Disable"},
    {Prop::ImageName, "ImageName"},
    {Prop::Wallpaper, "Wallpaper"},
    {Prop::Immediate, "Immediate"},
    {Prop::Key, "Key"},
    {Prop::Modal, "Modal"},
    {Prop::Mdi, "Mdi"},
    {Prop::SystemMenu, "SystemMenu"},
    {Prop::Msg, "Msg"},
    {Prop::Picture, "Picture"},
    {Prop::InToolbar, "InToolbar"},
    {Prop::Transparent, "Transparent"},
    {Prop::Value, "Value"},
    {Prop::Active, "Active"},
    {Prop::Flat, "Flat"},
    {Prop::Skip, "Skip"},
    {Prop::FocusControl, "FocusControl"},
    {Prop::SelectedControl, "SelectedControl"},
    {Prop::FirstControl, "FirstControl"},
    {Prop::Handle, "Handle"},
    {Prop::ClientHandle, "ClientHandle"},
    {Prop::ZOrder, "ZOrder"},
    {Prop::AcceptAll, "AcceptAll"},
    {Prop::LastControl, "LastControl"},
    {Prop::HelpText, "HelpText"},
    {Prop::Visible, "Visible"},
    {Prop::Enabled, "Enabled"},
    {Prop::ClosingState, "ClosingState"},
    {Prop::StateBit1, "StateBit1"},
    {Prop::WindowProcedure, "WindowProcedure"},
    {Prop::StateBit2, "StateBit2"},
    {Prop::ScreenText, "ScreenText"},
    {Prop::Color, "Color"},
    {Prop::SelectedColor, "SelectedColor"},
    {Prop::SelectedFillColor, "SelectedFillColor"},
    {Prop::ColumnEditor, "ColumnEditor"},
    {Prop::Alert, "Alert"},
    {Prop::ColumnWidth, "ColumnWidth"},
    {Prop::ColumnHeading, "ColumnHeading"},
    {Prop::ColumnJustification, "ColumnJustification"},
    {Prop::ColumnPicture, "ColumnPicture"},
    {Prop::ColumnField, "ColumnField"},
    {Prop::ColumnColor, "ColumnColor"},
};

} // namespace

std::span<const NamedProperty> PropertyNames() {
    return Names;
}

std::optional<uint16_t> PropertyByName(std::string_view text) {
    for (const NamedProperty& entry : Names)
        if (EqualsIgnoringAsciiCase(entry.name, text))
            return entry.number;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.size() > 1 && (text.back() == 'h' || text.back() == 'H'))
        text.remove_suffix(1);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > 0xFFFF)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

std::string_view PropertyName(uint16_t number) {
    for (const NamedProperty& entry : Names)
        if (entry.number == number)
            return entry.name;
    return {};
}

} // namespace morvex
