// The writer byte held for the length of one changing statement, so that the
// checks a statement makes (duplicate keys, the record's old image) and its
// commit see the same file even with other processes writing.
#pragma once

#include "files/qvd/qvd_store.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

namespace morvex::qvd {

class WriteLock {
public:
    // Waits for the writer byte, then brings the store up to date; error 5
    // when the lock cannot be had. Inside a transaction the byte is already
    // ours and stays held when the statement ends.
    explicit WriteLock(Store& store, bool in_transaction = false) : m_store(store) {
        if (in_transaction) {
            m_held = true;
            m_keep = true;
            return;
        }
        m_held = store.Lock(0, LockMode::Writer, true);
        if (m_held)
            store.Refresh();
        else
            SetError(ErrAccessDenied);
    }
    ~WriteLock() {
        if (m_held && !m_keep)
            m_store.Unlock(0, LockMode::Writer);
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

    bool held() const { return m_held; }

private:
    Store& m_store;
    bool m_held = false;
    bool m_keep = false;
};

} // namespace morvex::qvd
