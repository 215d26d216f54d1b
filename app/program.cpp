#include "app/program.h"

#include "app/dictionary_managers.h"
#include "app/main_frame.h"
#include "framework/error_reporter.h"
#include "framework/ini_manager.h"
#include "framework/window_controller.h"
#include "runtime/program_modules.h"
#include "runtime/threads.h"
#include "runtime/version_check.h"
#include "window/accept.h"
#include "window/window.h"
#include "window/window_registry.h"

namespace tavemon {

morvex::IniManager* GlobalIni = nullptr;

namespace {

void initialise_threads(int32_t) {
    morvex::InitializeThreads();
}
void initialise_window_engine(int32_t) {
    morvex::InitializeWindowEngine();
}

// The program's modules: the runtime's threads first, then the window engine.
constexpr morvex::ModuleInitialiser Modules[] = {
    {255, initialise_threads, nullptr},
    {128, initialise_window_engine, nullptr},
};

} // namespace

bool StartProgram() {
    morvex::InitialiseModules(Modules);
    return morvex::VersionCheck(ProgramVersionCode, ProgramMinor, ProgramRelease) == 1;
}

struct ProgramObjects::Objects {
    morvex::ErrorReporter errors;
    morvex::IniManager ini;
};

ProgramObjects::ProgramObjects() : m_objects(std::make_unique<Objects>()) {
    m_objects->errors.Init();
    morvex::GlobalErrors = &m_objects->errors;
    m_objects->ini.Init(ProgramIniFile);
    GlobalIni = &m_objects->ini;
    DictionaryInit(m_objects->errors);
}

ProgramObjects::~ProgramObjects() {
    m_objects->ini.Flush();
    m_objects->ini.Kill();
    GlobalIni = nullptr;
    DictionaryKill();
    m_objects->errors.Kill();
    morvex::GlobalErrors = nullptr;
}

void ProgramCode() {
    ProgramObjects objects;
    Main();
    // The demonstration pages may outlive the frame and use the objects, so
    // the program waits for them before it tears the objects down.
    morvex::WaitForOtherThreads();
}

void EndProgram(int32_t exit_code) {
    // The main thread's windows, newest first; then every started procedure.
    const std::vector<morvex::Window*> windows = morvex::OpenWindows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if ((*it)->thread_slot() == morvex::CurrentThreadSlot())
            (*it)->Close();
    morvex::WaitForOtherThreads();
    morvex::Exit(exit_code);
}

} // namespace tavemon
