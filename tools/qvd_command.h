// morvex qvd: what the command works with. The record subcommands (dump,
// export, import) go through a file driver; info and check read the QVD
// container directly. Tests give a backend of their own.
#pragma once

#include "files/file_declaration.h"
#include "files/record_layout.h"
#include "tools/command.h"

#include <iosfwd>
#include <string>

namespace morvex::tools {

struct QvdBackend {
    DriverEntry driver = nullptr;
    // Print the figures of the QVD file FILE[\!TABLE] `name`; the exit status.
    int (*info)(const std::string& name, std::ostream& out, std::ostream& err) = nullptr;
    // Verify it, the table's records against `layout` when one is known; the exit status.
    int (*check)(const std::string& name, const RecordLayout* layout, std::ostream& out,
                 std::ostream& err) = nullptr;
};

int run_qvd(Arguments args, std::ostream& out, std::ostream& err, const QvdBackend& backend);

// With the QVD driver and container.
int run_qvd(Arguments args, std::ostream& out, std::ostream& err);

} // namespace morvex::tools
