// The binary layout of window definition blocks: record type codes, field
// offsets, the per-type control layouts and the bounds-checked little-endian
// readers. The compiler (definition_compiler), the dumper (definition_dumper)
// and the engine's loader (definition_loader) all take their offsets from here;
// docs/window-definitions.md describes the same layout for people.
//
// A block is the resource content after the procedure name's NUL, copied to
// block offset 2. Every offset in a record is a block offset; 0 means absent.
// All integers are little-endian, nothing is aligned.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace morvex::wdf {

// ---- Record type codes --------------------------------------------------

constexpr uint8_t WindowRecordType = 25;
constexpr uint8_t ReportRecordType = 26;
// Our own records (the control codes never use these values).
constexpr uint8_t MenuBarRecordType = 40;
constexpr uint8_t MenuItemRecordType = 41;
constexpr uint8_t SubmenuRecordType = 42;
constexpr uint8_t MenuSeparatorRecordType = 43;
constexpr uint8_t TextListRecordType = 44; // a spin box's list of values

// Block offset 2 holds the offset of the first window record.
constexpr uint32_t BlockHeadSize = 2;
constexpr uint32_t FirstWindowOffset = 2;

// ---- Window record ------------------------------------------------------

namespace win {
constexpr uint32_t Type = 0x00;
constexpr uint32_t Next = 0x01;
constexpr uint32_t Attributes1 = 0x05;
constexpr uint32_t OpenAttributes = 0x09;
constexpr uint32_t X = 0x0D;
constexpr uint32_t Y = 0x11;
constexpr uint32_t Width = 0x15;
constexpr uint32_t Height = 0x19;
constexpr uint32_t FirstControl = 0x1D;
constexpr uint32_t Label = 0x21;
constexpr uint32_t Font = 0x25;
constexpr uint32_t Caption = 0x29;
constexpr uint32_t Colours = 0x35;
constexpr uint32_t Icon = 0x39;
constexpr uint32_t Text1 = 0x3D;
constexpr uint32_t Text2 = 0x45;
constexpr uint32_t ExtraItems = 0x4D;
constexpr uint32_t Attributes2 = 0x51;
constexpr uint32_t PaletteSize = 0x55;
constexpr uint32_t Timer = 0x59;
constexpr uint32_t MenuBar = 0x5D;
constexpr uint32_t Toolbar = 0x61;
constexpr uint32_t Wallpaper = 0x65;
constexpr uint32_t FurtherItems = 0x69;
constexpr uint32_t Dock1 = 0x72;
constexpr uint32_t Dock2 = 0x73;
constexpr uint32_t Size = 0x74;
} // namespace win

// Attribute word 1.
constexpr uint32_t WinHScroll = 0x001;   // frame: horizontal scroll bar on the MDI client
constexpr uint32_t WinVScroll = 0x002;   // frame: vertical scroll bar on the MDI client
constexpr uint32_t WinResize = 0x010;    // sizing border
constexpr uint32_t WinUnitMask = 0x300;  // position unit (window/position_units.h)
constexpr uint32_t WinPostSized = 0x800; // EVENT:Sized follows EVENT:OpenWindow
// Attribute word 2.
constexpr uint32_t WinOptionBit = 0x002; // forced on by the runtime's global option bit 4
constexpr uint32_t WinModal = 0x008;
constexpr uint32_t WinCentered = 0x020;   // centred on its owner (or the screen) when placed by default
constexpr uint32_t WinToolWindow = 0x040; // the small caption of a tool window
constexpr uint32_t WinMdiChild = 0x400;   // an MDI child of the application frame

// Chained item lists (extra items, further items): value, next.
constexpr uint32_t ItemValue = 0x00;
constexpr uint32_t ItemNext = 0x04;
constexpr uint32_t ItemSize = 0x08;

// ---- Font and colour records ----------------------------------------------

namespace font {
constexpr uint32_t Typeface = 0x00;
constexpr uint32_t PointSize = 0x04;
constexpr uint32_t Colour = 0x08;
constexpr uint32_t Weight = 0x0C;
constexpr uint32_t Size = 0x10; // the typeface text follows
} // namespace font

namespace colours {
constexpr uint32_t Colour = 0x00;
constexpr uint32_t SelectedText = 0x04;
constexpr uint32_t SelectedBackground = 0x08;
constexpr uint32_t Size = 0x0C;
} // namespace colours

constexpr uint32_t DefaultColour = 0xFFFFFFFF;

// ---- Image references -------------------------------------------------------

