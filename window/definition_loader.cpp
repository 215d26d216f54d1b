#include "window/definition_loader.h"

#include "platform/resources.h"
#include "runtime/error_numbers.h"
#include "runtime/fatal_error.h"
#include "runtime/text_compare.h"
#include "window/definition_source.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace morvex {

namespace {

constexpr std::string_view ResourceType = "DABDUMP";
constexpr std::string_view NotFoundModule = "WSLDIAL";
constexpr int MaxMenuDepth = 8;
// Metrics of the system font when the engine supplies none.
constexpr UnitMetrics SystemFontMetrics{6, 13, 96};

bool same_text(std::string_view a, std::string_view b) {
    return CompareTextNoCase(a, b, std::max(a.size(), b.size()) + 1) == 0;
}

std::optional<VariableDescriptor> descriptor(const wdf::ByteView& block, uint32_t offset) {
    if (offset == 0 || !block.contains(offset, wdf::vardesc::Size))
        return std::nullopt;
    return VariableDescriptor{offset, block.u8(offset + wdf::vardesc::DataType),
                              block.u16(offset + wdf::vardesc::DataSize)};
}

int32_t clamp_pixels(int64_t value) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// Button and spin box times are stored in units of 10 ms.
uint32_t milliseconds(uint16_t stored) {
    return stored * 10u;
}

} // namespace

bool DefinitionLoader::load_from(const std::string& module, std::string_view procedure,
                                 std::string_view resource_name) {
    const std::optional<std::span<const uint8_t>> resource =
        platform::find_resource(module, ResourceType, resource_name);
    if (!resource)
        return false;
    const std::span<const uint8_t> content = *resource;
    const void* nul = std::memchr(content.data(), 0, content.size());
    if (nul == nullptr)
        return false;
    const auto name_length = static_cast<std::size_t>(static_cast<const uint8_t*>(nul) - content.data());
    if (!same_text(std::string_view(reinterpret_cast<const char*>(content.data()), name_length), procedure))
        return false;
    m_block.assign(wdf::BlockHeadSize, 0);
    m_block.insert(m_block.end(), content.begin() + static_cast<std::ptrdiff_t>(name_length) + 1,
                   content.end());
    m_has_block = true;
    return true;
}

std::vector<uint32_t> DefinitionLoader::WindowOffsets() const {
    std::vector<uint32_t> offsets;
    const wdf::ByteView block = Block();
    for (uint32_t at = block.u32(wdf::FirstWindowOffset); at != 0 && block.contains(at, 1);
         at = block.u32(at + wdf::win::Next)) {
        if (offsets.size() >= wdf::ChainLimit(block, wdf::win::Size))
            break;
        offsets.push_back(at);
    }
    return offsets;
}

uint32_t DefinitionLoader::find_label(std::string_view label) const {
    const wdf::ByteView block = Block();
    for (uint32_t at : WindowOffsets())
        if (same_text(block.text(block.u32(at + wdf::win::Label)), label))
            return at;
    return 0;
}

uint32_t DefinitionLoader::TryFindWindowDefinition(std::string_view procedure, std::string_view label) {
    ReleaseDefinitionBlock();
    const std::string resource_name = wdf::ResourceNameOf(procedure);
    std::vector<std::string> order;
    if (!m_module.empty())
        order.push_back(m_module);
    for (std::string& module : platform::resource_modules())
        if (module != m_module)
            order.push_back(std::move(module));
    for (const std::string& module : order) {
        if (!load_from(module, procedure, resource_name))
            continue;
        if (const uint32_t offset = find_label(label)) {
            m_module = module;
            return offset;
        }
        ReleaseDefinitionBlock();
    }
    return 0;
}

uint32_t DefinitionLoader::FindWindowDefinition(std::string_view procedure, std::string_view label) {
    const uint32_t offset = TryFindWindowDefinition(procedure, label);
    if (offset == 0)
        FatalError(ErrInternal02, NotFoundModule);
    return offset;
}

void DefinitionLoader::ReleaseDefinitionBlock() {
    m_block.clear();
    m_block.shrink_to_fit();
    m_has_block = false;
}

std::optional<std::string> DefinitionLoader::text(uint32_t offset) const {
    if (offset == 0 || offset >= m_block.size())
        return std::nullopt;
    return std::string(Block().text(offset));
}

