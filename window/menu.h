// Menus: the items of a menu bar or popup menu, built from a window
// definition's menu records or from menu text, where items are separated by
// "|", "{" after an item opens its submenu and "}" closes it, "-" is a
// separator, and an item's text may start with "~" (disabled), "+" or "-"
// (checkable, checked or not) and "[icon]" (an image reference), in that
// order: "&Open|{&Recent|One|Two}|-|~&Print|+&Wrap|[~SAVE.ICO]&Save".
#pragma once

#include "window/window_definition.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

struct MenuItem {
    enum class Kind { Item, Submenu, Separator };
    Kind kind = Kind::Item;
    std::string text;     // with its "&" mnemonic marker
    std::string shortcut; // key name shown on the right ("Ctrl+P")
    int32_t use = 0;      // the number its events carry
    bool disabled = false;
    bool checkable = false;
    bool checked = false;
    std::string icon; // an image reference, empty = none
    std::vector<MenuItem> children;

    bool selectable() const { return kind == Kind::Item && !disabled; }
    // The mnemonic letter, upper case, or 0.
    char mnemonic() const;
    // The text without "&" markers.
    std::string plain_text() const;
};

std::vector<MenuItem> MenuFromDefinition(const std::vector<MenuItemDefinition>& items);
std::vector<MenuItem> ParseMenuText(std::string_view text);

// The items a choice can land on (not separators, not submenus), in menu
// order, disabled ones included: the number a chosen item is counted by.
std::vector<const MenuItem*> ChoosableItems(const std::vector<MenuItem>& items);

// Follows a path of texts ("File|Exit", "&" markers and case ignored)
// through the items; nullptr when it leads nowhere.
const MenuItem* FindMenuItem(const std::vector<MenuItem>& items, std::string_view path);

} // namespace morvex
