// Reading without copies: seek and get answering views into the cached pages,
// and a seek followed, in the same access, by the read of the entry the found
// one refers to (a key entry's record), for the driver's scans and lookups.
// With changes staged they fall back on seek and get and keep their answers.
#include "files/qvd/store_views.h"

#include "files/qvd/key_compare.h"
#include "files/qvd/store_impl.h"

namespace morvex::qvd {

namespace {

// Inline: prefixes are a table's 5 bytes or a key value, too short for a call.
bool StartsWith(ByteView key, ByteView prefix) {
    if (key.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (key[i] != prefix[i])
            return false;
    }
    return true;
}

} // namespace

std::optional<EntryView> ReadViews::seek_view(ByteView key, SeekMode mode, ByteView prefix) {
    ++m_moves;
    if (!m_store.staged().empty()) {
        std::optional<Entry> entry = m_store.seek(key, mode, prefix);
        if (!entry)
            return std::nullopt;
        m_view_entry = std::move(*entry);
        return EntryView{m_view_entry.key, m_view_entry.data};
    }
    // A scan: the previous answer's neighbour, one step from its leaf position.
    if (m_last_seek && m_last_seek->valid() && m_last_seek_generation == m_store.cache().generation() &&
        (mode == SeekMode::After || mode == SeekMode::Before) && StartsWith(key, prefix) &&
        CompareKeysInline(m_last_seek->key(), key) == 0) {
        TreeCursor& cursor = *m_last_seek;
        if (!(mode == SeekMode::After ? cursor.next() : cursor.previous())) {
            m_last_seek.reset();
            return std::nullopt;
        }
        if (!StartsWith(cursor.key(), prefix))
            return std::nullopt;
        return EntryView{cursor.key(), cursor.data()};
    }

    Bytes storage;
    const ByteView from = SeekStart(key, mode, prefix, storage);
    // The remembered cursor is sought again: it follows its previous path
    // down as far as the new key shares it.
    if (!m_last_seek)
        m_last_seek.emplace(m_store);
    TreeCursor& cursor = *m_last_seek;
    if (!cursor.seek(from, mode)) {
        m_last_seek.reset();
        return std::nullopt;
    }
    m_last_seek_generation = m_store.cache().generation();
    if (!StartsWith(cursor.key(), prefix))
        return std::nullopt;
    return EntryView{cursor.key(), cursor.data()};
}

std::optional<ByteView> ReadViews::get_view(ByteView key) {
    if (!m_store.staged().empty()) {
        std::optional<Bytes> data = m_store.get(key);
        if (!data)
            return std::nullopt;
        m_view_data = std::move(*data);
        return ByteView(m_view_data);
    }
    // The cursor keeps its path (and so the pages the answer views) until the
    // next read, which follows it down as far as the keys share it.
    TreeCursor& cursor = m_point;
    if (cursor.seek(key, SeekMode::AtOrAfter) && CompareKeysInline(cursor.key(), key) == 0)
        return cursor.data();
    return std::nullopt;
}

std::optional<FollowedEntry> ReadViews::seek_follow(ByteView key, SeekMode mode, ByteView prefix, bool exact,
                                                    const FollowKey& follow) {
    // An exact look-up is the seek from the key among the keys it starts:
    // the entry found is the key's own or none.
    const std::optional<EntryView> found =
        exact ? seek_view(key, SeekMode::AtOrAfter, key) : seek_view(key, mode, prefix);
    if (!found || (exact && CompareKeysInline(found->key, key) != 0))
        return std::nullopt;
    FollowedEntry result{*found, std::nullopt};
    if (follow && follow(*found, m_follow_key))
        result.followed = get_view(m_follow_key);
    return result;
}

Store::ScanEnd ReadViews::scan_follow(ByteView key, SeekMode mode, ByteView prefix, const FollowKey& follow,
                                      size_t limit, const std::function<bool(const FollowedEntry&)>& visit,
                                      size_t& shown) {
    const SeekMode step =
        mode == SeekMode::AtOrAfter || mode == SeekMode::After ? SeekMode::After : SeekMode::Before;
    // Run again after a restart, the scan goes on after the last entry shown.
    std::optional<FollowedEntry> found = shown == 0 ? seek_follow(key, mode, prefix, false, follow)
                                                    : seek_follow(m_scan_key, step, prefix, false, follow);
    while (found) {
        // A copy: the step may leave the page the found key views, and a
        // restarted access goes on from it.
        m_scan_key.assign(found->entry.key.begin(), found->entry.key.end());
        const uint64_t moves = m_moves;
        ++shown;
        if (!visit(*found))
            return Store::ScanEnd::Stopped;
        if (shown >= limit)
            return Store::ScanEnd::Limit;
        // While nothing moved the cursor since (visit may read), it is still
        // on the entry just shown: one step in place, no seek.
        if (moves == m_moves && last_seek_current())
            found = step_follow(step == SeekMode::After, prefix, follow);
        else
            found = seek_follow(m_scan_key, step, prefix, false, follow);
    }
    return Store::ScanEnd::Ended;
}

std::optional<FollowedEntry> ReadViews::step_follow(bool forward, ByteView prefix, const FollowKey& follow) {
    TreeCursor& cursor = *m_last_seek;
    if (!(forward ? cursor.next() : cursor.previous())) {
        m_last_seek.reset();
        return std::nullopt;
    }
    const ByteView key = cursor.key();
    if (!StartsWith(key, prefix))
        return std::nullopt;
    FollowedEntry result{EntryView{key, cursor.data()}, std::nullopt};
    if (follow && follow(result.entry, m_follow_key))
        result.followed = get_view(m_follow_key);
    return result;
}

std::optional<std::optional<Entry>> ReadViews::step_from_last(ByteView key, SeekMode mode, ByteView prefix) {
    ++m_moves;
    if (!last_seek_current() || (mode != SeekMode::After && mode != SeekMode::Before) ||
        !StartsWith(key, prefix) || CompareKeys(m_last_seek->key(), key) != 0)
        return std::nullopt;
    TreeCursor& cursor = *m_last_seek;
    const bool found = mode == SeekMode::After ? cursor.next() : cursor.previous();
    if (!found || !StartsWith(cursor.key(), prefix)) {
        if (!found)
            m_last_seek.reset();
        return std::optional<Entry>();
    }
    const ByteView k = cursor.key();
    const ByteView d = cursor.data();
    return std::optional<Entry>(Entry{Bytes(k.begin(), k.end()), Bytes(d.begin(), d.end())});
}

bool ReadViews::last_seek_current() const {
    return m_last_seek && m_last_seek->valid() && m_last_seek_generation == m_store.cache().generation() &&
           m_store.staged().empty();
}

void ReadViews::remember(TreeCursor&& cursor) {
    ++m_moves;
    m_last_seek = std::move(cursor);
    m_last_seek_generation = m_store.cache().generation();
}

} // namespace morvex::qvd