// Either a NUL-terminated name or 4 bytes: 0xFF, kind, 16-bit stored value
// (id + 1; 0 = none).
constexpr uint8_t NumericImageMarker = 0xFF;
constexpr uint8_t SystemImageKind = 1;
constexpr uint8_t ResourceImageKind = 2;
constexpr uint32_t NumericImageSize = 4;

// ---- Menu bar ------------------------------------------------------------------

namespace menubar {
constexpr uint32_t Type = 0x00;
constexpr uint32_t Attributes = 0x01; // bit 0: the menu stays the window's own (not shared by the frame)
constexpr uint32_t FirstItem = 0x05;
constexpr uint32_t Size = 0x09;
} // namespace menubar
constexpr uint32_t MenuPrivate = 0x1;

// Items of a menu bar or submenu, chained in display order.
namespace menuitem {
constexpr uint32_t Type = 0x00; // item, submenu or separator
constexpr uint32_t Next = 0x01;
constexpr uint32_t Attributes = 0x05;
constexpr uint32_t Use = 0x09;        // signed: the number the item's events carry
constexpr uint32_t Text = 0x0D;       // offset of the text ("&File")
constexpr uint32_t Shortcut = 0x11;   // offset of the key name ("Ctrl+F4")
constexpr uint32_t FirstChild = 0x15; // submenus: the first item inside
constexpr uint32_t Icon = 0x19;       // offset of an image reference
constexpr uint32_t Size = 0x1D;
} // namespace menuitem
constexpr uint32_t MenuItemDisabled = 0x1;
constexpr uint32_t MenuItemChecked = 0x2;
constexpr uint32_t MenuItemCheckable = 0x4;

// A spin box's value list: type, reserved, offset of the texts (NUL-terminated
// one after the other, an empty text ends the list).
namespace textlist {
constexpr uint32_t Type = 0x00;
constexpr uint32_t Texts = 0x05;
constexpr uint32_t Size = 0x09;
} // namespace textlist

// ---- Control records -----------------------------------------------------------

namespace ctl {
constexpr uint32_t Type = 0x00;
constexpr uint32_t Next = 0x01;
constexpr uint32_t Attributes = 0x05;
constexpr uint32_t Reserved1 = 0x09;
constexpr uint32_t Feq = 0x0D;
constexpr uint32_t Reserved2 = 0x11;
constexpr uint32_t PositionBlock = 0x15;
constexpr uint32_t ToolbarFirstControl = 0x45; // toolbar records: the first control of the toolbar
} // namespace ctl

// The common tail that follows every control's type-specific part, at the
// type's `tail` offset: font record, colour record, tool tip text (offsets),
// justification byte (0 left, 1 right, 2 centre, 3 decimal), indent (signed).
namespace tail {
constexpr uint32_t Font = 0x00;
constexpr uint32_t Colours = 0x04;
constexpr uint32_t Tip = 0x08;
constexpr uint32_t Justification = 0x0C;
constexpr uint32_t Indent = 0x0D;
constexpr uint32_t Size = 0x11;
} // namespace tail

// Variable descriptor: data type, 16-bit size, 6 bytes the program fills.
namespace vardesc {
constexpr uint32_t DataType = 0x00;
constexpr uint32_t DataSize = 0x01;
constexpr uint32_t Size = 0x09;
} // namespace vardesc
constexpr uint8_t LongDataType = 6;
constexpr uint8_t StringDataType = 18;
constexpr uint8_t QueueDataType = 26;

enum ControlType : uint8_t {
    ImageControl = 3,
    ShapeControl = 5,
    OptionControl = 7,
    EntryControl = 8,
    ButtonControl = 9,
    PromptControl = 10,
    RadioControl = 11,
    CheckControl = 12,
    GroupControl = 13,
    ListControl = 14,
    ComboControl = 15,
    SpinControl = 16,
    TextControl = 17,
    ToolbarControl = 23,
    DropControl = 33,
    Combo2Control = 34,
    SheetControl = 37,
    TabControl = 38,
    RegionControl = 39,
};

// Where the position block lies: behind no offset, behind a variable
// descriptor offset, or behind a variable descriptor and a list format offset.
enum class PositionBlock : uint8_t { Plain, Variable, VariableAndFormat };

enum class FieldKind : uint8_t {
    Text,       // offset of a NUL-terminated text
    Image,      // offset of an image reference
    Byte,       // 1 byte, unsigned
    Word,       // 2 bytes, unsigned
    Long,       // 4 bytes, signed
    Colour,     // 4 bytes, a colour value
    Real,       // 8-byte IEEE double
    Descriptor, // offset of a variable descriptor
    TextList,   // offset of a text list record
};

