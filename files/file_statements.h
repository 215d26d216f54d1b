// The language's file statements, each one driver call (see driver.h): they
// push and pop the texts that travel on the string stack, so callers work with
// ordinary strings. Success or failure is in the runtime error state.
#pragma once

#include "files/access_mode.h"
#include "files/driver.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

void OPEN(FileDeclaration& file, int32_t access_mode = AccessReadWrite | ShareDenyWrite);
void CLOSE(FileDeclaration& file);
void CREATE(FileDeclaration& file);
void BUILD(FileDeclaration& file);
void SET(FileDeclaration& file);
void SET(KeyDeclaration& key);
// Positions by `key` at the value that `start`'s components hold in the record buffer.
void SET(KeyDeclaration& key, KeyDeclaration& start);
void NEXT(FileDeclaration& file);
void PREVIOUS(FileDeclaration& file);
void GET(FileDeclaration& file, KeyDeclaration& key);
void GET(FileDeclaration& file, int32_t pointer);
void REGET(FileDeclaration& file, std::string_view position);
void REGET(KeyDeclaration& key, std::string_view position);
void RESET(FileDeclaration& file, std::string_view position);
void RESET(KeyDeclaration& key, std::string_view position);
std::string POSITION(FileDeclaration& file);
std::string POSITION(KeyDeclaration& key);
void ADD(FileDeclaration& file);
void PUT(FileDeclaration& file);
void DELETE(FileDeclaration& file);
// 1 when adding the record buffer would duplicate a value of the key.
int32_t DUPLICATE(KeyDeclaration& key);
int32_t RECORDS(FileDeclaration& file);
int32_t RECORDS(KeyDeclaration& key);
void HOLD(FileDeclaration& file);
void WATCH(FileDeclaration& file);
void UNLOCK(FileDeclaration& file);
void LOCK(FileDeclaration& file, int32_t seconds);
void FLUSH(FileDeclaration& file);
// One file's part of a transaction (the driver's LOGOUT, COMMIT and ROLLBACK
// for that file); files/transaction.h runs a transaction over several files.
// LOGOUT waits up to `seconds` for the file (below 0: as long as it takes).
void LOGOUT(FileDeclaration& file, int32_t seconds = -1);
void COMMIT(FileDeclaration& file);
void ROLLBACK(FileDeclaration& file);
// The driver's answer text.
std::string SEND(FileDeclaration& file, std::string_view text);
void SetFileProperty(FileDeclaration& file, int32_t property, std::string_view value, int32_t index = 0);
std::string FileProperty(FileDeclaration& file, int32_t property, int32_t index = 0);
// key{property, index} as its text ("1", "KEY").
std::string KeyPropertyText(KeyDeclaration& key, int32_t property, int32_t index = 0);

} // namespace morvex
