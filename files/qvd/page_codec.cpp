// Page images: run-length code, entries with shared leading bytes, and the
// 13-byte page header.
#include "files/qvd/page_codec.h"

#include "files/qvd/key_compare.h"
#include "files/qvd/qvd_corruption.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace morvex::qvd {

uint16_t Load16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Store16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Store32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

int CompareKeys(ByteView a, ByteView b) {
    const size_t n = std::min(a.size(), b.size());
    if (n > 0) {
        const int c = std::memcmp(a.data(), b.data(), n);
        if (c != 0)
            return c < 0 ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

// ---- run-length code ----

bool HasRun(ByteView data) {
    size_t run = 1;
    for (size_t i = 1; i < data.size(); ++i) {
        run = data[i] == data[i - 1] ? run + 1 : 1;
        if (run >= MinRun)
            return true;
    }
    return false;
}

void AppendCount(Bytes& out, size_t count) {
    while (count >= 0x80) {
        out.push_back(static_cast<uint8_t>(count & 0x7F) | 0x80);
        count >>= 7;
    }
    out.push_back(static_cast<uint8_t>(count));
}

Bytes CompressRuns(ByteView data) {
    Bytes out;
    out.reserve(data.size());
    size_t literal_start = 0;
    size_t i = 0;
    while (i < data.size()) {
        size_t run_end = i + 1;
        while (run_end < data.size() && data[run_end] == data[i])
            ++run_end;
        const size_t run = run_end - i;
        if (run >= MinRun) {
            AppendCount(out, i - literal_start + 1);
            out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(literal_start),
                       data.begin() + static_cast<ptrdiff_t>(i + 1));
            AppendCount(out, run - 1);
            literal_start = run_end;
        }
        i = run_end;
    }
    AppendCount(out, data.size() - literal_start);
    out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(literal_start), data.end());
    return out;
}

namespace {

// Reads a base-128 count; false when the code ends first or the count is
// longer than any page could need.
bool ReadCount(ByteView code, size_t& pos, size_t& count) {
    count = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        if (pos >= code.size())
            return false;
        const uint8_t b = code[pos++];
        count |= static_cast<size_t>(b & 0x7F) << shift;
        if (!(b & 0x80))
            return true;
    }
    return false;
}

} // namespace

int32_t ExpandRuns(ByteView code, size_t expanded_length, Bytes& out) {
    out.resize(expanded_length);
    uint8_t* const begin = out.data();
    uint8_t* at = begin;
    uint8_t* const end = begin + expanded_length;
    size_t pos = 0;
    while (true) {
        size_t count = 0;
        if (!ReadCount(code, pos, count) || count > static_cast<size_t>(end - at) ||
            count > code.size() - pos)
            return CorruptLiteralOverrun;
        if (count > 0)
            std::memcpy(at, code.data() + pos, count);
        at += count;
        pos += count;
        if (at == end)
            return 0;
        if (!ReadCount(code, pos, count) || count > static_cast<size_t>(end - at) || at == begin)
            return CorruptRepeatOverrun;
        std::memset(at, at[-1], count);
        at += count;
        if (at == end)
            return 0;
    }
}

// ---- entries ----

namespace {

struct EntryBytes {
    ByteView key;
    ByteView data;
    size_t size() const { return key.size() + data.size(); }
    uint8_t at(size_t i) const { return i < key.size() ? key[i] : data[i - key.size()]; }
};

// The length of the common start of a and b, within n bytes, eight at a time.
size_t CommonPrefix(const uint8_t* a, const uint8_t* b, size_t n) {
    size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= n; i += 8) {
            uint64_t x;
            uint64_t y;
            std::memcpy(&x, a + i, 8);
            std::memcpy(&y, b + i, 8);
            if (x != y)
                return i + static_cast<size_t>(std::countr_zero(x ^ y)) / 8;
        }
    }
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

size_t SharedBytes(const EntryBytes& previous, const EntryBytes& current) {
    const size_t limit = std::min<size_t>({previous.size(), current.size(), 63});
    // Within both keys the bytes are contiguous: compare those at once.
    const size_t key_limit = std::min({limit, previous.key.size(), current.key.size()});
    size_t n = key_limit == 0 ? 0 : CommonPrefix(previous.key.data(), current.key.data(), key_limit);
    if (n < key_limit)
        return n;
    while (n < limit && previous.at(n) == current.at(n))
        ++n;
    return n;
}

