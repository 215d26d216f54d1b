// The program's outermost sequence: the modules initialised, the runtime
// version checked, the program-wide objects created in order (the error
// reporter, the INI manager on "tavemon.INI"), Main run until its frame
// closes, then everything torn down in reverse order and the process ended
// through the runtime's Exit.
#pragma once

#include <cstdint>
#include <memory>

namespace morvex {
class IniManager;
}

namespace tavemon {

// The version this program asks of the runtime: a release build of 5.2.0.
constexpr int32_t ProgramVersionCode = 261;
constexpr int32_t ProgramMinor = 2;
constexpr int32_t ProgramRelease = 0;

// The program INI file.
constexpr const char* ProgramIniFile = "tavemon.INI";

// The program-wide INI manager (the error reporter is morvex::GlobalErrors);
// null outside the program code.
extern morvex::IniManager* GlobalIni;

// Initialises the modules and checks the version; false (after the
// runtime's message) when the program must end at once.
bool StartProgram();

// The program-wide objects, created in order and torn down in reverse.
class ProgramObjects {
public:
    ProgramObjects();
    ~ProgramObjects();
    ProgramObjects(const ProgramObjects&) = delete;
    ProgramObjects& operator=(const ProgramObjects&) = delete;

private:
    struct Objects;
    std::unique_ptr<Objects> m_objects;
};

// The program code: the program-wide objects, Main, their teardown.
void ProgramCode();
// The runtime's shutdown, then Exit with the code (0 after a normal run).
[[noreturn]] void EndProgram(int32_t exit_code = 0);

} // namespace tavemon
