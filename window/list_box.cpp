#include "window/list_box.h"

#include "platform/window_messages.h"
#include "platform/windows.h"
#include "runtime/char_tables.h"
#include "runtime/queue.h"
#include "window/accept.h"
#include "window/bound_value.h"
#include "window/control_drawing.h"
#include "window/image_cache.h"
#include "window/key_codes.h"
#include "window/painter/font.h"
#include "window/painter/image.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <algorithm>
#include <chrono>

namespace morvex {

namespace {

constexpr int Border = 2;
constexpr int CellPadding = 2;
constexpr int IconSide = 16;
constexpr int TreeStep = 14;
constexpr int WheelRows = 3;
constexpr int ResizeGrip = 3;
constexpr int64_t TypeAheadPause = 1000; // ms between keys that start a new search
// The narrowest column of a default layout, in window units.
constexpr int32_t DefaultColumnUnits = 20;

platform::Point point_of(const platform::Message& message) {
    return {platform::LowWordSigned(message.lparam), platform::HighWordSigned(message.lparam)};
}

std::string upper_text(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(ToUpperChar(static_cast<uint8_t>(c)));
    return out;
}

painter::HorizontalAlign align_of(uint32_t justification) {
    switch (justification) {
    case 1:
    case 3:
        return painter::HorizontalAlign::Right;
    case 2:
        return painter::HorizontalAlign::Center;
    default:
        return painter::HorizontalAlign::Left;
    }
}

std::optional<painter::Color> colour_value(std::optional<int32_t> value) {
    if (!value || *value == -1)
        return std::nullopt;
    return painter::resolve_colorref(static_cast<uint32_t>(*value));
}

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

struct ListBox::Geometry {
    platform::Rect inner;
    int group_heading = 0;  // height of the group heading row (0 = none)
    int column_heading = 0; // height of the column heading row (0 = none)
    platform::Rect rows;    // where rows are drawn
    int row_height = 1;
    bool scroll = false;
};

ListBox::ListBox(Window& window, const ControlDefinition& definition) : Control(window, definition) {
    m_flags = static_cast<uint8_t>(definition.number(wdf::Field::ListFlags, 0));
    set_format(definition.list_format.value_or(""));
}

ListBox::~ListBox() = default;

int32_t ListBox::record_count() const {
    return m_binding.queue ? m_binding.queue->Count() : 0;
}

void ListBox::set_format(std::string_view format) {
    m_format = std::string(format);
    const std::shared_ptr<painter::Font> font = this->font();
    ListUnits units;
    units.x = [this](int32_t v) { return m_window.to_pixels_x(v); };
    units.y = [this](int32_t v) { return m_window.to_pixels_y(v); };
    units.line_height = (font ? font->metrics().height : 13) + 2;
    if (auto parsed = ParseListFormat(m_format, units))
        m_layout = std::move(*parsed);
    else
        build_default_layout();
    compile_pictures();
    invalidate();
}

void ListBox::build_default_layout() {
    // One column per field of the source, sharing the inner width.
    m_layout = ListLayout{};
    const std::shared_ptr<painter::Font> font = this->font();
    m_layout.row_height = (font ? font->metrics().height : 13) + 2;
    m_layout.multi_line_height = m_layout.row_height;
    if (!m_binding.queue)
        return;
    const RecordDescription& description = m_binding.queue->description();
    const int32_t fields = description.field_count();
    if (fields == 0)
        return;
    const int32_t inner = std::max(0, m_rect.width() - 2 * Border - ScrollBar::Width);
    const int32_t width = std::max(inner / fields, m_window.to_pixels_x(DefaultColumnUnits));
    for (int32_t f = 1; f <= fields; ++f) {
        ListColumn column;
        column.field = f;
        column.width = width;
        column.width_units = m_window.to_units_x(width);
        const FieldType type = description.field(f).type;
        const uint32_t justification = IsTextType(type) ? 0 : 1;
        column.attributes_a = justification | justification << 2 | ListRightBorder;
        column.cell = {(f - 1) * width, 0, f * width, m_layout.row_height};
        m_layout.columns.push_back(column);
        ListGroup group;
        group.first_column = static_cast<std::size_t>(f - 1);
        group.column_count = 1;
        group.x = (f - 1) * width;
        group.width = width;
        m_layout.groups.push_back(group);
    }
    m_layout.fields_used = fields;
    m_layout.total_width = fields * width;
}

void ListBox::compile_pictures() {
    m_pictures.clear();
    for (const ListColumn& column : m_layout.columns) {
        if (!column.picture || column.picture->size() < 2) {
            m_pictures.push_back(nullptr);
            continue;
        }
        auto picture = std::make_unique<CompiledPicture>();
        // The text between the "@" marks; the picture keeps a view of the column's string.
        const std::string& text = *column.picture;
        CompilePicture(*picture, std::string_view(text).substr(0, text.size() - 1));
        m_pictures.push_back(picture->valid() ? std::move(picture) : nullptr);
    }
}

ListBox::Geometry ListBox::geometry() const {
    Geometry g;
    g.inner = {Border, Border, m_rect.width() - Border, m_rect.height() - Border};
    g.row_height =
        std::max(1, m_layout.multi_line_height > 0 ? m_layout.multi_line_height : m_layout.row_height);
    const bool column_headings = std::any_of(m_layout.columns.begin(), m_layout.columns.end(),
                                             [](const ListColumn& c) { return c.heading.has_value(); });
    const bool group_headings =
        std::any_of(m_layout.groups.begin(), m_layout.groups.end(),
                    [](const ListGroup& group) { return group.bracketed && group.heading; });
    const int heading_height = m_layout.row_height + 4;
    g.column_heading = column_headings ? heading_height : 0;
    g.group_heading = group_headings ? heading_height : 0;
    g.rows = {g.inner.left, g.inner.top + g.group_heading + g.column_heading, g.inner.right, g.inner.bottom};
    const int32_t visible = std::max(1, g.rows.height() / g.row_height);
    g.scroll = has_attribute(AttrImmediate) ? m_thumb >= 0 : record_count() > visible;
    if (g.scroll)
        g.rows.right = std::max(g.rows.left, g.inner.right - ScrollBar::Width);
    return g;
}

int32_t ListBox::visible_rows() const {
    const Geometry g = geometry();
    return std::max(1, g.rows.height() / g.row_height);
}

std::string ListBox::cell_text(int32_t row, int32_t column) const {
    if (!m_binding.queue || column < 1 || static_cast<std::size_t>(column) > m_layout.columns.size())
        return {};
    const uint8_t* record = m_binding.queue->Peek(row);
    const ListColumn& c = m_layout.columns[static_cast<std::size_t>(column - 1)];
    const RecordDescription& description = m_binding.queue->description();
    if (!record || c.field < 1 || c.field > description.field_count())
        return {};
    static const CompiledPicture plain;
    const CompiledPicture* picture = m_pictures[static_cast<std::size_t>(column - 1)].get();
    return FormattedValue(FieldVariable(description.field(c.field), record), picture ? *picture : plain);
}

std::optional<int32_t> ListBox::integer_field(const uint8_t* record, int32_t field) const {
    const RecordDescription& description = m_binding.queue->description();
    if (field < 1 || field > description.field_count())
        return std::nullopt;
    const BoundVariable v = FieldVariable(description.field(field), record);
    // A text field holding a number counts as that number; a blank one as none.
    if (IsTextVariable(v) && TrimBlanks(VariableText(v)).empty())
        return std::nullopt;
    return static_cast<int32_t>(VariableNumber(v));
}

uintptr_t ListBox::icon_of(int32_t number) {
    if (number < 1 || static_cast<std::size_t>(number) > m_icon_names.size())
        return 0;
    const std::size_t index = static_cast<std::size_t>(number - 1);
    if (m_icons.size() < m_icon_names.size())
        m_icons.resize(m_icon_names.size(), 0);
    if (m_icons[index] == 0 && !m_icon_names[index].empty())
        m_icons[index] = ProgramImages().LoadIcon(
            ImageReferenceOfName(m_icon_names[index], ImageUse::Icon, m_window.module()), 0);
    return m_icons[index];
}

void ListBox::paint(painter::Painter& painter) {
    using painter::SystemColor;
    const platform::Rect all = platform::Rect::FromSize(0, 0, m_rect.width(), m_rect.height());
    if (all.empty())
        return;
    const bool enabled = effectively_enabled();
    painter.draw_border(all, painter::Border::SunkenDouble);
    const Geometry g = geometry();
    const painter::Color window_colour =
        m_colours.colour != wdf::DefaultColour && painter::resolve_colorref(m_colours.colour)
            ? *painter::resolve_colorref(m_colours.colour)
            : painter::system_color(enabled ? SystemColor::Window : SystemColor::ButtonFace);
    painter.fill_rect(g.inner, window_colour);
    if (m_binding.queue)
        m_drawn_stamp = m_binding.queue->ChangeStamp();
    paint_headings(painter, g);
    const int32_t count = record_count();
    const int32_t visible = std::max(1, g.rows.height() / g.row_height);
    painter::Painter rows = painter.clipped_to(g.rows);
    for (int32_t i = 0; i < visible && m_top + i <= count; ++i)
        paint_row(rows, g, m_top + i, g.rows.top + i * g.row_height);
    if (g.scroll) {
        place_scroll_bar(g);
        m_scroll.paint(painter, enabled);
    }
}

void ListBox::paint_headings(painter::Painter& painter, const Geometry& g) {
    using painter::SystemColor;
    const std::shared_ptr<painter::Font> font = this->font();
    if (!font || (g.column_heading == 0 && g.group_heading == 0))
        return;
    const painter::Color face = painter::system_color(SystemColor::ButtonFace);
    const painter::Color ink = painter::system_color(SystemColor::ButtonText);
    painter::Painter bar = painter.clipped_to({g.inner.left, g.inner.top, g.rows.right, g.rows.top});
    bar.fill_rect({g.inner.left, g.inner.top, g.inner.right, g.rows.top}, face);
    painter::TextFormat format;
    format.single_line = true;
    format.vertical = painter::VerticalAlign::Center;
    const auto heading = [&](const platform::Rect& cell, const std::string& text, uint32_t justification,
                             int indent) {
        if (cell.width() <= 0)
            return;
        bar.draw_border(cell, painter::Border::Raised);
        format.horizontal = align_of(justification);
        const platform::Rect text_area{cell.left + CellPadding + indent, cell.top, cell.right - CellPadding,
                                       cell.bottom};
        bar.draw_text(text_area, text, *font, ink, format);
    };
    if (g.group_heading)
        for (const ListGroup& group : m_layout.groups)
            heading(
                platform::Rect::FromSize(g.inner.left + group.x, g.inner.top, group.width, g.group_heading),
                group.bracketed ? group.heading.value_or("") : std::string(), group.heading_justification,
                group.heading_indent);
    if (g.column_heading)
        for (const ListColumn& column : m_layout.columns)
            if (column.line == 0)
                heading(platform::Rect::FromSize(g.inner.left + column.cell.left,
                                                 g.inner.top + g.group_heading, column.width,
                                                 g.column_heading),
                        column.heading.value_or(""), column.heading_justification(), column.heading_indent);
}

void ListBox::paint_row(painter::Painter& painter, const Geometry& g, int32_t row, int y) {
    using painter::SystemColor;
    const uint8_t* record = m_binding.queue ? m_binding.queue->Peek(row) : nullptr;
    const std::shared_ptr<painter::Font> font = this->font();
    if (!record || !font)
        return;
    const bool enabled = effectively_enabled();
    const bool focused = has_focus();
    const bool row_selected = row == m_row;
    const bool cells = (m_flags & ListSelectsCells) != 0;
    const painter::Color grid = painter::system_color(SystemColor::ButtonShadow);
    const painter::Color highlight =
        m_colours.selected_background != wdf::DefaultColour &&
                painter::resolve_colorref(m_colours.selected_background)
            ? *painter::resolve_colorref(m_colours.selected_background)
            : painter::system_color(focused ? SystemColor::Highlight : SystemColor::ButtonShadow);
    const painter::Color highlight_text =
        m_colours.selected_text != wdf::DefaultColour && painter::resolve_colorref(m_colours.selected_text)
            ? *painter::resolve_colorref(m_colours.selected_text)
            : painter::system_color(SystemColor::HighlightText);
    painter::TextFormat format;
    format.single_line = true;
    format.vertical = painter::VerticalAlign::Center;
    platform::Rect focus_cell;
    for (std::size_t i = 0; i < m_layout.columns.size(); ++i) {
        const ListColumn& column = m_layout.columns[i];
        if (column.width <= 0)
            continue;
        const platform::Rect cell =
            platform::Rect::FromSize(g.rows.left + column.cell.left, y + column.line * m_layout.row_height,
                                     column.width, m_layout.row_height);
        const bool selected = row_selected && (!cells || static_cast<int32_t>(i + 1) == m_column);
        // Colours: the list's, then the format's, then the cell's own.
        painter::Color ink = enabled ? text_colour() : painter::system_color(SystemColor::GrayText);
        std::optional<painter::Color> fill;
        std::optional<painter::Color> selected_ink, selected_fill;
        if (auto c = colour_value(column.colours[0]))
            ink = *c;
        fill = colour_value(column.colours[1]);
        selected_ink = colour_value(column.colours[2]);
        selected_fill = colour_value(column.colours[3]);
        if (const int32_t colours = column.field_of(ListCellValue::Colours)) {
            const std::array<std::optional<int32_t>, 4> cell_colours{
                integer_field(record, colours), integer_field(record, colours + 1),
                integer_field(record, colours + 2), integer_field(record, colours + 3)};
            if (auto c = colour_value(cell_colours[0]))
                ink = *c;
            if (auto c = colour_value(cell_colours[1]))
                fill = *c;
            if (auto c = colour_value(cell_colours[2]))
                selected_ink = *c;
            if (auto c = colour_value(cell_colours[3]))
                selected_fill = *c;
        }
        if (selected) {
            painter.fill_rect(cell, selected_fill.value_or(highlight));
            ink = selected_ink.value_or(highlight_text);
            if (focused)
                focus_cell = focus_cell.unite(cell);
        } else if (fill) {
            painter.fill_rect(cell, *fill);
        }
        int left = cell.left + CellPadding + column.data_indent;
        if (const int32_t level_field = column.field_of(ListCellValue::TreeLevel)) {
            const int32_t level = integer_field(record, level_field).value_or(1);
            const int depth = std::max(0, std::abs(level) - ((column.attributes_b & ListTreeRoot) ? 0 : 1));
            left += depth * TreeStep;
            if (column.attributes_b & (ListTreeBoxes | ListTreeLines)) {
                // A box with + (contracted: negative level) or - beside the node.
                const platform::Rect box =
                    platform::Rect::FromSize(left, cell.top + (cell.height() - 9) / 2, 9, 9);
                const int32_t next =
                    integer_field(m_binding.queue->Peek(row + 1) ? m_binding.queue->Peek(row + 1) : record,
                                  level_field)
                        .value_or(1);
                const bool parent = level < 0 || std::abs(next) > std::abs(level);
                if (parent && (column.attributes_b & ListTreeBoxes)) {
                    painter.fill_rect(box, painter::system_color(SystemColor::Window));
                    painter.draw_rect(box, grid);
                    painter.draw_hline(box.left + 2, box.top + 4, 5, ink);
                    if (level < 0)
                        painter.draw_vline(box.left + 4, box.top + 2, 5, ink);
                } else if (column.attributes_b & ListTreeLines) {
                    painter.draw_dotted_hline(box.left, box.top + 4, 9, grid);
                }
                left += TreeStep;
            }
        }
        if (const int32_t icon_field = column.field_of(ListCellValue::Icon)) {
            if (const painter::Image* image =
                    ProgramImages().Get(icon_of(integer_field(record, icon_field).value_or(0))))
                DrawCentredImage(painter,
                                 platform::Rect::FromSize(left, cell.top + (cell.height() - IconSide) / 2,
                                                          IconSide, IconSide),
                                 *image, enabled);
            left += IconSide + 2;
        }
        format.horizontal = align_of(column.justification());
        const platform::Rect text_area{
            left, cell.top, cell.right - CellPadding - (column.justification() == 1 ? column.data_indent : 0),
            cell.bottom};
        painter.draw_text(text_area, cell_text(row, static_cast<int32_t>(i + 1)), *font, ink, format);
        if ((column.attributes_a & ListRightBorder) || (m_flags & ListGridLines))
            painter.draw_vline(cell.right - 1, cell.top, cell.height(), grid);
        if ((column.attributes_a & ListUnderline) || (m_flags & ListGridLines))
            painter.draw_hline(cell.left, cell.bottom - 1, cell.width(), grid);
    }
    if (!focus_cell.empty())
        DrawFocus(painter, focus_cell);
}

void ListBox::place_scroll_bar(const Geometry& g) {
    m_scroll.set_rect({g.rows.right, g.rows.top, g.inner.right, g.inner.bottom});
    if (has_attribute(AttrImmediate)) {
        // The program's thumb: a track of 100 steps and a thumb of a tenth.
        m_scroll.set_range(110, 10);
        m_scroll.set_position(std::clamp(m_thumb, 0, 100));
        return;
    }
    m_scroll.set_range(record_count(), std::max(1, g.rows.height() / g.row_height));
    m_scroll.set_position(m_top - 1);
}

void ListBox::display() {
    if (m_binding.queue && m_binding.queue->ChangeStamp() != m_drawn_stamp) {
        const int32_t count = record_count();
        if (m_row > count)
            m_row = count;
        scroll_to(m_top);
        invalidate();
    }
    place_editors();
}

void ListBox::place_editors() {
    if (m_editors.empty())
        return;
    const Geometry g = geometry();
    const int32_t visible = std::max(1, g.rows.height() / g.row_height);
    const bool in_view = m_row >= m_top && m_row < m_top + visible && m_row <= record_count();
    for (std::size_t i = 0; i < m_editors.size() && i < m_layout.columns.size(); ++i) {
        Control* editor = m_editors[i] != 0 ? m_window.control(m_editors[i]) : nullptr;
        if (!editor)
            continue;
        const ListColumn& column = m_layout.columns[i];
        const bool shown = in_view && column.width > 0;
        if (shown) {
            // The cell in the window's client coordinates, clipped to the rows' area.
            const int y = g.rows.top + (m_row - m_top) * g.row_height + column.line * m_layout.row_height;
            const int left = g.rows.left + column.cell.left;
            const int right = std::min(left + column.width, g.rows.right);
            editor->set_rect({m_rect.left + left, m_rect.top + y, m_rect.left + right,
                              m_rect.top + y + m_layout.row_height});
        }
        if (editor->hidden() == shown)
            editor->set_property(Prop::Hide, -1, shown ? "0" : "1");
    }
}

void ListBox::scroll_to(int32_t top) {
    const int32_t count = record_count();
    const int32_t visible = visible_rows();
    const int32_t clamped = std::clamp(top, 1, std::max(1, count - visible + 1));
    if (clamped != m_top) {
        m_top = clamped;
        invalidate();
        place_editors();
    }
}

void ListBox::move_selection(int32_t row, int32_t column, bool by_user) {
    const int32_t count = record_count();
    row = count == 0 ? 0 : std::clamp(row, 1, count);
    const int32_t columns = static_cast<int32_t>(m_layout.columns.size());
    column = columns == 0 ? 0 : std::clamp(column, 0, columns);
    // While a cell is edited, a click on another cell of the row tells the program too.
    const bool editing = std::any_of(m_editors.begin(), m_editors.end(), [](int32_t e) { return e != 0; });
    const bool changed = row != m_row || (((m_flags & ListSelectsCells) || editing) && column != m_column);
    m_row = row;
    m_column = column;
    if (row > 0) {
        const int32_t visible = visible_rows();
        if (row < m_top)
            scroll_to(row);
        else if (row >= m_top + visible)
            scroll_to(row - visible + 1);
    }
    invalidate();
    place_editors();
    if (by_user && changed)
        post(Event::NewSelection);
}

void ListBox::select(int32_t row, int32_t column) {
    if (row > 0)
        move_selection(row, column > 0 ? column : m_column, false);
}

void ListBox::program_scroll(uint16_t event) {
    post(event);
}

std::pair<int32_t, int32_t> ListBox::cell_at(platform::Point point) const {
    const Geometry g = geometry();
    if (!g.rows.contains(point))
        return {0, 0};
    const int32_t row = m_top + (point.y - g.rows.top) / g.row_height;
    if (row > record_count())
        return {0, 0};
    const int line = ((point.y - g.rows.top) % g.row_height) / std::max(1, m_layout.row_height);
    int32_t column = 0;
    for (std::size_t i = 0; i < m_layout.columns.size(); ++i) {
        const ListColumn& c = m_layout.columns[i];
        const int left = g.rows.left + c.cell.left;
        if (c.line == line && c.width > 0 && point.x >= left && point.x < left + c.width)
            column = static_cast<int32_t>(i + 1);
    }
    return {row, column};
}

bool ListBox::wants_key(uint32_t virtual_key, uint32_t modifiers) const {
    if (modifiers & AltKeyBit)
        return false;
    switch (virtual_key) {
    case platform::VkUp:
    case platform::VkDown:
    case platform::VkPrior:
    case platform::VkNext:
    case platform::VkHome:
    case platform::VkEnd:
    case platform::VkReturn:
        return true;
    case platform::VkLeft:
    case platform::VkRight:
        return (m_flags & ListSelectsCells) != 0;
    default:
        return false;
    }
}

bool ListBox::navigation_key(uint32_t virtual_key, uint32_t modifiers) {
    const bool control = (modifiers & CtrlKeyBit) != 0;
    const int32_t page = visible_rows();
    if (virtual_key == platform::VkReturn) {
        if (m_row > 0)
            post(Event::Accepted);
        return true;
    }
    if (has_attribute(AttrImmediate)) {
        // The program scrolls: the keys become scroll events.
        switch (virtual_key) {
        case platform::VkHome:
            program_scroll(Event::ScrollTop);
            return true;
        case platform::VkEnd:
            program_scroll(Event::ScrollBottom);
            return true;
        case platform::VkUp:
            program_scroll(Event::ScrollUp);
            return true;
        case platform::VkDown:
            program_scroll(Event::ScrollDown);
            return true;
        case platform::VkPrior:
            program_scroll(control ? Event::ScrollTop : Event::PageUp);
            return true;
        case platform::VkNext:
            program_scroll(control ? Event::ScrollBottom : Event::PageDown);
            return true;
        default:
            break;
        }
    }
    const int32_t row = m_row == 0 ? m_top - 1 : m_row;
    switch (virtual_key) {
    case platform::VkUp:
        move_selection(std::max(1, row - 1), m_column, true);
        return true;
    case platform::VkDown:
        move_selection(row + 1, m_column, true);
        return true;
    case platform::VkPrior:
        move_selection(control ? 1 : std::max(1, row - page + 1), m_column, true);
        return true;
    case platform::VkNext:
        move_selection(control ? record_count() : row + page - 1, m_column, true);
        return true;
    case platform::VkHome:
        move_selection(1, m_column, true);
        return true;
    case platform::VkEnd:
        move_selection(record_count(), m_column, true);
        return true;
    case platform::VkLeft:
        if (m_flags & ListSelectsCells)
            move_selection(std::max(1, row), std::max(1, m_column - 1), true);
        return true;
    case platform::VkRight:
        if (m_flags & ListSelectsCells)
            move_selection(std::max(1, row),
                           std::min<int32_t>(static_cast<int32_t>(m_layout.columns.size()), m_column + 1),
                           true);
        return true;
    default:
        return false;
    }
}

void ListBox::type_ahead(char character) {
    const int64_t now = now_ms();
    if (now - m_typed_at > TypeAheadPause)
        m_typed.clear();
    m_typed_at = now;
    m_typed += character;
    if (has_attribute(AttrImmediate)) {
        // The program finds the row: the event carries the character typed.
        PostEventWithParameter(m_window, Event::Locate, m_feq, static_cast<uint8_t>(character));
        return;
    }
    const int32_t column = m_layout.locator >= 0 ? m_layout.locator + 1 : 1;
    const int32_t count = record_count();
    if (count == 0)
        return;
    const std::string wanted = upper_text(m_typed);
    // A new search starts after the selection; a longer prefix may stay on it.
    const int32_t start = m_typed.size() == 1 ? m_row + 1 : std::max(1, m_row);
    for (int32_t step = 0; step < count; ++step) {
        const int32_t row = (start - 1 + step) % count + 1;
        const std::string text = upper_text(cell_text(row, column));
        const std::size_t first = text.find_first_not_of(' ');
        if (first != std::string::npos && text.compare(first, wanted.size(), wanted) == 0) {
            move_selection(row, m_column, true);
            return;
        }
    }
}

bool ListBox::handle_message(const platform::Message& message, intptr_t& result) {
    result = 0;
    switch (message.number) {
    case platform::MsgLButtonDown:
    case platform::MsgLButtonDoubleClick: {
        Control::handle_message(message, result);
        const platform::Point point = point_of(message);
        const Geometry g = geometry();
        if (g.scroll) {
            const int32_t visible = std::max(1, g.rows.height() / g.row_height);
            place_scroll_bar(g);
            const ScrollBar::Part part = m_scroll.hit(point);
            const bool program = has_attribute(AttrImmediate);
            switch (part) {
            case ScrollBar::Part::LineUp:
                program ? program_scroll(Event::ScrollUp) : scroll_to(m_top - 1);
                break;
            case ScrollBar::Part::LineDown:
                program ? program_scroll(Event::ScrollDown) : scroll_to(m_top + 1);
                break;
            case ScrollBar::Part::PageUp:
                program ? program_scroll(Event::PageUp) : scroll_to(m_top - visible);
                break;
            case ScrollBar::Part::PageDown:
                program ? program_scroll(Event::PageDown) : scroll_to(m_top + visible);
                break;
            case ScrollBar::Part::Thumb:
                m_thumb_dragging = true;
                m_thumb_grab = point.y - m_scroll.thumb_rect().top;
                break;
            case ScrollBar::Part::None:
                break;
            }
            if (part != ScrollBar::Part::None) {
                m_scroll.set_pressed(part == ScrollBar::Part::Thumb ? ScrollBar::Part::None : part);
                platform::set_capture(m_handle);
                invalidate();
                return true;
            }
        }
        if (point.y < g.rows.top) {
            // A heading: dragging the right edge of a resizable column sizes it.
            for (std::size_t i = 0; i < m_layout.columns.size(); ++i) {
                const ListColumn& c = m_layout.columns[i];
                const int edge = g.rows.left + c.cell.left + c.width;
                if ((c.attributes_a & ListResizable) && std::abs(point.x - edge) <= ResizeGrip) {
                    m_resizing_column = static_cast<int>(i);
                    m_resize_origin = point.x - c.width;
                    platform::set_capture(m_handle);
                    return true;
                }
            }
            return true;
        }
        const auto [row, column] = cell_at(point);
        if (row > 0)
            move_selection(row, column, true);
        if (message.number == platform::MsgLButtonDoubleClick && row > 0)
            post(Event::Accepted);
        return true;
    }
    case platform::MsgMouseMove: {
        Control::handle_message(message, result);
        const platform::Point point = point_of(message);
        if (m_thumb_dragging) {
            const int first = m_scroll.position_for_thumb(point.y - m_thumb_grab);
            if (has_attribute(AttrImmediate)) {
                m_thumb = std::clamp(first, 0, 100);
                invalidate();
                program_scroll(Event::ScrollTrack);
            } else
                scroll_to(first + 1);
        } else if (m_resizing_column >= 0) {
            ListColumn& c = m_layout.columns[static_cast<std::size_t>(m_resizing_column)];
            const int width = std::max(4, point.x - m_resize_origin);
            const int delta = width - c.width;
            c.width = width;
            c.cell.right = c.cell.left + width;
            for (std::size_t i = static_cast<std::size_t>(m_resizing_column) + 1; i < m_layout.columns.size();
                 ++i)
                if (m_layout.columns[i].line == c.line)
                    m_layout.columns[i].cell = m_layout.columns[i].cell.offset(delta, 0);
            invalidate();
        }
        return true;
    }
    case platform::MsgLButtonUp:
    case platform::MsgCaptureChanged:
        if (m_thumb_dragging && has_attribute(AttrImmediate))
            program_scroll(Event::ScrollDrag);
        if (m_resizing_column >= 0) {
            ListColumn& c = m_layout.columns[static_cast<std::size_t>(m_resizing_column)];
            c.width_units = m_window.to_units_x(c.width);
            post(Event::ColumnResize);
        }
        m_thumb_dragging = false;
        m_resizing_column = -1;
        if (m_scroll.pressed() != ScrollBar::Part::None) {
            m_scroll.set_pressed(ScrollBar::Part::None);
            invalidate();
        }
        if (message.number == platform::MsgLButtonUp)
            platform::release_capture();
        return true;
    case platform::MsgRButtonDown:
        m_mouse_row = cell_at(point_of(message)).first;
        return Control::handle_message(message, result);
    case platform::MsgMouseWheel: {
        const int notches = platform::HighWordSigned(static_cast<intptr_t>(message.wparam)) / 120;
        if (has_attribute(AttrImmediate)) {
            for (int i = 0; i < std::abs(notches) * WheelRows; ++i)
                program_scroll(notches > 0 ? Event::ScrollUp : Event::ScrollDown);
        } else {
            scroll_to(m_top - notches * WheelRows);
        }
        return true;
    }
    case platform::MsgKeyDown:
        return navigation_key(static_cast<uint32_t>(message.wparam), ModifiersOf(message));
    case platform::MsgChar: {
        const auto c = static_cast<uint8_t>(message.wparam);
        if (c >= ' ' && c != 0x7F)
            type_ahead(static_cast<char>(c));
        return true;
    }
    default:
        return Control::handle_message(message, result);
    }
}

std::optional<std::string> ListBox::get_property(uint32_t number) {
    switch (number) {
    case Prop::Selection:
        return std::to_string(m_row);
    case Prop::Column:
        return std::to_string(m_column);
    case Prop::Items:
        return std::to_string(visible_rows());
    case Prop::Thumb:
        return std::to_string(m_thumb);
    case Prop::MouseRow:
        return std::to_string(m_mouse_row);
    case Prop::TopRow:
        return std::to_string(m_top);
    case Prop::Format:
        return m_format;
    case Prop::LineHeight:
        return std::to_string(m_window.to_units_y(m_layout.row_height));
    default:
        return Control::get_property(number);
    }
}

std::optional<std::string> ListBox::get_indexed_property(uint32_t number, int32_t index) {
    if (number == Prop::ColumnEditor)
        return std::to_string(index >= 0 && static_cast<std::size_t>(index) < m_editors.size()
                                  ? m_editors[static_cast<std::size_t>(index)]
                                  : 0);
    if (number == Prop::IconList)
        return index >= 0 && static_cast<std::size_t>(index) < m_icon_names.size()
                   ? m_icon_names[static_cast<std::size_t>(index)]
                   : std::string();
    if (number >= Prop::ColumnWidth && number <= 0x7EBF) {
        if (index < 0 || static_cast<std::size_t>(index) >= m_layout.columns.size())
            return std::string();
        const ListColumn& c = m_layout.columns[static_cast<std::size_t>(index)];
        switch (number) {
        case Prop::ColumnWidth:
            return std::to_string(c.width_units);
        case Prop::ColumnPicture:
            return c.picture.value_or("");
        case Prop::ColumnField:
            return std::to_string(c.field);
        case Prop::ColumnHeading:
            return c.heading.value_or("");
        case Prop::ColumnJustification:
            return std::string(1, "LRCD"[c.justification()]);
        case Prop::ColumnColor:
            return std::to_string(c.colours[0].value_or(-1));
        default:
            return std::string();
        }
    }
    return Control::get_indexed_property(number, index);
}

bool ListBox::set_property(uint32_t number, int32_t index, std::string_view value) {
    switch (number) {
    case Prop::Selection:
        move_selection(static_cast<int32_t>(NumberValue(value)), m_column, false);
        return true;
    case Prop::Thumb: {
        const auto thumb = static_cast<int32_t>(NumberValue(value));
        if (thumb != m_thumb) {
            m_thumb = thumb < 0 ? -1 : std::min(thumb, 100);
            invalidate();
        }
        return true;
    }
    case Prop::Column:
        move_selection(m_row, static_cast<int32_t>(NumberValue(value)), false);
        return true;
    case Prop::TopRow:
        scroll_to(static_cast<int32_t>(NumberValue(value)));
        return true;
    case Prop::Format:
        set_format(value);
        place_editors();
        return true;
    case Prop::ColumnEditor:
        if (index >= 0 && static_cast<std::size_t>(index) < m_layout.columns.size()) {
            if (static_cast<std::size_t>(index) >= m_editors.size())
                m_editors.resize(static_cast<std::size_t>(index) + 1);
            int32_t& editor = m_editors[static_cast<std::size_t>(index)];
            // The control that edited the cell until now is put away.
            if (Control* old = editor != 0 ? m_window.control(editor) : nullptr)
                old->set_property(Prop::Hide, -1, "1");
            editor = static_cast<int32_t>(NumberValue(value));
            place_editors();
        }
        return true;
    case Prop::IconList:
        if (index >= 0 && index < 4096) {
            if (static_cast<std::size_t>(index) >= m_icon_names.size())
                m_icon_names.resize(static_cast<std::size_t>(index) + 1);
            m_icon_names[static_cast<std::size_t>(index)] = std::string(value);
            if (static_cast<std::size_t>(index) < m_icons.size())
                m_icons[static_cast<std::size_t>(index)] = 0;
            invalidate();
        }
        return true;
    default:
        break;
    }
    if (number >= Prop::ColumnWidth && number <= 0x7EBF && index >= 0 &&
        static_cast<std::size_t>(index) < m_layout.columns.size()) {
        ListColumn& c = m_layout.columns[static_cast<std::size_t>(index)];
        switch (number) {
        case Prop::ColumnHeading:
            c.heading = std::string(value);
            break;
        case Prop::ColumnPicture:
            c.picture = value.empty() ? std::nullopt : std::optional<std::string>(std::string(value));
            compile_pictures();
            break;
        case Prop::ColumnWidth: {
            const int32_t width = std::max(0, m_window.to_pixels_x(static_cast<int32_t>(NumberValue(value))));
            const int32_t delta = width - c.width;
            c.width = width;
            c.width_units = static_cast<int32_t>(NumberValue(value));
            c.cell.right = c.cell.left + width;
            for (std::size_t i = static_cast<std::size_t>(index) + 1; i < m_layout.columns.size(); ++i)
                if (m_layout.columns[i].line == c.line)
                    m_layout.columns[i].cell = m_layout.columns[i].cell.offset(delta, 0);
            place_editors();
            break;
        }
        case Prop::ColumnColor: {
            const auto colour = static_cast<int32_t>(static_cast<uint32_t>(NumberValue(value)));
            c.colours[0] = colour == -1 ? std::nullopt : std::optional<int32_t>(colour);
            break;
        }
        case Prop::ColumnJustification: {
            const uint32_t j = value.empty() ? 0
                                             : (value[0] == 'R'   ? 1
                                                : value[0] == 'C' ? 2
                                                : value[0] == 'D' ? 3
                                                                  : 0);
            c.attributes_a = (c.attributes_a & ~(ListJustifyMask | ListHeadingJustifyMask)) | j | j << 2;
            break;
        }
        default:
            return false;
        }
        invalidate();
        return true;
    }
    return Control::set_property(number, index, value);
}

} // namespace morvex
