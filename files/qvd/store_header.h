// The cached header of one open QVD file and the recovery of a pending-page
// chain: loading the header when another process committed, replaying the
// chain a stopped commit left named at offset 0, and rolling it forward or
// back.
#pragma once

#include "files/qvd/file_header.h"

#include <cstdint>
#include <optional>
#include <unordered_map>

namespace morvex::qvd {

class StoreImpl;

class HeaderState {
public:
    explicit HeaderState(StoreImpl& store) : m_store(store) {}

    // The header as last loaded (or as the last commit left it).
    const FileHeader& current() const { return m_header; }
    // The file held no bytes at the last load.
    bool new_file() const { return m_new_file; }
    bool loaded() const { return m_loaded; }
    // The next access reads the header again (and drops the cache if it moved).
    void invalidate() { m_loaded = false; }

    // Brings the cached header up to date; 0, or 36 when the file is not a QVD
    // file. A writer refuses a header whose fields are inconsistent (among
    // themselves or with the file's size): corruption 1505.
    int32_t load();
    // True when the cached header is loaded and the change counter on disk
    // shows no commit since (one 64-byte read).
    bool unchanged();
    // Chain start = end = used end, change counter + 1, at offset 0; returns that header.
    FileHeader reset_chain();
    // After a commit: `settled` is the header on disk and the chain is done.
    void settle(const FileHeader& settled);
    // After a commit was abandoned or failed: the next access reads the
    // header again and forgets the chain.
    void forget_commit();

    // Where the page at `home` is read from while a chain is replayed.
    uint64_t read_offset(uint32_t home) const {
        const auto pending = m_pending.find(home);
        return pending != m_pending.end() ? pending->second : home;
    }
    bool reads_through_chain() const { return !m_pending.empty(); }
    // The chain the file names at offset 0 could not be replayed (and this
    // open, reading, left it there):
    // its copies do not run whole from its start to its end, or do not fit
    // the header copy they end with (whose change counter must be the one
    // after the header's). The file reads as before that commit.
    bool chain_broken() const { return m_chain_broken; }

private:
    // The header's first 64-byte block, decrypted: from the FileIo's mapping
    // when it has one, else read. False when the file is shorter.
    bool read_first_block(uint8_t* block);
    void replay_chain(const FileHeader& disk);
    // In a writer: corruption 1505 when `header` is inconsistent.
    void refuse_to_build_on(const FileHeader& header);

    StoreImpl& m_store;
    FileHeader m_header;
    bool m_loaded = false;
    bool m_new_file = false;
    bool m_chain_broken = false;
    std::unordered_map<uint32_t, uint32_t> m_pending; // home offset -> copy offset in the chain
};

} // namespace morvex::qvd
