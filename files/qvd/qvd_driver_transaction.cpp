// LOGOUT, COMMIT and ROLLBACK for one file. Between LOGOUT and COMMIT the
// file's writer byte stays ours and the statements' changes stay staged in
// the store, so the whole transaction reaches the disk in one commit (or not
// at all). Making several files change together is the control file's work.
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_file_state.h"
#include "runtime/error_state.h"

namespace morvex::qvd {

namespace {

void end_transaction(QvdFileState& state) {
    state.concurrency.in_transaction = false;
    state.store->Unlock(0, LockMode::Writer);
}

} // namespace

int32_t QvdFileDriver::Logout(DriverCall& call) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return ErrorCode();
    if (state->concurrency.in_transaction) {
        SetError(56);
        return 56;
    }
    if (!state->writable) {
        SetError(5);
        return 5;
    }
    if (!state->store->Lock(0, LockMode::Writer, true)) {
        SetError(5);
        return 5;
    }
    state->store->Refresh();
    state->concurrency.in_transaction = true;
    return 0;
}

int32_t QvdFileDriver::Commit(DriverCall& call) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return ErrorCode();
    if (!state->concurrency.in_transaction) {
        SetError(91);
        return 91;
    }
    const int32_t error = state->store->Commit();
    if (error != 0)
        state->store->Rollback();
    end_transaction(*state);
    if (error != 0)
        SetError(error);
    return error;
}

int32_t QvdFileDriver::Rollback(DriverCall& call) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return ErrorCode();
    if (!state->concurrency.in_transaction) {
        SetError(91);
        return 91;
    }
    state->store->Rollback();
    end_transaction(*state);
    return 0;
}

} // namespace morvex::qvd
