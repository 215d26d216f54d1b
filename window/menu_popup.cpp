#include "window/menu_popup.h"

#include "platform/input.h"
#include "platform/window_class.h"
#include "platform/window_messages.h"
#include "platform/window_paint.h"
#include "platform/windows.h"
#include "window/control_drawing.h"
#include "window/definition_services.h"
#include "window/events.h"
#include "window/image_cache.h"
#include "window/painter/font.h"
#include "window/painter/image.h"
#include "window/painter/painter.h"
#include "window/painter/system_colors.h"
#include "window/window.h"

#include <algorithm>
#include <functional>
#include <mutex>

namespace morvex {

namespace {

constexpr std::string_view PopupClass = "MvxPopup";
constexpr int Frame = 3;
constexpr int CheckColumn = 20;
constexpr int ArrowColumn = 16;
constexpr int ShortcutGap = 24;
constexpr int SeparatorHeight = 9;

struct Level {
    const std::vector<MenuItem>* items = nullptr;
    platform::WindowHandle window = 0;
    int highlighted = -1;
    std::vector<platform::Rect> rects; // item rectangles in the popup
    platform::Rect screen;
};

class MenuTracker;

struct Registry {
    std::mutex mutex;
    std::vector<MenuTracker*> trackers;
};
Registry& registry() {
    static Registry* instance = new Registry; // lives until the process ends
    return *instance;
}

std::shared_ptr<painter::Font> menu_font() {
    return FontOfDefinition(nullptr);
}

class MenuTracker {
public:
    MenuTracker(const std::vector<MenuItem>& items, platform::WindowHandle owner,
                const MenuTrackOptions& options)
        : m_owner(owner), m_options(options) {
        (void)items;
        std::lock_guard lock(registry().mutex);
        registry().trackers.push_back(this);
    }
    ~MenuTracker() {
        close_from(0);
        std::lock_guard lock(registry().mutex);
        std::erase(registry().trackers, this);
    }

    MenuResult run(const std::vector<MenuItem>& items, platform::Point at) {
        open(items, at);
        if (m_options.highlight_first)
            highlight(0, next_item(0, -1, +1));
        platform::set_capture(m_levels.front().window);
        while (!m_done) {
            platform::Message message;
            if (!platform::get_message(message)) {
                platform::post_quit_message(0);
                break;
            }
            if (is_key(message.number)) {
                key(message);
                continue;
            }
            platform::dispatch_message(message);
            if (!m_done && !m_levels.empty() && platform::capture_window() != m_levels.front().window)
                m_done = true; // another window took the mouse: the menu closes
        }
        if (!m_levels.empty() && platform::capture_window() == m_levels.front().window)
            platform::release_capture();
        return m_result;
    }

    std::vector<OpenMenu> open_menus() const {
        std::vector<OpenMenu> menus;
        for (const Level& level : m_levels)
            menus.push_back({level.window, level.items});
        return menus;
    }

    bool choose_path(std::string_view path) {
        if (m_levels.empty())
            return false;
        const MenuItem* item = FindMenuItem(*m_levels.back().items, path);
        if (!item || !item->selectable())
            return false;
        finish(MenuResult::Exit::Chosen, item);
        return true;
    }

    intptr_t message(platform::WindowHandle window, const platform::Message& message) {
        if (message.number == MsgRunOnWindowThread) {
            if (auto* call = reinterpret_cast<std::function<void()>*>(message.lparam))
                (*call)();
            return 0;
        }
        Level* level = level_of(window);
        if (!level)
            return platform::default_window_procedure(message);
        switch (message.number) {
        case platform::MsgPaint: {
            platform::PaintSession session(window);
            if (session.valid()) {
                painter::Painter painter(*session.pixels(), session.origin(), session.clip());
                paint(*level, painter);
            }
            return 0;
        }
        case platform::MsgMouseMove:
        case platform::MsgLButtonDown:
        case platform::MsgLButtonUp:
        case platform::MsgRButtonDown:
        case platform::MsgRButtonUp:
            mouse(window, message);
            return 0;
        default:
            return platform::default_window_procedure(message);
        }
    }

private:
    static bool is_key(uint32_t number) {
        return number >= platform::MsgKeyDown && number <= platform::MsgSysChar;
    }