// The type-specific fields of the control layouts. The keyword is the name
// the text format gives the field.
enum class Field : uint8_t {
    Text,
    Picture,
    Icon,
    Cursor,
    ImageName,
    ImageMode,
    Value,
    ButtonFlags,
    Delay,  // first time value, 10 ms units
    Repeat, // second time value, 10 ms units
    DropCount,
    DropWidth,
    DataSource,
    Rows,
    LineHeight,
    Selection,
    Column,
    ListFlags,
    ScrollTo,
    Mark,
    RangeLow,
    RangeHigh,
    Step,
    Choices,
    TextFlags,
    EntryFlags,
    TrueValue,
    FalseValue,
    GroupStyle,
    Shape,
    FillColour,
    BorderColour,
    LineWidth,
    FirstToolbarControl,
    Placement,
    TabState,
    TabSheet,
    TabCount,
    RadioValue, // a radio button's value text
};

struct FieldSpec {
    Field id;
    std::string_view keyword;
    uint8_t offset;
    FieldKind kind;
    int32_t default_value = 0; // numeric fields: the value when the source leaves the field out
};

struct ControlLayout {
    uint8_t type;
    std::string_view keyword;
    PositionBlock block;
    uint8_t tail; // offset of the common tail = end of the type-specific part
    std::span<const FieldSpec> fields;
};

// The layout of a control type. Types without a layout of their own (the
// codes without a creator) get the plain position block and no fields.
const ControlLayout& LayoutOf(uint8_t type);
// The layout named by a text-format keyword, or nullptr.
const ControlLayout* LayoutByKeyword(std::string_view keyword);
// Offsets of the variable descriptor and list format (0 = the block has none)
// and of the four position values.
uint32_t VariableOffsetOf(PositionBlock block);
uint32_t FormatOffsetOf(PositionBlock block);
uint32_t PositionOffsetOf(PositionBlock block);
const FieldSpec* FindField(const ControlLayout& layout, Field id);

// ---- Bounds-checked readers ------------------------------------------------------

// Reads out of range give 0 (and texts give the empty text), so a damaged
// block reads as absent items rather than stray memory.
class ByteView {
public:
    ByteView() = default;
    explicit ByteView(std::span<const uint8_t> bytes) : m_bytes(bytes) {}

    std::size_t size() const { return m_bytes.size(); }
    bool contains(uint32_t offset, uint32_t width) const {
        return offset <= m_bytes.size() && width <= m_bytes.size() - offset;
    }
    uint8_t u8(uint32_t offset) const { return contains(offset, 1) ? m_bytes[offset] : 0; }
    uint16_t u16(uint32_t offset) const {
        return contains(offset, 2) ? static_cast<uint16_t>(m_bytes[offset] | m_bytes[offset + 1] << 8) : 0;
    }
    uint32_t u32(uint32_t offset) const {
        if (!contains(offset, 4))
            return 0;
        return static_cast<uint32_t>(m_bytes[offset]) | static_cast<uint32_t>(m_bytes[offset + 1]) << 8 |
               static_cast<uint32_t>(m_bytes[offset + 2]) << 16 |
               static_cast<uint32_t>(m_bytes[offset + 3]) << 24;
    }
    int32_t i32(uint32_t offset) const { return static_cast<int32_t>(u32(offset)); }
    double f64(uint32_t offset) const {
        if (!contains(offset, 8))
            return 0.0;
        uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = bits << 8 | m_bytes[offset + static_cast<uint32_t>(i)];
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // The NUL-terminated text at `offset` (cut at the end of the bytes);
    // empty for offset 0 or an offset outside.
    std::string_view text(uint32_t offset) const {
        if (offset == 0 || offset >= m_bytes.size())
            return {};
        const auto* start = reinterpret_cast<const char*>(m_bytes.data() + offset);
        const std::size_t room = m_bytes.size() - offset;
        const void* nul = std::memchr(start, 0, room);
        return {start, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - start) : room};
    }

private:
    std::span<const uint8_t> m_bytes;
};

// Walking a chain stops after this many records: a chain in a damaged block
// may run in a circle, and a block holds no more records of a size than fit
// into it. Bounding every chain by its record size also bounds nested walks
// (the controls of every window) to a small multiple of the block size.
inline std::size_t ChainLimit(const ByteView& block, uint32_t record_size) {
    return block.size() / record_size + 1;
}
// The smallest control record: the plain layout without fields, and its tail.
constexpr uint32_t MinControlSize = 0x25 + tail::Size;

} // namespace morvex::wdf