void AppendEntry(Bytes& out, const EntryBytes* previous, const EntryBytes& current) {
    size_t shared = 0;
    uint8_t header = 0;
    const size_t total = current.size();
    if (!previous) {
        header = 0xC0;
    } else {
        shared = SharedBytes(*previous, current);
        if (total != previous->size())
            header |= 0x80;
        if (current.key.size() != previous->key.size())
            header |= 0x40;
    }
    out.push_back(static_cast<uint8_t>(header | shared));
    if (header & 0x80) {
        out.push_back(static_cast<uint8_t>(total));
        out.push_back(static_cast<uint8_t>(total >> 8));
    }
    if (header & 0x40) {
        out.push_back(static_cast<uint8_t>(current.key.size()));
        out.push_back(static_cast<uint8_t>(current.key.size() >> 8));
    }
    if (shared < current.key.size())
        out.insert(out.end(), current.key.begin() + static_cast<ptrdiff_t>(shared), current.key.end());
    const size_t data_from = shared > current.key.size() ? shared - current.key.size() : 0;
    out.insert(out.end(), current.data.begin() + static_cast<ptrdiff_t>(data_from), current.data.end());
}

template <class N>
EntryBytes EntryAt(const N& node, size_t i) {
    return EntryBytes{node.keys[i], node.is_leaf() ? ByteView(node.data[i]) : ByteView()};
}

} // namespace

size_t EncodedEntrySize(ByteView previous, size_t previous_key_length, ByteView key, ByteView data) {
    const EntryBytes current{key, data};
    if (previous.empty() && previous_key_length == 0)
        return 5 + current.size();
    const EntryBytes prev{previous.first(previous_key_length), previous.subspan(previous_key_length)};
    size_t size = 1 + current.size() - SharedBytes(prev, current);
    if (prev.size() != current.size())
        size += 2;
    if (prev.key.size() != key.size())
        size += 2;
    return size;
}

size_t EncodedEntrySize(ByteView previous_key, ByteView previous_data, ByteView key, ByteView data) {
    const EntryBytes current{key, data};
    if (previous_key.empty() && previous_data.empty())
        return 5 + current.size();
    const EntryBytes prev{previous_key, previous_data};
    size_t size = 1 + current.size() - SharedBytes(prev, current);
    if (prev.size() != current.size())
        size += 2;
    if (prev.key.size() != key.size())
        size += 2;
    return size;
}

template <class N>
void EncodeEntries(const N& node, Bytes& out) {
    size_t most = out.size();
    for (size_t i = 0; i < node.size(); ++i)
        most += 5 + node.keys[i].size() + (node.is_leaf() ? node.data[i].size() : 0);
    out.reserve(most);
    for (size_t i = 0; i < node.size(); ++i) {
        const EntryBytes current = EntryAt(node, i);
        if (i == 0) {
            AppendEntry(out, nullptr, current);
        } else {
            const EntryBytes previous = EntryAt(node, i - 1);
            AppendEntry(out, &previous, current);
        }
    }
}

template <class N>
size_t NodeContent(const N& node) {
    // The encoded entries' length, counted as AppendEntry writes them.
    size_t entries = 0;
    for (size_t i = 0; i < node.size(); ++i) {
        const EntryBytes current = EntryAt(node, i);
        if (i == 0) {
            entries += 5 + current.size();
            continue;
        }
        const EntryBytes previous = EntryAt(node, i - 1);
        entries += 1 + current.size() - SharedBytes(previous, current);
        entries += previous.size() != current.size() ? 2 : 0;
        entries += previous.key.size() != current.key.size() ? 2 : 0;
    }
    return PageHeaderSize - 10 + (node.is_leaf() ? 0 : 4 * node.size()) + entries;
}

// ---- pages ----

template <class N>
Bytes EncodePage(const N& node) {
    Bytes plain;
    EncodeEntries(node, plain);
    const size_t refs = node.is_leaf() ? 0 : 4 * node.size();
    const size_t expanded = PageHeaderSize + refs + plain.size();
    size_t stored = expanded;
    Bytes code;
    bool compressed = false;
    if (HasRun(plain)) {
        code = CompressRuns(plain);
        const size_t stored_code = PageHeaderSize + refs + code.size();
        if (RoundToUnit(stored_code) < RoundToUnit(expanded)) {
            compressed = true;
            stored = stored_code;
        }
    }
    Bytes page(RoundToUnit(stored), PageFiller);
    Store32(page.data(), 0);
    Store16(page.data() + 4, static_cast<uint16_t>(stored));
    Store16(page.data() + 6, static_cast<uint16_t>(expanded));
    Store16(page.data() + 8, static_cast<uint16_t>(expanded));
    Store16(page.data() + 10, static_cast<uint16_t>(node.size()));
    page[12] = node.level;
    std::fill(page.begin() + PageHeaderSize, page.begin() + static_cast<ptrdiff_t>(PageHeaderSize + refs), 0);
    const Bytes& part = compressed ? code : plain;
    std::copy(part.begin(), part.end(), page.begin() + static_cast<ptrdiff_t>(PageHeaderSize + refs));
    return page;
}

