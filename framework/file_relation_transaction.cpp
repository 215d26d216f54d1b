// FileRelation: the transaction a delete or an update runs in. Every file the
// change may write is enlisted (put to use and named to the transaction),
// then the transaction is started with a wait of two seconds for each file.
// A driver without transactions answers 80: the relation then goes on
// without one from now on.
#include "files/transaction.h"
#include "framework/file_manager.h"
#include "framework/file_manager_errors.h"
#include "framework/file_relation.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

#include <algorithm>

namespace morvex {

namespace {

constexpr uint16_t TransactionCancelled = 21;
constexpr int32_t TransactionWaitSeconds = 2;

// Whether the thread's running transaction is one a relation started; a
// transaction the caller runs itself is never ended here.
thread_local bool t_relation_transaction = false;

} // namespace

void FileRelation::enlist(Change change, std::vector<FileRelation*>& touched,
                          std::vector<FileDeclaration*>& files, bool& failed) {
    if (failed || std::find(touched.begin(), touched.end(), this) != touched.end())
        return;
    touched.push_back(this);
    if (ME->UseFile(2) != 0) {
        failed = true;
        return;
    }
    if (std::find(files.begin(), files.end(), ME->FILE) == files.end())
        files.push_back(ME->FILE);
    if (!RELATIONS)
        return;
    for (RelationRecord& relation : *RELATIONS) {
        if (!relation.HISKEY)
            continue;
        const uint8_t mode = change == Change::Delete ? relation.DELETEMODE : relation.UPDATEMODE;
        switch (mode) {
        case RelationCascade:
            relation.FILE->enlist(change, touched, files, failed);
            break;
        case RelationClear:
            relation.FILE->enlist(Change::Update, touched, files, failed);
            break;
        case RelationRestrict:
            // Only read, but enlisted all the same: no other station can
            // add a child between the check and the commit.
            relation.FILE->enlist(Change::Update, touched, files, failed);
            break;
        default:
            break;
        }
    }
}

bool FileRelation::start_transaction(Change change) {
    if (!USELOGOUT)
        return true;
    std::vector<FileRelation*> touched;
    std::vector<FileDeclaration*> files;
    bool failed = false;
    enlist(change, touched, files, failed);
    if (failed)
        return false;
    LOGOUT(TransactionWaitSeconds, files);
    switch (ErrorCode()) {
    case 0:
        t_relation_transaction = true;
        return true;
    case ErrUnsupportedDriverFunction:
        USELOGOUT = 0;
        ClearError();
        return true;
    default:
        ME->Throw(TransactionCancelled);
        return false;
    }
}

void FileRelation::roll_back() {
    if (!t_relation_transaction)
        return;
    t_relation_transaction = false;
    // The error being reported survives the rollback.
    const KeptError error{};
    ROLLBACK();
    error.put_back();
}

bool FileRelation::commit() {
    if (!t_relation_transaction)
        return true;
    t_relation_transaction = false;
    COMMIT();
    return ErrorCode() == 0;
}

} // namespace morvex
