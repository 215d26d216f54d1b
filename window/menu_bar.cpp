#include "window/menu_bar.h"

#include "window/control_drawing.h"
#include "window/definition_services.h"
#include "window/key_codes.h"
#include "window/menu_popup.h"
#include "window/painter/font.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"

#include <functional>

namespace morvex {

namespace {

constexpr int TitlePadding = 7;

const MenuItem* find_shortcut(const std::vector<MenuItem>& items, uint32_t key_code) {
    for (const MenuItem& item : items) {
        if (item.kind == MenuItem::Kind::Item && !item.disabled && !item.shortcut.empty() &&
            KeyCodeByName(item.shortcut) == key_code)
            return &item;
        if (const MenuItem* inner = find_shortcut(item.children, key_code))
            return inner;
    }
    return nullptr;
}

MenuItem* find_use(std::vector<MenuItem>& items, int32_t use) {
    for (MenuItem& item : items) {
        if (item.use == use && item.kind != MenuItem::Kind::Separator)
            return &item;
        if (MenuItem* inner = find_use(item.children, use))
            return inner;
    }
    return nullptr;
}

} // namespace

int MenuBar::height() {
    const std::shared_ptr<painter::Font> font = FontOfDefinition(nullptr);
    return (font ? font->metrics().height : 13) + 6;
}

void MenuBar::paint(painter::Painter& painter, const platform::Rect& rect) {
    using painter::SystemColor;
    painter.fill_rect(rect, painter::system_color(SystemColor::Menu));
    m_titles.clear();
    const std::shared_ptr<painter::Font> font = FontOfDefinition(nullptr);
    if (!font)
        return;
    painter::TextFormat format;
    format.single_line = true;
    format.mnemonic = true;
    format.vertical = painter::VerticalAlign::Center;
    format.horizontal = painter::HorizontalAlign::Center;
    int x = rect.left + 2;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const MenuItem& item = m_items[i];
        const int width = font->text_width(item.plain_text()) + 2 * TitlePadding;
        const platform::Rect title{x, rect.top + 1, x + width, rect.bottom - 1};
        m_titles.push_back(title);
        if (static_cast<int>(i) == m_open)
            painter.draw_border(title, painter::Border::Sunken);
        DrawControlText(painter, static_cast<int>(i) == m_open ? title.offset(1, 1) : title, item.text, *font,
                        painter::system_color(SystemColor::MenuText), !item.disabled, format);
        x += width;
    }
}

int MenuBar::title_at(platform::Point point) const {
    for (std::size_t i = 0; i < m_titles.size(); ++i)
        if (m_titles[i].contains(point))
            return static_cast<int>(i);
    return -1;
}

int MenuBar::title_with_mnemonic(char letter) const {
    const char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].mnemonic() == wanted && !m_items[i].disabled)
            return static_cast<int>(i);
    return -1;
}

const MenuItem* MenuBar::item_with_shortcut(uint32_t key_code) const {
    return find_shortcut(m_items, key_code);
}

MenuItem* MenuBar::item_with_use(int32_t use) {
    return find_use(m_items, use);
}

const MenuItem* MenuBar::track(int index, platform::WindowHandle frame, platform::Point bar_origin,
                               bool keyboard, void (*repaint)(void* context), void* context) {
    const MenuItem* chosen = nullptr;
    const int count = static_cast<int>(m_items.size());
    while (index >= 0 && index < count && !m_titles.empty()) {
        m_open = index;
        repaint(context);
        const MenuItem& title = m_items[static_cast<std::size_t>(index)];
        const platform::Rect& at = m_titles[static_cast<std::size_t>(index)];
        MenuResult result;
        if (title.kind == MenuItem::Kind::Submenu && !title.disabled) {
            MenuTrackOptions options;
            options.from_menu_bar = true;
            options.highlight_first = keyboard;
            result = TrackMenu(title.children, frame, {bar_origin.x + at.left, bar_origin.y + at.bottom + 1},
                               options);
        } else if (title.kind == MenuItem::Kind::Item && !title.disabled) {
            // A title without a menu is an item of its own.
            result = {MenuResult::Exit::Chosen, &title};
        }
        if (result.exit == MenuResult::Exit::MoveLeft)
            index = (index + count - 1) % count;
        else if (result.exit == MenuResult::Exit::MoveRight)
            index = (index + 1) % count;
        else {
            chosen = result.exit == MenuResult::Exit::Chosen ? result.item : nullptr;
            break;
        }
        keyboard = true;
    }
    m_open = -1;
    repaint(context);
    return chosen;
}

} // namespace morvex
