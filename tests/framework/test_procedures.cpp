// A small program of test procedures built on the WindowController, run
// under a script by the framework's scenario cases:
//
//   test_procedures --procedure NAME [--request N] --script FILE [--shots DIR] [--font FILE]
//
// The procedure runs on the main thread; the script's `start` runs others.
// What the procedures' handlers and their fake browse, toolbar target and
// files do is written to a log that the script prints with `log`; `fail OP
// [N]` makes the form's file fail its next N calls of OP. At the end the
// program prints the main procedure's response.
#include "framework/error_reporter.h"
#include "framework/popup_manager.h"
#include "framework/script_commands.h"
#include "framework/toolbar_manager.h"
#include "framework/window_controller.h"
#include "platform/backend_choice.h"
#include "platform/message_queue.h"
#include "runtime/error_state.h"
#include "runtime/threads.h"
#include "tests/framework/test_log.h"
#include "window/accept.h"
#include "window/bound_value.h"
#include "window/events.h"
#include "window/message_box_window.h"
#include "window/painter/font_matcher.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/scripted_run.h"
#include "window/window.h"

#include <array>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>

namespace morvex {

// tests/framework/query_procedure.cpp
uint8_t RunQueryDialogs(const std::function<void(const std::string&)>& note);

namespace {

// Everything below runs under the runtime lock.
std::vector<std::string> g_log;

void note(const std::string& line) {
    g_log.push_back(line);
}

std::string event_name() {
    const std::string_view name = EventName(EVENT());
    return name.empty() ? "event " + std::to_string(EVENT()) : std::string(name);
}

// A browse that only says what the controller asks of it.
class LoggingBrowse : public WindowBrowse {
public:
    void TakeEvent() override {}
    bool NeedRefresh() override { return std::exchange(refresh_next, false); }
    void ResetSort(bool force) override { note("browse ResetSort " + std::to_string(force)); }
    void UpdateWindow() override { note("browse UpdateWindow"); }
    void UpdateViewRecord() override { note("browse UpdateViewRecord"); }
    void SetAlerts() override { note("browse SetAlerts"); }
    void Kill() override { note("browse Kill"); }
    static inline bool refresh_next = false;
};

class LoggingTarget : public ToolbarTarget {
public:
    void DisplayButtons() override { note("target DisplayButtons"); }
    void TakeToolbar() override { note("target TakeToolbar"); }
    bool TryTakeToolbar() override { return true; }
    void TakeEvent(int32_t*, WindowController&) override {
        if (ACCEPTED() >= ToolbarInsert && ACCEPTED() <= ToolbarHelp)
            note("target TakeEvent " + std::to_string(ACCEPTED()));
    }
};

// Routing, buttons, resets, history, the toolbar and the popup.
class Router : public WindowController {
public:
    static constexpr int32_t Name = 1, Date = 2, Ok = 3, Cancel = 4, Tools = 5, Sheet = 6;
    static constexpr uint32_t ToolboxKey = 0x71; // F2
    static constexpr uint16_t BeepEvent = 0x500; // an event of the program's own

    Router() : WindowController(m_window) {
        m_window.Load("tests$router", "Router");
        m_window.Bind(Name, BoundVariable{FieldType::String, m_name.data(),
                                          static_cast<uint32_t>(m_name.size()), 0, 1});
        m_window.Bind(Date, BoundVariable{FieldType::Long, &m_date, 4, 0, 1});
    }

    int Init() override {
        m_name.fill(' ');
        if (const int level = OpenProcedure("Router", &m_toolbar))
            return level;
        RESETONGAINFOCUS = 1;
        OKCONTROL = Ok;
        HISTORYKEY = 0x270; // Ctrl+F1: the "ditto" key
        AddItem(Cancel, RequestCancelled);
        AddItem(m_browse);
        AddHistoryField(Name, BoundVariable{FieldType::String, m_name.data(),
                                            static_cast<uint32_t>(m_name.size()), 0, 1});
        m_toolbar.AddTarget(m_target, Sheet);
        m_toolbar.SetTarget(Sheet);
        SetToolbarTips(m_window);
        m_popup.Init();
        m_popup.AddItemMimic("&OK", "!&OK", Ok);
        m_popup.AddItemMimic("&Cancel", "!&Cancel", Cancel);
        m_popup.AddSeparator();
        for (const std::string& name :
             {m_popup.AddItem("Beep", BeepEvent), m_popup.AddItem("Beep!", BeepEvent)})
            note("popup item " + name);
        SetAlerts();
        return Level::Benign;
    }

