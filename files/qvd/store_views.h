// Reading without copies: seeks and point reads of an open QVD file that
// answer views into the cached pages, the tree position of the last answer
// (so that a scan steps from leaf to leaf instead of descending from the
// root), and a seek followed, in the same access, by the read of the entry
// the found one refers to (a key entry's record).
#pragma once

#include "files/qvd/qvd_store.h"
#include "files/qvd/tree_cursor.h"

#include <cstdint>
#include <optional>

namespace morvex::qvd {

class StoreImpl;

class ReadViews {
public:
    explicit ReadViews(StoreImpl& store) : m_store(store), m_point{store} {}

    // seek and get answering views: into the cached pages when nothing is
    // staged, else into copies kept here. Valid until the next read or change
    // of entries.
    std::optional<EntryView> seek_view(ByteView key, SeekMode mode, ByteView prefix);
    std::optional<ByteView> get_view(ByteView key);
    // A seek and the read of the entry `follow` names, in the caller's access.
    std::optional<FollowedEntry> seek_follow(ByteView key, SeekMode mode, ByteView prefix, bool exact,
                                             const FollowKey& follow);
    // Store::ScanFollow within the caller's access; `shown` counts the
    // entries shown, so that an access run again goes on after the last.
    Store::ScanEnd scan_follow(ByteView key, SeekMode mode, ByteView prefix, const FollowKey& follow,
                               size_t limit, const std::function<bool(const FollowedEntry&)>& visit,
                               size_t& shown);

    // The step from the entry the last seek answered to its neighbour, when
    // that answer is still current (nothing staged, the cache's generation
    // unchanged); nullopt when a full seek is needed.
    std::optional<std::optional<Entry>> step_from_last(ByteView key, SeekMode mode, ByteView prefix);
    // The position of a seek's answer, for the next step.
    void remember(TreeCursor&& cursor);
    void forget_last() {
        ++m_moves;
        m_last_seek.reset();
    }
    // The cursor of point reads, whose path storage is reused.
    TreeCursor& point_cursor() { return m_point; }

private:
    // scan_follow's step from the entry it showed last, the cursor still on it.
    std::optional<FollowedEntry> step_follow(bool forward, ByteView prefix, const FollowKey& follow);
    // Whether the cursor of the last seek may still be stepped from: its
    // pages are the cache's current ones and nothing is staged.
    bool last_seek_current() const;

    StoreImpl& m_store;
    std::optional<TreeCursor> m_last_seek;
    uint64_t m_last_seek_generation = 0;
    uint64_t m_moves = 0; // raised whenever m_last_seek may move, so a scan knows it stayed
    TreeCursor m_point;
    Entry m_view_entry; // behind seek_view's answer when changes are staged
    Bytes m_view_data;  // behind get_view's answer when changes are staged
    Bytes m_follow_key; // seek_follow's scratch
    Bytes m_scan_key;   // scan_follow's last key, sought from for the next entry
};

} // namespace morvex::qvd
