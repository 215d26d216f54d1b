#include "framework/popup_manager.h"

#include "framework/framework_windows.h"
#include "framework/ini_manager.h"
#include "framework/window_parts.h"
#include "runtime/threads.h"
#include "window/accept.h"
#include "window/engine_object.h"
#include "window/menu_popup.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/window.h"
#include "window/window_registry.h"

#include <algorithm>
#include <cctype>
#include <functional>

namespace morvex {

namespace {

constexpr std::string_view SeparatorText = "-";
constexpr std::string_view SeparatorName = "Separator";
// The base name of an item whose text holds no letter, digit or underscore,
// so that no item has an empty name (an empty name means "nothing chosen").
constexpr std::string_view PlainItemName = "Item";

// The toolbox window: its buttons, their height in dialog units, the room around them.
constexpr std::string_view ToolboxLabel = "Toolbox";
constexpr int32_t ToolboxButtons = 12;
constexpr int32_t ToolboxButtonStep = 16;
constexpr int32_t ToolboxMargin = 4;
constexpr std::string_view ToolboxSection = "fwpopup";

bool name_character(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The menu text's own characters cannot be part of an item's text.
std::string menu_safe(std::string_view text) {
    std::string safe;
    for (const char c : text)
        if (c != '|' && c != '{' && c != '}')
            safe.push_back(c);
    return safe;
}

} // namespace

// The toolbox's link to its manager: cut when the manager is killed, so a
// toolbox still closing never reaches a manager that is gone. Everything
// here runs under the runtime lock.
struct ToolboxLink {
    PopupManager* manager = nullptr;
    IniManager* ini = nullptr;    // program-wide: outlives the manager
    std::vector<PopupItem> items; // the items on the toolbox, in button order
    std::string title;
};

struct ToolboxRun {
    static inline std::shared_ptr<ToolboxLink> pending;

