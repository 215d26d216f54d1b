// LOGOUT, COMMIT and ROLLBACK. Between LOGOUT and COMMIT a file's writer byte
// stays ours and the statements' changes stay staged in its store. The files
// a thread logged out form its transaction: the first COMMIT (or ROLLBACK)
// ends it for all of them, one file alone in one commit, several together
// through the control file; the calls for the other files then report that
// outcome.
#include "files/qvd/kept_control_files.h"
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_file_state.h"
#include "files/qvd/qvd_transaction.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <string_view>
#include <vector>

namespace morvex::qvd {

namespace {

struct ThreadTransaction {
    std::vector<QvdFileState*> files;
    bool ended = false;
    bool committed = false;
    int32_t error = 0;
    std::string error_text;
    // A statement met a failure (a damaged file): the transaction cannot commit.
    int32_t failure = 0;
    std::string failure_text;
};

ThreadTransaction& Transaction() {
    thread_local ThreadTransaction transaction;
    return transaction;
}

// Commits the staged changes of every file of the transaction.
int32_t CommitAll(const std::vector<QvdFileState*>& files) {
    std::vector<TransactionPart> parts;
    for (QvdFileState* state : files) {
        if (state->store->HasStagedChanges())
            parts.push_back(TransactionPart{state->store.get(), std::string()});
    }
    if (parts.empty())
        return 0;
    if (parts.size() == 1)
        return parts.front().store->Commit();
    // The control file lies beside the first file; the others name it by
    // its path unless it is beside them too.
    const std::string control_path = ControlFilePath(files.front()->path);
    for (size_t i = 0; i < parts.size(); ++i) {
        const auto it = std::find_if(files.begin(), files.end(),
                                     [&](QvdFileState* s) { return s->store.get() == parts[i].store; });
        parts[i].control_name =
            ControlFilePath((*it)->path) == control_path ? std::string(DefaultControlName) : control_path;
    }
    return WithControlFile(control_path,
                           [&](ControlFile& control) { return CommitTogether(control, parts); });
}

// Takes `state` out of the thread's transaction, giving its writer byte back.
void Leave(QvdFileState& state) {
    ThreadTransaction& t = Transaction();
    std::erase(t.files, &state);
    if (t.files.empty())
        t = ThreadTransaction{};
    state.concurrency.in_transaction = false;
    state.store->Unlock(0, LockMode::Writer);
}

int32_t Report(int32_t error, std::string_view text = {}) {
    if (error != 0)
        SetError(error, text);
    return error;
}

// Files of the driver open in this process.
std::atomic<size_t> g_open_files{0};

} // namespace

void FileOpened() {
    ++g_open_files;
}

void FileClosed() {
    // The control files stay open while any file of the driver is open.
    if (--g_open_files == 0)
        CloseControlFiles();
}

QvdFileState::~QvdFileState() {
    if (concurrency.in_transaction) {
        ThreadTransaction& t = Transaction();
        std::erase(t.files, this);
        if (t.files.empty())
            t = ThreadTransaction{};
    }
    if (open())
        FileClosed();
}

void FailTransaction(QvdFileState& state, int32_t error, std::string_view text) {
    ThreadTransaction& t = Transaction();
    if (!state.concurrency.in_transaction || t.ended || t.failure != 0)
        return;
    t.failure = error;
    t.failure_text = text;
}

void LeaveTransaction(QvdFileState& state) {
    if (!state.concurrency.in_transaction)
        return;
    state.store->Rollback();
    Leave(state);
}

int32_t QvdFileDriver::Logout(DriverCall& call, int32_t seconds) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return ErrorCode();
    if (state->concurrency.in_transaction)
        return Report(ErrLogoutAlreadyActive);
    if (!state->writable)
        return Report(ErrAccessDenied);
    if (!TakeWriterByte(*state->store, seconds)) {
        SetError(ErrAccessDenied, FileInUse);
        return ErrAccessDenied;
    }
    state->store->Refresh();
    state->concurrency.in_transaction = true;
    state->concurrency.file_free_in_transaction = false;
    ThreadTransaction& t = Transaction();
    if (t.ended) { // files of an ended transaction whose own COMMIT never came
        const std::vector<QvdFileState*> left = t.files;
        for (QvdFileState* file : left)
            Leave(*file);
    }
    t.files.push_back(state);
    return 0;
}

int32_t QvdFileDriver::Commit(DriverCall& call) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return ErrorCode();
    if (!state->concurrency.in_transaction)
        return Report(ErrLogoutNotActive);
    ThreadTransaction& t = Transaction();
    if (!t.ended) {
        // A transaction in which a statement met a failure commits nothing.
        t.error = t.failure != 0 ? t.failure : CommitAll(t.files);
        t.error_text = t.failure != 0 ? t.failure_text : std::string(ErrorExtraText());
        if (t.error != 0) {
            for (QvdFileState* file : t.files)
                file->store->Rollback();
        }
        t.ended = true;
        t.committed = true;
    }
    const int32_t error = t.committed ? t.error : ErrUnableToRollback;
    const std::string text = t.committed ? t.error_text : std::string();
    Leave(*state);
    return Report(error, text);
}

int32_t QvdFileDriver::Rollback(DriverCall& call) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return ErrorCode();
    if (!state->concurrency.in_transaction)
        return Report(ErrLogoutNotActive);
    ThreadTransaction& t = Transaction();
    if (!t.ended) {
        for (QvdFileState* file : t.files)
            file->store->Rollback();
        t.ended = true;
    }
    // A transaction already committed cannot be taken back.
    const int32_t error = t.committed && t.error == 0 ? ErrUnableToRollback : 0;
    Leave(*state);
    return Report(error);
}

} // namespace morvex::qvd
