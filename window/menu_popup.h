// Popup menus: a menu shown in windows of its own above the others, and the
// modal tracking that lets the user choose from it with the mouse or the
// keyboard (arrows, Enter, Escape, mnemonics, submenus opening to the
// right). The thread's other windows keep painting meanwhile; input goes to
// the menu until it closes.
#pragma once

#include "platform/geometry.h"
#include "platform/message_queue.h"
#include "window/menu.h"

#include <optional>
#include <string_view>
#include <vector>

namespace morvex {

struct MenuResult {
    enum class Exit {
        Chosen,
        Cancelled,
        // A menu opened from a menu bar: the user went to the neighbouring title.
        MoveLeft,
        MoveRight,
    };
    Exit exit = Exit::Cancelled;
    const MenuItem* item = nullptr;
};

struct MenuTrackOptions {
    // Left and Right at the top level leave the menu for the neighbouring one.
    bool from_menu_bar = false;
    // The first item starts highlighted (keyboard opening).
    bool highlight_first = false;
};

// Shows `items` with the top-left corner at `screen_at` (owned by
// `owner`, a top-level window) and returns what the user did.
MenuResult TrackMenu(const std::vector<MenuItem>& items, platform::WindowHandle owner,
                     platform::Point screen_at, const MenuTrackOptions& options = {});

// POPUP: shows the menu text at the pointer (or at `screen_at`) over the
// thread's current window; the number of the chosen item among the items a
// choice can land on (1-based), 0 when none was chosen.
int32_t POPUP(std::string_view menu_text, std::optional<platform::Point> screen_at = std::nullopt);

// The popup menus open now (the script driver chooses in them).
struct OpenMenu {
    platform::WindowHandle window = 0;
    const std::vector<MenuItem>* items = nullptr;
};
std::vector<OpenMenu> OpenMenus();
// Chooses an item of the innermost open menu by its path of texts (as a
// click would); false when no menu is open or the path leads nowhere.
bool ChooseInOpenMenu(std::string_view path);

} // namespace morvex
