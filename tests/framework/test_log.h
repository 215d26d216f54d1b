// What the test procedures share with the program that runs them: its log
// (printed by the script's `log`), its --set settings, and the browse
// procedure with its script commands.
#pragma once

#include <cstdint>
#include <string>

namespace morvex {

class ScriptDriver;

void TestNote(const std::string& line);
// A --set setting, or `fallback` when not given.
int TestSetting(const std::string& name, int fallback = 0);

uint8_t RunBrowseProcedure();
// rename TEXT: the name the update procedure gives; range N: the browse's range value.
void AddBrowseCommands(ScriptDriver& driver);

} // namespace morvex
