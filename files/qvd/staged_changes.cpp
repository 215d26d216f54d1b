#include "files/qvd/staged_changes.h"

#include "files/qvd/page_codec.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace morvex::qvd {

namespace {

// Arena chunks start small (a statement's few entries) and double up to 1 MiB;
// each holds any entry (at most 15086 bytes).
constexpr size_t FirstChunkSize = size_t{1} << 14;
constexpr size_t MaxChunkSize = size_t{1} << 20;
// Up to this many changes since the last sort are placed one at a time.
constexpr size_t SortedInsertLimit = 16;

} // namespace

StagedChanges::StagedChanges(size_t memory_bound, std::string spill_directory)
    : m_memory_bound(memory_bound), m_spill_directory(std::move(spill_directory)) {}

size_t StagedChanges::size() const {
    return m_slots.size() + m_run_changes;
}

size_t StagedChanges::memory_bytes() const {
    return m_arena_bytes + m_slots.capacity() * sizeof(Slot) +
           (m_index.capacity() + m_order.capacity()) * sizeof(uint32_t);
}

void StagedChanges::spill() {
    if (m_spill_failed || m_slots.empty())
        return;
    if (!m_spill_file.is_open()) {
        std::error_code ec;
        const std::string directory =
            m_spill_directory.empty() ? std::filesystem::temp_directory_path(ec).string() : m_spill_directory;
        if (!m_spill_file.open(directory)) {
            m_spill_failed = true; // the changes stay in memory
            return;
        }
    }
    sort();
    auto run = std::make_unique<StagedRun>(m_spill_file, m_slots.size());
    bool written = true;
    for (size_t i = 0; i < m_order.size() && written; ++i) {
        const Change change = at(i);
        written = run->add(change.key, change.data);
    }
    if (!written || !run->finish()) {
        m_spill_failed = true;
        return;
    }
    m_run_changes += run->size();
    m_runs.push_back(std::move(run));
    clear_memory();
}

void StagedChanges::store(Slot& slot, ByteView key, ByteView data) {
    const size_t length = key.size() + data.size();
    if (m_chunks.empty() || m_chunk_used + length > m_chunk_size) {
        m_chunk_size = m_chunks.empty() ? FirstChunkSize : std::min(MaxChunkSize, m_chunk_size * 2);
        m_chunks.push_back(std::make_unique_for_overwrite<uint8_t[]>(m_chunk_size));
        m_arena_bytes += m_chunk_size;
        m_chunk_used = 0;
    }
    uint8_t* at = m_chunks.back().get() + m_chunk_used;
    if (!key.empty())
        std::memcpy(at, key.data(), key.size());
    if (!data.empty())
        std::memcpy(at + key.size(), data.data(), data.size());
    slot.chunk = static_cast<uint32_t>(m_chunks.size() - 1);
    slot.offset = static_cast<uint32_t>(m_chunk_used);
    slot.key_length = static_cast<uint16_t>(key.size());
    slot.data_length = static_cast<uint16_t>(data.size());
    m_chunk_used += length;
}

uint32_t StagedChanges::find_slot(ByteView key) const {
    if (m_index.empty())
        return NoSlot;
    const size_t mask = m_index.size() - 1;
    for (size_t i = StagedKeyHash(key) & mask;; i = (i + 1) & mask) {
        const uint32_t entry = m_index[i];
        if (entry == 0)
            return NoSlot;
        const ByteView stored = key_of(m_slots[entry - 1]);
        if (stored.size() == key.size() && std::equal(stored.begin(), stored.end(), key.begin()))
            return entry - 1;
    }
}

void StagedChanges::rebuild_index() {
    // A power of two, at most half full after the next slot.
    size_t size = 64;
    while (size < (m_slots.size() + 1) * 2)
        size *= 2;
    std::vector<uint32_t> index(size, 0);
    const size_t mask = index.size() - 1;
    for (uint32_t slot = 0; slot < m_slots.size(); ++slot) {
        size_t i = StagedKeyHash(key_of(m_slots[slot])) & mask;
        while (index[i] != 0)
            i = (i + 1) & mask;
        index[i] = slot + 1;
    }
    m_index = std::move(index);
}