void PatchPageHome(Bytes& page, uint32_t home) {
    Store32(page.data(), home);
}

void PatchChild(Bytes& page, size_t index, uint32_t child_home) {
    Store32(page.data() + PageHeaderSize + 4 * index, child_home);
}

PageHeader ReadPageHeader(const uint8_t* page) {
    PageHeader h;
    h.home = Load32(page);
    h.stored = Load16(page + 4);
    h.expanded = Load16(page + 6);
    h.node_length = Load16(page + 8);
    h.entries = Load16(page + 10);
    h.level = page[12];
    return h;
}

int32_t DecodePage(ByteView page, size_t slot_length, PageNode& node) {
    if (page.size() < PageHeaderSize)
        return CorruptShortRead;
    const PageHeader h = ReadPageHeader(page.data());
    if (h.stored > MaxPageSize || h.expanded > MaxPageSize)
        return CorruptPageTooLarge;
    if (RoundToUnit(h.stored) != slot_length || page.size() < h.stored)
        return CorruptPageClassMismatch;
    if (h.expanded > h.node_length)
        return CorruptExpandedLargerThanNode;
    const size_t refs = h.level == 0 ? 0 : 4 * static_cast<size_t>(h.entries);
    if (h.stored < PageHeaderSize + refs || h.expanded < PageHeaderSize + refs)
        return CorruptEntriesOverrun;
    const bool compressed = RoundToUnit(h.stored) < RoundToUnit(h.expanded);
    if (!compressed && h.stored != h.expanded)
        return CorruptEntriesOverrun;

    const ByteView stored_part = page.subspan(PageHeaderSize + refs, h.stored - PageHeaderSize - refs);
    thread_local Bytes expanded_part; // reused: pages are decoded one at a time
    ByteView part = stored_part;
    if (compressed) {
        if (const int32_t code = ExpandRuns(stored_part, h.expanded - PageHeaderSize - refs, expanded_part))
            return code;
        part = expanded_part;
    }

    node.level = h.level;
    node.slots.resize(h.entries);
    node.children.resize(h.level == 0 ? 0 : h.entries);
    for (size_t i = 0; i < node.children.size(); ++i)
        node.children[i] = Load32(page.data() + PageHeaderSize + 4 * i);
    // Shared leading bytes make the entries longer than their code. A first
    // pass reads and checks the entry headers and lays the entries out; the
    // second copies their bytes into a buffer allocated once.
    size_t pos = 0;
    size_t total = 0;
    size_t key_length = 0;
    size_t previous_size = 0;
    size_t expanded = 0;
    for (size_t i = 0; i < h.entries; ++i) {
        if (pos >= part.size())
            return CorruptEntriesOverrun;
        const uint8_t header = part[pos++];
        const size_t shared = header & 0x3F;
        if (i == 0 && ((header & 0xC0) != 0xC0 || shared != 0))
            return CorruptEntryHeader;
        if (header & 0x80) {
            if (part.size() - pos < 2)
                return CorruptEntriesOverrun;
            total = Load16(part.data() + pos);
            pos += 2;
        }
        if (header & 0x40) {
            if (part.size() - pos < 2)
                return CorruptEntriesOverrun;
            key_length = Load16(part.data() + pos);
            pos += 2;
        }
        if (total >= MaxNodeContent)
            return CorruptEntryTooLong;
        if (key_length > total || shared > total || shared > previous_size)
            return CorruptEntryHeader;
        const size_t rest = total - shared;
        if (part.size() - pos < rest)
            return CorruptEntriesOverrun;
        pos += rest;
        PageNode::Slot& slot = node.slots[i];
        slot.offset = static_cast<uint32_t>(expanded);
        slot.key_length = static_cast<uint16_t>(key_length);
        slot.data_length = static_cast<uint16_t>(h.level == 0 ? total - key_length : 0);
        expanded += total;
        previous_size = total;
    }
    if (pos != part.size())
        return CorruptEntriesOverrun;
    node.bytes.resize(expanded);
    pos = 0;
    for (size_t i = 0; i < h.entries; ++i) {
        const uint8_t header = part[pos++];
        pos += (header & 0x80 ? 2 : 0) + (header & 0x40 ? 2 : 0);
        const size_t shared = header & 0x3F;
        const size_t offset = node.slots[i].offset;
        const size_t length = (i + 1 < h.entries ? node.slots[i + 1].offset : expanded) - offset;
        const size_t rest = length - shared;
        uint8_t* out = node.bytes.data() + offset;
        if (shared > 0)
            std::memcpy(out, node.bytes.data() + node.slots[i - 1].offset, shared);
        if (rest > 0)
            std::memcpy(out + shared, part.data() + pos, rest);
        pos += rest;
        // Keys ascend: a page whose keys do not is damaged, and a search in
        // it (or a commit merging into it) would go wrong without a word.
        // The shared bytes are equal already; most keys differ right after.
        if (i > 0) {
            const PageNode::Slot& before = node.slots[i - 1];
            size_t common = shared;
            if (CompareKeysFrom(ByteView(node.bytes.data() + before.offset, before.key_length),
                                ByteView(out, node.slots[i].key_length), common) >= 0)
                return CorruptKeyOrder;
        }
    }
    node.finish_layout();
    return 0;
}

