#include "framework/window_controller.h"

#include "framework/toolbar_manager.h"
#include "platform/backend.h"
#include "window/accept.h"
#include "window/bound_value.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <algorithm>

namespace morvex {

uint8_t GlobalRequest = NoRequest;
uint8_t GlobalResponse = NoResponse;
int32_t VCRRequest = 0;
ErrorReporter* GlobalErrors = nullptr;

namespace {

// Key codes of the right mouse button (pressed, released) that a procedure
// must not see as its own first key.
constexpr uint32_t RightButtonKey = 2;
constexpr uint32_t RightButtonReleasedKey = 130;

// Alert property index that adds a key to the control's alerted keys.
constexpr int32_t AddAlertIndex = 255;

// Error numbers of the form questions.
constexpr uint16_t RecordAddedQuestion = 3;
constexpr uint16_t ChangesWillBeLost = 8;
constexpr uint16_t RecordDeleteError = 33;
constexpr uint16_t RecordUpdateError = 34;
constexpr uint16_t SaveRecordQuestion = 35;

} // namespace

WindowController::WindowController(Window& window) : m_window(&window) {}

WindowController::~WindowController() = default;

void WindowController::Ask() {
    if (DEAD)
        return;
    LASTINSERTEDPOSITION.clear();
    ACCEPT(*m_window, [this] {
        switch (TakeEvent()) {
        case Level::Fatal:
            return LoopOutcome::Left;
        case Level::Notify:
            return LoopOutcome::Cycled;
        default:
            return LoopOutcome::Completed;
        }
    });
}

int WindowController::Init() {
    ORIGINALREQUEST = REQUEST;
    BROWSES = std::make_unique<std::vector<WindowBrowse*>>();
    BUTTONS = std::make_unique<std::vector<ButtonAction>>();
    FILEDROPS = std::make_unique<std::vector<FileDropList*>>();
    if (KEYCODE() == RightButtonKey || KEYCODE() == RightButtonReleasedKey)
        SETKEYCODE(0);
    INSERTACTION = 2;
    DELETEACTION = 2;
    CHANGEACTION = 1;
    CANCELACTION = 3;
    AUTOTOOLBAR = 1;
    AUTOREFRESH = 1;
    return Level::Benign;
}

int WindowController::Kill() {
    if (DEAD || !BROWSES)
        return Level::Notify;
    for (WindowBrowse* browse : *BROWSES)
        browse->Kill();
    BROWSES.reset();
    if (FILEDROPS)
        for (FileDropList* list : *FILEDROPS)
            list->Kill();
    FILEDROPS.reset();
    BUTTONS.reset();
    HISTORY.reset();
    if (FILES)
        for (FormSavedFile& saved : *FILES)
            saved.file->RestoreBuffer(saved.saved, true);
    FILES.reset();
    if (PRIMARY && SAVED != 0) {
        PRIMARY->file().RestoreBuffer(SAVED, true);
        SAVED = 0;
    }
    if (TOOLBAR)
        TOOLBAR->Kill();
    if (RESIZE)
        RESIZE->Kill();
    DEAD = 1;
    // The procedure's scope ends: its window closes.
    if (m_window->IsOpen())
        m_window->Close();
    return Level::Benign;
}

void WindowController::Open() {
    if (TRANSLATOR)
        TRANSLATOR->TranslateWindow(*m_window);
    Reset(false);
    INITED |= WindowOpened;
}

int WindowController::PrimeUpdate() {
    if (!PRIMARY)
        return Level::Benign;
    FormFile& primary = PRIMARY->file();
    primary.UseFile(2);
    if (FILES)
        for (FormSavedFile& saved : *FILES)
            saved.saved = saved.file->SaveBuffer();
    int result = Level::Benign;
    if (REQUEST == InsertRecord && INSERTACTION != 0) {
        RESPONSE = RequestCompleted;
        PrimeFields();
        if (RESPONSE == RequestCancelled)
            result = Level::Fatal;
        else
            RESPONSE = RequestCancelled;
    } else if (REQUEST == DeleteRecord && (DELETEACTION == 2 || DELETEACTION == 4)) {
        // The delete form is never shown: the record goes at once.
        RESPONSE = PRIMARY->Delete(DELETEACTION == 2) == Level::Benign ? RequestCompleted : RequestCancelled;
        result = Level::Fatal;
    }
    SAVED = primary.SaveBuffer();
    return result;
}

void WindowController::Reset(bool force) {
    if (GetProperty(m_window, 0, Prop::AcceptAll) == "1")
        return;
    force = force || FORCEDRESET;
    FORCEDRESET = 0;
    if (BROWSES) {
        for (WindowBrowse* browse : *BROWSES)
            browse->ResetSort(force);
        for (WindowBrowse* browse : *BROWSES)
            browse->UpdateWindow();
    }
    if (FILEDROPS)
        for (FileDropList* list : *FILEDROPS)
            list->ResetQueue(force);
    m_window->Display();
}

void WindowController::RestoreField(int32_t control) {
    if (!HISTORY)
        return;
    for (const HistoryEntry& entry : *HISTORY) {
        if (entry.control == control) {
            SetVariableText(entry.field, entry.saved);
            m_window->Display(control, control);
            return;
        }
    }
}

uint8_t WindowController::Run() {
    if (Init() == Level::Benign)
        Ask();
    Kill();
    return RESPONSE == NoResponse ? static_cast<uint8_t>(RequestCancelled) : RESPONSE;
}

uint8_t WindowController::RunProcedure(int32_t, uint8_t) {
    return RequestCancelled;
}

void WindowController::SetAlerts() {
    if (BROWSES)
        for (WindowBrowse* browse : *BROWSES)
            browse->SetAlerts();
    if (HISTORY && HISTORYKEY != 0)
        for (const HistoryEntry& entry : *HISTORY)
            SetProperty(m_window, entry.control, Prop::Alert, AddAlertIndex, std::to_string(HISTORYKEY));
}

void WindowController::SetResponse(uint8_t response) {
    RESPONSE = response;
    PostEvent(*m_window, Event::CloseWindow);
    if (response == RequestCancelled && TOOLBAR && VCRREQUEST)
        *VCRREQUEST = 0;
}

int WindowController::TakeAccepted() {
    const int32_t accepted = ACCEPTED();
    if (TOOLBAR) {
        TOOLBAR->TakeEvent(VCRREQUEST, *this);
        if (accepted == HistoryButton)
            if (const Control* focus = m_window->focus_control())
                RestoreField(focus->feq());
    }
    if (BUTTONS) {
        const auto button = std::find_if(BUTTONS->begin(), BUTTONS->end(),
                                         [&](const ButtonAction& b) { return b.CONTROL == accepted; });
        if (button != BUTTONS->end()) {
            SetResponse(button->ACTION);
            return Level::Notify;
        }
    }
    if (OKCONTROL != 0 && accepted == OKCONTROL)
        PostCompleted();
    return Level::Benign;
}

int WindowController::TakeCompleted() {
    SaveHistory();
    if (!PRIMARY)
        return Level::Benign;
    switch (REQUEST) {
    case InsertRecord:
        return complete_insert();
    case ChangeRecord:
        return complete_change();
    case DeleteRecord:
        return complete_delete();
    default:
        return Level::Benign;
    }
}

int WindowController::complete_insert() {
    FormFile& primary = PRIMARY->file();
    if (primary.Insert() != Level::Benign) {
        select_first_field();
        return Level::Notify;
    }
    uint8_t action = INSERTACTION;
    if (action == 4)
        action = ERRORS && ERRORS->Throw(RecordAddedQuestion) == Level::Benign ? 3 : 2;
    if (action != 3) {
        SetResponse(RequestCompleted);
        return Level::Benign;
    }
    // Insert another: the form starts again from fresh buffers.
    LASTINSERTEDPOSITION = primary.Position();
    if (FILES) {
        for (FormSavedFile& saved : *FILES) {
            saved.file->RestoreBuffer(saved.saved, true);
            saved.saved = saved.file->SaveBuffer();
        }
    }
    primary.RestoreBuffer(SAVED, true);
    SAVED = primary.SaveBuffer();
    if (primary.PrimeRecord(false) != Level::Benign)
        PostEvent(*m_window, Event::CloseWindow);
    PrimeFields();
    RESPONSE = RequestCancelled;
    m_window->Display();
    select_first_field();
    return Level::Notify;
}

int WindowController::complete_change() {
    RESPONSE = RequestCancelled;
    while (true) {
        if (!primary_changed()) {
            // Nothing to write; a pending toolbar move keeps the response open.
            if (!(TOOLBAR && VCRREQUEST && *VCRREQUEST != 0))
                RESPONSE = RequestCompleted;
            PostEvent(*m_window, Event::CloseWindow);
            return Level::Benign;
        }
        if (PRIMARY->Update(HISTORYKEY != 0) == Level::Benign) {
            RESPONSE = RequestCompleted;
            PostEvent(*m_window, Event::CloseWindow);
            return Level::Benign;
        }
        switch (ask_retry(RecordUpdateError)) {
        case Retry::Again:
            continue;
        case Retry::Close:
            PostEvent(*m_window, Event::CloseWindow);
            return Level::Benign;
        case Retry::Stay:
            m_window->Display();
            select_first_field();
            return Level::Notify;
        }
    }
}

int WindowController::complete_delete() {
    RESPONSE = RequestCancelled;
    bool ask = DELETEACTION == 2;
    while (true) {
        if (PRIMARY->Delete(ask) == Level::Benign) {
            SetResponse(RequestCompleted);
            return Level::Benign;
        }
        ask = false; // a retry does not ask again
        switch (ask_retry(RecordDeleteError)) {
        case Retry::Again:
            continue;
        case Retry::Close:
            PostEvent(*m_window, Event::CloseWindow);
            return Level::Benign;
        case Retry::Stay:
            m_window->Display();
            select_first_field();
            return Level::Notify;
        }
    }
}

WindowController::Retry WindowController::ask_retry(uint16_t error) {
    if (!ERRORS)
        return Retry::Stay;
    switch (ERRORS->Message(error, platform::MessageBoxButtons::YesNoCancel, platform::ButtonCancel)) {
    case platform::ButtonYes:
        return Retry::Again;
    case platform::ButtonNo:
        return Retry::Close;
    default:
        return Retry::Stay;
    }
}

int WindowController::TakeCloseEvent() {
    if (RESPONSE == RequestCompleted || !PRIMARY)
        return Level::Benign;
    // An edit still in the focused field counts as a change: the close box
    // takes the focus from nothing, so the field would not be taken otherwise.
    m_window->Update();
    if (CANCELACTION != 0 && (REQUEST == InsertRecord || REQUEST == ChangeRecord) && primary_changed()) {
        const bool save = (CANCELACTION & 1) != 0;
        const bool ask = (CANCELACTION & 2) != 0;
        if (save && ask) {
            const platform::MessageBoxButton answer =
                ERRORS ? ERRORS->Message(SaveRecordQuestion, platform::MessageBoxButtons::YesNoCancel,
                                         platform::ButtonCancel)
                       : platform::ButtonCancel;
            if (answer == platform::ButtonYes) {
                PostEvent(*m_window, Event::Accepted, OKCONTROL);
                return Level::Notify;
            }
            if (answer != platform::ButtonNo) {
                select_first_field();
                return Level::Notify;
            }
        } else if (save) {
            PostEvent(*m_window, Event::Accepted, OKCONTROL);
            return Level::Notify;
        } else if (ERRORS && ERRORS->Throw(ChangesWillBeLost) == Level::Cancel) {
            select_first_field();
            return Level::Notify;
        }
    }
    if (ORIGINALREQUEST == InsertRecord && RESPONSE == RequestCancelled &&
        PRIMARY->CancelAutoInc() != Level::Benign) {
        select_first_field();
        return Level::Notify;
    }
    if (!LASTINSERTEDPOSITION.empty()) {
        RESPONSE = RequestCompleted;
        PRIMARY->file().TryReget(LASTINSERTEDPOSITION);
    }
    return Level::Benign;
}

int WindowController::TakeEvent() {
    const uint16_t event = EVENT();
    const int32_t control = FIELD();
    int result = Level::Benign;
    if (control == 0) {
        result = TakeWindowEvent();
        if (result != Level::Benign)
            return result;
    }
    switch (event) {
    case Event::Accepted:
        result = TakeAccepted();
        break;
    case Event::Rejected:
        result = TakeRejected();
        break;
    case Event::Selected:
        result = TakeSelected();
        break;
    case Event::NewSelection:
        result = TakeNewSelection();
        break;
    case Event::AlertKey:
        if (HISTORYKEY != 0 && KEYCODE() == HISTORYKEY)
            if (const Control* focus = m_window->focus_control())
                RestoreField(focus->feq());
        break;
    default:
        break;
    }
    if (result != Level::Benign)
        return result;
    if (control != 0)
        result = TakeFieldEvent();
    if (BROWSES)
        for (WindowBrowse* browse : *BROWSES)
            browse->TakeEvent();
    if (FILEDROPS)
        for (FileDropList* list : *FILEDROPS)
            list->TakeEvent();
    if (AUTOREFRESH && BROWSES)
        for (WindowBrowse* browse : *BROWSES)
            if (browse->NeedRefresh())
                Reset(false);
    return result;
}

int WindowController::TakeNewSelection() {
    const Control* control = m_window->control(FIELD());
    if (control && control->type() == wdf::SheetControl) {
        Reset(false);
        if (AUTOTOOLBAR && TOOLBAR)
            TOOLBAR->DisplayButtons();
    }
    return Level::Benign;
}

int WindowController::TakeRejected() {
    platform::backend().beep();
    const int32_t control = FIELD();
    m_window->Display(control, control);
    SELECT(control);
    return Level::Benign;
}

int WindowController::TakeWindowEvent() {
    switch (EVENT()) {
    case Event::OpenWindow:
        if (!(INITED & WindowOpened))
            Open();
        if (FIRSTFIELD != 0)
            SELECT(FIRSTFIELD);
        return Level::Benign;
    case Event::LoseFocus:
        if (RESETONGAINFOCUS)
            FORCEDRESET = 1;
        return Level::Benign;
    case Event::GainFocus:
        if (INITED & WindowOpened)
            Reset(false);
        else
            Open();
        return Level::Benign;
    case Event::Sized:
        if (!(INITED & FirstResizeSeen))
            INITED |= FirstResizeSeen;
        else
            Reset(false);
        return Level::Benign;
    case Event::Completed:
        return TakeCompleted();
    case Event::CloseWindow:
    case Event::CloseDown:
        return TakeCloseEvent();
    default:
        return Level::Benign;
    }
}

void WindowController::Update() {
    if (BROWSES)
        for (WindowBrowse* browse : *BROWSES)
            browse->UpdateViewRecord();
}

void WindowController::AddItem(WindowBrowse& browse) {
    if (!BROWSES)
        return;
    BROWSES->push_back(&browse);
    if (REQUEST == SelectRecord)
        browse.SELECTING = 1;
}

void WindowController::AddItem(FileDropList& list) {
    if (FILEDROPS)
        FILEDROPS->push_back(&list);
}

void WindowController::AddItem(int32_t control, uint8_t action) {
    if (BUTTONS)
        BUTTONS->push_back(ButtonAction{control, action});
}

void WindowController::AddToolbar(ToolbarManager& toolbar) {
    TOOLBAR = &toolbar;
    toolbar.Init();
}

void WindowController::AddHistoryField(int32_t control, const BoundVariable& field) {
    if (!HISTORY)
        HISTORY = std::make_unique<std::vector<HistoryEntry>>();
    HISTORY->push_back(HistoryEntry{control, field, VariableText(field)});
}

void WindowController::AddUpdateFile(FormFile& file) {
    if (!FILES)
        FILES = std::make_unique<std::vector<FormSavedFile>>();
    FILES->push_back(FormSavedFile{&file, 0});
}

void WindowController::PostCompleted() {
    if (ORIGINALREQUEST == InsertRecord || ORIGINALREQUEST == ChangeRecord)
        SELECT(); // every control is validated, then EVENT:Completed comes
    else
        PostEvent(*m_window, Event::Completed);
}

void WindowController::SaveHistory() {
    if (HISTORY)
        for (HistoryEntry& entry : *HISTORY)
            entry.saved = VariableText(entry.field);
}

int WindowController::OpenProcedure(std::string_view name, ToolbarManager* toolbar) {
    m_procedure_name = std::string(name);
    if (GlobalErrors)
        GlobalErrors->SetProcedureName(name);
    REQUEST = GlobalRequest;
    if (const int level = WindowController::Init())
        return level;
    FIRSTFIELD = m_window->controls().empty() ? 0 : m_window->controls().front()->feq();
    VCRREQUEST = &VCRRequest;
    ERRORS = GlobalErrors;
    if (toolbar)
        AddToolbar(*toolbar);
    GlobalRequest = NoRequest;
    GlobalResponse = NoResponse;
    m_window->Open();
    OPENED = 1;
    return Level::Benign;
}

void WindowController::CloseProcedure() {
    if (ERRORS)
        ERRORS->SetProcedureName({}, ErrorReporter::NameStack::Pop);
}

bool WindowController::primary_changed() const {
    return PRIMARY && !PRIMARY->file().EqualBuffer(SAVED);
}

void WindowController::select_first_field() {
    if (FIRSTFIELD != 0)
        SELECT(FIRSTFIELD);
}

} // namespace morvex
