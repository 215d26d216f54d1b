#include "window/definition_dumper.h"

#include "window/definition_syntax.h"
#include "window/position_units.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace morvex::wdf {

namespace {

struct DecodeError {
    std::string message;
};

[[noreturn]] void fail(std::string message) {
    throw DecodeError{std::move(message)};
}

std::string hex(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%X", value);
    return buffer;
}

class Decoder {
public:
    explicit Decoder(ByteView block) : m_block(block) {}

    ProcedureSource procedure(std::string name) {
        ProcedureSource p;
        p.name = std::move(name);
        std::size_t count = 0;
        for (uint32_t at = m_block.u32(FirstWindowOffset); at != 0; at = m_block.u32(at + win::Next)) {
            if (++count > ChainLimit(m_block, win::Size))
                fail("the window chain runs in a circle");
            p.windows.push_back(window(at));
        }
        if (p.windows.empty())
            fail("the block holds no window");
        return p;
    }

private:
    void need(uint32_t at, uint32_t size, std::string_view what) {
        if (at < BlockHeadSize || !m_block.contains(at, size))
            fail(std::string(what) + " at block offset " + hex(at) + " lies outside the block");
    }

    std::optional<std::string> text(uint32_t at) {
        if (at == 0)
            return std::nullopt;
        need(at, 1, "a text");
        const std::string_view t = m_block.text(at);
        if (!m_block.contains(at, static_cast<uint32_t>(t.size()) + 1))
            fail("the text at block offset " + hex(at) + " has no end");
        return std::string(t);
    }

    std::optional<ImageSource> image(uint32_t at) {
        if (at == 0)
            return std::nullopt;
        need(at, 1, "an image reference");
        ImageSource image;
        if (m_block.u8(at) == NumericImageMarker) {
            need(at, NumericImageSize, "an image reference");
            image.kind = ImageSource::Kind::Numeric;
            image.numeric_kind = m_block.u8(at + 1);
            image.stored = m_block.u16(at + 2);
        } else {
            image.name = *text(at);
        }
        return image;
    }

    std::optional<FontSource> font(uint32_t at) {
        if (at == 0)
            return std::nullopt;
        need(at, font::Size, "a font record");
        FontSource f;
        f.point_size = m_block.i32(at + font::PointSize);
        f.colour = m_block.u32(at + font::Colour);
        f.weight = m_block.i32(at + font::Weight);
        f.typeface = text(m_block.u32(at + font::Typeface)).value_or("");
        return f;
    }

    std::optional<ColourSource> colours(uint32_t at) {
        if (at == 0)
            return std::nullopt;
        need(at, colours::Size, "a colour record");
        return ColourSource{m_block.u32(at + colours::Colour), m_block.u32(at + colours::SelectedText),
                            m_block.u32(at + colours::SelectedBackground)};
    }

    std::vector<uint32_t> items(uint32_t at) {
        std::vector<uint32_t> values;
        for (; at != 0; at = m_block.u32(at + ItemNext)) {
            need(at, ItemSize, "an item");
            if (values.size() >= ChainLimit(m_block, ItemSize))
                fail("an item list runs in a circle");
            values.push_back(m_block.u32(at + ItemValue));
        }
        return values;
    }

    VariableSource descriptor(uint32_t at) {
        need(at, vardesc::Size, "a variable descriptor");
        return VariableSource{m_block.u8(at + vardesc::DataType), m_block.u16(at + vardesc::DataSize)};
    }

    std::vector<std::string> text_list(uint32_t at) {
        need(at, textlist::Size, "a value list");
        std::vector<std::string> texts;
        uint32_t t = m_block.u32(at + textlist::Texts);
        for (;;) {
            std::string s = text(t).value_or("");
            if (s.empty())
                return texts;
            t += static_cast<uint32_t>(s.size()) + 1;
            texts.push_back(std::move(s));
        }
    }