    int Kill() override {
        if (const int level = WindowController::Kill())
            return level;
        m_popup.Kill();
        CloseProcedure();
        return Level::Benign;
    }

    void Open() override {
        note("Open");
        WindowController::Open();
    }
    void Reset(bool force) override {
        note("Reset " + std::to_string(force));
        WindowController::Reset(force);
    }
    int TakeWindowEvent() override {
        // Where Suspend and Resume fall depends on how the threads interleave.
        if (EVENT() != Event::Suspend && EVENT() != Event::Resume)
            note("TakeWindowEvent " + event_name());
        return WindowController::TakeWindowEvent();
    }
    int TakeEvent() override {
        if (EVENT() == Event::AlertKey && KEYCODE() == ToolboxKey)
            m_popup.Toolbox("Router Actions");
        return WindowController::TakeEvent();
    }
    int TakeAccepted() override {
        note("TakeAccepted " + std::to_string(ACCEPTED()));
        if (ACCEPTED() == Tools)
            note("popup chose \"" + m_popup.Ask() + "\"");
        return WindowController::TakeAccepted();
    }
    int TakeFieldEvent() override {
        note("TakeFieldEvent " + event_name() + " " + std::to_string(FIELD()));
        return Level::Benign;
    }
    int TakeNewSelection() override {
        note("TakeNewSelection " + std::to_string(FIELD()));
        return WindowController::TakeNewSelection();
    }
    int TakeRejected() override {
        note("TakeRejected " + std::to_string(FIELD()));
        return WindowController::TakeRejected();
    }
    int TakeSelected() override {
        note("TakeSelected " + std::to_string(FIELD()));
        return WindowController::TakeSelected();
    }
    int TakeCompleted() override {
        note("TakeCompleted");
        return WindowController::TakeCompleted();
    }
    int TakeCloseEvent() override {
        note("TakeCloseEvent");
        return WindowController::TakeCloseEvent();
    }
    void SetAlerts() override {
        WindowController::SetAlerts();
        SetProperty(&m_window, 0, Prop::Alert, 255, std::to_string(ToolboxKey));
    }

private:
    Window m_window;
    std::array<char, 10> m_name{};
    int32_t m_date = 0;
    LoggingBrowse m_browse;
    ToolbarManager m_toolbar;
    LoggingTarget m_target;
    PopupManager m_popup;
};

// The form's file: one record (a name) with snapshots, and failures on demand.
std::map<std::string, int> g_failures; // operation -> calls left to fail
// The form's settings from the command line (--set NAME=N).
std::map<std::string, int> g_settings;

std::string trimmed(std::string_view text) {
    return std::string(text.substr(0, text.find_last_not_of(' ') + 1));
}

bool fails(const std::string& operation) {
    auto found = g_failures.find(operation);
    if (found == g_failures.end() || found->second == 0)
        return false;
    --found->second;
    return true;
}

class NameFile : public FormFile, public FormRelation {
public:
    explicit NameFile(std::array<char, 20>& buffer) : m_buffer(buffer) {}

