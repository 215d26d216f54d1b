// Several QVD files committed together. A control file, itself a QVD file
// whose entries are keyed by transaction number, lists the transactions still
// open. Each file's commit carries the transaction record (key 0xFF: the
// transaction's number and the control file's name); when a recovery finds
// that commit pending, it keeps it only once the control file no longer lists
// the transaction. So the control file's commit that closes the transaction
// is the moment at which every file changes together.
#pragma once

#include "files/qvd/qvd_store.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace morvex::qvd {

// The name a transaction record gives for the control file beside the data
// file, whatever its directory.
constexpr std::string_view DefaultControlName = "C:\\quOrvanE.TCF";
constexpr std::string_view ControlFileName = "quorvane.tcf";

// The data file's own directory followed by "quorvane.tcf".
std::string ControlFilePath(std::string_view data_path);

// The transaction record's data: the number (4 bytes, big-endian, as the
// control file's key) followed by the control file's name.
Bytes TransactionRecord(uint32_t number, std::string_view control_name);

// One file of a transaction: its store with the changes staged, and the
// control file's name as its transaction record gives it.
struct TransactionPart {
    Store* store = nullptr;
    std::string control_name;
};

// A control file as a transaction uses it. A process that keeps its control
// file open between transactions lets each decision list the number of the
// next transaction in the same commit, so that a transaction costs one commit
// of the control file instead of two.
struct ControlFile {
    Store* store = nullptr;
    // Whether the decision lists the next transaction's number.
    bool list_ahead = false;
    // A number listed (durably) that no file names yet, or 0: the next
    // transaction takes it instead of listing one of its own.
    uint32_t listed = 0;
};

// Commits every part's staged changes so that each file ends in its state
// before or after the transaction, never between, whatever stops the
// process. `control` is the control file open for writing. 0, or the error
// (48 when the control file cannot record the transaction); on an error the
// staged changes of every part are dropped.
int32_t CommitTogether(ControlFile& control, std::span<const TransactionPart> parts);

// Takes a number listed ahead back out of the control file, before it is
// closed (a number left listed harms nothing but takes room).
void ForgetListedNumber(ControlFile& control);

// Opens a control file for the recovery's question (null when it cannot be
// opened, with `error` set). Replaced in tests.
using ControlOpener = std::function<std::unique_ptr<Store>(const std::string& path, int32_t& error)>;

// The transaction check of a recovery: whether a pending commit of the data
// file at `data_path` whose transaction record is `record` (null: none) is to
// be kept. Kept without a record; otherwise only when the control file opens
// (waiting while it answers 5) and no longer lists the transaction.
bool KeepPendingCommit(const Bytes* record, std::string_view data_path,
                       const ControlOpener& open_control = nullptr);

} // namespace morvex::qvd
