#include "window/menu.h"

#include "runtime/char_tables.h"

namespace morvex {

namespace {

std::string upper(std::string_view text) {
    std::string out;
    for (const char c : text)
        if (c != '&')
            out += static_cast<char>(ToUpperChar(static_cast<uint8_t>(c)));
    return out;
}

MenuItem item_of_text(std::string_view text) {
    MenuItem item;
    if (text == "-") {
        item.kind = MenuItem::Kind::Separator;
        return item;
    }
    if (!text.empty() && text.front() == '~') {
        item.disabled = true;
        text.remove_prefix(1);
    }
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        item.checkable = true;
        item.checked = text.front() == '+';
        text.remove_prefix(1);
    }
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close != std::string_view::npos) {
            item.icon = std::string(text.substr(1, close - 1));
            text.remove_prefix(close + 1);
        }
    }
    item.text = std::string(text);
    return item;
}

void collect(const std::vector<MenuItem>& items, std::vector<const MenuItem*>& out) {
    for (const MenuItem& item : items) {
        if (item.kind == MenuItem::Kind::Item)
            out.push_back(&item);
        else if (item.kind == MenuItem::Kind::Submenu)
            collect(item.children, out);
    }
}

} // namespace

char MenuItem::mnemonic() const {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '&')
            continue;
        if (text[i + 1] == '&') {
            ++i;
            continue;
        }
        return static_cast<char>(ToUpperChar(static_cast<uint8_t>(text[i + 1])));
    }
    return 0;
}

std::string MenuItem::plain_text() const {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

std::vector<MenuItem> MenuFromDefinition(const std::vector<MenuItemDefinition>& items) {
    std::vector<MenuItem> menu;
    for (const MenuItemDefinition& d : items) {
        MenuItem item;
        item.kind = d.kind == MenuItemDefinition::Kind::Submenu     ? MenuItem::Kind::Submenu
                    : d.kind == MenuItemDefinition::Kind::Separator ? MenuItem::Kind::Separator
                                                                    : MenuItem::Kind::Item;
        item.text = d.text;
        item.shortcut = d.shortcut;
        item.use = d.use;
        item.disabled = (d.attributes & wdf::MenuItemDisabled) != 0;
        item.checked = (d.attributes & wdf::MenuItemChecked) != 0;
        item.checkable = item.checked || (d.attributes & wdf::MenuItemCheckable) != 0;
        if (d.icon.kind != ImageReference::Kind::None)
            item.icon = d.icon.kind == ImageReference::Kind::Linked ? "~" + d.icon.name : d.icon.name;
        item.children = MenuFromDefinition(d.children);
        menu.push_back(std::move(item));
    }
    return menu;
}

std::vector<MenuItem> ParseMenuText(std::string_view text) {
    // A stack of the lists being filled: "{" descends into the last item.
    std::vector<std::vector<MenuItem>> stack(1);
    std::size_t start = 0;
    const auto flush = [&](std::size_t end) {
        if (end > start)
            stack.back().push_back(item_of_text(text.substr(start, end - start)));
    };
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : '|';
        if (c != '|' && c != '{' && c != '}')
            continue;
        // "[" ... "]" may hold any of these characters in an icon name.
        const std::size_t open = text.rfind('[', i);
        if (i < text.size() && open != std::string_view::npos && open >= start && text.find(']', open) > i)
            continue;
        flush(i);
        start = i + 1;
        if (c == '{') {
            if (stack.back().empty())
                stack.back().push_back(MenuItem{});
            stack.emplace_back();
        } else if (c == '}' && stack.size() > 1) {
            std::vector<MenuItem> children = std::move(stack.back());
            stack.pop_back();
            MenuItem& parent = stack.back().back();
            parent.kind = MenuItem::Kind::Submenu;
            parent.children = std::move(children);
        }
    }
    // Submenus left open at the end close there.
    while (stack.size() > 1) {
        std::vector<MenuItem> children = std::move(stack.back());
        stack.pop_back();
        stack.back().back().kind = MenuItem::Kind::Submenu;
        stack.back().back().children = std::move(children);
    }
    return std::move(stack.front());
}

std::vector<const MenuItem*> ChoosableItems(const std::vector<MenuItem>& items) {
    std::vector<const MenuItem*> out;
    collect(items, out);
    return out;
}

const MenuItem* FindMenuItem(const std::vector<MenuItem>& items, std::string_view path) {
    const std::size_t bar = path.find('|');
    const std::string wanted = upper(path.substr(0, bar));
    for (const MenuItem& item : items) {
        if (item.kind == MenuItem::Kind::Separator || upper(item.text) != wanted)
            continue;
        if (bar == std::string_view::npos)
            return &item;
        return FindMenuItem(item.children, path.substr(bar + 1));
    }
    return nullptr;
}

} // namespace morvex
