// WindowController: the engine of every procedure that opens a window. It
// prepares the procedure (request, error reporter, toolbar, window), runs the
// accept loop, routes each event to one handler, keeps the window's browses,
// buttons and file-drop lists in step, carries an update form's insert,
// change and delete logic, and on the way out releases what it made and
// returns the procedure's response.
//
// A procedure derives from it and overrides a few handlers:
//
//     class PickColour : public WindowController {
//     public:
//         PickColour() : WindowController(m_window) { m_window.Load(...); }
//         int Init() override {
//             if (const int level = OpenProcedure("PickColour"))
//                 return level;
//             ... set-up
//             SetAlerts();
//             return Level::Benign;
//         }
//         int Kill() override {
//             if (const int level = WindowController::Kill())
//                 return level;
//             CloseProcedure();
//             return Level::Benign;
//         }
//     private:
//         Window m_window;
//     };
//     const uint8_t response = PickColour().Run();
//
// Handlers return severity levels (framework/error_reporter.h): Level::Fatal leaves
// the accept loop, Level::Notify skips the engine's own handling of the event.
#pragma once

#include "framework/error_reporter.h"
#include "framework/form_files.h"
#include "framework/window_parts.h"
#include "runtime/evaluator.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvex {

class Window;
class ToolbarManager;

// The request a procedure is called with, and the response it gives.
enum Request : uint8_t {
    NoRequest = 0,
    InsertRecord = 1,
    ChangeRecord = 2,
    DeleteRecord = 3,
    SelectRecord = 4
};
enum Response : uint8_t { NoResponse = 0, RequestCompleted = 1, RequestCancelled = 2 };

// Program-wide: the request and response a procedure is called with and
// gives (read and cleared by every procedure's Init), the navigation request
// the toolbar's record buttons set, and the program's error reporter.
extern uint8_t GlobalRequest;
extern uint8_t GlobalResponse;
extern int32_t VCRRequest;
extern ErrorReporter* GlobalErrors;

// A button that ends the window with a response.
struct ButtonAction {
    int32_t CONTROL = 0;
    uint8_t ACTION = 0;
};

// A field whose value the history key ("ditto") brings back.
struct HistoryEntry {
    int32_t control = 0;
    BoundVariable field;
    std::string saved;
};

// A further file whose record buffer a form keeps.
struct FormSavedFile {
    FormFile* file = nullptr;
    uint16_t saved = 0;
};

class WindowController {
public:
    // INITED bits.
    static constexpr uint8_t WindowOpened = 1;
    static constexpr uint8_t FirstResizeSeen = 2;
    // The toolbar's history button.
    static constexpr int32_t HistoryButton = 2011;

    explicit WindowController(Window& window);
    virtual ~WindowController();
    WindowController(const WindowController&) = delete;
    WindowController& operator=(const WindowController&) = delete;

    // The method table, in slot order.
    virtual void Ask();
    virtual int Init();
    virtual int Kill();
    virtual void Open();
    virtual void PrimeFields() {}
    virtual int PrimeUpdate();
    virtual void Reset(bool force = false);
    virtual void RestoreField(int32_t control);
    virtual uint8_t Run();
    virtual uint8_t RunProcedure(int32_t number, uint8_t request);
    virtual void SetAlerts();
    virtual void SetResponse(uint8_t response);
    virtual int TakeAccepted();
    virtual int TakeCompleted();
    virtual int TakeCloseEvent();
    virtual int TakeEvent();
    virtual int TakeFieldEvent() { return Level::Benign; }
    virtual int TakeNewSelection();
    virtual int TakeRejected();
    virtual int TakeSelected() { return Level::Benign; }
    virtual int TakeWindowEvent();
    virtual void Update();

    void AddItem(WindowBrowse& browse);
    void AddItem(FileDropList& list);
    // A button that ends the window with `action` as the response.
    void AddItem(int32_t control, uint8_t action);
    void AddToolbar(ToolbarManager& toolbar);
    // A field the history key restores, and a file whose buffer a form keeps.
    void AddHistoryField(int32_t control, const BoundVariable& field);
    void AddUpdateFile(FormFile& file);
    void PostCompleted();
    void SaveHistory();

    // A procedure's Init up to the opening of its window: the name pushed,
    // the program-wide request taken, base Init, the toolbar added, the
    // globals cleared, the window opened. The base Init's level.
    int OpenProcedure(std::string_view name, ToolbarManager* toolbar = nullptr);
    // The end of a procedure's Kill: its name popped.
    void CloseProcedure();

    Window& window() const { return *m_window; }

    uint8_t AUTOREFRESH = 1;
    uint8_t AUTOTOOLBAR = 1;
    std::unique_ptr<std::vector<WindowBrowse*>> BROWSES;
    std::unique_ptr<std::vector<ButtonAction>> BUTTONS;
    std::unique_ptr<std::vector<FileDropList*>> FILEDROPS;
    uint8_t CANCELACTION = 3; // bit 1: save instead of discarding, bit 2: ask first
    uint8_t CHANGEACTION = 1;
    uint8_t DEAD = 0;
    uint8_t DELETEACTION = 2;
    ErrorReporter* ERRORS = nullptr;
    std::unique_ptr<std::vector<FormSavedFile>> FILES;
    int32_t FIRSTFIELD = 0;
    uint8_t FORCEDRESET = 0;
    uint8_t RESETONGAINFOCUS = 0;
    std::unique_ptr<std::vector<HistoryEntry>> HISTORY;
    uint32_t HISTORYKEY = 0;
    uint8_t INITED = 0;
    uint8_t INSERTACTION = 2; // 2 close, 3 insert another, 4 ask
    std::string LASTINSERTEDPOSITION;
    int32_t OKCONTROL = 0;
    uint8_t OPENED = 0;
    uint8_t ORIGINALREQUEST = 0;
    FormRelation* PRIMARY = nullptr;
    uint8_t REQUEST = NoRequest;
    ResizeManager* RESIZE = nullptr;
    uint8_t RESPONSE = NoResponse;
    uint16_t SAVED = 0;
    ToolbarManager* TOOLBAR = nullptr;
    WindowTranslator* TRANSLATOR = nullptr;
    int32_t* VCRREQUEST = nullptr;

private:
    // The outcome of a failed update or delete: try again, close, or stay.
    enum class Retry { Again, Close, Stay };
    Retry ask_retry(uint16_t error);
    bool primary_changed() const;
    int complete_insert();
    int complete_change();
    int complete_delete();
    void select_first_field();

    Window* m_window;
    std::string m_procedure_name; // pushed by OpenProcedure
};

} // namespace morvex
