// The thread's transaction over several files. LOGOUT starts it: the
// driver's LOGOUT for every file named, each waiting up to `seconds` for its
// file; when one fails the files already started are rolled back and the
// error stays in the error state (80 from a driver without transactions).
// COMMIT and ROLLBACK end it for every file started. A driver that commits
// several files together (the QVD driver) makes them change all or none.
#pragma once

#include "files/driver.h"

#include <cstdint>
#include <span>

namespace morvex {

void LOGOUT(int32_t seconds, std::span<FileDeclaration* const> files);
void COMMIT();
void ROLLBACK();
// Whether the thread's transaction is running.
bool InTransaction();

} // namespace morvex