void PageNode::finish_layout() {
    count = static_cast<uint32_t>(slots.size());
    stride = 0;
    const bool uniform =
        count > 0 && std::all_of(slots.begin(), slots.end(), [&](const Slot& slot) {
            return slot.key_length == slots[0].key_length && slot.data_length == slots[0].data_length;
        });
    // Offsets run from 0 without gaps, so equal lengths put entry i at i × its length.
    if (uniform && slots[0].key_length + slots[0].data_length > 0) {
        stride = static_cast<uint16_t>(slots[0].key_length + slots[0].data_length);
        uniform_key_length = slots[0].key_length;
        slots = {};
    }
    note_search_range();
}

void PageNode::note_search_range() {
    range_shared = 0;
    range_first = range_last = 0;
    const size_t start = range_start();
    if (size() <= start)
        return;
    const ByteView first = key(start);
    const ByteView last = key(size() - 1);
    size_t shared = 0;
    CompareKeysFrom(first, last, shared);
    range_shared = static_cast<uint32_t>(shared);
    range_first = KeyWordAt(first, shared);
    range_last = KeyWordAt(last, shared);
    if (shared > 0)
        std::memcpy(range_prefix, first.data(), std::min(shared, InlinePrefix));
}

int32_t DecodePage(ByteView page, size_t slot_length, Node& node) {
    PageNode decoded;
    if (const int32_t code = DecodePage(page, slot_length, decoded))
        return code;
    FromPageNode(decoded, node);
    return 0;
}

template <class N>
PageNode ToPageNode(const N& node) {
    PageNode out;
    out.level = node.level;
    out.children = node.children;
    size_t total = 0;
    for (size_t i = 0; i < node.size(); ++i)
        total += node.keys[i].size() + (node.is_leaf() ? node.data[i].size() : 0);
    out.bytes.reserve(total);
    out.slots.resize(node.size());
    for (size_t i = 0; i < node.size(); ++i) {
        PageNode::Slot& slot = out.slots[i];
        slot.offset = static_cast<uint32_t>(out.bytes.size());
        slot.key_length = static_cast<uint16_t>(node.keys[i].size());
        out.bytes.insert(out.bytes.end(), node.keys[i].begin(), node.keys[i].end());
        if (node.is_leaf()) {
            slot.data_length = static_cast<uint16_t>(node.data[i].size());
            out.bytes.insert(out.bytes.end(), node.data[i].begin(), node.data[i].end());
        }
    }
    out.finish_layout();
    return out;
}

namespace {

// A Node's entries are copies, a NodeView's views into the page.
void SetEntryBytes(Bytes& out, ByteView bytes) {
    out.assign(bytes.begin(), bytes.end());
}
void SetEntryBytes(ByteView& out, ByteView bytes) {
    out = bytes;
}

template <class N>
void FillFromPageNode(const PageNode& page, N& node) {
    node.level = page.level;
    node.children = page.children;
    node.keys.resize(page.size());
    node.data.resize(page.is_leaf() ? page.size() : 0);
    for (size_t i = 0; i < page.size(); ++i) {
        SetEntryBytes(node.keys[i], page.key(i));
        if (page.is_leaf())
            SetEntryBytes(node.data[i], page.data(i));
    }
}

} // namespace

void FromPageNode(const PageNode& page, NodeView& node) {
    FillFromPageNode(page, node);
}

void FromPageNode(const PageNode& page, Node& node) {
    FillFromPageNode(page, node);
}

template void EncodeEntries(const Node&, Bytes&);
template void EncodeEntries(const NodeView&, Bytes&);
template size_t NodeContent(const Node&);
template size_t NodeContent(const NodeView&);
template Bytes EncodePage(const Node&);
template Bytes EncodePage(const NodeView&);
template PageNode ToPageNode(const Node&);
template PageNode ToPageNode(const NodeView&);

} // namespace morvex::qvd
