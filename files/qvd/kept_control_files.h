// The control files of this process's multi-file transactions, kept open
// between transactions so that each decision can list the next
// transaction's number (see ControlFile). They stay open while any file of
// the driver is open.
#pragma once

#include "files/qvd/qvd_transaction.h"

#include <functional>
#include <string>

namespace morvex::qvd {

// Runs `commit` with the control file at `path`, opened (or created) on first
// use and opened afresh when the path has come to name another file. One
// transaction at a time uses a control file. `commit`'s result, or
// ErrUnableToLogTransaction when the control file cannot be opened.
int32_t WithControlFile(const std::string& path, const std::function<int32_t(ControlFile&)>& commit);

// Closes every kept control file, taking the numbers listed ahead back out.
void CloseControlFiles();

} // namespace morvex::qvd
