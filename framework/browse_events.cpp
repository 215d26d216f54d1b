// The browse's events: the list's scroll and key events, its buttons, the
// popup menu, the query, the window's enabling, and the updates through
// the update procedure or in place.
#include "files/file_statements.h"
#include "framework/browse_manager.h"
#include "framework/browse_toolbar.h"
#include "framework/file_manager.h"
#include "framework/toolbar_manager.h"
#include "framework/window_controller.h"
#include "window/accept.h"
#include "window/events.h"
#include "window/key_codes.h"
#include "window/list_box.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <algorithm>

namespace morvex {

namespace {

constexpr int32_t AddAlert = 255;
constexpr uint32_t CtrlEnter = CtrlKeyBit | Key::Enter;
constexpr std::string_view QueryFilterId = "9 - QBE";

} // namespace

void BrowseManager::post_button(int32_t button) {
    if (button != 0)
        PostEvent(WINDOW->window(), Event::Accepted, button);
}

void BrowseManager::TakeEvent() {
    if (!m_ready)
        return;
    const uint16_t event = EVENT();
    const int32_t field = FIELD();
    if (field == LISTCONTROL && field != 0) {
        switch (event) {
        case Event::ScrollUp:
        case Event::ScrollDown:
        case Event::PageUp:
        case Event::PageDown:
        case Event::ScrollTop:
        case Event::ScrollBottom:
            TakeScroll(0);
            break;
        case Event::ScrollDrag:
            take_scroll_drag();
            break;
        case Event::AlertKey:
            TakeKey();
            break;
        case Event::NewSelection:
            TakeNewSelection();
            break;
        case Event::Locate:
            // Typed ahead (the event carries the character): the locator;
            // the toolbar's Locate: the query.
            if (const uintptr_t typed = EventParameter())
                take_locator_change(static_cast<char>(typed));
            else
                TakeLocate();
            break;
        case Event::Selected:
            if (TOOLBAR && TOOLBARITEM)
                TOOLBAR->SetTarget(LISTCONTROL);
            break;
        case Event::Accepted:
            // Enter or a double click on a row: select, else change.
            if ((KEYCODE() & KeyCodeMask) != CtrlEnter && rows() > 0) {
                UpdateBuffer();
                post_button(SELECTING && SELECTCONTROL ? SELECTCONTROL : CHANGECONTROL);
            }
            break;
        default:
            break;
        }
    }
    if (event == Event::NewSelection && field == QUERYCONTROL && QUERYCONTROL != 0 && QUERY && POPUP) {
        if (QUERY->TakeSavedQuery(*POPUP))
            TakeLocate();
    }
    if (event == Event::Accepted && field != LISTCONTROL)
        take_accepted(field);
    if (event == Event::CloseWindow && SELECTING && PRIMARY && PRIMARY->ME) {
        if (WINDOW->RESPONSE == RequestCompleted) {
            PRIMARY->ME->RestoreBuffer(BUFFER, false);
            if (SELECTWHOLERECORD)
                UpdateViewRecord();
            else
                UpdateBuffer();
        } else {
            PRIMARY->ME->RestoreBuffer(BUFFER, true);
        }
    }
}

void BrowseManager::take_accepted(int32_t control) {
    if (control == 0)
        return;
    if (control == DELETECONTROL || control == CHANGECONTROL || control == INSERTCONTROL) {
        WINDOW->Update();
        Ask(control == DELETECONTROL ? DeleteRecord : control == CHANGECONTROL ? ChangeRecord : InsertRecord);
    } else if (control == SELECTCONTROL) {
        WINDOW->RESPONSE = RequestCompleted;
        PostEvent(WINDOW->window(), Event::CloseWindow);
    } else if (control == PRINTCONTROL) {
        UpdateViewRecord();
        WINDOW->RunProcedure(PRINTPROCEDURE, 5);
        UpdateBuffer();
    } else if (control == QUERYCONTROL) {
        if (QUERY)
            QUERY->ClearChosenItem();
        TakeLocate();
    } else if (control == TOOLCONTROL) {
        if (POPUP)
            POPUP->Toolbox("Browse Actions");
    } else if (BrowseSortOrder* order = current_sort(); order && order->LOCATOR &&
                                                        order->LOCATOR->CONTROL == control &&
                                                        order->LOCATOR->TakeAccepted()) {
        Reset(GetFreeElementPosition());
        SELECT(LISTCONTROL);
        ResetQueue(2);
        order->LOCATOR->Set();
        UpdateWindow();
        show_selection();
    }
}

void BrowseManager::take_locator_change(char typed) {
    BrowseSortOrder* order = current_sort();
    if (!order || !order->LOCATOR || !order->LOCATOR->TakeKey(typed))
        return;
    Reset(GetFreeElementPosition());
    ResetQueue(2);
    UpdateWindow();
}

uint8_t BrowseManager::TakeKey() {
    const uint32_t key = KEYCODE() & KeyCodeMask;
    if (key == Key::MouseRightUp) {
        const auto row = static_cast<int32_t>(
            std::strtol(GetProperty(&WINDOW->window(), LISTCONTROL, Prop::MouseRow).c_str(), nullptr, 10));
        if (row > 0 && row <= rows()) {
            CURRENTCHOICE = LASTCHOICE = row;
            show_selection();
            UpdateBuffer();
            if (POPUP)
                POPUP->Ask();
        }
        return 1;
    }
    if (rows() > 0) {
        switch (key) {
        case Key::Insert:
            post_button(INSERTCONTROL);
            break;
        case Key::Delete:
            post_button(DELETECONTROL);
            break;
        case CtrlEnter:
            UpdateBuffer();
            post_button(CHANGECONTROL);
            break;
        case Key::MouseLeft2:
            post_button(SELECTING && SELECTCONTROL ? SELECTCONTROL : CHANGECONTROL);
            break;
        default:
            take_locator_change(0);
            break;
        }
    } else {
        take_locator_change(0);
        if (key == Key::Insert)
            post_button(INSERTCONTROL);
    }
    UpdateWindow();
    show_selection();
    return 1;
}

void BrowseManager::TakeNewSelection() {
    if (rows() == 0)
        return;
    if (const ListBox* box = list(); box && box->selected_row() > 0)
        CURRENTCHOICE = LASTCHOICE = box->selected_row();
    UpdateBuffer();
    if ((KEYCODE() & KeyCodeMask) == Key::MouseRightUp && POPUP)
        POPUP->Ask();
    else
        WINDOW->Reset(false);
}

void BrowseManager::TakeLocate() {
    if (!QUERY)
        return;
    if (QUERY->Ask(1)) {
        const std::string filter = QUERY->GetFilter();
        if (QUERYSHARED && ORDER) {
            const size_t current = ORDER->current;
            for (size_t n = 1; n <= ORDER->records.size(); ++n) {
                ORDER->current = n;
                SetFilter(filter, QueryFilterId);
            }
            ORDER->current = current;
        } else {
            SetFilter(filter, QueryFilterId);
        }
        if (QUERYRESULT)
            SetProperty(&WINDOW->window(), QUERYRESULT, Prop::Text, filter);
        ResetSort(true);
        UpdateWindow();
        SELECT(LISTCONTROL);
    }
    if (QUERY->SavedQueries() && POPUP)
        QUERY->SetPopupItems(*POPUP, QUERYCONTROL);
}

void BrowseManager::TakeVCRScroll(int32_t request) {
    switch (request) {
    case ToolbarDown:
        TakeScroll(Event::ScrollDown);
        break;
    case ToolbarUp:
        TakeScroll(Event::ScrollUp);
        break;
    case ToolbarPageDown:
        TakeScroll(Event::PageDown);
        break;
    case ToolbarPageUp:
        TakeScroll(Event::PageUp);
        break;
    case ToolbarTop:
        TakeScroll(Event::ScrollTop);
        break;
    case ToolbarBottom:
        TakeScroll(Event::ScrollBottom);
        break;
    default:
        break;
    }
    WINDOW->Reset(false);
    WINDOW->Update();
}

void BrowseManager::SetAlerts() {
    if (!m_ready || !WINDOW)
        return;
    Window& window = WINDOW->window();
    auto alert = [&](uint32_t key) {
        SetProperty(&window, LISTCONTROL, Prop::Alert, AddAlert, std::to_string(key));
    };
    alert(Key::MouseLeft2);
    alert(Key::MouseRightUp);
    HASTHUMB = 1;
    SetProperty(&window, LISTCONTROL, Prop::Thumb, "-1");
    if (ORDER)
        for (auto& record : ORDER->records)
            if (auto* order = static_cast<BrowseSortOrder*>(record.get()); order->LOCATOR)
                order->LOCATOR->SetAlerts();
    if (INSERTCONTROL) {
        alert(Key::Insert);
        POPUP->AddItemMimic("&Insert", "!&Insert", INSERTCONTROL);
    }
    if (CHANGECONTROL) {
        alert(CtrlEnter);
        POPUP->AddItemMimic("&Change", "!&Change", CHANGECONTROL);
    }
    if (DELETECONTROL) {
        alert(Key::Delete);
        POPUP->AddItemMimic("&Delete", "!&Delete", DELETECONTROL);
    }
    if (PRINTCONTROL)
        POPUP->AddItemMimic("&Print", "!&Print", PRINTCONTROL);
    if (QUERYCONTROL) {
        if (QUERY && QUERY->SavedQueries())
            QUERY->SetPopupItems(*POPUP, QUERYCONTROL);
        if (GetProperty(&window, QUERYCONTROL, Prop::Hide) != "1") {
            POPUP->AddSeparator();
            POPUP->AddItemMimic("&Query", "!&Query", QUERYCONTROL);
        }
    }
    if (SELECTCONTROL && SELECTING)
        POPUP->AddItemMimic("&Select", "!&Select", SELECTCONTROL);
    if (TOOLCONTROL) {
        POPUP->AddSeparator();
        POPUP->AddItemMimic("&Toolbox", "!&Toolbox", TOOLCONTROL);
    }
}

void BrowseManager::UpdateWindow() {
    if (!m_ready || !list())
        return;
    Window& window = WINDOW->window();
    if (BrowseSortOrder* order = current_sort(); order && order->LOCATOR)
        order->LOCATOR->UpdateWindow();
    const bool any = rows() > 0;
    auto enable = [&](int32_t control, bool on) {
        if (control) {
            SetProperty(&window, control, Prop::Disable, on ? "0" : "1");
            if (POPUP)
                for (const PopupItem& item : *POPUP->POPUPITEMS)
                    if (item.MIMICMODE && item.CONTROLID == control)
                        POPUP->SetItemEnable(item.NAME, on);
        }
    };
    enable(CHANGECONTROL, any);
    enable(DELETECONTROL, any);
    enable(PRINTCONTROL, any);
    if (SELECTCONTROL) {
        if (SELECTING) {
            const bool on = any && WINDOW->REQUEST == SelectRecord;
            enable(SELECTCONTROL, on);
            if (on)
                SetProperty(&window, SELECTCONTROL, Prop::Default, "1");
        } else if (HIDESELECT) {
            enable(SELECTCONTROL, false);
            SetProperty(&window, SELECTCONTROL, Prop::Hide, "1");
        }
    }
    if (BrowseSortOrder* order = current_sort(); !order || !order->THUMB || LOADED)
        set_thumb();
    if (TOOLBAR)
        TOOLBAR->DisplayButtons();
    window.Display(LISTCONTROL, LISTCONTROL);
    show_selection();
}

uint8_t BrowseManager::Ask(uint8_t request) {
    uint8_t response = RequestCancelled;
    m_next_request = 0;
    do {
        if (WINDOW->VCRREQUEST)
            *WINDOW->VCRREQUEST = 0;
        if ((KEYCODE() & KeyCodeMask) == Key::MouseRightUp)
            SETKEYCODE(0);
        if (m_next_request) {
            request = m_next_request;
            m_next_request = 0;
            if (PRIMARY && PRIMARY->ME && PRIMARY->ME->FILE)
                PRIMARY->ME->FILE->clear_record();
        }
        if (ASKPROCEDURE) {
            if (request == InsertRecord)
                PrimeRecord();
            response = WINDOW->RunProcedure(ASKPROCEDURE, request);
            ResetFromAsk(request, response);
        } else {
            response = AskEditInPlace(request);
        }
    } while (WINDOW->VCRREQUEST && *WINDOW->VCRREQUEST != 0);
    return response;
}

uint8_t BrowseManager::AskEditInPlace(uint8_t request) {
    InitEditInPlace();
    if (!EIP)
        return RequestCancelled;
    return EIP->Run(request);
}

void BrowseManager::ResetFromAsk(uint8_t request, uint8_t response) {
    if (response == RequestCompleted) {
        VIEW->view().Refresh();
        if (request == DeleteRecord) {
            if (rows() > 0)
                drop_row(std::clamp(CURRENTCHOICE, 1, rows()));
            ResetQueue(1);
        } else {
            ResetFromFile();
        }
    } else {
        ResetQueue(1);
    }
    const int32_t navigation = WINDOW->VCRREQUEST ? *WINDOW->VCRREQUEST : 0;
    if (navigation == ToolbarInsert || (navigation == ToolbarDown && request == InsertRecord)) {
        m_next_request = InsertRecord;
    } else if (navigation != 0) {
        TakeVCRScroll(navigation);
    } else {
        UpdateThumbRange();
        UpdateWindow();
        show_selection();
        SELECT(LISTCONTROL);
    }
}

} // namespace morvex
