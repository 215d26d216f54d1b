// The error reporter's ids that the file manager throws, by name (their
// texts are in default_errors.cpp).
#pragma once

#include "runtime/error_state.h"

#include <cstdint>
#include <string>

namespace morvex {

constexpr uint16_t RecordRetrievalError = 1;
constexpr uint16_t AccessDeniedTryingReadOnly = 2;
constexpr uint16_t RecordInsertError = 4;
constexpr uint16_t RecordChangedElsewhere = 6;
constexpr uint16_t FileCreationError = 10;
constexpr uint16_t RecordNotDeleted = 11;
constexpr uint16_t DuplicateKeyError = 13;
constexpr uint16_t FileAccessError = 23;
constexpr uint16_t RecordNotUpdated = 25;
constexpr uint16_t KeyWasNotBuilt = 26;
constexpr uint16_t InvalidKey = 27;
constexpr uint16_t RecordNotRead = 28;
constexpr uint16_t AutoIncrementError = 32;
constexpr uint16_t FileUsageError = 39;

// The runtime error state as a driver left it, to be put back after other
// driver calls cleared it.
struct KeptError {
    int32_t code = ErrorCode();
    std::string extra = std::string(ErrorExtraText());
    void put_back() const {
        if (code == 0)
            ClearError();
        else
            SetError(code, extra);
    }
};

} // namespace morvex