std::optional<FontDefinition> DefinitionLoader::font(uint32_t offset) const {
    const wdf::ByteView block = Block();
    if (offset == 0 || !block.contains(offset, wdf::font::Size))
        return std::nullopt;
    FontDefinition f;
    f.typeface = block.text(block.u32(offset + wdf::font::Typeface));
    f.point_size = block.i32(offset + wdf::font::PointSize);
    f.colour = block.u32(offset + wdf::font::Colour);
    f.weight = block.i32(offset + wdf::font::Weight);
    return f;
}

std::optional<ColourDefinition> DefinitionLoader::colours(uint32_t offset) const {
    const wdf::ByteView block = Block();
    if (offset == 0 || !block.contains(offset, wdf::colours::Size))
        return std::nullopt;
    return ColourDefinition{block.u32(offset + wdf::colours::Colour),
                            block.u32(offset + wdf::colours::SelectedText),
                            block.u32(offset + wdf::colours::SelectedBackground)};
}

std::vector<uint32_t> DefinitionLoader::items(uint32_t offset) const {
    const wdf::ByteView block = Block();
    std::vector<uint32_t> values;
    for (uint32_t at = offset; at != 0 && block.contains(at, wdf::ItemSize);
         at = block.u32(at + wdf::ItemNext)) {
        if (values.size() >= wdf::ChainLimit(block, wdf::ItemSize))
            break;
        values.push_back(block.u32(at + wdf::ItemValue));
    }
    return values;
}

std::vector<MenuItemDefinition> DefinitionLoader::menu_items(uint32_t offset, int depth,
                                                             std::size_t& budget) const {
    const wdf::ByteView block = Block();
    std::vector<MenuItemDefinition> list;
    if (depth > MaxMenuDepth)
        return list;
    for (uint32_t at = offset; at != 0 && block.contains(at, wdf::menuitem::Size);
         at = block.u32(at + wdf::menuitem::Next)) {
        if (budget == 0)
            break;
        --budget;
        MenuItemDefinition item;
        switch (block.u8(at + wdf::menuitem::Type)) {
        case wdf::SubmenuRecordType:
            item.kind = MenuItemDefinition::Kind::Submenu;
            break;
        case wdf::MenuSeparatorRecordType:
            item.kind = MenuItemDefinition::Kind::Separator;
            break;
        default:
            item.kind = MenuItemDefinition::Kind::Item;
        }
        item.attributes = block.u32(at + wdf::menuitem::Attributes);
        item.use = block.i32(at + wdf::menuitem::Use);
        item.text = block.text(block.u32(at + wdf::menuitem::Text));
        item.shortcut = block.text(block.u32(at + wdf::menuitem::Shortcut));
        item.icon = Image(block.u32(at + wdf::menuitem::Icon), ImageUse::Icon);
        if (item.kind == MenuItemDefinition::Kind::Submenu)
            item.children = menu_items(block.u32(at + wdf::menuitem::FirstChild), depth + 1, budget);
        list.push_back(std::move(item));
    }
    return list;
}

ImageReference DefinitionLoader::Image(uint32_t offset, ImageUse use, bool linked) const {
    return ResolveImageReference(Block(), offset, use, m_module, linked);
}

WindowDefinition DefinitionLoader::ReadWindow(uint32_t offset, const DefinitionServices& services) const {
    namespace win = wdf::win;
    const wdf::ByteView block = Block();
    WindowDefinition w;
    w.offset = offset;
    w.type = block.u8(offset + win::Type);
    w.attributes1 = block.u32(offset + win::Attributes1);
    if (w.type == wdf::ReportRecordType) // a report takes only its unit from the attributes
        w.attributes1 &= wdf::WinUnitMask;
    w.open_attributes = block.u32(offset + win::OpenAttributes);
    w.attributes2 = block.u32(offset + win::Attributes2);
    if (services.global_option_bit4 && services.global_option_bit4())
        w.attributes2 |= wdf::WinOptionBit;
    w.x = block.i32(offset + win::X);
    w.y = block.i32(offset + win::Y);
    w.width = block.i32(offset + win::Width);
    w.height = block.i32(offset + win::Height);
    w.first_control = block.u32(offset + win::FirstControl);
    w.label = block.text(block.u32(offset + win::Label));
    w.font = font(block.u32(offset + win::Font));
    w.caption = text(block.u32(offset + win::Caption));
    w.colours = colours(block.u32(offset + win::Colours));
    w.icon = Image(block.u32(offset + win::Icon), ImageUse::Icon);
    w.text1 = text(block.u32(offset + win::Text1));
    w.text2 = text(block.u32(offset + win::Text2));
    w.extra_items = items(block.u32(offset + win::ExtraItems));
    w.further_items = items(block.u32(offset + win::FurtherItems));
    w.palette_size = block.u32(offset + win::PaletteSize);
    w.timer = block.u32(offset + win::Timer);
    if (const uint32_t menu = block.u32(offset + win::MenuBar);
        menu != 0 && block.contains(menu, wdf::menubar::Size)) {
        std::size_t budget = wdf::ChainLimit(block, wdf::menuitem::Size);
        w.menu = MenuDefinition{block.u32(menu + wdf::menubar::Attributes),
                                menu_items(block.u32(menu + wdf::menubar::FirstItem), 0, budget)};
    }
    w.toolbar = block.u32(offset + win::Toolbar);
    w.wallpaper = text(block.u32(offset + win::Wallpaper));
    w.dock = {block.u8(offset + win::Dock1), block.u8(offset + win::Dock2)};
    return w;
}

