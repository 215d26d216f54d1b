// morvex qvd: what the command works with. The record subcommands (dump,
// export, import) go through a file driver; info and check read the QVD
// container directly. Tests give a backend of their own.
#pragma once

#include "files/file_declaration.h"
#include "tools/command.h"

#include <iosfwd>
#include <string>

namespace morvex::tools {

struct QvdBackend {
    DriverEntry driver = nullptr;
    // Print the figures of / verify the QVD file at `path`; the exit status.
    int (*info)(const std::string& path, std::ostream& out, std::ostream& err) = nullptr;
    int (*check)(const std::string& path, std::ostream& out, std::ostream& err) = nullptr;
};

int run_qvd(Arguments args, std::ostream& out, std::ostream& err, const QvdBackend& backend);

// With the QVD driver and container.
int run_qvd(Arguments args, std::ostream& out, std::ostream& err);

} // namespace morvex::tools
