// The multi-file commit through the control file, and the recovery's check.
#include "files/qvd/qvd_transaction.h"

#include "runtime/ascii_case.h"
#include "runtime/error_numbers.h"

#include <chrono>
#include <thread>
#include <utility>

namespace morvex::qvd {

namespace {

Bytes NumberKey(uint32_t number) {
    return Bytes{static_cast<uint8_t>(number >> 24), static_cast<uint8_t>(number >> 16),
                 static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number)};
}

// Changes the control file under its writer byte: `unlist` (0: none) leaves
// the list, and with `list` a new number joins it when one can be issued. The
// new number or 0; -1 when nothing could be changed (nothing changed then).
int64_t ChangeList(Store& control, uint32_t unlist, bool list) {
    if (!control.Lock(0, LockMode::Writer, true))
        return -1;
    const uint32_t number = list ? control.IssueRecordNumber() : 0;
    if (number != 0)
        control.Put(NumberKey(number), ByteView());
    if (unlist != 0)
        control.Erase(NumberKey(unlist));
    const int32_t error = unlist == 0 && number == 0 ? ErrAccessDenied : control.Commit();
    control.Unlock(0, LockMode::Writer);
    if (error != 0) {
        control.Rollback();
        return -1;
    }
    return number;
}

} // namespace

std::string ControlFilePath(std::string_view data_path) {
    const size_t slash = data_path.find_last_of("/\\");
    std::string path(slash == std::string_view::npos ? std::string_view() : data_path.substr(0, slash + 1));
    path += ControlFileName;
    return path;
}

Bytes TransactionRecord(uint32_t number, std::string_view control_name) {
    Bytes data = NumberKey(number);
    data.insert(data.end(), control_name.begin(), control_name.end());
    return data;
}

int32_t CommitTogether(ControlFile& control, std::span<const TransactionPart> parts) {
    auto drop = [&](size_t from) {
        for (size_t i = from; i < parts.size(); ++i)
            parts[i].store->Rollback();
    };
    uint32_t number = std::exchange(control.listed, 0);
    if (number == 0) {
        const int64_t listed = ChangeList(*control.store, 0, true);
        number = listed > 0 ? static_cast<uint32_t>(listed) : 0;
    }
    if (number == 0) {
        drop(0);
        return ErrUnableToLogTransaction;
    }
    // Every file announces its commit, naming the transaction; until the
    // control file forgets the number, a recovery rolls each of them back.
    int32_t error = 0;
    size_t prepared = 0;
    for (; prepared < parts.size(); ++prepared) {
        Store& store = *parts[prepared].store;
        store.Put(Bytes{TransactionRecordKey}, TransactionRecord(number, parts[prepared].control_name));
        if ((error = store.PrepareCommit()) != 0)
            break;
    }
    if (error == 0) {
        // The decision: from here on a recovery rolls every file forward.
        const int64_t next = ChangeList(*control.store, number, control.list_ahead);
        if (next < 0)
            error = ErrUnableToLogTransaction;
        else
            control.listed = static_cast<uint32_t>(next);
    }
    if (error != 0) {
        // The number stays listed, so a file whose announcement could not be
        // taken back is still rolled back by the next opener.
        for (size_t i = 0; i < prepared; ++i)
            parts[i].store->AbandonCommit();
        drop(prepared);
        return error;
    }
    for (const TransactionPart& part : parts) {
        const int32_t finished = part.store->FinishCommit();
        if (error == 0)
            error = finished;
    }
    return error;
}

void ForgetListedNumber(ControlFile& control) {
    if (const uint32_t number = std::exchange(control.listed, 0); number != 0)
        ChangeList(*control.store, number, false);
}

bool KeepPendingCommit(const Bytes* record, std::string_view data_path, const ControlOpener& open_control) {
    if (!record)
        return true;
    if (record->size() < 4)
        return false; // no transaction to ask about: the commit cannot be vouched for
    const std::string_view name(reinterpret_cast<const char*>(record->data()) + 4, record->size() - 4);
    const std::string path =
        EqualsIgnoringAsciiCase(name, DefaultControlName) ? ControlFilePath(data_path) : std::string(name);
    auto open = [&](int32_t& error) -> std::unique_ptr<Store> {
        if (open_control)
            return open_control(path, error);
        StoreOptions options;
        options.mode = OpenMode::ReadOnly;
        return Store::Open(path, options, error);
    };
    std::unique_ptr<Store> control;
    for (;;) {
        int32_t error = 0;
        control = open(error);
        if (control || error != ErrAccessDenied)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10)); // another open denies us for a moment
    }
    if (!control)
        return false;
    const Bytes number_key(record->begin(), record->begin() + 4);
    return !control->Get(number_key).has_value();
}

} // namespace morvex::qvd