    ControlSource control(uint32_t at) {
        need(at, ctl::PositionBlock, "a control record");
        ControlSource c;
        c.type = m_block.u8(at + ctl::Type);
        const ControlLayout& layout = LayoutOf(c.type);
        need(at, layout.tail + tail::Size, "a control record");
        c.attributes = m_block.u32(at + ctl::Attributes);
        c.feq = m_block.i32(at + ctl::Feq);
        const uint32_t pos = at + PositionOffsetOf(layout.block);
        for (uint32_t i = 0; i < 4; ++i)
            c.position[i] = m_block.i32(pos + 4 * i);
        if (const uint32_t v = VariableOffsetOf(layout.block); v && m_block.u32(at + v))
            c.variable = descriptor(m_block.u32(at + v));
        if (const uint32_t f = FormatOffsetOf(layout.block); f)
            c.format = text(m_block.u32(at + f));
        for (const FieldSpec& field_spec : layout.fields)
            if (std::optional<FieldSource> field = this->field(at, field_spec))
                c.fields.push_back(std::move(*field));
        const uint32_t t = at + layout.tail;
        c.font = font(m_block.u32(t + tail::Font));
        c.colours = colours(m_block.u32(t + tail::Colours));
        c.tip = text(m_block.u32(t + tail::Tip));
        c.justification = m_block.u8(t + tail::Justification);
        if (!WordOfValue(Justifications(), c.justification))
            fail("the control at block offset " + hex(at) + " has the unknown justification " +
                 std::to_string(c.justification));
        c.indent = m_block.i32(t + tail::Indent);
        return c;
    }

    std::optional<FieldSource> field(uint32_t record, const FieldSpec& field_spec) {
        FieldSource f;
        f.field_spec = &field_spec;
        const uint32_t at = record + field_spec.offset;
        const uint32_t offset = m_block.u32(at);
        switch (field_spec.kind) {
        case FieldKind::Text:
            if (!offset)
                return std::nullopt;
            f.text = *text(offset);
            return f;
        case FieldKind::Image:
            if (!offset)
                return std::nullopt;
            f.image = *image(offset);
            return f;
        case FieldKind::Descriptor:
            if (!offset)
                return std::nullopt;
            f.variable = descriptor(offset);
            return f;
        case FieldKind::TextList:
            if (!offset)
                return std::nullopt;
            f.texts = text_list(offset);
            return f;
        case FieldKind::Real: {
            f.real = m_block.f64(at);
            uint64_t bits;
            std::memcpy(&bits, &f.real, sizeof bits);
            if (bits == 0)
                return std::nullopt;
            if (!std::isfinite(f.real))
                fail("a spin box value at block offset " + hex(at) + " is not a finite number");
            return f;
        }
        case FieldKind::Byte:
            f.integer = m_block.u8(at);
            return f.integer == static_cast<uint8_t>(field_spec.default_value) ? std::nullopt
                                                                               : std::optional(f);
        case FieldKind::Word:
            f.integer = m_block.u16(at);
            return f.integer == static_cast<uint16_t>(field_spec.default_value) ? std::nullopt
                                                                                : std::optional(f);
        case FieldKind::Long:
            f.integer = m_block.i32(at);
            return f.integer == field_spec.default_value ? std::nullopt : std::optional(f);
        case FieldKind::Colour:
            f.integer = m_block.u32(at);
            return f.integer == static_cast<uint32_t>(field_spec.default_value) ? std::nullopt
                                                                                : std::optional(f);
        }
        return std::nullopt;
    }

    std::vector<ControlSource> controls(uint32_t at) {
        std::vector<ControlSource> list;
        for (; at != 0; at = m_block.u32(at + ctl::Next)) {
            if (++m_controls > ChainLimit(m_block, MinControlSize))
                fail("a control chain runs in a circle");
            list.push_back(control(at));
            if (list.back().type == ToolbarControl)
                fail("a toolbar record at block offset " + hex(at) + " lies in a control chain");
        }
        return list;
    }

