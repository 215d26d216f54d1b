// Opening and reading files that come from outside (CSV, layouts): a failure
// is an error text with the system's reason, never an exception. A
// directory is refused at once (reading one would fail only later); a FIFO
// is read like a file, so that `<(command)` works.
#pragma once

#include <fstream>
#include <string>

namespace morvex {

// Opens `path` for reading. False with `error` set to the system's reason.
bool OpenInputFile(const std::string& path, std::ifstream& in, std::string& error);

// Reads the whole of `path` into `text`. False with `error` set to the
// system's reason.
bool ReadInputFile(const std::string& path, std::string& text, std::string& error);

} // namespace morvex