void StagedChanges::set(ByteView key, ByteView data, bool erased) {
    if (!m_savepoints_used && memory_bytes() > m_memory_bound)
        spill();
    const uint32_t existing = find_slot(key);
    if (existing != NoSlot) {
        Slot& slot = m_slots[existing];
        if (existing < m_savepoint_slots)
            m_undo.emplace_back(existing, slot);
        // The key is stored again beside the new data; the old bytes stay
        // unused in the arena until clear().
        store(slot, key, data);
        slot.erased = erased;
        return;
    }
    if ((m_slots.size() + 1) * 2 > m_index.size()) // at most half full
        rebuild_index();
    Slot slot;
    store(slot, key, data);
    slot.erased = erased;
    const auto number = static_cast<uint32_t>(m_slots.size());
    m_slots.push_back(slot);
    const size_t mask = m_index.size() - 1;
    size_t i = StagedKeyHash(key) & mask;
    while (m_index[i] != 0)
        i = (i + 1) & mask;
    m_index[i] = number + 1;
    m_order.push_back(number);
}

void StagedChanges::put(ByteView key, ByteView data) {
    set(key, data, false);
}

void StagedChanges::erase(ByteView key) {
    set(key, ByteView(), true);
}

std::optional<StagedChanges::Change> StagedChanges::find(ByteView key) const {
    if (const uint32_t slot = find_slot(key); slot != NoSlot)
        return change_of(slot);
    for (auto run = m_runs.rbegin(); run != m_runs.rend(); ++run) {
        if (std::optional<Change> change = (*run)->find(key, m_scratch))
            return change;
    }
    return std::nullopt;
}

size_t StagedChanges::savepoint() {
    m_savepoints_used = true;
    if (memory_bytes() > m_memory_bound)
        spill(); // between statements, where nothing is left to take back
    m_savepoint_slots = m_slots.size();
    m_undo.clear();
    return ++m_savepoint;
}

void StagedChanges::undo_to(size_t savepoint) {
    if (savepoint != m_savepoint)
        return; // not the latest savepoint
    for (auto it = m_undo.rbegin(); it != m_undo.rend(); ++it)
        m_slots[it->first] = it->second;
    m_undo.clear();
    const size_t kept = m_savepoint_slots;
    if (m_slots.size() == kept)
        return;
    // New slots are dropped: the order is placed afresh and the index rebuilt
    // (a failed statement is rare; its cost does not matter).
    m_slots.resize(kept);
    m_order.resize(kept);
    for (uint32_t slot = 0; slot < kept; ++slot)
        m_order[slot] = slot;
    m_sorted = 0;
    rebuild_index();
}

void StagedChanges::clear() {
    clear_memory();
    m_runs.clear();
    m_run_changes = 0;
    m_spill_file.close();
    m_spill_failed = false;
    m_savepoints_used = false;
}

void StagedChanges::clear_memory() {
    m_chunks.clear();
    m_chunk_used = 0;
    m_chunk_size = 0;
    m_arena_bytes = 0;
    m_slots.clear();
    m_index.clear();
    m_order.clear();
    m_sorted = 0;
    m_savepoint_slots = 0;
    m_undo.clear();
    m_slots.shrink_to_fit();
    m_index.shrink_to_fit();
    m_order.shrink_to_fit();
}

void StagedChanges::sort() {
    if (m_sorted == m_order.size())
        return;
    auto less = [this](uint32_t a, uint32_t b) { return KeyLess(key_of(m_slots[a]), key_of(m_slots[b])); };
    // A few changes between seeks (a record added, then read back, as numbering
    // does) are placed one by one with a binary search: a merge would compare
    // every key already in order each time, which makes a long transaction of
    // such changes quadratic in comparisons.
    const size_t added = m_order.size() - m_sorted;
    if (added <= SortedInsertLimit) {
        for (size_t i = m_sorted; i < m_order.size(); ++i) {
            const uint32_t slot = m_order[i];
            const auto end = m_order.begin() + static_cast<ptrdiff_t>(i);
            const auto place = std::upper_bound(m_order.begin(), end, slot, less);
            std::move_backward(place, end, end + 1);
            *place = slot;
        }
        m_sorted = m_order.size();
        return;
    }
    const auto middle = m_order.begin() + static_cast<ptrdiff_t>(m_sorted);
    // Keys put in ascending order (a bulk load) are in order already.
    if (!std::is_sorted(middle, m_order.end(), less))
        sort_by_prefix(m_sorted);
    if (m_sorted > 0 && less(*middle, *(middle - 1)))
        std::inplace_merge(m_order.begin(), middle, m_order.end(), less);
    m_sorted = m_order.size();
}

