#include "window/engine_object.h"

#include "runtime/leading_integer.h"
#include "window/painter/font.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <charconv>

namespace morvex {

std::string FlagText(bool set) {
    return set ? "1" : "0";
}

int64_t NumberValue(std::string_view value) {
    return ReadLeadingInteger(value, {.blanks = " \t"}).value;
}

bool FlagValue(std::string_view value) {
    return NumberValue(value) != 0;
}

namespace {

// The attribute bit behind each flag property of the object base.
struct FlagProperty {
    uint16_t number;
    uint32_t bit;
};
constexpr FlagProperty ObjectFlags[] = {
    {Prop::Hide, AttrHidden},
    {Prop::Disable, AttrDisabled},
    {Prop::Immediate, AttrImmediate},
    {Prop::Skip, AttrSkip},
};

} // namespace

std::optional<std::string> EngineObject::get_property(uint32_t number) {
    switch (number) {
    case Prop::Text:
        return text();
    case Prop::Type:
        return std::to_string(type_code());
    case Prop::XPos:
        return std::to_string(owning_window().to_units_x(pixel_geometry(0)));
    case Prop::YPos:
        return std::to_string(owning_window().to_units_y(pixel_geometry(1)));
    case Prop::Width:
        return std::to_string(owning_window().to_units_x(pixel_geometry(2)));
    case Prop::Height:
        return std::to_string(owning_window().to_units_y(pixel_geometry(3)));
    case Prop::Feq:
        return std::to_string(own_number());
    case Prop::StateBit1:
        return FlagText((m_state & StateBit1) != 0);
    case Prop::StateBit2:
        return FlagText((m_state & StateBit2) != 0);
    case Prop::FontName:
        return font() ? font()->request().typeface : std::string();
    case Prop::FontSize:
        return font() ? std::to_string(font()->request().point_size) : std::string();
    case Prop::FontColor:
        return m_font && m_font->colour != wdf::DefaultColour
                   ? std::to_string(static_cast<int32_t>(m_font->colour))
                   : std::string("-1");
    case Prop::FontStyle:
        return font() ? std::to_string(font()->request().weight | (font()->request().italic ? 0x1000 : 0))
                      : std::string();
    case Prop::FontCharSet:
        return "0";
    default:
        break;
    }
    for (const FlagProperty& flag : ObjectFlags)
        if (flag.number == number)
            return FlagText(has_attribute(flag.bit));
    return std::nullopt;
}

std::optional<std::string> EngineObject::get_indexed_property(uint32_t, int32_t) {
    return std::nullopt;
}

std::optional<std::string> EngineObject::get_low_property(uint32_t) {
    return std::nullopt;
}

bool EngineObject::set_property(uint32_t number, int32_t, std::string_view value) {
    const auto geometry = [&](int which, bool horizontal) {
        const auto units = static_cast<int32_t>(NumberValue(value));
        set_pixel_geometry(which, horizontal ? owning_window().to_pixels_x(units)
                                             : owning_window().to_pixels_y(units));
        return true;
    };
    switch (number) {
    case Prop::Text:
        set_text(value);
        appearance_changed();
        return true;
    case Prop::XPos:
        return geometry(0, true);
    case Prop::YPos:
        return geometry(1, false);
    case Prop::Width:
        return geometry(2, true);
    case Prop::Height:
        return geometry(3, false);
    case Prop::FontName:
    case Prop::FontSize:
    case Prop::FontColor:
    case Prop::FontStyle: {
        if (!m_font) {
            m_font = FontDefinition{};
            if (const auto current = font()) {
                m_font->typeface = current->request().typeface;
                m_font->point_size = current->request().point_size;
                m_font->weight = current->request().weight;
            }
        }
        if (number == Prop::FontName)
            m_font->typeface = std::string(value);
        else if (number == Prop::FontSize)
            m_font->point_size = static_cast<int32_t>(NumberValue(value));
        else if (number == Prop::FontColor)
            m_font->colour = static_cast<uint32_t>(NumberValue(value));
        else
            m_font->weight = static_cast<int32_t>(NumberValue(value) & 0xFFF);
        appearance_changed();
        return true;
    }
    default:
        break;
    }
    for (const FlagProperty& flag : ObjectFlags) {
        if (flag.number == number) {
            change_attribute(flag.bit, FlagValue(value));
            return true;
        }
    }
    return false;
}

void EngineObject::change_attribute(uint32_t bits, bool set) {
    const uint32_t before = m_attributes;
    m_attributes = set ? (m_attributes | bits) : (m_attributes & ~bits);
    if (m_attributes != before)
        attributes_changed(m_attributes ^ before);
}

void EngineObject::attributes_changed(uint32_t) {
    appearance_changed();
}

} // namespace morvex
