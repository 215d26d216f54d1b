// Property numbers: the 16-bit numbers by which windows and controls are read
// and changed as text. docs/properties.md gives the meaning of each; the
// script driver and `morvex show` accept the names of this table.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace morvex {

namespace Prop {
// The object base (windows and controls).
constexpr uint16_t Text = 0x7C00;
constexpr uint16_t Type = 0x7C01;
constexpr uint16_t XPos = 0x7C02;
constexpr uint16_t YPos = 0x7C03;
constexpr uint16_t Width = 0x7C04;
constexpr uint16_t Height = 0x7C05;
constexpr uint16_t Feq = 0x7A11;
constexpr uint16_t Hide = 0x7C65;
constexpr uint16_t Disable = 0x7C67;
constexpr uint16_t Immediate = 0x7C6A;
constexpr uint16_t Skip = 0x7C8B;
constexpr uint16_t StateBit1 = 0x7CB1;
constexpr uint16_t StateBit2 = 0x7CBC;
constexpr uint16_t FontName = 0x7C10;
constexpr uint16_t FontSize = 0x7C11;
constexpr uint16_t FontColor = 0x7C12;
constexpr uint16_t FontStyle = 0x7C13;
constexpr uint16_t FontCharSet = 0x7A3A;
// The common control base.
constexpr uint16_t ParentNumber = 0x7A07;
constexpr uint16_t ChildIndex = 0x7A18;
constexpr uint16_t LayoutBit1 = 0x7A19;
constexpr uint16_t FullWidth = 0x7A40;
constexpr uint16_t FullHeight = 0x7A41;
constexpr uint16_t Center = 0x7C06;
constexpr uint16_t CenterOffset = 0x7C07;
constexpr uint16_t Left = 0x7C08;
constexpr uint16_t LeftOffset = 0x7C09;
constexpr uint16_t Decimal = 0x7C0A;
constexpr uint16_t DecimalOffset = 0x7C0B;
constexpr uint16_t Right = 0x7C0C;
constexpr uint16_t RightOffset = 0x7C0D;
constexpr uint16_t Cursor = 0x7C5D;
constexpr uint16_t Default = 0x7C5F;
constexpr uint16_t ReadOnly = 0x7C63;
constexpr uint16_t Tip = 0x7CA0;
constexpr uint16_t Key = 0x7C6B;
constexpr uint16_t Msg = 0x7C73;
constexpr uint16_t InToolbar = 0x7C7F;
constexpr uint16_t Transparent = 0x7C81;
constexpr uint16_t Value = 0x7C82;
constexpr uint16_t Flat = 0x7C88;
constexpr uint16_t Handle = 0x7C96;
constexpr uint16_t ZOrder = 0x7C99;
constexpr uint16_t HelpText = 0x7C66;
constexpr uint16_t Visible = 0x7CA7;
constexpr uint16_t Enabled = 0x7CA8;
constexpr uint16_t WindowProcedure = 0x7CB4;
constexpr uint16_t ScreenText = 0x7CBF;
constexpr uint16_t Color = 0x7CFA;
constexpr uint16_t SelectedColor = 0x7CFB;
constexpr uint16_t SelectedFillColor = 0x7CFC;
// Controls with values: spin boxes, check boxes, sheets and lists.
constexpr uint16_t RangeLow = 0x7C14;
constexpr uint16_t RangeHigh = 0x7C15;
constexpr uint16_t Delay = 0x7A0F;
constexpr uint16_t Repeat = 0x7A10;
constexpr uint16_t Checked = 0x7C16;
constexpr uint16_t Step = 0x7C17;
constexpr uint16_t Selection = 0x7C22;
constexpr uint16_t Column = 0x7C25;
constexpr uint16_t ChoiceCount = 0x7C1C;
constexpr uint16_t Icon = 0x7C64;
constexpr uint16_t ImageName = 0x7C68;
constexpr uint16_t Picture = 0x7C74;
constexpr uint16_t Fill = 0x7A60;         // drawn shapes and regions: the fill colour (-1 = none)
constexpr uint16_t LineWidth = 0x7A61;    // drawn shapes and regions: the border's width in pixels
constexpr uint16_t TipShown = 0x7A62;     // flag: the control's tool tip is showing now
constexpr uint16_t SelectionEnd = 0x7A63; // texts: the last selected character (1-based)
constexpr uint16_t Thumb = 0x7A64;    // program-scrolled lists: the thumb position 0-100 (-1: no scroll bar)
constexpr uint16_t MouseRow = 0x7A65; // lists: the row under the last right-button press (0 none)
constexpr uint16_t Alert = 0x7D06;    // indexed: the alerted key codes
// List boxes.
constexpr uint16_t Items = 0x7C20;  // rows the list shows at once
constexpr uint16_t TopRow = 0x7C21; // the first row shown
constexpr uint16_t Format = 0x7C29; // the format string
constexpr uint16_t LineHeight = 0x7A03;
constexpr uint16_t IconList = 0x7A1C; // indexed: the image of icon number n
constexpr uint16_t ColumnWidth = 0x7E00;
constexpr uint16_t ColumnHeading = 0x7E03;
constexpr uint16_t ColumnJustification = 0x7E04;
constexpr uint16_t ColumnPicture = 0x7E05; // the picture ("d17"), empty for plain text
constexpr uint16_t ColumnField = 0x7E0A;   // the queue field; 0: no such column
constexpr uint16_t ColumnColor = 0x7E28;   // the text colour (-1: the list's own)
constexpr uint16_t ColumnEditor = 0x7D05;  // indexed: the control laid over the selected row's cell
// Windows.
constexpr uint16_t Thread = 0x7A09;
constexpr uint16_t ClientWidth = 0x7A43;
constexpr uint16_t ClientHeight = 0x7A44;
constexpr uint16_t Timer = 0x7C42;
constexpr uint16_t Wallpaper = 0x7C69;
constexpr uint16_t Modal = 0x7C6E;
constexpr uint16_t Mdi = 0x7C6F;
constexpr uint16_t SystemMenu = 0x7C70;
constexpr uint16_t Active = 0x7C84;
constexpr uint16_t FocusControl = 0x7C91;
constexpr uint16_t SelectedControl = 0x7C92;
constexpr uint16_t FirstControl = 0x7C93;
constexpr uint16_t ClientHandle = 0x7C97;
constexpr uint16_t AcceptAll = 0x7C9A;
constexpr uint16_t LastControl = 0x7C9E;
constexpr uint16_t ClosingState = 0x7CAB;
} // namespace Prop

struct NamedProperty {
    uint16_t number;
    std::string_view name;
};

// Every named property, in number order.
std::span<const NamedProperty> PropertyNames();
// A property by name (case-blind) or by hexadecimal number ("7C00", "0x7C00").
std::optional<uint16_t> PropertyByName(std::string_view text);
// The name of a number, or empty.
std::string_view PropertyName(uint16_t number);

} // namespace morvex
