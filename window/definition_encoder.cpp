#include "window/definition_encoder.h"

#include "runtime/ascii_case.h"

#include <cstring>

namespace morvex::wdf {

std::string ResourceNameOf(std::string_view procedure) {
    const std::size_t dollar = procedure.find('$');
    return AsciiUpper(dollar == std::string_view::npos ? procedure : procedure.substr(dollar + 1)) + "_RSC";
}

namespace {

class BlockWriter {
public:
    BlockWriter() : m_block(BlockHeadSize + 4, 0) {}

    std::vector<uint8_t>& block() { return m_block; }

    uint32_t reserve(uint32_t size) {
        const auto offset = static_cast<uint32_t>(m_block.size());
        m_block.resize(m_block.size() + size, 0);
        return offset;
    }
    void put8(uint32_t at, uint8_t v) { m_block[at] = v; }
    void put16(uint32_t at, uint16_t v) {
        m_block[at] = static_cast<uint8_t>(v);
        m_block[at + 1] = static_cast<uint8_t>(v >> 8);
    }
    void put32(uint32_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            m_block[at + static_cast<uint32_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
    void put_f64(uint32_t at, double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 8; ++i)
            m_block[at + static_cast<uint32_t>(i)] = static_cast<uint8_t>(bits >> (8 * i));
    }

    uint32_t text(std::string_view s) {
        const uint32_t at = reserve(static_cast<uint32_t>(s.size()) + 1);
        std::memcpy(m_block.data() + at, s.data(), s.size());
        return at;
    }
    uint32_t optional_text(const std::optional<std::string>& s) { return s ? text(std::string_view(*s)) : 0; }

    uint32_t image(const ImageSource& image) {
        if (image.kind == ImageSource::Kind::Name)
            return text(image.name);
        const uint32_t at = reserve(NumericImageSize);
        put8(at, NumericImageMarker);
        put8(at + 1, image.numeric_kind);
        put16(at + 2, image.stored);
        return at;
    }
    uint32_t image(const std::optional<ImageSource>& image) { return image ? this->image(*image) : 0; }

    uint32_t font(const std::optional<FontSource>& font) {
        if (!font)
            return 0;
        const uint32_t at = reserve(font::Size);
        put32(at + font::PointSize, static_cast<uint32_t>(font->point_size));
        put32(at + font::Colour, font->colour);
        put32(at + font::Weight, static_cast<uint32_t>(font->weight));
        put32(at + font::Typeface, text(font->typeface));
        return at;
    }

    uint32_t colours(const std::optional<ColourSource>& c) {
        if (!c)
            return 0;
        const uint32_t at = reserve(colours::Size);
        put32(at + colours::Colour, c->colour);
        put32(at + colours::SelectedText, c->selected_text);
        put32(at + colours::SelectedBackground, c->selected_background);
        return at;
    }

    uint32_t items(const std::vector<uint32_t>& values) {
        uint32_t first = 0;
        uint32_t previous = 0;
        for (uint32_t value : values) {
            const uint32_t at = reserve(ItemSize);
            put32(at + ItemValue, value);
            if (previous)
                put32(previous + ItemNext, at);
            else
                first = at;
            previous = at;
        }
        return first;
    }

    uint32_t descriptor(const VariableSource& v) {
        const uint32_t at = reserve(vardesc::Size);
        put8(at + vardesc::DataType, v.data_type);
        put16(at + vardesc::DataSize, v.data_size);
        return at;
    }

    uint32_t text_list(const std::vector<std::string>& texts) {
        const uint32_t at = reserve(textlist::Size);
        put8(at + textlist::Type, TextListRecordType);
        put32(at + textlist::Texts, static_cast<uint32_t>(m_block.size()));
        for (const std::string& t : texts)
            text(t);
        text("");
        return at;
    }

    uint32_t control(const ControlSource& c) {
        const ControlLayout& layout = LayoutOf(c.type);
        const uint32_t at = reserve(layout.tail + tail::Size);
        put8(at + ctl::Type, c.type);
        put32(at + ctl::Attributes, c.attributes);
        put32(at + ctl::Feq, static_cast<uint32_t>(c.feq));
        const uint32_t pos = at + PositionOffsetOf(layout.block);
        for (uint32_t i = 0; i < 4; ++i)
            put32(pos + 4 * i, static_cast<uint32_t>(c.position[i]));
        for (const FieldSpec& field_spec : layout.fields)
            put_default(at, field_spec);
        if (c.variable && VariableOffsetOf(layout.block))
            put32(at + VariableOffsetOf(layout.block), descriptor(*c.variable));
        if (c.format && FormatOffsetOf(layout.block))
            put32(at + FormatOffsetOf(layout.block), text(*c.format));
        for (const FieldSource& field : c.fields)
            put_field(at, field);
        const uint32_t t = at + layout.tail;
        put32(t + tail::Font, font(c.font));
        put32(t + tail::Colours, colours(c.colours));
        put32(t + tail::Tip, optional_text(c.tip));
        put8(t + tail::Justification, c.justification);
        put32(t + tail::Indent, static_cast<uint32_t>(c.indent));
        return at;
    }

    uint32_t controls(const std::vector<ControlSource>& list) {
        uint32_t first = 0;
        uint32_t previous = 0;
        for (const ControlSource& c : list) {
            const uint32_t at = control(c);
            if (previous)
                put32(previous + ctl::Next, at);
            else
                first = at;
            previous = at;
        }
        return first;
    }

    uint32_t menu_items(const std::vector<MenuItemSource>& items) {
        uint32_t first = 0;
        uint32_t previous = 0;
        for (const MenuItemSource& item : items) {
            const uint32_t at = reserve(menuitem::Size);
            put8(at + menuitem::Type, item.type);
            put32(at + menuitem::Attributes, item.attributes);
            put32(at + menuitem::Use, static_cast<uint32_t>(item.use));
            put32(at + menuitem::Text, optional_text(item.text));
            put32(at + menuitem::Shortcut, optional_text(item.shortcut));
            put32(at + menuitem::Icon, image(item.icon));
            put32(at + menuitem::FirstChild, menu_items(item.children));
            if (previous)
                put32(previous + menuitem::Next, at);
            else
                first = at;
            previous = at;
        }
        return first;
    }

    uint32_t menu_bar(const std::optional<MenuBarSource>& menu) {
        if (!menu)
            return 0;
        const uint32_t at = reserve(menubar::Size);
        put8(at + menubar::Type, MenuBarRecordType);
        put32(at + menubar::Attributes, menu->attributes);
        put32(at + menubar::FirstItem, menu_items(menu->items));
        return at;
    }

    uint32_t toolbar(const std::optional<ToolbarSource>& toolbar) {
        if (!toolbar)
            return 0;
        const uint32_t at = control(toolbar->record);
        put32(at + ctl::ToolbarFirstControl, controls(toolbar->controls));
        return at;
    }

    uint32_t window(const WindowSource& w) {
        const uint32_t at = reserve(win::Size);
        put8(at + win::Type, w.type);
        put32(at + win::Attributes1, w.attributes1);
        put32(at + win::OpenAttributes, w.open_attributes);
        put32(at + win::Attributes2, w.attributes2);
        put32(at + win::X, static_cast<uint32_t>(w.position[0]));
        put32(at + win::Y, static_cast<uint32_t>(w.position[1]));
        put32(at + win::Width, static_cast<uint32_t>(w.position[2]));
        put32(at + win::Height, static_cast<uint32_t>(w.position[3]));
        put32(at + win::PaletteSize, w.palette_size);
        put32(at + win::Timer, w.timer);
        put8(at + win::Dock1, w.dock[0]);
        put8(at + win::Dock2, w.dock[1]);
        put32(at + win::Label, text(w.label));
        put32(at + win::Font, font(w.font));
        put32(at + win::Caption, optional_text(w.caption));
        put32(at + win::Colours, colours(w.colours));
        put32(at + win::Icon, image(w.icon));
        put32(at + win::Text1, optional_text(w.text1));
        put32(at + win::Text2, optional_text(w.text2));
        put32(at + win::ExtraItems, items(w.extra_items));
        put32(at + win::FurtherItems, items(w.further_items));
        put32(at + win::MenuBar, menu_bar(w.menu));
        put32(at + win::Toolbar, toolbar(w.toolbar));
        put32(at + win::Wallpaper, optional_text(w.wallpaper));
        put32(at + win::FirstControl, controls(w.controls));
        return at;
    }

private:
    void put_number(uint32_t at, FieldKind kind, int64_t value) {
        switch (kind) {
        case FieldKind::Byte:
            put8(at, static_cast<uint8_t>(value));
            break;
        case FieldKind::Word:
            put16(at, static_cast<uint16_t>(value));
            break;
        case FieldKind::Long:
        case FieldKind::Colour:
            put32(at, static_cast<uint32_t>(value));
            break;
        default:
            break;
        }
    }

    void put_default(uint32_t record, const FieldSpec& field_spec) {
        put_number(record + field_spec.offset, field_spec.kind, field_spec.default_value);
    }

    void put_field(uint32_t record, const FieldSource& field) {
        const FieldSpec& field_spec = *field.field_spec;
        const uint32_t at = record + field_spec.offset;
        switch (field_spec.kind) {
        case FieldKind::Text:
            put32(at, text(field.text));
            break;
        case FieldKind::Image:
            put32(at, image(field.image));
            break;
        case FieldKind::Real:
            put_f64(at, field.real);
            break;
        case FieldKind::Descriptor:
            put32(at, descriptor(field.variable));
            break;
        case FieldKind::TextList:
            put32(at, text_list(field.texts));
            break;
        default:
            put_number(at, field_spec.kind, field.integer);
            break;
        }
    }

    std::vector<uint8_t> m_block;
};

} // namespace

std::vector<uint8_t> EncodeProcedure(const ProcedureSource& procedure) {
    BlockWriter writer;
    uint32_t previous = 0;
    for (const WindowSource& w : procedure.windows) {
        const uint32_t at = writer.window(w);
        writer.put32(previous ? previous + win::Next : FirstWindowOffset, at);
        previous = at;
    }
    const std::vector<uint8_t>& block = writer.block();
    std::vector<uint8_t> content(procedure.name.begin(), procedure.name.end());
    content.push_back(0);
    content.insert(content.end(), block.begin() + BlockHeadSize, block.end());
    return content;
}

} // namespace morvex::wdf