    static void run() {
        const std::shared_ptr<ToolboxLink> link = std::move(pending);
        if (!link || !link->manager)
            return;
        // The window is shaped before it opens: a button per item, the rest hidden.
        Window window;
        window.Load(PopupManager::ToolboxProcedure, ToolboxLabel);
        const int32_t shown = std::min<int32_t>(ToolboxButtons, static_cast<int32_t>(link->items.size()));
        window.definition_to_shape().caption = link->title;
        window.definition_to_shape().height = std::max(1, shown) * ToolboxButtonStep + ToolboxMargin;
        for (ControlDefinition& button : window.controls_to_shape()) {
            if (button.feq < 1 || button.feq > shown)
                continue;
            const PopupItem& item = link->items[static_cast<std::size_t>(button.feq - 1)];
            button.text = link->manager->shown_text(item);
            button.attributes &= ~AttrHidden;
            if (item.DISABLED)
                button.attributes |= AttrDisabled;
        }
        window.Open();
        link->manager->THISWINDOW = &window;
        if (IniManager* ini = link->ini) {
            const std::string x = ini->FetchField(ToolboxSection, link->title, 1);
            const std::string y = ini->FetchField(ToolboxSection, link->title, 2);
            if (!x.empty() && !y.empty() && x != IniManager::Unknown) {
                SetProperty(&window, 0, Prop::XPos, x);
                SetProperty(&window, 0, Prop::YPos, y);
            }
        }
        ACCEPT(window, [&] {
            const int32_t button = ACCEPTED();
            if (button >= 1 && button <= shown && link->manager)
                link->manager->TakeItem(link->items[static_cast<std::size_t>(button - 1)]);
            if (EVENT() == Event::CloseWindow && link->ini)
                link->ini->Update(ToolboxSection, link->title,
                                  GetProperty(&window, 0, Prop::XPos) + "," +
                                      GetProperty(&window, 0, Prop::YPos));
            return LoopOutcome::Completed;
        });
        if (link->manager) {
            link->manager->INTOOLBOX = 0;
            link->manager->THISWINDOW = nullptr;
        }
        window.Close();
    }
};

PopupManager::~PopupManager() {
    CloseToolbox();
}

void PopupManager::Init() {
    POPUPITEMS = std::make_unique<std::vector<PopupItem>>();
    MYTHREAD = THREAD();
    PARENTWINDOW = CurrentWindow();
}

void PopupManager::Kill() {
    CloseToolbox();
    POPUPITEMS.reset();
}

std::string PopupManager::AddItem(std::string_view text, uint16_t event, int32_t control) {
    if (!POPUPITEMS)
        Init();
    PopupItem* item = find(text);
    if (!item) {
        PopupItem added;
        added.NAME = unique_name(text);
        added.TEXT = std::string(text.substr(0, NameLimit));
        POPUPITEMS->push_back(std::move(added));
        item = &POPUPITEMS->back();
    }
    item->CONTROLID = static_cast<int16_t>(control);
    item->EVENT = event;
    item->ONTOOLBOX = 1;
    item->MIMICMODE = 0;
    return item->NAME;
}

std::string PopupManager::AddItemMimic(std::string_view menu_text, std::string_view text, int32_t button) {
    const std::string name = AddItem(text, Event::Accepted, button);
    PopupItem* item = find(name);
    item->TEXT = std::string(menu_text.substr(0, NameLimit));
    item->MIMICMODE = 1;
    item->ONTOOLBOX = 1;
    return name;
}

std::string PopupManager::AddSeparator() {
    if (!POPUPITEMS)
        Init();
    PopupItem separator;
    separator.NAME = unique_name(SeparatorText);
    separator.TEXT = std::string(SeparatorText);
    POPUPITEMS->push_back(separator);
    return separator.NAME;
}

bool PopupManager::SetItemEnable(std::string_view name, bool enabled) {
    PopupItem* item = find(name);
    if (item)
        item->DISABLED = enabled ? 0 : 1;
    return item != nullptr;
}

bool PopupManager::SetItemCheck(std::string_view name, bool checked) {
    PopupItem* item = find(name);
    if (item)
        item->CHECK = checked ? 1 : 2;
    return item != nullptr;
}

bool PopupManager::SetIcon(std::string_view name, std::string_view icon) {
    PopupItem* item = find(name);
    if (item)
        item->ICON = std::string(icon.substr(0, 255));
    return item != nullptr;
}

bool PopupManager::SetLevel(std::string_view name, uint16_t depth) {
    PopupItem* item = find(name);
    if (item)
        item->DEPTH = depth;
    return item != nullptr;
}

bool PopupManager::DeleteItem(std::string_view name) {
    PopupItem* item = find(name);
    if (item)
        POPUPITEMS->erase(POPUPITEMS->begin() + (item - POPUPITEMS->data()));
    return item != nullptr;
}

std::optional<bool> PopupManager::GetItemChecked(std::string_view name) const {
    const PopupItem* found = item(name);
    if (!found || found->CHECK == 0)
        return std::nullopt;
    return found->CHECK == 1;
}

const PopupItem* PopupManager::item(std::string_view name) const {
    if (!POPUPITEMS)
        return nullptr;
    const auto found = std::find_if(POPUPITEMS->begin(), POPUPITEMS->end(),
                                    [&](const PopupItem& i) { return i.NAME == name; });
    return found == POPUPITEMS->end() ? nullptr : &*found;
}

PopupItem* PopupManager::find(std::string_view name) {
    return const_cast<PopupItem*>(item(name));
}

std::string PopupManager::unique_name(std::string_view text) const {
    std::string base;
    if (text == SeparatorText) {
        base = std::string(SeparatorName);
    } else {
        for (const char c : text)
            if (name_character(c))
                base.push_back(c);
        if (base.empty())
            base = std::string(PlainItemName);
    }
    base.resize(std::min(base.size(), NameLimit - 10));
    if (!item(base))
        return base;
    for (int n = 1;; ++n) {
        const std::string candidate = base + std::to_string(n);
        if (!item(candidate))
            return candidate;
    }
}

std::string PopupManager::shown_text(const PopupItem& item) const {
    return menu_safe(TRANSLATOR ? TRANSLATOR->TranslateString(item.TEXT) : item.TEXT);
}

// Items deeper than the one before open a submenu one level down (a deeper
// jump counts as one level); the chosen entry's number counts the entries a
// choice can land on: not separators, not submenu titles.
namespace {

struct MenuPlan {
    std::string text;
    std::vector<std::size_t> choosable; // item indices, in menu order
};

MenuPlan plan_menu(const std::vector<PopupItem>& items,
                   const std::function<std::string(const PopupItem&)>& shown) {
    MenuPlan plan;
    std::vector<int> depth(items.size(), 0);
    for (std::size_t i = 0; i < items.size(); ++i)
        depth[i] = i == 0 ? 0 : std::min<int>(items[i].DEPTH, depth[i - 1] + 1);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            if (depth[i] > depth[i - 1])
                plan.text += "{";
            else
                plan.text += std::string(static_cast<std::size_t>(depth[i - 1] - depth[i]), '}') + "|";
        }
        const PopupItem& item = items[i];
        if (item.TEXT == SeparatorText) {
            plan.text += "-";
            continue;
        }
        if (item.DISABLED)
            plan.text += "~";
        if (item.CHECK != 0)
            plan.text += item.CHECK == 1 ? "+" : "-";
        if (!item.ICON.empty())
            plan.text += "[" + menu_safe(item.ICON) + "]";
        plan.text += shown(item);
        const bool title = i + 1 < items.size() && depth[i + 1] > depth[i];
        if (!title)
            plan.choosable.push_back(i);
    }
    return plan;
}

} // namespace

