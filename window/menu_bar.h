// A window's menu bar: the titles drawn across the top of the window below
// its caption, each opening its menu (window/menu_popup.h), with Alt or F10
// and the arrows from the keyboard, Alt+letter for a title's mnemonic, and
// the items' shortcut keys working from anywhere in the window.
#pragma once

#include "platform/geometry.h"
#include "platform/message_queue.h"
#include "window/menu.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace morvex {

namespace painter {
class Painter;
}

class MenuBar {
public:
    explicit MenuBar(std::vector<MenuItem> items) : m_items(std::move(items)) {}

    const std::vector<MenuItem>& items() const { return m_items; }
    std::vector<MenuItem>& items() { return m_items; }
    bool empty() const { return m_items.empty(); }
    // The bar's height in the system font.
    static int height();

    // Draws the bar in `rect` (the painter's coordinates) and remembers
    // where each title lies.
    void paint(painter::Painter& painter, const platform::Rect& rect);
    // The title under a point of the bar's coordinates, or -1.
    int title_at(platform::Point point) const;
    // The title whose mnemonic is `letter`, or -1.
    int title_with_mnemonic(char letter) const;

    // Opens title `index` and tracks the user through the bar's menus until
    // an item is chosen (returned) or the bar is left. `frame` is the
    // top-level window and `bar_origin` the bar's top-left corner on the
    // screen; `repaint` redraws the bar as the open title changes.
    const MenuItem* track(int index, platform::WindowHandle frame, platform::Point bar_origin, bool keyboard,
                          void (*repaint)(void* context), void* context);
    // The item whose shortcut is `key_code`, or nullptr.
    const MenuItem* item_with_shortcut(uint32_t key_code) const;
    // An item anywhere in the bar by its use number.
    MenuItem* item_with_use(int32_t use);

    // The title shown open (-1 none) and the one shown selected in keyboard mode.
    int open_title() const { return m_open; }

private:
    std::vector<MenuItem> m_items;
    std::vector<platform::Rect> m_titles;
    int m_open = -1;
};

} // namespace morvex
