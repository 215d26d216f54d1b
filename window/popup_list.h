// The list a drop-down list or combo box shows while it is dropped: a popup
// window of its own (class "MvxDropList"), owned by the control's top-level
// window and placed under the control, as many rows tall as the control's
// drop count, with a scroll bar when the entries do not all fit. One row is
// highlighted; it follows the mouse and the keys.
//
// The popup never takes the focus or the mouse: the control keeps both (it
// holds the capture while dropped) and hands keys and mouse positions on, so
// that the window's keyboard handling and the control's events stay where
// they belong. Positions are in screen coordinates.
#pragma once

#include "platform/geometry.h"
#include "platform/message_queue.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace morvex {

namespace painter {
class Painter;
class Font;
} // namespace painter

// The first entry after `after` (going round; -1 starts at the first) whose
// text starts with `c` in either case, or -1.
int32_t NextEntryStartingWith(const std::vector<std::string>& entries, int32_t after, char c);

class PopupList {
public:
    PopupList(std::vector<std::string> entries, int32_t highlighted, std::shared_ptr<painter::Font> font);
    ~PopupList();
    PopupList(const PopupList&) = delete;
    PopupList& operator=(const PopupList&) = delete;

    // Shows the list under `anchor` (the control's screen rectangle), at
    // least `width` pixels wide and `rows` rows tall (fewer when there are
    // fewer entries). False when the popup window cannot be made.
    bool open(platform::WindowHandle owner, const platform::Rect& anchor, int rows, int width);
    platform::WindowHandle handle() const { return m_handle; }
    platform::Rect screen_rect() const { return m_screen; }

    int32_t highlighted() const { return m_highlighted; }
    int32_t count() const { return static_cast<int32_t>(m_entries.size()); }
    int32_t top() const { return m_top; }

    // Up, Down, Page Up, Page Down, Home and End move the highlight; true when used.
    bool key(uint32_t virtual_key);
    // Highlights the next entry after the highlighted one that starts with `c` (any case).
    bool jump_to(char c);
    // Scrolls by notches of the wheel (positive: towards the top).
    void wheel(int notches);

    enum class Hit { Outside, Row, ScrollBar };
    // A press of the mouse: a row highlights it, the scroll bar scrolls (or
    // starts dragging its thumb).
    Hit press(platform::Point screen);
    // The mouse moved: the highlight follows it over the rows, or the thumb follows it.
    void move(platform::Point screen);
    // The row under the point, or -1.
    int32_t row_at(platform::Point screen) const;
    void release() { m_thumb_grab = -1; }

    void paint(painter::Painter& painter);

private:
    int row_height() const;
    int visible_rows() const;
    bool scrolls() const { return count() > visible_rows(); }
    platform::Rect rows_rect() const;
    platform::Rect bar_rect() const;
    platform::Rect arrow_rect(bool up) const;
    platform::Rect thumb_rect() const;
    void scroll_to(int32_t top);
    void highlight(int32_t row);
    void repaint();

    std::vector<std::string> m_entries;
    std::shared_ptr<painter::Font> m_font;
    platform::WindowHandle m_handle = 0;
    platform::Rect m_screen;
    int m_rows = 1;
    int32_t m_highlighted = -1;
    int32_t m_top = 0;
    int m_thumb_grab = -1; // where the thumb was taken, in pixels from its top; -1 when not dragged
};

} // namespace morvex
