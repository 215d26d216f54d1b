#include "files/qvd/staged_run.h"

#include "files/qvd/page_codec.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace morvex::qvd {

namespace {

constexpr size_t BlockTarget = 16 * 1024;
constexpr size_t EntryHeader = 5; // key length, data length (2 bytes each), erased
constexpr int BloomHashes = 6;

} // namespace

// ---- spill file ----

bool SpillFile::open(const std::string& directory) {
    const std::string dir = directory.empty() ? "." : directory;
#ifdef O_TMPFILE
    m_fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (m_fd < 0) { // a file system without unnamed files
        std::string pattern = dir + "/.qvd-staging-XXXXXX";
        m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (m_fd >= 0)
            ::unlink(pattern.c_str());
    }
    m_end = 0;
    return m_fd >= 0;
}

void SpillFile::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_end = 0;
}

bool SpillFile::append(const uint8_t* bytes, size_t length, uint64_t& offset) {
    offset = m_end;
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(m_fd, bytes + done, length - done, static_cast<off_t>(m_end + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    m_end += length;
    return true;
}

bool SpillFile::read(uint64_t offset, uint8_t* bytes, size_t length) const {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(m_fd, bytes + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// ---- writing a run ----

StagedRun::StagedRun(SpillFile& file, size_t expected_entries)
    : m_file(&file), m_bloom((std::max<size_t>(expected_entries, 64) * 10 + 63) / 64, 0) {}

bool StagedRun::add(ByteView key, std::optional<ByteView> data) {
    const size_t length = EntryHeader + key.size() + (data ? data->size() : 0);
    if (!m_pending.empty() && m_pending.size() + length > BlockTarget && !flush_block())
        return false;
    if (m_pending.empty())
        m_pending_first.assign(key.begin(), key.end());
    const size_t data_length = data ? data->size() : 0;
    const uint8_t header[EntryHeader] = {uint8_t(key.size()), uint8_t(key.size() >> 8), uint8_t(data_length),
                                         uint8_t(data_length >> 8), uint8_t(data ? 0 : 1)};
    m_pending.insert(m_pending.end(), header, header + EntryHeader);
    m_pending.insert(m_pending.end(), key.begin(), key.end());
    if (data)
        m_pending.insert(m_pending.end(), data->begin(), data->end());
    const size_t h = StagedKeyHash(key);
    for (int i = 0; i < BloomHashes; ++i) {
        const size_t bit = bloom_bit(h, i);
        m_bloom[bit / 64] |= uint64_t{1} << (bit % 64);
    }
    ++m_entries;
    return !m_failed;
}

bool StagedRun::flush_block() {
    if (m_pending.empty())
        return !m_failed;
    Block block;
    block.first_key = std::move(m_pending_first);
    block.length = static_cast<uint32_t>(m_pending.size());
    m_failed = m_failed || !m_file->append(m_pending.data(), m_pending.size(), block.offset);
    m_blocks.push_back(std::move(block));
    m_pending.clear();
    m_pending_first.clear();
    return !m_failed;
}

bool StagedRun::finish() {
    const bool ok = flush_block();
    m_pending.shrink_to_fit();
    return ok;
}

// ---- reading ----

size_t StagedRun::bloom_bit(size_t hash, int i) const {
    // Double hashing: the i-th probe steps by an odd part of the hash.
    return (hash + static_cast<size_t>(i) * ((hash >> 29) | 1)) % (m_bloom.size() * 64);
}

bool StagedRun::may_contain(ByteView key) const {
    const size_t h = StagedKeyHash(key);
    for (int i = 0; i < BloomHashes; ++i) {
        const size_t bit = bloom_bit(h, i);
        if ((m_bloom[bit / 64] & (uint64_t{1} << (bit % 64))) == 0)
            return false;
    }
    return true;
}

size_t StagedRun::block_for(ByteView key) const {
    const auto after = std::upper_bound(m_blocks.begin(), m_blocks.end(), key,
                                        [](ByteView k, const Block& b) { return KeyLess(k, b.first_key); });
    return after == m_blocks.begin() ? 0 : static_cast<size_t>(after - m_blocks.begin()) - 1;
}

bool StagedRun::read_block(size_t block, Bytes& bytes) const {
    bytes.resize(m_blocks[block].length);
    return m_file->read(m_blocks[block].offset, bytes.data(), bytes.size());
}

namespace {

// The entries of a block: offsets of their headers.
void ParseBlock(const Bytes& bytes, std::vector<uint32_t>& offsets) {
    offsets.clear();
    for (size_t at = 0; at + EntryHeader <= bytes.size();) {
        offsets.push_back(static_cast<uint32_t>(at));
        const size_t key_length = Load16(bytes.data() + at);
        const size_t data_length = Load16(bytes.data() + at + 2);
        at += EntryHeader + key_length + data_length;
    }
}

StagedChange EntryAt(const Bytes& bytes, uint32_t at) {
    const size_t key_length = Load16(bytes.data() + at);
    const size_t data_length = Load16(bytes.data() + at + 2);
    StagedChange change{ByteView(bytes.data() + at + EntryHeader, key_length), std::nullopt};
    if (bytes[at + 4] == 0)
        change.data = ByteView(bytes.data() + at + EntryHeader + key_length, data_length);
    return change;
}

} // namespace

std::optional<StagedChange> StagedRun::find(ByteView key, Bytes& scratch) const {
    if (m_blocks.empty() || !may_contain(key))
        return std::nullopt;
    if (!read_block(block_for(key), scratch))
        return std::nullopt;
    std::vector<uint32_t> offsets;
    ParseBlock(scratch, offsets);
    const auto it = std::lower_bound(offsets.begin(), offsets.end(), key, [&](uint32_t at, ByteView k) {
        return KeyLess(EntryAt(scratch, at).key, k);
    });
    if (it == offsets.end() || CompareKeys(EntryAt(scratch, *it).key, key) != 0)
        return std::nullopt;
    return EntryAt(scratch, *it);
}

bool StagedRun::Cursor::load(size_t block) {
    if (block >= m_run->m_blocks.size())
        return m_valid = false;
    if (block != m_block) {
        if (!m_run->read_block(block, m_bytes))
            return m_valid = false;
        ParseBlock(m_bytes, m_offsets);
        m_block = block;
    }
    return m_valid = !m_offsets.empty();
}

bool StagedRun::Cursor::seek_forward(ByteView key, bool inclusive) {
    for (size_t block = m_run->block_for(key); load(block); ++block) {
        const auto it = std::find_if(m_offsets.begin(), m_offsets.end(), [&](uint32_t at) {
            const int c = CompareKeys(EntryAt(m_bytes, at).key, key);
            return inclusive ? c >= 0 : c > 0;
        });
        if (it != m_offsets.end()) {
            m_index = static_cast<size_t>(it - m_offsets.begin());
            return true;
        }
    }
    return false;
}

bool StagedRun::Cursor::seek_backward(ByteView key, bool inclusive) {
    for (size_t block = m_run->block_for(key) + 1; block-- > 0;) {
        if (!load(block))
            return false;
        for (size_t i = m_offsets.size(); i-- > 0;) {
            const int c = CompareKeys(EntryAt(m_bytes, m_offsets[i]).key, key);
            if (inclusive ? c <= 0 : c < 0) {
                m_index = i;
                return true;
            }
        }
    }
    return m_valid = false;
}

bool StagedRun::Cursor::next() {
    if (!m_valid)
        return false;
    if (++m_index < m_offsets.size())
        return true;
    m_index = 0;
    return load(m_block + 1);
}

StagedChange StagedRun::Cursor::change() const {
    return EntryAt(m_bytes, m_offsets[m_index]);
}

} // namespace morvex::qvd
