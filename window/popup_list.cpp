#include "window/popup_list.h"

#include "platform/window_class.h"
#include "platform/window_messages.h"
#include "platform/window_paint.h"
#include "platform/windows.h"
#include "runtime/ascii_case.h"
#include "window/control_drawing.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"

#include <algorithm>
#include <mutex>

namespace morvex {

namespace {

using painter::system_color;
using painter::SystemColor;

constexpr std::string_view ClassName = "MvxDropList";
constexpr int MinThumb = 8;

intptr_t popup_procedure(void* user_data, const platform::Message& message) {
    auto* list = static_cast<PopupList*>(user_data);
    if (list && message.number == platform::MsgPaint) {
        platform::PaintSession session(message.window);
        if (session.valid()) {
            painter::Painter painter(*session.pixels(), session.origin(), session.clip());
            list->paint(painter);
        }
        return 0;
    }
    return platform::default_window_procedure(message);
}

void register_popup_class() {
    static std::once_flag once;
    std::call_once(once, [] {
        platform::WindowClass window_class;
        window_class.name = std::string(ClassName);
        window_class.procedure = popup_procedure;
        platform::register_window_class(window_class);
    });
}

platform::Point to_local(const platform::Rect& screen, platform::Point point) {
    return {point.x - screen.left, point.y - screen.top};
}

} // namespace

int32_t NextEntryStartingWith(const std::vector<std::string>& entries, int32_t after, char c) {
    const auto count = static_cast<int32_t>(entries.size());
    for (int32_t i = 1; i <= count; ++i) {
        const int32_t row = (std::max(after, int32_t{-1}) + i) % count;
        const std::string& entry = entries[static_cast<std::size_t>(row)];
        if (!entry.empty() && AsciiUpper(entry.front()) == AsciiUpper(c))
            return row;
    }
    return -1;
}

PopupList::PopupList(std::vector<std::string> entries, int32_t highlighted,
                     std::shared_ptr<painter::Font> font)
    : m_entries(std::move(entries)), m_font(std::move(font)),
      m_highlighted(highlighted >= 0 && highlighted < static_cast<int32_t>(m_entries.size()) ? highlighted
                                                                                             : -1) {}

PopupList::~PopupList() {
    // The popup may have gone with its owner already (a window that closes
    // destroys the windows it owns), and its handle been given to another.
    if (m_handle && platform::is_window(m_handle) && platform::window_user_data(m_handle) == this) {
        platform::set_window_user_data(m_handle, nullptr);
        platform::destroy_window(m_handle);
    }
}

int PopupList::row_height() const {
    return (m_font ? m_font->metrics().height : 13) + 2;
}

int PopupList::visible_rows() const {
    return std::max(1, std::min(m_rows, count()));
}

bool PopupList::open(platform::WindowHandle owner, const platform::Rect& anchor, int rows, int width) {
    register_popup_class();
    m_rows = std::max(1, rows);
    m_screen = platform::Rect::FromSize(anchor.left, anchor.bottom, std::max(width, anchor.width()),
                                        visible_rows() * row_height() + 2);
    // The highlighted row shows at the top when the list scrolls.
    scroll_to(m_highlighted < 0 ? 0 : m_highlighted);
    platform::CreateWindowParams params;
    params.class_name = std::string(ClassName);
    params.owner = owner;
    params.rect = m_screen;
    params.style = platform::StyleVisible;
    params.user_data = this;
    m_handle = platform::create_window(params);
    return m_handle != 0;
}

platform::Rect PopupList::rows_rect() const {
    const int right = m_screen.width() - 1 - (scrolls() ? ScrollBarWidth : 0);
    return {1, 1, right, 1 + visible_rows() * row_height()};
}

platform::Rect PopupList::bar_rect() const {
    if (!scrolls())
        return {};
    return {m_screen.width() - 1 - ScrollBarWidth, 1, m_screen.width() - 1, m_screen.height() - 1};
}

platform::Rect PopupList::arrow_rect(bool up) const {
    const platform::Rect bar = bar_rect();
    const int side = std::min(ScrollBarWidth, bar.height() / 2);
    return up ? platform::Rect{bar.left, bar.top, bar.right, bar.top + side}
              : platform::Rect{bar.left, bar.bottom - side, bar.right, bar.bottom};
}

platform::Rect PopupList::thumb_rect() const {
    const platform::Rect track{bar_rect().left, arrow_rect(true).bottom, bar_rect().right,
                               arrow_rect(false).top};
    const int32_t range = count() - visible_rows();
    if (range <= 0 || track.height() < MinThumb)
        return {};
    const int length = std::max(MinThumb, track.height() * visible_rows() / count());
    const int offset = (track.height() - length) * m_top / range;
    return {track.left, track.top + offset, track.right, track.top + offset + length};
}

void PopupList::repaint() {
    if (m_handle)
        platform::invalidate(m_handle);
}

void PopupList::scroll_to(int32_t top) {
    top = std::clamp(top, 0, std::max(0, count() - visible_rows()));
    if (top != m_top) {
        m_top = top;
        repaint();
    }
}

void PopupList::highlight(int32_t row) {
    if (count() == 0)
        return;
    row = std::clamp(row, 0, count() - 1);
    if (row < m_top)
        scroll_to(row);
    else if (row >= m_top + visible_rows())
        scroll_to(row - visible_rows() + 1);
    if (row != m_highlighted) {
        m_highlighted = row;
        repaint();
    }
}

bool PopupList::key(uint32_t virtual_key) {
    const int32_t page = visible_rows();
    const int32_t at = m_highlighted;
    switch (virtual_key) {
    case platform::VkUp:
        highlight(at < 0 ? 0 : at - 1);
        return true;
    case platform::VkDown:
        highlight(at + 1);
        return true;
    // A page key goes to the edge of the visible page first, then a page further.
    case platform::VkPrior:
        highlight(at < 0 ? 0 : at != m_top ? m_top : at - page + 1);
        return true;
    case platform::VkNext:
        highlight(at < 0 ? 0 : at != m_top + page - 1 ? m_top + page - 1 : at + page - 1);
        return true;
    case platform::VkHome:
        highlight(0);
        return true;
    case platform::VkEnd:
        highlight(count() - 1);
        return true;
    default:
        return false;
    }
}

bool PopupList::jump_to(char c) {
    const int32_t row = NextEntryStartingWith(m_entries, m_highlighted, c);
    if (row < 0)
        return false;
    highlight(row);
    return true;
}

void PopupList::wheel(int notches) {
    scroll_to(m_top - notches * 3);
}

int32_t PopupList::row_at(platform::Point screen) const {
    const platform::Point local = to_local(m_screen, screen);
    const platform::Rect rows = rows_rect();
    if (!rows.contains(local))
        return -1;
    const int32_t row = m_top + (local.y - rows.top) / row_height();
    return row < count() ? row : -1;
}

PopupList::Hit PopupList::press(platform::Point screen) {
    const platform::Point local = to_local(m_screen, screen);
    if (bar_rect().contains(local)) {
        const platform::Rect thumb = thumb_rect();
        if (arrow_rect(true).contains(local))
            scroll_to(m_top - 1);
        else if (arrow_rect(false).contains(local))
            scroll_to(m_top + 1);
        else if (thumb.contains(local))
            m_thumb_grab = local.y - thumb.top;
        else if (local.y < thumb.top)
            scroll_to(m_top - visible_rows());
        else
            scroll_to(m_top + visible_rows());
        return Hit::ScrollBar;
    }
    if (const int32_t row = row_at(screen); row >= 0) {
        highlight(row);
        return Hit::Row;
    }
    return platform::Rect::FromSize(0, 0, m_screen.width(), m_screen.height()).contains(local) ? Hit::Row
                                                                                               : Hit::Outside;
}

void PopupList::move(platform::Point screen) {
    if (m_thumb_grab >= 0) {
        const platform::Point local = to_local(m_screen, screen);
        const platform::Rect thumb = thumb_rect();
        const int track_top = arrow_rect(true).bottom;
        const int travel = arrow_rect(false).top - track_top - thumb.height();
        if (travel > 0)
            scroll_to(((local.y - m_thumb_grab - track_top) * (count() - visible_rows()) + travel / 2) /
                      travel);
        return;
    }
    if (const int32_t row = row_at(screen); row >= 0)
        highlight(row);
}

void PopupList::paint(painter::Painter& painter) {
    const platform::Rect all = platform::Rect::FromSize(0, 0, m_screen.width(), m_screen.height());
    painter.draw_rect(all, system_color(SystemColor::WindowFrame));
    const platform::Rect rows = rows_rect();
    painter.fill_rect(rows, system_color(SystemColor::Window));
    if (m_font) {
        painter::Painter inside = painter.clipped_to(rows);
        const int height = row_height();
        for (int32_t i = 0; i < visible_rows() && m_top + i < count(); ++i) {
            const int32_t row = m_top + i;
            const platform::Rect line{rows.left, rows.top + i * height, rows.right,
                                      rows.top + (i + 1) * height};
            const bool lit = row == m_highlighted;
            if (lit)
                inside.fill_rect(line, system_color(SystemColor::Highlight));
            inside.draw_text({line.left + 2, line.top + 1}, m_entries[static_cast<std::size_t>(row)], *m_font,
                             system_color(lit ? SystemColor::HighlightText : SystemColor::WindowText));
        }
    }
    if (!scrolls())
        return;
    // The scroll bar: two arrow buttons, the dithered track and the thumb.
    const platform::Rect bar = bar_rect();
    const platform::Rect track{bar.left, arrow_rect(true).bottom, bar.right, arrow_rect(false).top};
    const painter::Color light = system_color(SystemColor::ButtonHighlight);
    const painter::Color face = system_color(SystemColor::ButtonFace);
    for (int y = track.top; y < track.bottom; ++y)
        for (int x = track.left; x < track.right; ++x)
            painter.set_pixel({x, y}, (x + y) % 2 == 0 ? light : face);
    DrawArrowButton(painter, arrow_rect(true), ArrowDirection::Up, false, m_top > 0);
    DrawArrowButton(painter, arrow_rect(false), ArrowDirection::Down, false,
                    m_top < count() - visible_rows());
    if (const platform::Rect thumb = thumb_rect(); !thumb.empty())
        DrawButtonFace(painter, thumb, ButtonLook::Normal, face);
}

} // namespace morvex