UnitMetrics DefinitionLoader::MetricsOf(const WindowDefinition& window,
                                        const DefinitionServices& services) const {
    if (!services.metrics)
        return SystemFontMetrics;
    return services.metrics(window.font ? &*window.font : nullptr);
}

ControlDefinition DefinitionLoader::ReadControl(uint32_t offset, PositionUnit unit,
                                                const UnitMetrics& metrics) const {
    const wdf::ByteView block = Block();
    ControlDefinition c;
    c.offset = offset;
    c.type = block.u8(offset + wdf::ctl::Type);
    const wdf::ControlLayout& layout = wdf::LayoutOf(c.type);
    c.attributes = block.u32(offset + wdf::ctl::Attributes);
    c.feq = block.i32(offset + wdf::ctl::Feq);

    const uint32_t position = offset + wdf::PositionOffsetOf(layout.block);
    int32_t* const fields[] = {&c.x, &c.y, &c.width, &c.height};
    for (uint32_t i = 0; i < 4; ++i) {
        const int32_t raw = block.i32(position + 4 * i);
        if (raw == DefaultPosition) {
            *fields[i] = 0;
            c.defaulted |= static_cast<uint8_t>(1u << i);
        } else {
            *fields[i] = i % 2 == 0 ? ToPixelsX(raw, unit, metrics) : ToPixelsY(raw, unit, metrics);
        }
    }
    if (const uint32_t v = wdf::VariableOffsetOf(layout.block))
        c.variable = descriptor(block, block.u32(offset + v));
    if (const uint32_t f = wdf::FormatOffsetOf(layout.block))
        c.list_format = text(block.u32(offset + f));

    bool spin_times = c.type == wdf::SpinControl;
    for (const wdf::FieldSpec& field_spec : layout.fields) {
        const uint32_t at = offset + field_spec.offset;
        switch (field_spec.kind) {
        case wdf::FieldKind::Byte:
            c.numbers.emplace_back(field_spec.id, block.u8(at));
            break;
        case wdf::FieldKind::Word:
            c.numbers.emplace_back(field_spec.id, block.u16(at));
            break;
        case wdf::FieldKind::Long:
            c.numbers.emplace_back(field_spec.id, block.i32(at));
            break;
        case wdf::FieldKind::Colour:
            c.numbers.emplace_back(field_spec.id, block.u32(at));
            break;
        default:
            break;
        }
        switch (field_spec.id) {
        case wdf::Field::Text:
            c.text = block.text(block.u32(at));
            break;
        case wdf::Field::Picture:
            c.picture = block.text(block.u32(at));
            break;
        case wdf::Field::ImageName:
            c.image_name = block.text(block.u32(at));
            break;
        case wdf::Field::RadioValue:
            c.value_text = block.text(block.u32(at));
            break;
        case wdf::Field::Icon:
            c.icon = Image(block.u32(at), ImageUse::Icon);
            break;
        case wdf::Field::Cursor:
            c.cursor = Image(block.u32(at), ImageUse::Cursor);
            break;
        case wdf::Field::Delay:
            c.delay_ms = milliseconds(block.u16(at));
            if (spin_times && c.delay_ms == 0)
                c.delay_ms = 200;
            break;
        case wdf::Field::Repeat:
            c.repeat_ms = milliseconds(block.u16(at));
            if (spin_times && c.repeat_ms == 0)
                c.repeat_ms = 50;
            break;
        case wdf::Field::DropCount:
            c.drop_count = block.u8(at);
            break;
        case wdf::Field::DataSource:
            c.data_source = descriptor(block, block.u32(at));
            break;
        case wdf::Field::RangeLow:
            c.range_low = block.f64(at);
            break;
        case wdf::Field::RangeHigh:
            c.range_high = block.f64(at);
            break;
        case wdf::Field::Step:
            c.step = block.f64(at);
            if (c.step == 0.0)
                c.step = 1.0;
            break;
        case wdf::Field::Choices: {
            c.value_source = block.u32(at);
            if (c.value_source == 0 || !block.contains(c.value_source, 1))
                break;
            c.value_source_type = block.u8(c.value_source);
            if (c.value_source_type == wdf::WindowRecordType || c.value_source_type == wdf::ReportRecordType)
                break;
            uint32_t t = block.u32(c.value_source + wdf::textlist::Texts);
            while (t != 0 && t < block.size() && c.choices.size() < wdf::ChainLimit(block, 2)) {
                const std::string_view choice = block.text(t);
                if (choice.empty())
                    break;
                c.choices.emplace_back(choice);
                t += static_cast<uint32_t>(choice.size()) + 1;
            }
            break;
        }
        default:
            break;
        }
    }
    if (c.type == wdf::SpinControl)
        c.unbounded = c.range_low == 0.0 && c.range_high == 0.0;
    if (c.type == wdf::ToolbarControl)
        c.first_toolbar_control = block.u32(offset + wdf::ctl::ToolbarFirstControl);

    const uint32_t t = offset + layout.tail;
    c.font = font(block.u32(t + wdf::tail::Font));
    c.colours = colours(block.u32(t + wdf::tail::Colours));
    c.tip = text(block.u32(t + wdf::tail::Tip));
    c.justification = block.u8(t + wdf::tail::Justification);
    c.indent = block.i32(t + wdf::tail::Indent);
    return c;
}

