// The toolbar manager: forwards the buttons of the program's common toolbar
// to the target that is current in the procedure's window. A target (a
// browse, a form) turns the navigation buttons into scroll events of its
// list and the Insert, Change, Delete, Select and Help buttons into presses
// of its own buttons. Targets are kept in ascending order of the control
// they are bound to.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace morvex {

class Window;
class WindowController;

// The common toolbar's buttons (field numbers).
enum ToolbarButton : int32_t {
    ToolbarInsert = 2000,
    ToolbarChange = 2001,
    ToolbarDelete = 2002,
    ToolbarSelect = 2003,
    ToolbarBottom = 2004, // last page
    ToolbarTop = 2005,    // first page
    ToolbarPageDown = 2006,
    ToolbarPageUp = 2007,
    ToolbarDown = 2008, // next record
    ToolbarUp = 2009,   // prior record
    ToolbarLocate = 2010,
    ToolbarHistory = 2011,
    ToolbarHelp = 2012,
};

class ToolbarTarget {
public:
    virtual ~ToolbarTarget() = default;
    // The method table, in slot order.
    virtual void DisplayButtons() = 0;
    virtual void TakeToolbar() = 0;
    // Takes the toolbar when the target can (its list is visible).
    virtual bool TryTakeToolbar() = 0;
    // A toolbar button was accepted in `controller`'s window.
    virtual void TakeEvent(int32_t* navigation_request, WindowController& controller) = 0;

    int32_t CONTROL = 0; // the control the target is bound to
};

struct ToolbarTargetRecord {
    int32_t ID = 0;
    ToolbarTarget* ITEM = nullptr;
};

class ToolbarManager {
public:
    virtual ~ToolbarManager() = default;

    // The method table, in slot order.
    virtual void DisplayButtons();
    virtual void Kill();
    virtual void TakeEvent(int32_t* navigation_request, WindowController& controller);

    void Init();
    void AddTarget(ToolbarTarget& target, int32_t control);
    // Forgets a target (its owner is going); it is no longer current.
    void RemoveTarget(ToolbarTarget& target);
    // With a control, its target becomes current and takes the toolbar; with
    // 0, the last target that can take the toolbar does.
    void SetTarget(int32_t control);
    ToolbarTarget* current() const { return m_current; }

    std::unique_ptr<std::vector<ToolbarTargetRecord>> LIST;

private:
    ToolbarTarget* m_current = nullptr;
};

// The tips of the navigation buttons as a block: a count, then each record
// as a 2-byte field number, a length byte and the text.
std::span<const uint8_t> ToolbarTipBlock();
// Sets the tip of each button the block lists on `window`'s controls.
void SetToolbarTips(Window& window);

} // namespace morvex