    int UseFile(int) override { return Level::Benign; }
    uint16_t SaveBuffer() override {
        m_snapshots[++m_last_id] = m_buffer;
        return m_last_id;
    }
    void RestoreBuffer(uint16_t& id, bool restore) override {
        const auto found = m_snapshots.find(id);
        id = 0;
        if (found == m_snapshots.end())
            return;
        if (restore)
            m_buffer = found->second;
        m_snapshots.erase(found);
    }
    bool EqualBuffer(uint16_t id) override {
        const auto found = m_snapshots.find(id);
        return found != m_snapshots.end() && found->second == m_buffer;
    }
    int Insert() override { return act("Insert \"" + trimmed({m_buffer.data(), m_buffer.size()}) + "\""); }
    int PrimeRecord(bool) override {
        m_buffer.fill(' ');
        return act("PrimeRecord");
    }
    std::string Position() override { return "7"; }
    int TryReget(std::string_view position) override { return act("TryReget " + std::string(position)); }
    FormFile& file() override { return *this; }
    int Update(bool history) override {
        return act("Update \"" + trimmed({m_buffer.data(), m_buffer.size()}) + "\" history " +
                   std::to_string(history));
    }
    int Delete(bool ask) override {
        if (ask && GlobalErrors->Throw(9) != Level::Benign)
            return Level::Notify;
        return act("Delete");
    }
    int CancelAutoInc() override { return act("CancelAutoInc"); }

private:
    int act(const std::string& operation) {
        const bool failed = fails(operation.substr(0, operation.find(' ')));
        note("file " + operation + (failed ? " failed" : ""));
        return failed ? Level::Notify : Level::Benign;
    }
    std::array<char, 20>& m_buffer;
    std::map<uint16_t, std::array<char, 20>> m_snapshots;
    uint16_t m_last_id = 0;
};

class Form : public WindowController {
public:
    static constexpr int32_t Name = 2, Ok = 3, Cancel = 4;

    Form() : WindowController(m_window), m_file(m_name) {
        m_name.fill(' ');
        std::memcpy(m_name.data(), "Ada", 3);
        m_window.Load("tests$form", "Form");
        m_window.Bind(Name, BoundVariable{FieldType::String, m_name.data(),
                                          static_cast<uint32_t>(m_name.size()), 0, 1});
    }

    int Init() override {
        if (const int level = OpenProcedure("Form"))
            return level;
        PRIMARY = &m_file;
        OKCONTROL = Ok;
        FIRSTFIELD = Name;
        AddItem(Cancel, RequestCancelled);
        for (const auto& [setting, field] :
             {std::pair{"INSERTACTION", &INSERTACTION}, std::pair{"CANCELACTION", &CANCELACTION},
              std::pair{"DELETEACTION", &DELETEACTION}})
            if (g_settings.contains(setting))
                *field = static_cast<uint8_t>(g_settings[setting]);
        if (const int level = PrimeUpdate()) {
            note("PrimeUpdate " + std::to_string(level));
            return level;
        }
        SetAlerts();
        return Level::Benign;
    }

    int Kill() override {
        if (const int level = WindowController::Kill())
            return level;
        note("Kill: name \"" + trimmed({m_name.data(), m_name.size()}) + "\"");
        CloseProcedure();
        return Level::Benign;
    }

    void PrimeFields() override { note("PrimeFields"); }

private:
    Window m_window;
    std::array<char, 20> m_name{};
    NameFile m_file;
};

// Buttons that throw messages.
class Errors : public WindowController {
public:
    static constexpr int32_t Load = 1, Ask = 2, Unknown = 3;

    Errors() : WindowController(m_window) { m_window.Load("tests$errors", "Errors"); }

