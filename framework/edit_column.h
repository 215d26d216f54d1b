// EditColumn: the editor of one list column while a browse row is edited in
// place. It owns an entry control made at run time, bound to the page
// queue's field of the column and shown through the column's picture; the
// list box lays it over the column's cell (window/list_box.h). The entry
// alerts the keys that move between columns and finish the row, and
// TakeEvent turns them into the key actions the edit-in-place manager runs.
#pragma once

#include "runtime/evaluator.h"

#include <cstdint>

namespace morvex {

class Window;

// What an EditColumn reports of a key.
enum EditKeyAction : uint8_t {
    EditNoAction = 0,
    EditNextColumn = 1,     // Tab
    EditPreviousColumn = 2, // Shift+Tab
    EditEnter = 3,
    EditEscape = 4,
    EditDown = 5,
    EditUp = 6,
};

class EditColumn {
public:
    EditColumn() = default;
    virtual ~EditColumn();
    EditColumn(const EditColumn&) = delete;
    EditColumn& operator=(const EditColumn&) = delete;

    // The method table, in slot order.
    virtual void CreateControl();
    virtual void Init(int32_t column, int32_t list_box, const BoundVariable& field);
    virtual void Kill();
    virtual void SetAlerts();
    virtual void SetReadOnly(uint8_t state);
    virtual uint8_t TakeEvent(uint16_t event);

    int32_t FEQ = 0;
    BoundVariable USEVAR;
    int32_t LISTBOXFEQ = 0;
    uint8_t READONLY = 0;

protected:
    // The window the entry lives in: the one that was current at CreateControl.
    Window* window() const { return m_window; }

private:
    Window* m_window = nullptr;
};

} // namespace morvex