    std::vector<MenuItemSource> menu_items(uint32_t at, int depth) {
        if (depth > 8)
            fail("menus nest deeper than 8 levels");
        std::vector<MenuItemSource> list;
        for (; at != 0; at = m_block.u32(at + menuitem::Next)) {
            need(at, menuitem::Size, "a menu item");
            if (++m_menu_items > ChainLimit(m_block, menuitem::Size))
                fail("a menu runs in a circle");
            MenuItemSource item;
            item.type = m_block.u8(at + menuitem::Type);
            if (item.type != MenuItemRecordType && item.type != SubmenuRecordType &&
                item.type != MenuSeparatorRecordType)
                fail("the menu item at block offset " + hex(at) + " has the unknown type " +
                     std::to_string(item.type));
            item.attributes = m_block.u32(at + menuitem::Attributes);
            item.use = m_block.i32(at + menuitem::Use);
            item.text = text(m_block.u32(at + menuitem::Text));
            item.shortcut = text(m_block.u32(at + menuitem::Shortcut));
            item.icon = image(m_block.u32(at + menuitem::Icon));
            const uint32_t child = m_block.u32(at + menuitem::FirstChild);
            if (child && item.type != SubmenuRecordType)
                fail("the menu item at block offset " + hex(at) + " has items but is no submenu");
            item.children = menu_items(child, depth + 1);
            list.push_back(std::move(item));
        }
        return list;
    }

    WindowSource window(uint32_t at) {
        need(at, win::Size, "a window record");
        WindowSource w;
        w.type = m_block.u8(at + win::Type);
        if (w.type != WindowRecordType && w.type != ReportRecordType)
            fail("the record at block offset " + hex(at) + " is no window record (type " +
                 std::to_string(w.type) + ")");
        w.attributes1 = m_block.u32(at + win::Attributes1);
        w.open_attributes = m_block.u32(at + win::OpenAttributes);
        w.attributes2 = m_block.u32(at + win::Attributes2);
        w.position = {m_block.i32(at + win::X), m_block.i32(at + win::Y), m_block.i32(at + win::Width),
                      m_block.i32(at + win::Height)};
        w.palette_size = m_block.u32(at + win::PaletteSize);
        w.timer = m_block.u32(at + win::Timer);
        w.dock = {m_block.u8(at + win::Dock1), m_block.u8(at + win::Dock2)};
        w.label = text(m_block.u32(at + win::Label)).value_or("");
        w.font = font(m_block.u32(at + win::Font));
        w.caption = text(m_block.u32(at + win::Caption));
        w.colours = colours(m_block.u32(at + win::Colours));
        w.icon = image(m_block.u32(at + win::Icon));
        w.text1 = text(m_block.u32(at + win::Text1));
        w.text2 = text(m_block.u32(at + win::Text2));
        w.extra_items = items(m_block.u32(at + win::ExtraItems));
        w.further_items = items(m_block.u32(at + win::FurtherItems));
        if (const uint32_t m = m_block.u32(at + win::MenuBar)) {
            need(m, menubar::Size, "a menu bar record");
            if (m_block.u8(m + menubar::Type) != MenuBarRecordType)
                fail("the record at block offset " + hex(m) + " is no menu bar");
            MenuBarSource menu;
            menu.attributes = m_block.u32(m + menubar::Attributes);
            menu.items = menu_items(m_block.u32(m + menubar::FirstItem), 0);
            w.menu = std::move(menu);
        }
        if (const uint32_t t = m_block.u32(at + win::Toolbar)) {
            ToolbarSource toolbar;
            need(t, 1, "a toolbar record");
            if (m_block.u8(t) != ToolbarControl)
                fail("the record at block offset " + hex(t) + " is no toolbar");
            toolbar.record = control(t);
            toolbar.controls = controls(m_block.u32(t + ctl::ToolbarFirstControl));
            w.toolbar = std::move(toolbar);
        }
        w.wallpaper = text(m_block.u32(at + win::Wallpaper));
        w.controls = controls(m_block.u32(at + win::FirstControl));
        return w;
    }

    ByteView m_block;
    // Records decoded so far: a damaged block may share chains between
    // windows or submenus, and the totals keep that from multiplying.
    std::size_t m_controls = 0;
    std::size_t m_menu_items = 0;
};

// ---- Printing -----------------------------------------------------------------

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (u < 0x20 || u >= 0x7F) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", u);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string colour(uint32_t value) {
    if (value == DefaultColour)
        return "default";
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", value);
    return buffer;
}