    Level* level_of(platform::WindowHandle window) {
        for (Level& level : m_levels)
            if (level.window == window)
                return &level;
        return nullptr;
    }

    static int item_height(const MenuItem& item, int text_height) {
        return item.kind == MenuItem::Kind::Separator ? SeparatorHeight : text_height + 6;
    }

    void open(const std::vector<MenuItem>& items, platform::Point at) {
        static std::once_flag once;
        std::call_once(once, [] {
            platform::WindowClass popup;
            popup.name = std::string(PopupClass);
            popup.procedure = [](void* user_data, const platform::Message& message) -> intptr_t {
                auto* tracker = static_cast<MenuTracker*>(user_data);
                return tracker ? tracker->message(message.window, message)
                               : platform::default_window_procedure(message);
            };
            platform::register_window_class(popup);
        });
        const std::shared_ptr<painter::Font> font = menu_font();
        const int text_height = font ? font->metrics().height : 13;
        int text_width = 40, shortcut_width = 0, height = 0;
        Level level;
        level.items = &items;
        for (const MenuItem& item : items) {
            if (font && item.kind != MenuItem::Kind::Separator) {
                text_width = std::max(text_width, font->text_width(item.plain_text()));
                if (!item.shortcut.empty())
                    shortcut_width = std::max(shortcut_width, font->text_width(item.shortcut));
            }
            height += item_height(item, text_height);
        }
        const int width = 2 * Frame + CheckColumn + text_width +
                          (shortcut_width ? ShortcutGap + shortcut_width : 0) + ArrowColumn;
        int y = Frame;
        for (const MenuItem& item : items) {
            const int h = item_height(item, text_height);
            level.rects.push_back(platform::Rect::FromSize(Frame, y, width - 2 * Frame, h));
            y += h;
        }
        level.screen = platform::Rect::FromSize(at.x, at.y, width, std::max(height, 4) + 2 * Frame);
        platform::CreateWindowParams params;
        params.class_name = std::string(PopupClass);
        params.rect = level.screen;
        params.owner = m_owner;
        params.style = platform::StyleVisible;
        params.user_data = this;
        level.window = platform::create_window(params);
        m_shortcut_width = std::max(m_shortcut_width, shortcut_width);
        m_levels.push_back(std::move(level));
    }

    void close_from(std::size_t depth) {
        while (m_levels.size() > depth) {
            const platform::WindowHandle window = m_levels.back().window;
            m_levels.pop_back();
            if (window) {
                platform::set_window_user_data(window, nullptr);
                platform::destroy_window(window);
            }
        }
    }

    int next_item(std::size_t depth, int from, int step) const {
        const auto& items = *m_levels[depth].items;
        const int count = static_cast<int>(items.size());
        for (int i = 1; i <= count; ++i) {
            const int at = ((from + step * i) % count + count) % count;
            if (items[static_cast<std::size_t>(at)].kind != MenuItem::Kind::Separator)
                return at;
        }
        return -1;
    }

    void highlight(std::size_t depth, int index) {
        Level& level = m_levels[depth];
        if (level.highlighted == index)
            return;
        level.highlighted = index;
        platform::invalidate(level.window);
    }

    void open_submenu(std::size_t depth, bool select_first) {
        Level& level = m_levels[depth];
        if (level.highlighted < 0)
            return;
        const MenuItem& item = (*level.items)[static_cast<std::size_t>(level.highlighted)];
        if (item.kind != MenuItem::Kind::Submenu || item.disabled)
            return;
        close_from(depth + 1);
        const platform::Rect rect = level.rects[static_cast<std::size_t>(level.highlighted)];
        open(item.children, {level.screen.right - Frame, level.screen.top + rect.top - Frame});
        if (select_first)
            highlight(depth + 1, next_item(depth + 1, -1, +1));
    }

    void finish(MenuResult::Exit exit, const MenuItem* item = nullptr) {
        m_result = {exit, item};
        m_done = true;
        // Wakes the tracking loop when the choice came from a sent call.
        if (!m_levels.empty())
            platform::post_message({m_levels.front().window, platform::MsgNull, 0, 0});
    }