    int Init() override {
        if (const int level = OpenProcedure("Errors"))
            return level;
        SetAlerts();
        return Level::Benign;
    }
    int Kill() override {
        if (const int level = WindowController::Kill())
            return level;
        CloseProcedure();
        return Level::Benign;
    }
    int TakeAccepted() override {
        switch (ACCEPTED()) {
        case Load:
            SetError(2); // file not found
            ERRORS->SetFile("Customer.qvd");
            note("Throw 19: " + std::to_string(ERRORS->Throw(19)));
            break;
        case Ask:
            note("Throw 8: " + std::to_string(ERRORS->Throw(8)));
            break;
        case Unknown:
            note("Throw 999: " + std::to_string(ERRORS->Throw(999)));
            break;
        default:
            break;
        }
        return WindowController::TakeAccepted();
    }

private:
    Window m_window;
};

template <typename Procedure>
uint8_t run_procedure() {
    Procedure procedure;
    return procedure.Run();
}

void add_test_commands(ScriptDriver& driver) {
    AddFrameworkScriptCommands(driver);
    AddBrowseCommands(driver);
    driver.AddCommand("log", [&driver](std::string_view) -> std::optional<std::string> {
        std::vector<std::string> lines;
        driver.WithActiveWindow([&](Window&) { lines.swap(g_log); });
        for (const std::string& line : lines)
            driver.out() << line << "\n";
        return std::nullopt;
    });
    driver.AddCommand("fail", [&driver](std::string_view arguments) -> std::optional<std::string> {
        std::istringstream words{std::string(arguments)};
        std::string operation;
        int count = 1;
        if (!(words >> operation))
            return "fail needs OPERATION [COUNT]";
        words >> count;
        driver.WithActiveWindow([&](Window&) { g_failures[operation] = count; });
        return std::nullopt;
    });
    driver.AddCommand("refresh", [&driver](std::string_view) -> std::optional<std::string> {
        driver.WithActiveWindow([&](Window&) { LoggingBrowse::refresh_next = true; });
        return std::nullopt;
    });
}

} // namespace

void TestNote(const std::string& line) {
    note(line);
}

int TestSetting(const std::string& name, int fallback) {
    const auto found = g_settings.find(name);
    return found == g_settings.end() ? fallback : found->second;
}

namespace {

int usage(const std::string& message) {
    std::cerr << "test_procedures: " << message
              << "\nusage: test_procedures --procedure NAME [--request N] [--set NAME=N]... --script FILE"
                 " [--shots DIR] [--font FILE]\n";
    return 2;
}

} // namespace
} // namespace morvex

int main(int argc, char** argv) {
    using namespace morvex;
    std::string procedure, script_path, shots, font;
    int request = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (arg == "--procedure")
            procedure = value();
        else if (arg == "--request")
            request = std::atoi(value().c_str());
        else if (arg == "--set") {
            // Settings the form reads at Init: NAME=N.
            const std::string setting = value();
            const std::size_t equals = setting.find('=');
            if (equals == std::string::npos)
                return usage("--set needs NAME=N");
            g_settings[setting.substr(0, equals)] = std::atoi(setting.c_str() + equals + 1);
        } else if (arg == "--script")
            script_path = value();
        else if (arg == "--shots")
            shots = value();
        else if (arg == "--font")
            font = value();
        else
            return usage("unknown argument " + arg);
    }
    if (procedure.empty() || script_path.empty())
        return usage("--procedure and --script are needed");
    std::ifstream in(script_path);
    std::stringstream script;
    script << in.rdbuf();
    if (!in)
        return usage("cannot read " + script_path);
    if (!platform::install_backend("headless"))
        return 2;
    if (!font.empty())
        painter::set_fixed_font_file(font);
    platform::use_manual_timer_clock();
    InitializeThreads();
    InitializeWindowEngine();
    // Every message box goes to the log before it is drawn.
    platform::set_message_box_presenter([](const platform::MessageBoxRequest& request) {
        note("box \"" + request.caption + "\": " + request.text);
        return RunMessageBox(request);
    });

    ErrorReporter errors;
    errors.Init();
    GlobalErrors = &errors;
    RegisterProcedure("Router", run_procedure<Router>);
    RegisterProcedure("Form", run_procedure<Form>);
    RegisterProcedure("Errors", run_procedure<Errors>);
    RegisterProcedure("Browse", RunBrowseProcedure);
    RegisterProcedure("QueryDialog", [] { return RunQueryDialogs(note); });

    ScriptOptions options;
    options.name = script_path;
    options.shots_directory = shots;
    std::optional<uint8_t> response;
    const int status = RunUnderScript(options, script.str(), std::cout, std::cerr, add_test_commands, [&] {
        GlobalRequest = static_cast<uint8_t>(request);
        response = RunRegisteredProcedure(procedure);
    });
    for (const std::string& line : g_log)
        std::cout << line << "\n";
    if (!response)
        return usage("no procedure is registered as " + procedure);
    std::cout << "response " << int(*response) << "\n";
    errors.Kill();
    return status;
}
