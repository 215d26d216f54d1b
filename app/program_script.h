// The program under a script (tavemon --script, --tour): the framework's
// commands, every procedure registered by name for `start`, and
//   wait-for NAME   waits until a window of procedure NAME is active (5 s)
//   activate NAME   brings the newest window of procedure NAME to the front
//   active          prints the active window's procedure name and caption
//   ini FILE SECTION KEY   prints an INI file's entry ((none) when missing)
//   memory          prints the program's resident memory in kilobytes
#pragma once

namespace morvex {
class ScriptDriver;
}

namespace tavemon {

void RegisterProgramProcedures();
void AddProgramScriptCommands(morvex::ScriptDriver& driver);

} // namespace tavemon
