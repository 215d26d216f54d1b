#include "files/file_statements.h"

#include "runtime/string_stack.h"

namespace morvex {

namespace {

using Op = DriverOperation;

std::string take_result() {
    StringStack& strings = Strings();
    return strings.empty() ? std::string() : strings.take();
}

} // namespace

void OPEN(FileDeclaration& file, int32_t access_mode) {
    CallDriver(Op::Open, file, access_mode);
}
void CLOSE(FileDeclaration& file) {
    CallDriver(Op::Close, file);
}
void CREATE(FileDeclaration& file) {
    CallDriver(Op::Create, file);
}
void BUILD(FileDeclaration& file) {
    CallDriver(Op::BuildFile, file);
}
void SET(FileDeclaration& file) {
    CallDriver(Op::SetFile, file);
}
void SET(KeyDeclaration& key) {
    CallDriver(Op::SetKey, key);
}
void SET(KeyDeclaration& key, KeyDeclaration& start) {
    CallDriver(Op::SetKeyKey, key, &start);
}
void NEXT(FileDeclaration& file) {
    CallDriver(Op::Next, file);
}
void PREVIOUS(FileDeclaration& file) {
    CallDriver(Op::Previous, file);
}
void GET(FileDeclaration& file, KeyDeclaration& key) {
    CallDriver(Op::GetFileKey, file, &key);
}
void GET(FileDeclaration& file, int32_t pointer) {
    CallDriver(Op::GetFilePtr, file, pointer);
}

void REGET(FileDeclaration& file, std::string_view position) {
    Strings().push_copy(position);
    CallDriver(Op::RegetFile, file);
}
void REGET(KeyDeclaration& key, std::string_view position) {
    Strings().push_copy(position);
    CallDriver(Op::RegetKey, key);
}
void RESET(FileDeclaration& file, std::string_view position) {
    Strings().push_copy(position);
    CallDriver(Op::ResetFile, file);
}
void RESET(KeyDeclaration& key, std::string_view position) {
    Strings().push_copy(position);
    CallDriver(Op::ResetKey, key);
}

std::string POSITION(FileDeclaration& file) {
    CallDriver(Op::PositionFile, file);
    return take_result();
}
std::string POSITION(KeyDeclaration& key) {
    CallDriver(Op::PositionKey, key);
    return take_result();
}

void ADD(FileDeclaration& file) {
    CallDriver(Op::Add, file);
}
void PUT(FileDeclaration& file) {
    CallDriver(Op::Put, file);
}
void DELETE(FileDeclaration& file) {
    CallDriver(Op::Delete, file);
}
int32_t DUPLICATE(KeyDeclaration& key) {
    return CallDriver(Op::DuplicateKey, key);
}
int32_t RECORDS(FileDeclaration& file) {
    return CallDriver(Op::RecordsFile, file);
}
int32_t RECORDS(KeyDeclaration& key) {
    return CallDriver(Op::RecordsKey, key);
}
void HOLD(FileDeclaration& file) {
    CallDriver(Op::HoldFile, file);
}
void WATCH(FileDeclaration& file) {
    CallDriver(Op::Watch, file);
}
void UNLOCK(FileDeclaration& file) {
    CallDriver(Op::Unlock, file);
}
void LOCK(FileDeclaration& file, int32_t seconds) {
    CallDriver(Op::LockFileSec, file, seconds);
}
void FLUSH(FileDeclaration& file) {
    CallDriver(Op::Flush, file);
}
void COMMIT(FileDeclaration& file) {
    CallDriver(Op::Commit, file);
}
void ROLLBACK(FileDeclaration& file) {
    CallDriver(Op::Rollback, file);
}
void LOGOUT(FileDeclaration& file, int32_t seconds) {
    CallDriver(Op::Logout, file, seconds);
}

std::string SEND(FileDeclaration& file, std::string_view text) {
    Strings().push_copy(text);
    CallDriver(Op::Send, file);
    return take_result();
}

void SetFileProperty(FileDeclaration& file, int32_t property, std::string_view value, int32_t index) {
    Strings().push_copy(value);
    CallDriver(Op::SetProperty, file, property, index);
}

std::string FileProperty(FileDeclaration& file, int32_t property, int32_t index) {
    CallDriver(Op::GetProperty, file, property, index);
    return take_result();
}

std::string KeyPropertyText(KeyDeclaration& key, int32_t property, int32_t index) {
    CallDriver(Op::GetPropertyKey, key, property, index);
    return take_result();
}

} // namespace morvex
