#include "framework/edit_in_place_manager.h"

#include "files/view/view_driver.h"
#include "framework/error_reporter.h"
#include "framework/file_manager.h"
#include "framework/file_relation.h"
#include "framework/framework_windows.h"
#include "runtime/queue.h"
#include "window/accept.h"
#include "window/bound_value.h"
#include "window/events.h"
#include "window/key_codes.h"
#include "window/list_box.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <algorithm>

namespace morvex {

namespace {

// The list's alert slot of the double click that starts a change.
constexpr int32_t ChangeAlertSlot = 252;
// The system's grey-text colour, and "no colour".
constexpr uint32_t GreyTextColour = 0x80000011;
constexpr char NoColour[] = "-1";
// Navigation requests: the next and the prior record.
constexpr int32_t NextRecord = 2008;
constexpr int32_t PriorRecord = 2009;
// Bits of an action setting beside the finish choice.
constexpr uint8_t FinishMask = 7;
constexpr uint8_t MoveOnBit = 8;
constexpr uint8_t SameColumnBit = 0x10;
// The question whether to save a changed row.
constexpr uint16_t SaveRecordQuestion = 35;

std::unique_ptr<EditInPlace> make_manager(BrowseManager& browse) {
    return std::make_unique<EditInPlaceManager>(browse);
}

// The module's window variables.
struct EditInPlaceWindows {
    Window multiple;
    Window text;
};
std::unique_ptr<EditInPlaceWindows> g_windows;

} // namespace

void InstallEditInPlace() {
    SetEditInPlaceFactory(&make_manager);
    RegisterFrameworkWindows();
    g_windows = std::make_unique<EditInPlaceWindows>();
    g_windows->multiple.Load("fweip", "$MULTIWINDOW");
    g_windows->text.Load("fweip", "$TXTWINDOW");
}

void ReleaseEditInPlace() {
    SetEditInPlaceFactory(nullptr);
    g_windows.reset();
}

const Window* EditInPlaceWindow(std::string_view label) {
    if (!g_windows)
        return nullptr;
    if (label == "$MULTIWINDOW")
        return &g_windows->multiple;
    if (label == "$TXTWINDOW")
        return &g_windows->text;
    return nullptr;
}

EditInPlaceManager::EditInPlaceManager(BrowseManager& browse) : WindowController(browse.WINDOW->window()) {
    BC = &browse;
}

EditInPlaceManager::~EditInPlaceManager() = default;

uint8_t EditInPlaceManager::Run(uint8_t request) {
    // The browse hands over its controller's reporter and navigation request.
    WindowController::ERRORS = EditInPlace::ERRORS ? EditInPlace::ERRORS : GlobalErrors;
    WindowController::VCRREQUEST = EditInPlace::VCRREQUEST;
    REQ = request;
    RESPONSE = NoResponse;
    DEAD = 0;
    return WindowController::Run();
}

ListBox* EditInPlaceManager::list_box() const {
    return dynamic_cast<ListBox*>(window().control(LISTCONTROL));
}

EditListRecord* EditInPlaceManager::entry_of(int32_t column) const {
    if (!EQ)
        return nullptr;
    const auto it =
        std::find_if(EQ->begin(), EQ->end(), [column](const auto& e) { return e.FIELD == column; });
    return it == EQ->end() ? nullptr : &*it;
}

int EditInPlaceManager::Init() {
    BrowseManager& bc = *BC;
    Window& w = window();
    Queue& page = *bc.LISTQUEUE;
    if (const ListBox* list = list_box())
        bc.CURRENTCHOICE = list->selected_row();
    switch (REQ) {
    case InsertRecord:
        if (bc.rows() > 0) {
            if (INSERT == InsertAtEnd)
                bc.ScrollEnd(Event::ScrollBottom);
            bc.PrimeRecord(false);
            bc.PRIMARY->SaveLinkValues();
            const bool at_end = bc.CURRENTCHOICE == bc.rows();
            if (INSERT != InsertBeforeSelection)
                ++bc.CURRENTCHOICE;
            // A full page gives up a row for the new one.
            if (bc.LASTITEMS > 0 && bc.rows() >= bc.LASTITEMS) {
                page.Get(at_end ? 1 : bc.rows());
                page.Delete();
                if (at_end)
                    --bc.CURRENTCHOICE;
            }
        } else {
            bc.PrimeRecord(false);
            bc.PRIMARY->SaveLinkValues();
            bc.CURRENTCHOICE = 1;
        }
        bc.CURRENTCHOICE = std::clamp(bc.CURRENTCHOICE, 1, bc.rows() + 1);
        bc.SetQueueRecord();
        page.Add(bc.CURRENTCHOICE);
        w.Display(LISTCONTROL, LISTCONTROL);
        SetProperty(&w, LISTCONTROL, Prop::Selection, 0, std::to_string(bc.CURRENTCHOICE));
        COLUMN = 1;
        break;
    case DeleteRecord:
        RESPONSE = delete_record() == Level::Benign ? RequestCompleted : RequestCancelled;
        return Level::Fatal;
    default:
        bc.PRIMARY->SaveLinkValues();
        if ((KEYCODE() & KeyCodeMask) == Key::MouseLeft2)
            COLUMN = static_cast<int32_t>(NumberValue(GetProperty(&w, LISTCONTROL, Prop::Column)));
        break;
    }
    if (bc.rows() == 0)
        return Level::Fatal; // nothing to change
    bc.CURRENTCHOICE = std::clamp(bc.CURRENTCHOICE, 1, bc.rows());
    page.Get(bc.CURRENTCHOICE);
    SetProperty(&w, LISTCONTROL, Prop::Alert, ChangeAlertSlot, "0");
    if (COLUMN == 0)
        COLUMN = 1;
    LASTCOLUMN = 0;
    REPOST = 0;
    REPOSTFIELD = 0;
    InitControls();
    ResetColumn();
    return Level::Benign;
}

void EditInPlaceManager::InitControls() {
    Window& w = window();
    for (int32_t n = 1; NumberValue(GetProperty(&w, LISTCONTROL, Prop::ColumnField, n)) != 0; ++n) {
        EditListRecord* entry = entry_of(n);
        if (!entry) {
            const auto at = std::find_if(EQ->begin(), EQ->end(), [n](const auto& e) { return e.FIELD > n; });
            entry = &*EQ->insert(at, EditListRecord{n, 1, new EditColumn});
        }
        const bool paired = FIELDS && static_cast<size_t>(n) <= FIELDS->size();
        if (entry->CONTROL && paired)
            entry->CONTROL->Init(n, LISTCONTROL, FIELDS->pairs()[static_cast<size_t>(n - 1)].RIGHT.field);
        else
            SetProperty(&w, LISTCONTROL, Prop::ColumnColor, n, std::to_string(GreyTextColour));
    }
}

uint8_t EditInPlaceManager::IsColumnEditable() {
    const EditListRecord* entry = entry_of(COLUMN);
    return entry && entry->CONTROL && entry->CONTROL->FEQ != 0 ? 1 : 0;
}

void EditInPlaceManager::seek_editable_column() {
    if (!EQ || EQ->empty())
        return;
    const int32_t last = EQ->back().FIELD;
    const int32_t start = COLUMN;
    // Turning at both ends has visited every column: none is editable.
    int turns = 0;
    for (;;) {
        if (IsColumnEditable()) {
            SEEKFORWARD = 0;
            return;
        }
        if (turns >= 2) {
            COLUMN = start;
            SEEKFORWARD = 0;
            return;
        }
        if (SEEKFORWARD) {
            if (COLUMN < last) {
                ++COLUMN;
            } else {
                SEEKFORWARD = 0;
                ++turns;
            }
        } else if (COLUMN > 1) {
            --COLUMN;
        } else {
            SEEKFORWARD = 1;
            ++turns;
        }
    }
}

void EditInPlaceManager::ResetColumn() {
    SETKEYCODE(0);
    seek_editable_column();
    if (COLUMN == LASTCOLUMN || !IsColumnEditable())
        return;
    const int32_t feq = entry_of(COLUMN)->CONTROL->FEQ;
    window().Display(feq, feq);
    SetProperty(&window(), LISTCONTROL, Prop::ColumnEditor, COLUMN, std::to_string(feq));
    SELECT(feq);
    LASTCOLUMN = static_cast<uint8_t>(COLUMN);
}

void EditInPlaceManager::ClearColumn() {
    Window& w = window();
    if (LASTCOLUMN != 0) {
        if (const EditListRecord* entry = entry_of(LASTCOLUMN); entry && entry->CONTROL) {
            // The entry's text goes into its field of the row, and the row
            // back into the page (the page may have been read meanwhile).
            EditColumn& column = *entry->CONTROL;
            w.Update(column.FEQ, column.FEQ);
            const std::vector<uint8_t> value = VariableBytes(column.USEVAR);
            Queue& page = *BC->LISTQUEUE;
            page.Get(BC->CURRENTCHOICE);
            std::copy(value.begin(), value.end(), static_cast<uint8_t*>(column.USEVAR.address));
            page.Put();
        }
    }
    SetProperty(&w, LISTCONTROL, Prop::ColumnEditor, LASTCOLUMN != 0 ? LASTCOLUMN : COLUMN, "0");
    LASTCOLUMN = 0;
}

uint8_t EditInPlaceManager::finish_of(const uint8_t* setting, bool tab) const {
    const uint8_t value = setting ? *setting : (tab ? 1 : 0);
    switch (value & FinishMask) {
    case 1:
        return FinishSave;
    case 2:
        return FinishDiscard;
    case 0:
        return tab ? FinishAsk : FinishSave;
    default:
        return FinishAsk;
    }
}

void EditInPlaceManager::set_navigation(int32_t request) {
    if (WindowController::VCRREQUEST)
        *WindowController::VCRREQUEST = request;
}

void EditInPlaceManager::TakeAction(uint8_t action) {
    switch (action) {
    case EditNextColumn: {
        ClearColumn();
        const int32_t old = COLUMN;
        ++COLUMN;
        SEEKFORWARD = 1;
        seek_editable_column();
        if (COLUMN != old) {
            ResetColumn();
            return;
        }
        // No editable column to the right: the row is finished.
        CompleteRow(finish_of(TAB, true));
        if (TAB && (*TAB & MoveOnBit) && AGAIN == 0)
            set_navigation(NextRecord);
        return;
    }
    case EditPreviousColumn:
        if (COLUMN > 1) {
            ClearColumn();
            --COLUMN;
            ResetColumn();
        }
        return;
    case EditEnter:
        CompleteRow(finish_of(ENTER, false));
        if (ENTER && (*ENTER & MoveOnBit) && AGAIN == 0)
            set_navigation(NextRecord);
        return;
    case EditEscape:
        CompleteRow(FinishDiscard);
        return;
    case EditDown:
    case EditUp: {
        const int32_t keep = COLUMN;
        CompleteRow(finish_of(ARROW, false));
        const uint8_t setting = ARROW ? *ARROW : 0;
        if ((setting & MoveOnBit) && AGAIN == 0)
            set_navigation(action == EditDown ? NextRecord : PriorRecord);
        if ((setting & SameColumnBit) && AGAIN == 0)
            COLUMN = keep;
        return;
    }
    default:
        return;
    }
}

void EditInPlaceManager::CompleteRow(uint8_t finish) {
    AGAIN = 0;
    ClearColumn();
    uint8_t choice = finish == FinishAsk ? static_cast<uint8_t>(FinishSave) : finish;
    if (FIELDS && FIELDS->EqualLeftRight()) {
        choice = FinishDiscard; // no cell differs from the record
    } else if (finish == FinishAsk) {
        switch (WindowController::ERRORS->Message(
            SaveRecordQuestion, platform::MessageBoxButtons::YesNoCancel, platform::ButtonYes)) {
        case platform::ButtonYes:
            choice = FinishSave;
            break;
        case platform::ButtonNo:
            choice = FinishDiscard;
            break;
        default:
            choice = FinishCancel;
            break;
        }
    }
    RESPONSE = RequestCancelled;
    BrowseManager& bc = *BC;
    FileManager& file = *bc.PRIMARY->ME;
    if (choice == FinishCancel) {
        AGAIN = 1;
    } else if (choice == FinishDiscard) {
        if (REQ == InsertRecord) {
            Queue& page = *bc.LISTQUEUE;
            page.Get(bc.CURRENTCHOICE);
            page.Delete();
            if (bc.CURRENTCHOICE != 0 && INSERT != InsertBeforeSelection)
                --bc.CURRENTCHOICE;
            cancel_automatic_number();
        }
    } else if (choice == FinishSave) {
        uint16_t id = file.SaveBuffer();
        bc.UpdateBuffer();
        const int result = REQ == InsertRecord ? save_inserted() : save_changed();
        if (result != Level::Benign)
            AGAIN = 1;
        else
            RESPONSE = RequestCompleted;
        // After a failure the record is as it was; after success the snapshot is only freed.
        file.RestoreBuffer(id, AGAIN != 0);
        if (bc.VIEW)
            bc.VIEW->view().Refresh();
    }
    COLUMN = 1;
    if (AGAIN)
        ResetColumn();
}

void EditInPlaceManager::TakeFocusLoss() {
    CompleteRow(finish_of(FOCUSLOSS, false));
}

int EditInPlaceManager::TakeEvent() {
    const uint16_t event = EVENT();
    switch (event) {
    case Event::Size:
    case Event::Iconize:
    case Event::Maximize:
        return Level::Notify; // not while a row is edited
    case Event::CloseDown:
    case Event::CloseWindow:
    case Event::Sized:
        TakeFocusLoss();
        REPOST = event;
        return Level::Fatal;
    default:
        break;
    }
    AGAIN = 1;
    if (const int result = WindowController::TakeEvent())
        return result;
    return AGAIN ? Level::Benign : Level::Fatal;
}

int EditInPlaceManager::TakeFieldEvent() {
    const int32_t control = FIELD();
    const uint16_t event = EVENT();
    if (control == LISTCONTROL)
        return Level::Benign;
    if (EQ)
        for (const EditListRecord& entry : *EQ)
            if (entry.CONTROL && entry.CONTROL->FEQ != 0 && entry.CONTROL->FEQ == control) {
                TakeAction(entry.CONTROL->TakeEvent(event));
                return Level::Benign;
            }
    const Control* other = window().control(control);
    if (event == Event::Selected && other && other->type() == wdf::ButtonControl)
        return Level::Benign;
    // Another control ends the edit; its event is delivered again afterwards.
    REPOST = event;
    REPOSTFIELD = control;
    TakeFocusLoss();
    return Level::Benign;
}

int EditInPlaceManager::TakeNewSelection() {
    if (FIELD() != LISTCONTROL)
        return Level::Benign;
    const ListBox* list = list_box();
    if (!list)
        return Level::Benign;
    const int32_t selection = list->selected_row();
    if (selection == BC->CURRENTCHOICE) {
        // A click inside the edited row moves the entry to the clicked column.
        if ((KEYCODE() & KeyCodeMask) == Key::MouseLeft) {
            ClearColumn();
            COLUMN = list->selected_column();
            ResetColumn();
        }
        return Level::Benign;
    }
    TakeFocusLoss();
    if (AGAIN) {
        SetProperty(&window(), LISTCONTROL, Prop::Selection, 0, std::to_string(BC->CURRENTCHOICE));
        return Level::Benign;
    }
    BC->CURRENTCHOICE = selection;
    RESPONSE = RequestCancelled; // the page is rebuilt around the new selection
    return Level::Fatal;
}

int EditInPlaceManager::Kill() {
    BC->ResetFromAsk(REQ, RESPONSE);
    Window& w = window();
    if (LASTCOLUMN != 0)
        SetProperty(&w, LISTCONTROL, Prop::ColumnEditor, LASTCOLUMN, "0");
    LASTCOLUMN = 0;
    if (EQ)
        for (const EditListRecord& entry : *EQ) {
            if (entry.CONTROL)
                entry.CONTROL->Kill();
            else
                SetProperty(&w, LISTCONTROL, Prop::ColumnColor, entry.FIELD, NoColour);
        }
    SetProperty(&w, LISTCONTROL, Prop::Alert, ChangeAlertSlot, std::to_string(Key::MouseLeft2));
    if (REPOST != 0) {
        PostEvent(w, static_cast<uint16_t>(REPOST), REPOSTFIELD);
        REPOST = 0;
    }
    return WindowController::Kill();
}

// ---- the primary file's record operations ----

int EditInPlaceManager::save_inserted() {
    return BC->PRIMARY->ME->Insert();
}

int EditInPlaceManager::save_changed() {
    return BC->PRIMARY->Update(false);
}

int EditInPlaceManager::delete_record() {
    return BC->PRIMARY->Delete(true);
}

void EditInPlaceManager::cancel_automatic_number() {
    BC->PRIMARY->ME->CancelAutoInc();
}

} // namespace morvex