    void activate(std::size_t depth) {
        Level& level = m_levels[depth];
        if (level.highlighted < 0)
            return;
        const MenuItem& item = (*level.items)[static_cast<std::size_t>(level.highlighted)];
        if (item.kind == MenuItem::Kind::Submenu)
            open_submenu(depth, true);
        else if (item.selectable())
            finish(MenuResult::Exit::Chosen, &item);
    }

    void key(const platform::Message& message) {
        if (message.number == platform::MsgChar || message.number == platform::MsgSysChar) {
            // A mnemonic of the innermost menu.
            const std::size_t depth = m_levels.size() - 1;
            const auto& items = *m_levels[depth].items;
            const char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(message.wparam)));
            for (std::size_t i = 0; i < items.size(); ++i)
                if (items[i].mnemonic() == wanted && items[i].kind != MenuItem::Kind::Separator) {
                    highlight(depth, static_cast<int>(i));
                    activate(depth);
                    return;
                }
            return;
        }
        if (message.number != platform::MsgKeyDown && message.number != platform::MsgSysKeyDown)
            return;
        const std::size_t depth = m_levels.size() - 1;
        switch (message.wparam) {
        case platform::VkUp:
            highlight(depth, next_item(depth, m_levels[depth].highlighted, -1));
            break;
        case platform::VkDown:
            highlight(
                depth,
                next_item(depth, m_levels[depth].highlighted < 0 ? -1 : m_levels[depth].highlighted, +1));
            break;
        case platform::VkRight:
            if (m_levels[depth].highlighted >= 0 &&
                (*m_levels[depth].items)[static_cast<std::size_t>(m_levels[depth].highlighted)].kind ==
                    MenuItem::Kind::Submenu)
                open_submenu(depth, true);
            else if (m_options.from_menu_bar)
                finish(MenuResult::Exit::MoveRight);
            break;
        case platform::VkLeft:
            if (depth > 0)
                close_from(depth);
            else if (m_options.from_menu_bar)
                finish(MenuResult::Exit::MoveLeft);
            break;
        case platform::VkReturn:
        case platform::VkSpace:
            activate(depth);
            break;
        case platform::VkEscape:
            if (depth > 0)
                close_from(depth);
            else
                finish(MenuResult::Exit::Cancelled);
            break;
        case platform::VkMenu:
        case platform::VkF1 + 9: // F10
            finish(MenuResult::Exit::Cancelled);
            break;
        default:
            break;
        }
    }

    void mouse(platform::WindowHandle window, const platform::Message& message) {
        const platform::Point local{platform::LowWordSigned(message.lparam),
                                    platform::HighWordSigned(message.lparam)};
        const platform::Point screen = platform::map_point(window, 0, local);
        // The deepest menu under the pointer.
        for (std::size_t depth = m_levels.size(); depth-- > 0;) {
            Level& level = m_levels[depth];
            if (!level.screen.contains(screen))
                continue;
            const platform::Point at{screen.x - level.screen.left, screen.y - level.screen.top};
            int index = -1;
            for (std::size_t i = 0; i < level.rects.size(); ++i)
                if (level.rects[i].contains(at) && (*level.items)[i].kind != MenuItem::Kind::Separator)
                    index = static_cast<int>(i);
            if (message.number == platform::MsgMouseMove || message.number == platform::MsgLButtonDown) {
                if (index >= 0 && index != level.highlighted) {
                    highlight(depth, index);
                    close_from(depth + 1);
                    open_submenu(depth, false);
                }
            } else if (message.number == platform::MsgLButtonUp || message.number == platform::MsgRButtonUp) {
                if (index >= 0) {
                    highlight(depth, index);
                    activate(depth);
                }
            }
            return;
        }
        // A press outside every menu closes them all.
        if (message.number == platform::MsgLButtonDown || message.number == platform::MsgRButtonDown)
            finish(MenuResult::Exit::Cancelled);
    }

