#include "framework/browse_locators.h"

#include "framework/browse_manager.h"
#include "framework/field_pairs.h"
#include "framework/window_controller.h"
#include "runtime/ascii_case.h"
#include "window/accept.h"
#include "window/bound_value.h"
#include "window/events.h"
#include "window/key_codes.h"
#include "window/properties.h"
#include "window/property_numbers.h"

namespace morvex {

namespace {

char fold(char c, bool no_case) {
    return no_case ? AsciiUpper(c) : c;
}

std::string quoted(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out + "'";
}

} // namespace

void BrowseLocator::Init(BrowseManager& browse, const BoundVariable& free_element, bool no_case,
                         int32_t control) {
    VIEWMANAGER = &browse;
    FREEELEMENT = free_element;
    NOCASE = no_case ? 1 : 0;
    CONTROL = control;
}

bool StepLocator::TakeKey(char typed) {
    if (typed == 0 || !FREEELEMENT.address)
        return false;
    bool changed = false;
    if (VIEWMANAGER->rows() > 0) {
        // The next row first, so that the same letter again moves one row on.
        VIEWMANAGER->ScrollOne(Event::ScrollDown);
        VIEWMANAGER->UpdateBuffer();
        changed = true;
    }
    const std::string value = ValueText(FREEELEMENT);
    const char first = value.empty() ? ' ' : value.front();
    if (fold(first, NOCASE) != fold(typed, NOCASE)) {
        SetVariableText(FREEELEMENT, std::string(1, typed));
        changed = true;
    }
    return changed;
}

void EntryLocator::Set() {
    SHADOW = ValueText(FREEELEMENT);
    if (CONTROL && VIEWMANAGER && VIEWMANAGER->controller())
        SetProperty(&VIEWMANAGER->controller()->window(), CONTROL, Prop::Text, SHADOW);
}

bool EntryLocator::TakeAccepted() {
    if (!CONTROL || !VIEWMANAGER || !VIEWMANAGER->controller() || FIELD() != CONTROL)
        return false;
    SHADOW = GetProperty(&VIEWMANAGER->controller()->window(), CONTROL, Prop::ScreenText);
    SetVariableText(FREEELEMENT, SHADOW);
    return true;
}

void IncrementalLocator::Reset() {
    SHADOW.clear();
    UpdateWindow();
}

void IncrementalLocator::SetAlerts() {
    if (VIEWMANAGER && VIEWMANAGER->controller())
        SetProperty(&VIEWMANAGER->controller()->window(), VIEWMANAGER->LISTCONTROL, Prop::Alert, 255,
                    std::to_string(Key::Backspace));
}

bool IncrementalLocator::TakeKey(char typed) {
    if (typed == 0) {
        if ((KEYCODE() & KeyCodeMask) != Key::Backspace || SHADOW.empty())
            return false;
        SHADOW.pop_back();
    } else {
        SHADOW += typed;
    }
    return take_text();
}

bool IncrementalLocator::take_text() {
    if (!FREEELEMENT.address)
        return false;
    SetVariableText(FREEELEMENT, SHADOW);
    UpdateWindow();
    return true;
}

void IncrementalLocator::UpdateWindow() {
    if (CONTROL && VIEWMANAGER && VIEWMANAGER->controller())
        SetProperty(&VIEWMANAGER->controller()->window(), CONTROL, Prop::Text, SHADOW);
}

bool FilteredLocator::take_text() {
    if (!FREEELEMENT.address || !VIEWMANAGER)
        return false;
    std::string name = VIEWMANAGER->GetFreeElementName();
    std::string filter;
    if (!SHADOW.empty() && !name.empty()) {
        std::string text = SHADOW;
        if (NOCASE) {
            text = AsciiUpper(text);
            if (name.rfind("UPPER(", 0) != 0)
                name = "UPPER(" + name + ")";
        }
        filter = "SUB(" + name + ",1," + std::to_string(text.size()) + ") = " + quoted(text);
    }
    VIEWMANAGER->SetFilter(filter, FilterId);
    VIEWMANAGER->ApplyFilter();
    return IncrementalLocator::take_text();
}

} // namespace morvex