std::string PopupManager::MenuText() const {
    if (!POPUPITEMS)
        return {};
    return plan_menu(*POPUPITEMS, [this](const PopupItem& item) { return shown_text(item); }).text;
}

std::string PopupManager::Ask() {
    if (!POPUPITEMS || POPUPITEMS->empty())
        return {};
    const MenuPlan plan = plan_menu(*POPUPITEMS, [this](const PopupItem& item) { return shown_text(item); });
    const int32_t chosen = POPUP(plan.text);
    if (chosen < 1 || static_cast<std::size_t>(chosen) > plan.choosable.size())
        return {};
    const PopupItem item = (*POPUPITEMS)[plan.choosable[static_cast<std::size_t>(chosen - 1)]];
    LASTSELECTION = item.NAME;
    TakeItem(item);
    return item.NAME;
}

void PopupManager::TakeItem(const PopupItem& item) {
    if (item.EVENT == 0 && !item.MIMICMODE)
        return;
    if (CLEARKEYCODE)
        SETKEYCODE(0);
    POST(item.MIMICMODE ? Event::Accepted : item.EVENT, item.CONTROLID, MYTHREAD);
}

void PopupManager::Toolbox(std::string_view title) {
    if (INTOOLBOX || !POPUPITEMS)
        return;
    RegisterFrameworkWindows();
    auto link = std::make_shared<ToolboxLink>();
    link->manager = this;
    link->ini = INIMGR;
    link->title = std::string(title);
    for (const PopupItem& item : *POPUPITEMS)
        if (item.ONTOOLBOX && item.TEXT != SeparatorText)
            link->items.push_back(item);
    m_toolbox = link;
    ToolboxRun::pending = link;
    if (START(ToolboxRun::run, 0) == 0) {
        ToolboxRun::pending.reset();
        m_toolbox.reset();
        return;
    }
    INTOOLBOX = 1;
}

void PopupManager::CloseToolbox() {
    if (const std::shared_ptr<ToolboxLink> link = m_toolbox.lock()) {
        link->manager = nullptr;
        if (THISWINDOW && THISWINDOW->IsOpen())
            PostEvent(*THISWINDOW, Event::CloseWindow);
    }
    m_toolbox.reset();
    INTOOLBOX = 0;
    THISWINDOW = nullptr;
}

} // namespace morvex