    void paint(const Level& level, painter::Painter& painter) {
        using painter::SystemColor;
        const platform::Rect all =
            platform::Rect::FromSize(0, 0, level.screen.width(), level.screen.height());
        painter.fill_rect(all, painter::system_color(SystemColor::Menu));
        painter.draw_border(all, painter::Border::RaisedDouble);
        const std::shared_ptr<painter::Font> font = menu_font();
        if (!font)
            return;
        painter::TextFormat format;
        format.single_line = true;
        format.mnemonic = true;
        format.vertical = painter::VerticalAlign::Center;
        for (std::size_t i = 0; i < level.items->size(); ++i) {
            const MenuItem& item = (*level.items)[i];
            const platform::Rect rect = level.rects[i];
            if (item.kind == MenuItem::Kind::Separator) {
                painter.draw_border({rect.left + 1, rect.top + rect.height() / 2 - 1, rect.right - 1,
                                     rect.top + rect.height() / 2 + 1},
                                    painter::Border::Sunken);
                continue;
            }
            const bool hot = static_cast<int>(i) == level.highlighted;
            if (hot)
                painter.fill_rect(rect, painter::system_color(SystemColor::Highlight));
            const painter::Color ink = painter::system_color(
                hot ? (item.disabled ? SystemColor::GrayText : SystemColor::HighlightText)
                    : SystemColor::MenuText);
            const bool embossed = item.disabled && !hot;
            if (item.checked)
                DrawCheckMark(painter,
                              platform::Rect::FromSize(rect.left, rect.top, CheckColumn, rect.height()),
                              embossed ? painter::system_color(SystemColor::GrayText) : ink);
            if (!item.icon.empty())
                if (const painter::Image* icon = ProgramImages().Get(
                        ProgramImages().LoadIcon(ImageReferenceOfName(item.icon, ImageUse::Icon, ""), 0)))
                    DrawCentredImage(
                        painter, platform::Rect::FromSize(rect.left + 2, rect.top + 1, 16, rect.height() - 2),
                        *icon, !item.disabled);
            const platform::Rect text{rect.left + CheckColumn, rect.top, rect.right - ArrowColumn,
                                      rect.bottom};
            DrawControlText(painter, text, item.text, *font, ink, !embossed, format);
            if (!item.shortcut.empty()) {
                painter::TextFormat right = format;
                right.mnemonic = false;
                right.horizontal = painter::HorizontalAlign::Right;
                DrawControlText(painter, text, item.shortcut, *font, ink, !embossed, right);
            }
            if (item.kind == MenuItem::Kind::Submenu)
                DrawArrow(
                    painter,
                    platform::Rect::FromSize(rect.right - ArrowColumn, rect.top, ArrowColumn, rect.height()),
                    ArrowDirection::Right, 4, ink);
        }
    }

    platform::WindowHandle m_owner;
    MenuTrackOptions m_options;
    std::vector<Level> m_levels;
    int m_shortcut_width = 0;
    bool m_done = false;
    MenuResult m_result;
};

} // namespace

MenuResult TrackMenu(const std::vector<MenuItem>& items, platform::WindowHandle owner,
                     platform::Point screen_at, const MenuTrackOptions& options) {
    if (items.empty())
        return {};
    MenuTracker tracker(items, owner, options);
    return tracker.run(items, screen_at);
}

int32_t POPUP(std::string_view menu_text, std::optional<platform::Point> screen_at) {
    const std::vector<MenuItem> items = ParseMenuText(menu_text);
    Window* window = CurrentWindow();
    const platform::WindowHandle owner = window ? window->handle() : 0;
    platform::Point at = screen_at.value_or(platform::Point{});
    if (!screen_at)
        at = platform::pointer_position();
    const MenuResult result = TrackMenu(items, owner, at);
    if (result.exit != MenuResult::Exit::Chosen)
        return 0;
    const std::vector<const MenuItem*> choosable = ChoosableItems(items);
    const auto found = std::find(choosable.begin(), choosable.end(), result.item);
    return found == choosable.end() ? 0 : static_cast<int32_t>(found - choosable.begin()) + 1;
}

std::vector<OpenMenu> OpenMenus() {
    std::lock_guard lock(registry().mutex);
    std::vector<OpenMenu> menus;
    for (MenuTracker* tracker : registry().trackers) {
        const std::vector<OpenMenu> open = tracker->open_menus();
        menus.insert(menus.end(), open.begin(), open.end());
    }
    return menus;
}

bool ChooseInOpenMenu(std::string_view path) {
    std::lock_guard lock(registry().mutex);
    return !registry().trackers.empty() && registry().trackers.back()->choose_path(path);
}

} // namespace morvex