std::string real(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

std::string image(const ImageSource& image) {
    if (image.kind == ImageSource::Kind::Name)
        return quoted(image.name);
    if (const std::optional<std::string_view> kind = WordOfValue(ImageKinds(), image.numeric_kind);
        kind && image.stored != 0)
        return std::string(*kind) + " " + std::to_string(image.stored - 1);
    return "numeric " + std::to_string(image.numeric_kind) + " " + std::to_string(image.stored);
}

std::string position(const Position& p) {
    std::string out = "at";
    for (int32_t v : p)
        out += v == DefaultPosition ? std::string(" -") : " " + std::to_string(v);
    return out;
}

std::string font(const FontSource& f) {
    std::string out = "font " + quoted(f.typeface) + " " + std::to_string(f.point_size);
    if (f.weight != 400)
        out += " weight " + std::to_string(f.weight);
    if (f.colour != DefaultColour)
        out += " colour " + colour(f.colour);
    return out;
}

std::string colours(const ColourSource& c) {
    return "colours " + colour(c.colour) + " " + colour(c.selected_text) + " " +
           colour(c.selected_background);
}

std::string variable(const VariableSource& v) {
    const std::optional<std::string_view> type = WordOfValue(DataTypes(), v.data_type);
    return (type ? std::string(*type) : std::to_string(v.data_type)) + " " + std::to_string(v.data_size);
}

// The words of the named bits, then what is left as one number.
std::string flags(uint32_t bits, std::span<const SyntaxWord> table) {
    std::string out = TakeFlagWords(bits, table);
    if (bits)
        out += " " + hex(bits);
    return out;
}

class Printer {
public:
    std::string procedure(const ProcedureSource& p) {
        m_out = "procedure " + quoted(p.name) + "\n";
        for (const WindowSource& w : p.windows)
            window(w);
        return std::move(m_out);
    }

private:
    void line(int depth, const std::string& text) { m_out += std::string(4 * depth, ' ') + text + "\n"; }

    void window(const WindowSource& w) {
        m_out += "\n";
        line(0, std::string(w.type == ReportRecordType ? "report " : "window ") + quoted(w.label));
        line(1, position(w.position));
        if (const uint32_t unit = w.attributes1 & WinUnitMask)
            line(1, "units " + std::string(*WordOfValue(PositionUnits(), unit)));
        if (const uint32_t a = w.attributes1 & ~WinUnitMask)
            line(1, "attributes" + flags(a, WindowFlags1()));
        if (w.attributes2)
            line(1, "attributes2" + flags(w.attributes2, WindowFlags2()));
        if (w.open_attributes)
            line(1, "open-attributes " + hex(w.open_attributes));
        if (w.caption)
            line(1, "caption " + quoted(*w.caption));
        if (w.font)
            line(1, font(*w.font));
        if (w.colours)
            line(1, colours(*w.colours));
        if (w.icon)
            line(1, "icon " + image(*w.icon));
        if (w.text1)
            line(1, "text1 " + quoted(*w.text1));
        if (w.text2)
            line(1, "text2 " + quoted(*w.text2));
        if (!w.extra_items.empty())
            line(1, "items" + numbers(w.extra_items));
        if (!w.further_items.empty())
            line(1, "further" + numbers(w.further_items));
        if (w.palette_size)
            line(1, "palette " + std::to_string(w.palette_size));
        if (w.timer)
            line(1, "timer " + std::to_string(w.timer));
        if (w.wallpaper)
            line(1, "wallpaper " + quoted(*w.wallpaper));
        if (w.dock[0] || w.dock[1])
            line(1, "dock " + std::to_string(w.dock[0]) + " " + std::to_string(w.dock[1]));
        if (w.menu) {
            uint32_t rest = w.menu->attributes;
            std::string head = "menubar" + TakeFlagWords(rest, MenuBarFlags());
            if (rest)
                head += " attributes " + hex(rest);
            line(1, head);
            menu_items(w.menu->items, 2);
            line(1, "end");
        }
        if (w.toolbar) {
            ControlNumbering record_numbering = ToolbarRecordNumbering;
            line(1, control_line(w.toolbar->record, record_numbering));
            ControlNumbering next = ToolbarNumbering;
            for (const ControlSource& c : w.toolbar->controls)
                line(2, control_line(c, next));
            line(1, "end");
        }
        ControlNumbering next = WindowNumbering;
        for (const ControlSource& c : w.controls)
            line(1, control_line(c, next));
        line(0, "end");
    }

    static std::string numbers(const std::vector<uint32_t>& values) {
        std::string out;
        for (uint32_t v : values)
            out += " " + std::to_string(v);
        return out;
    }

    void menu_items(const std::vector<MenuItemSource>& items, int depth) {
        for (const MenuItemSource& item : items) {
            std::string text = item.type == SubmenuRecordType         ? "menu"
                               : item.type == MenuSeparatorRecordType ? "separator"
                                                                      : "item";
            if (item.text)
                text += " " + quoted(*item.text);
            if (item.use)
                text += " use " + std::to_string(item.use);
            if (item.shortcut)
                text += " key " + quoted(*item.shortcut);
            if (item.icon)
                text += " icon " + image(*item.icon);
            uint32_t rest = item.attributes;
            text += TakeFlagWords(rest, MenuItemFlags());
            if (rest)
                text += " attributes " + hex(rest);
            line(depth, text);
            if (item.type == SubmenuRecordType) {
                menu_items(item.children, depth + 1);
                line(depth, "end");
            }
        }
    }

    std::string control_line(const ControlSource& c, ControlNumbering& numbering) {
        const ControlLayout& layout = LayoutOf(c.type);
        std::string out =
            layout.type == 0 ? "control " + std::to_string(c.type) : std::string(layout.keyword);
        if (c.feq != numbering.next)
            out += " feq " + std::to_string(c.feq);
        numbering.advance(c.feq);
        out += " " + position(c.position);
        if (c.attributes)
            out += " attributes" + flags(c.attributes, ControlFlags());
        if (c.variable)
            out += " var " + variable(*c.variable);
        if (c.format)
            out += " format " + quoted(*c.format);
        for (const FieldSource& f : c.fields) {
            out += " " + std::string(f.field_spec->keyword) + " ";
            switch (f.field_spec->kind) {
            case FieldKind::Text:
                out += quoted(f.text);
                break;
            case FieldKind::Image:
                out += image(f.image);
                break;
            case FieldKind::Colour:
                out += colour(static_cast<uint32_t>(f.integer));
                break;
            case FieldKind::Real:
                out += real(f.real);
                break;
            case FieldKind::Descriptor:
                out += variable(f.variable);
                break;
            case FieldKind::TextList:
                for (std::size_t i = 0; i < f.texts.size(); ++i)
                    out += (i ? " " : "") + quoted(f.texts[i]);
                break;
            default:
                out += std::to_string(f.integer);
                break;
            }
        }
        if (c.font)
            out += " " + font(*c.font);
        if (c.colours)
            out += " " + colours(*c.colours);
        if (c.tip)
            out += " tip " + quoted(*c.tip);
        if (c.justification) {
            const std::optional<std::string_view> word = WordOfValue(Justifications(), c.justification);
            out += " justify " + (word ? std::string(*word) : std::to_string(c.justification));
        }
        if (c.indent)
            out += " indent " + std::to_string(c.indent);
        return out;
    }

    std::string m_out;
};

} // namespace

DecodeResult DecodeResource(std::span<const uint8_t> content) {
    DecodeResult result;
    const void* nul = std::memchr(content.data(), 0, content.size());
    if (nul == nullptr) {
        result.error = "the resource holds no NUL-terminated procedure name";
        return result;
    }
    const auto name_length = static_cast<std::size_t>(static_cast<const uint8_t*>(nul) - content.data());
    std::vector<uint8_t> block(BlockHeadSize, 0);
    block.insert(block.end(), content.begin() + static_cast<std::ptrdiff_t>(name_length) + 1, content.end());
    try {
        Decoder decoder{ByteView(block)};
        result.procedure =
            decoder.procedure(std::string(reinterpret_cast<const char*>(content.data()), name_length));
    } catch (const DecodeError& e) {
        result.error = e.message;
    }
    return result;
}

std::string PrintProcedure(const ProcedureSource& procedure) {
    return Printer().procedure(procedure);
}

} // namespace morvex::wdf