std::vector<ControlDefinition> DefinitionLoader::ReadControls(const WindowDefinition& window,
                                                              const UnitMetrics& metrics) const {
    const wdf::ByteView block = Block();
    std::vector<ControlDefinition> list;
    for (uint32_t at = window.first_control; at != 0 && block.contains(at, 1);
         at = block.u32(at + wdf::ctl::Next)) {
        if (list.size() >= wdf::ChainLimit(block, wdf::MinControlSize))
            break;
        list.push_back(ReadControl(at, window.unit(), metrics));
    }
    return list;
}

std::optional<ToolbarDefinition> DefinitionLoader::ReadToolbar(const WindowDefinition& window,
                                                               const UnitMetrics& metrics) const {
    const wdf::ByteView block = Block();
    if (window.toolbar == 0 || block.u8(window.toolbar) != wdf::ToolbarControl)
        return std::nullopt;
    ToolbarDefinition toolbar;
    toolbar.record = ReadControl(window.toolbar, window.unit(), metrics);
    // Running layout: x is relative to the toolbar's origin, the right edge
    // and the height follow the controls. Sums are taken in 64 bits and
    // clamped, so that no record can overflow them.
    const int64_t running_x = toolbar.record.x;
    int64_t right = running_x;
    int64_t bottom = 0;
    for (uint32_t at = toolbar.record.first_toolbar_control; at != 0 && block.contains(at, 1);
         at = block.u32(at + wdf::ctl::Next)) {
        if (toolbar.controls.size() >= wdf::ChainLimit(block, wdf::MinControlSize))
            break;
        ControlDefinition c = ReadControl(at, window.unit(), metrics);
        c.x = clamp_pixels(running_x + c.x);
        right = std::max(right, int64_t{c.x} + c.width);
        bottom = std::max(bottom, int64_t{c.y} + c.height);
        toolbar.controls.push_back(std::move(c));
    }
    toolbar.width = clamp_pixels(right);
    toolbar.height = clamp_pixels(bottom + ToolbarMargin);
    return toolbar;
}

uintptr_t DefinitionLoader::LoadIcon(const ImageReference& image, int32_t index,
                                     const DefinitionServices& services) const {
    if (image.kind == ImageReference::Kind::None || !services.load_icon)
        return 0;
    return services.load_icon(image, index);
}

uintptr_t DefinitionLoader::LoadCursor(const ImageReference& image,
                                       const DefinitionServices& services) const {
    if (image.kind == ImageReference::Kind::None || !services.load_cursor)
        return 0;
    const uintptr_t handle = services.load_cursor(image);
    if (handle != 0 || image.kind != ImageReference::Kind::Linked)
        return handle;
    ImageReference arrow;
    arrow.kind = ImageReference::Kind::System;
    arrow.id = ArrowCursorId;
    return services.load_cursor(arrow);
}

DefinitionLoader& WindowDefinitionLoader() {
    static DefinitionLoader loader;
    return loader;
}

} // namespace morvex
