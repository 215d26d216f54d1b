#include "framework/edit_column.h"

#include "window/accept.h"
#include "window/entry.h"
#include "window/events.h"
#include "window/key_codes.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/window.h"
#include "window/window_definition.h"
#include "window/window_registry.h"

namespace morvex {

namespace {

// The alerted keys, in the order of their slots (1 to 6).
constexpr uint32_t AlertedKeys[] = {Key::Tab, ShiftKeyBit | Key::Tab, Key::Enter, Key::Escape, Key::Down,
                                    Key::Up};

} // namespace

EditColumn::~EditColumn() {
    Kill();
}

void EditColumn::CreateControl() {
    m_window = CurrentWindow();
    if (!m_window)
        return;
    FEQ = m_window->CreateControl(wdf::EntryControl);
    // The entry takes every key (Tab and Enter too) and tells its window when it is left.
    if (auto* entry = dynamic_cast<Entry*>(m_window->control(FEQ)))
        entry->set_edit_in_place(true);
}

void EditColumn::Init(int32_t column, int32_t list_box, const BoundVariable& field) {
    LISTBOXFEQ = list_box;
    CreateControl();
    USEVAR = field;
    if (!m_window || FEQ == 0)
        return;
    const std::string picture = GetProperty(m_window, list_box, Prop::ColumnPicture, column);
    SetProperty(m_window, FEQ, Prop::Picture, 0, picture);
    // The text stands in the entry where it stood in the cell.
    const std::string justification = GetProperty(m_window, list_box, Prop::ColumnJustification, column);
    const char letter = justification.empty() ? 'L' : justification[0];
    SetProperty(m_window, FEQ,
                letter == 'R'   ? Prop::Right
                : letter == 'C' ? Prop::Center
                : letter == 'D' ? Prop::Decimal
                                : Prop::Left,
                0, "1");
    m_window->Bind(FEQ, field);
    m_window->Display(FEQ, FEQ);
    SetAlerts();
}

void EditColumn::Kill() {
    if (FEQ != 0 && m_window)
        m_window->DestroyControl(FEQ);
    FEQ = 0;
    USEVAR = {};
}

void EditColumn::SetAlerts() {
    int32_t slot = 1;
    for (const uint32_t key : AlertedKeys)
        SetProperty(m_window, FEQ, Prop::Alert, slot++, std::to_string(key));
}

void EditColumn::SetReadOnly(uint8_t state) {
    READONLY = state;
    SetProperty(m_window, FEQ, Prop::ReadOnly, 0, state ? "1" : "0");
}

uint8_t EditColumn::TakeEvent(uint16_t event) {
    if (event != Event::AlertKey)
        return EditNoAction;
    switch (KEYCODE() & KeyCodeMask) {
    case Key::Enter:
        return EditEnter;
    case Key::Escape:
        return EditEscape;
    case Key::Tab:
        return EditNextColumn;
    case ShiftKeyBit | Key::Tab:
        return EditPreviousColumn;
    case Key::Down:
        return EditDown;
    case Key::Up:
        return EditUp;
    default:
        return EditNoAction;
    }
}

} // namespace morvex
