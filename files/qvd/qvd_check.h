// The integrity check of a QVD file as the driver keeps it, behind `morvex
// qvd check`: the container (Store::CheckContainer), then every table's
// entries. Each record has a number within those issued and an image of its
// table's record length; each key entry names a record that exists; memo and
// blob segments run whole from segment 0 and belong to a record; the order
// state and declaration entries have their form. With the declaration of a
// table, its records are checked against its keys as well: every record has
// exactly one entry in every key, the one its value gives (none in an OPT key
// when the value is empty), and every key entry is the one its record gives.
#pragma once

#include "files/file_declaration.h"
#include "files/qvd/qvd_store.h"

#include <string_view>

namespace morvex::qvd {

// Checks `store` into `report`. `file` (may be null) is the declaration of
// the table named `table`.
void CheckQvdFile(Store& store, const FileDeclaration* file, std::string_view table, CheckReport& report);

} // namespace morvex::qvd
