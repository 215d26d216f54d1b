#include "files/transaction.h"

#include "files/file_statements.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

#include <vector>

namespace morvex {

namespace {

std::vector<FileDeclaration*>& Started() {
    thread_local std::vector<FileDeclaration*> files;
    return files;
}

// Runs `statement` for every started file and ends the transaction; the
// first error is the one reported.
template <typename Statement>
void EndTransaction(Statement statement) {
    std::vector<FileDeclaration*> files = std::move(Started());
    Started().clear();
    int32_t first_error = 0;
    for (FileDeclaration* file : files) {
        statement(*file);
        if (first_error == 0)
            first_error = ErrorCode();
    }
    if (first_error != 0)
        SetError(first_error);
    else
        ClearError();
}

} // namespace

void LOGOUT(int32_t seconds, std::span<FileDeclaration* const> files) {
    if (!Started().empty()) {
        SetError(ErrLogoutAlreadyActive);
        return;
    }
    for (FileDeclaration* file : files) {
        LOGOUT(*file, seconds);
        if (const int32_t error = ErrorCode(); error != 0) {
            EndTransaction([](FileDeclaration& started) { ROLLBACK(started); });
            SetError(error);
            return;
        }
        Started().push_back(file);
    }
    ClearError();
}

void COMMIT() {
    if (Started().empty()) {
        SetError(ErrLogoutNotActive);
        return;
    }
    EndTransaction([](FileDeclaration& file) { COMMIT(file); });
}

void ROLLBACK() {
    if (Started().empty()) {
        SetError(ErrLogoutNotActive);
        return;
    }
    EndTransaction([](FileDeclaration& file) { ROLLBACK(file); });
}

bool InTransaction() {
    return !Started().empty();
}

} // namespace morvex
