// The object base that windows and controls share: the property operations
// that every class answers (or passes on to its base class), the text, the
// attribute word and the state word.
//
// Properties travel as text. A class handles the numbers it knows and passes
// every other number to its base class; nullopt (get) or false (set) means
// "not handled", which the caller turns into the empty text or an ignored
// set (window/properties.h does the decoding).
#pragma once

#include "window/window_definition.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace morvex {

namespace painter {
class Font;
}
class Window;

// Bits of the attribute word that the object base and the common control
// base answer as flags (window/property_numbers.h names the properties).
enum ObjectAttribute : uint32_t {
    AttrDisabled = 0x0001,
    AttrSkip = 0x0002, // Tab passes the control by
    AttrTransparent = 0x0020,
    AttrDefault = 0x0040, // a button that Enter presses
    AttrToolbar = 0x0080, // the control lives on the window's toolbar
    AttrHidden = 0x0400,
    // Immediate: a list scrolled by the program (its keys and scroll bar post
    // scroll events), a button that repeats while held.
    AttrImmediate = 0x0800,
    AttrFlat = 0x1000,
    AttrReadOnly = 0x2000,
};

// The state word: value 4 makes the object an event source.
enum ObjectState : uint16_t {
    StateBit1 = 0x0001,
    StateBit2 = 0x0002,
    StateEventSource = 0x0004,
};

class EngineObject {
public:
    virtual ~EngineObject() = default;

    // An engine property (0x7000 and up) without an index.
    virtual std::optional<std::string> get_property(uint32_t number);
    // An indexed request (0x7D00 and up with an index); `index` is 0-based.
    virtual std::optional<std::string> get_indexed_property(uint32_t number, int32_t index);
    // A property below 0x7000.
    virtual std::optional<std::string> get_low_property(uint32_t number);
    // Sets a property; `index` is 0-based for indexed requests, -1 otherwise.
    // False when no class handles it.
    virtual bool set_property(uint32_t number, int32_t index, std::string_view value);

    // The window whose units positions are read and set in.
    virtual Window& owning_window() = 0;

    // The font the object draws with: its own font record, else its window's
    // (a window without one: the system font). Never null once a font loads.
    virtual std::shared_ptr<painter::Font> font() const = 0;
    const std::optional<FontDefinition>& font_definition() const { return m_font; }
    const ColourDefinition& colours() const { return m_colours; }

    uint32_t attributes() const { return m_attributes; }
    bool has_attribute(uint32_t bits) const { return (m_attributes & bits) != 0; }
    uint16_t state() const { return m_state; }
    bool is_event_source() const { return (m_state & StateEventSource) != 0; }

protected:
    // Sets or clears attribute bits and lets the object apply the change.
    void change_attribute(uint32_t bits, bool set);
    virtual void attributes_changed(uint32_t changed);
    // The text, font or colours changed: redraw.
    virtual void appearance_changed() = 0;

    // The object's text (caption or control text), Windows-1252.
    virtual std::string text() const { return m_text; }
    virtual void set_text(std::string_view text) { m_text = text; }
    // Position and size in pixels (for a window: its screen position and
    // client size); the base converts to and from window units.
    virtual int32_t pixel_geometry(int which) const = 0; // 0 x, 1 y, 2 width, 3 height
    virtual void set_pixel_geometry(int which, int32_t pixels) = 0;
    virtual uint8_t type_code() const = 0;
    virtual int32_t own_number() const = 0;

    std::string m_text;
    uint32_t m_attributes = 0;
    uint16_t m_state = StateEventSource;
    std::optional<FontDefinition> m_font;
    ColourDefinition m_colours;
};

// Flag properties read "1" or "0"; any value that reads as a non-zero number sets them.
std::string FlagText(bool set);
bool FlagValue(std::string_view value);
// The value as a whole number (leading blanks, sign, digits); 0 when none.
int64_t NumberValue(std::string_view value);

} // namespace morvex
