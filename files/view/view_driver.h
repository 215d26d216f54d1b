// A view as the runtime sees it: a file declaration whose driver is the view
// engine, so that OPEN, CLOSE, SET, NEXT, PREVIOUS, POSITION, RESET, REGET,
// BUFFER, the order and filter properties and SETview (81) reach a View
// through the file driver interface like any file statement.
#pragma once

#include "files/file_declaration.h"
#include "files/view/view.h"

#include <string>

namespace morvex {

// The view driver's entry.
int32_t ViewDriver(int operation, FileDeclaration& file, DriverArguments args);

class ViewFile {
public:
    // A view over `primary`, known to the runtime as `label`.
    explicit ViewFile(FileDeclaration& primary, std::string label = "VIEW");

    FileDeclaration& file() { return m_file; }
    View& view() { return m_view; }

private:
    View m_view;
    FileDeclaration m_file;
};

// SET(view, n): positions at the first n order items' values (0: the start).
void SETview(FileDeclaration& view, int32_t items);

} // namespace morvex
