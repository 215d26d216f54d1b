// The list box: the records of a queue shown as rows in the columns of a
// format string (window/list_format.h), with headings, pictures, colours,
// icons, tree lines, grid lines, a scroll bar, and selection of a row (and,
// in cell mode, of a column). Drawing a page reads only the rows it shows,
// so a list of a million records costs what a list of a thousand does; the
// queue's change stamp tells DISPLAY whether anything must be redrawn.
//
// An immediate list (attribute 0x800) is scrolled by its program: its keys,
// wheel and scroll bar post the scroll events instead of moving it. Its
// scroll bar shows while the program gives it a thumb position (0-100,
// property Thumb); dragging the thumb leaves the position there and posts
// EVENT:ScrollDrag. Typing posts EVENT:Locate with the character as the
// event's parameter.
//
// A column may have an edit control (property ColumnEditor): the list keeps
// that control over the column's cell of the selected row as the list
// scrolls, its columns change or the selection moves.
#pragma once

#include "runtime/picture.h"
#include "window/control.h"
#include "window/list_format.h"
#include "window/scroll_bar.h"

#include <memory>
#include <string>
#include <vector>

namespace morvex {

// Bits of the list flags byte of the record.
enum ListFlags : uint8_t {
    ListSelectsCells = 0x01, // the selection is one cell (row and column), as a calendar's grid
    ListGridLines = 0x02,    // every cell has grid lines, whatever the format says
};

class ListBox : public Control {
public:
    ListBox(Window& window, const ControlDefinition& definition);
    ~ListBox() override;

    std::string_view class_name() const override { return "MvxList"; }
    void paint(painter::Painter& painter) override;
    bool handle_message(const platform::Message& message, intptr_t& result) override;
    bool wants_key(uint32_t virtual_key, uint32_t modifiers) const override;
    bool takes_text() const override { return true; }
    platform::MouseCursor cursor_shape() const override { return platform::MouseCursor::Arrow; }
    void display() override;
    void select(int32_t row, int32_t column) override;
    bool accepts_in_accept_all() const override { return true; }
    std::optional<std::string> get_property(uint32_t number) override;
    std::optional<std::string> get_indexed_property(uint32_t number, int32_t index) override;
    bool set_property(uint32_t number, int32_t index, std::string_view value) override;

    void set_format(std::string_view format);
    const ListLayout& layout() const { return m_layout; }
    int32_t selected_row() const { return m_row; }
    int32_t selected_column() const { return m_column; }
    int32_t top_row() const { return m_top; }
    int32_t visible_rows() const;
    int32_t record_count() const;
    // The text of a cell as drawn (row 1-based in the queue; column 1-based).
    std::string cell_text(int32_t row, int32_t column) const;

private:
    struct Geometry;
    Geometry geometry() const;
    void build_default_layout();
    void compile_pictures();
    // Moves the selection (clamped, made visible); events when it changed.
    void move_selection(int32_t row, int32_t column, bool by_user);
    void scroll_to(int32_t top);
    void program_scroll(uint16_t event);
    bool navigation_key(uint32_t virtual_key, uint32_t modifiers);
    void type_ahead(char character);
    // The row (1-based queue position) and column at a point, 0 when none.
    std::pair<int32_t, int32_t> cell_at(platform::Point point) const;
    std::optional<int32_t> integer_field(const uint8_t* record, int32_t field) const;
    void paint_row(painter::Painter& painter, const Geometry& g, int32_t row, int y);
    void paint_headings(painter::Painter& painter, const Geometry& g);
    void place_scroll_bar(const Geometry& g);
    // Lays each column's edit control over its cell of the selected row
    // (hidden while that row is out of view).
    void place_editors();
    uintptr_t icon_of(int32_t number);

    std::string m_format;
    ListLayout m_layout;
    std::vector<std::unique_ptr<CompiledPicture>> m_pictures; // one per column, null = plain
    uint8_t m_flags = 0;
    int32_t m_row = 0;
    int32_t m_column = 0;
    int32_t m_top = 1;
    uint32_t m_drawn_stamp = 0;
    ScrollBar m_scroll;
    bool m_thumb_dragging = false;
    int32_t m_thumb = -1;    // an immediate list's thumb, 0-100; -1: no scroll bar
    int32_t m_mouse_row = 0; // the row under the last right-button press
    int m_thumb_grab = 0;
    int m_resizing_column = -1;
    int m_resize_origin = 0;
    std::string m_typed;
    int64_t m_typed_at = 0;
    std::vector<std::string> m_icon_names;
    std::vector<uintptr_t> m_icons;
    std::vector<int32_t> m_editors; // per column: the control laid over its cell, 0 none
};

} // namespace morvex
