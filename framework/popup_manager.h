// The popup manager: a right-click menu built from named items. Each item
// may post an event to a control when it is chosen (a mimicking item stands
// for a button and presses it); Ask shows the menu and returns the chosen
// item's name. The same items can be shown as a small toolbox window
// ("fwpopup") of buttons, which runs on a thread of its own beside the
// procedure's window and posts to the procedure's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

class IniManager;
class Window;
class WindowTranslator;
struct ToolboxLink;

struct PopupItem {
    int16_t CONTROLID = 0;
    uint16_t DEPTH = 0;
    uint16_t EVENT = 0;
    uint8_t MIMICMODE = 0;
    uint8_t DISABLED = 0;
    uint8_t CHECK = 0; // 0 none, 1 checked, other: checkable, not checked
    uint8_t ONTOOLBOX = 0;
    std::string ICON;
    std::string NAME;
    std::string TEXT; // "-" is a separator
};

class PopupManager {
public:
    // The window definitions of the framework (the toolbox) are found under this procedure name.
    static constexpr std::string_view ToolboxProcedure = "fwpopup";
    static constexpr std::size_t NameLimit = 1024;

    PopupManager() = default;
    ~PopupManager();
    PopupManager(const PopupManager&) = delete;
    PopupManager& operator=(const PopupManager&) = delete;

    void Init();
    void Kill();

    // The item named `text` when there is one, else a new item with a
    // name made from the text; it posts `event` to `control`. Its name.
    std::string AddItem(std::string_view text, uint16_t event = 0, int32_t control = 0);
    // An item that presses `button`, shown as `menu_text`.
    std::string AddItemMimic(std::string_view menu_text, std::string_view text, int32_t button);
    std::string AddSeparator();

    // Item settings by name; false when no item has the name.
    bool SetItemEnable(std::string_view name, bool enabled);
    bool SetItemCheck(std::string_view name, bool checked);
    bool SetIcon(std::string_view name, std::string_view icon);
    // The submenu level (0 top): an item deeper than the one before opens a submenu.
    bool SetLevel(std::string_view name, uint16_t depth);
    bool DeleteItem(std::string_view name);
    std::optional<bool> GetItemChecked(std::string_view name) const;
    const PopupItem* item(std::string_view name) const;

    // The menu text of the items, as Ask shows it.
    std::string MenuText() const;
    // Shows the menu at the pointer; the chosen item's name, empty when none.
    std::string Ask();
    // Does what choosing the item does: its event posted to its control.
    void TakeItem(const PopupItem& item);

    // Opens the toolbox of the items marked for it (at most one at a time);
    // it stays open until it is closed or the manager is killed.
    void Toolbox(std::string_view title);
    // Closes the toolbox, if open.
    void CloseToolbox();

    uint8_t CLEARKEYCODE = 0;
    std::string LASTSELECTION;
    std::unique_ptr<std::vector<PopupItem>> POPUPITEMS;
    WindowTranslator* TRANSLATOR = nullptr;
    // When set, the toolbox reopens where the user last left it.
    IniManager* INIMGR = nullptr;
    uint8_t INTOOLBOX = 0;
    int32_t MYTHREAD = 0;
    Window* PARENTWINDOW = nullptr;
    Window* THISWINDOW = nullptr;

private:
    friend struct ToolboxRun;
    PopupItem* find(std::string_view name);
    std::string unique_name(std::string_view text) const;
    std::string shown_text(const PopupItem& item) const;
    std::weak_ptr<ToolboxLink> m_toolbox; // while the toolbox is open
};

} // namespace morvex