namespace {

// Bytes [at, at + 8) of a key as a big-endian number, zeros past its end.
uint64_t KeyWord(ByteView key, size_t at) {
    uint64_t word = 0;
    for (size_t i = 0; i < 8; ++i)
        word = word << 8 | (at + i < key.size() ? key[at + i] : 0);
    return word;
}

} // namespace

void StagedChanges::sort_by_prefix(size_t from) {
    // The first 16 bytes of every key travel with it, so that most
    // comparisons are settled without reaching into the arena (where keys
    // lie in the order they came). Equal prefixes fall back to the keys
    // themselves, which also orders a key before its zero-padded extensions.
    struct SortKey {
        uint64_t high;
        uint64_t low;
        uint32_t slot;
    };
    std::vector<SortKey> keys;
    keys.reserve(m_order.size() - from);
    for (size_t i = from; i < m_order.size(); ++i) {
        const ByteView key = key_of(m_slots[m_order[i]]);
        keys.push_back(SortKey{KeyWord(key, 0), KeyWord(key, 8), m_order[i]});
    }
    std::sort(keys.begin(), keys.end(), [this](const SortKey& a, const SortKey& b) {
        if (a.high != b.high)
            return a.high < b.high;
        if (a.low != b.low)
            return a.low < b.low;
        return KeyLess(key_of(m_slots[a.slot]), key_of(m_slots[b.slot]));
    });
    for (size_t i = 0; i < keys.size(); ++i)
        m_order[from + i] = keys[i].slot;
}

size_t StagedChanges::lower_bound(ByteView key) const {
    return static_cast<size_t>(
        std::partition_point(m_order.begin(), m_order.end(),
                             [&](uint32_t slot) { return KeyLess(key_of(m_slots[slot]), key); }) -
        m_order.begin());
}

size_t StagedChanges::upper_bound(ByteView key) const {
    return static_cast<size_t>(
        std::partition_point(m_order.begin(), m_order.end(),
                             [&](uint32_t slot) { return !KeyLess(key, key_of(m_slots[slot])); }) -
        m_order.begin());
}

// ---- reading in key order ----

StagedChanges::Cursor StagedChanges::cursor() {
    sort();
    return Cursor(*this);
}

StagedChanges::Cursor::Cursor(const StagedChanges& staged) : m_staged(&staged) {
    for (auto run = staged.m_runs.rbegin(); run != staged.m_runs.rend(); ++run)
        m_runs.emplace_back(**run);
}

bool StagedChanges::Cursor::seek(ByteView key, SeekMode mode) {
    m_forward = mode == SeekMode::AtOrAfter || mode == SeekMode::After;
    const bool inclusive = mode == SeekMode::AtOrAfter || mode == SeekMode::AtOrBefore;
    const StagedChanges& s = *m_staged;
    if (m_forward) {
        m_memory = inclusive ? s.lower_bound(key) : s.upper_bound(key);
        m_memory_valid = m_memory < s.m_slots.size();
    } else {
        const size_t end = inclusive ? s.upper_bound(key) : s.lower_bound(key);
        m_memory_valid = end > 0;
        m_memory = end - (end > 0 ? 1 : 0);
    }
    for (StagedRun::Cursor& run : m_runs) {
        if (m_forward)
            run.seek_forward(key, inclusive);
        else
            run.seek_backward(key, inclusive);
    }
    pick();
    return m_valid;
}

void StagedChanges::Cursor::pick() {
    // The nearest key among the sources; on a tie the newest source (memory,
    // then the runs from the last written) holds the change that counts.
    m_valid = false;
    auto consider = [&](const Change& change) {
        if (m_valid) {
            const int c = CompareKeys(change.key, m_change.key);
            if (c == 0 || (m_forward ? c > 0 : c < 0))
                return;
        }
        m_change = change;
        m_valid = true;
    };
    if (m_memory_valid)
        consider(m_staged->at(m_memory));
    for (const StagedRun::Cursor& run : m_runs) {
        if (run.valid())
            consider(run.change());
    }
    if (m_valid)
        m_key.assign(m_change.key.begin(), m_change.key.end());
}

bool StagedChanges::Cursor::next() {
    if (!m_valid || !m_forward)
        return m_valid = false;
    // Every source on the current key moves past it.
    if (m_memory_valid && CompareKeys(m_staged->at(m_memory).key, m_key) == 0)
        m_memory_valid = ++m_memory < m_staged->m_slots.size();
    for (StagedRun::Cursor& run : m_runs) {
        if (run.valid() && CompareKeys(run.change().key, m_key) == 0)
            run.next();
    }
    pick();
    return m_valid;
}

} // namespace morvex::qvd
