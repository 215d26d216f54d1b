// Page images of the QVD container: the run-length code of a page's data
// part, the entry encoding with shared leading bytes, and the conversion
// between a decoded node and its page image. Decoders return a corruption
// code (0 when sound) so that the integrity check can report instead of ending.
#pragma once

#include "files/qvd/qvd_store.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace morvex::qvd {

constexpr size_t UnitSize = 256;
constexpr size_t FileHeaderSize = 512;
constexpr size_t PageHeaderSize = 13;
constexpr size_t MaxPageSize = 15104;
constexpr int MaxSizeClass = 59;
constexpr size_t MaxNodeContent = 15094;
constexpr size_t SplitContent = 4096;
constexpr size_t SplitEntries = 20;
constexpr uint8_t PageFiller = 0xB0;
constexpr size_t MinRun = 4;

constexpr size_t RoundToUnit(size_t length) {
    return (length + UnitSize - 1) / UnitSize * UnitSize;
}

// True when `data` holds a run of MinRun or more equal bytes.
bool HasRun(ByteView data);
// The run-length code of `data` (call only when HasRun).
Bytes CompressRuns(ByteView data);
// Expands `code` into exactly `expanded_length` bytes; 0 or 522/530.
int32_t ExpandRuns(ByteView code, size_t expanded_length, Bytes& out);

void AppendCount(Bytes& out, size_t count);

// A node in memory: a leaf holds keys with data, an inner node keys (the
// lowest key of each child, data empty) with child home offsets. A Node owns
// its bytes; a NodeView's keys and data point into storage kept elsewhere
// (the commit keeps the pages and changes they come from).
template <class Field>
struct BasicNode {
    uint8_t level = 0;
    std::vector<Field> keys;
    std::vector<Field> data;        // leaves: one per key; inner: empty
    std::vector<uint32_t> children; // inner: one home offset per key
    bool is_leaf() const { return level == 0; }
    size_t size() const { return keys.size(); }
};
using Node = BasicNode<Bytes>;
using NodeView = BasicNode<ByteView>;

// An allocator whose default construction leaves bytes uninitialised, so
// that a buffer about to be overwritten grows without being zeroed first.
template <class T>
struct UninitializedAllocator : std::allocator<T> {
    using value_type = T;
    UninitializedAllocator() = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using RawBytes = std::vector<uint8_t, UninitializedAllocator<uint8_t>>;

// A decoded page as readers keep it: every entry's key and data laid end to
// end in one buffer and found through a table of slots, so that a lookup
// touches few cache lines and a page costs three allocations. Entries of one
// length and one key length (a page of fixed-size records, or of an inner
// node over them) need no slots: entry i starts at i × `stride`, and a search
// reads the key without first reading where it is.
struct PageNode {
    struct Slot {
        uint32_t offset = 0; // of the key in `bytes`; the data follows it
        uint16_t key_length = 0;
        uint16_t data_length = 0;
    };
    // What an interpolation search over the page starts from, worked out once
    // so that a search need not read the first and last keys: the searched
    // keys run from index 0 in a leaf and 1 in an inner node (whose first key
    // excludes nothing); `range_shared` bytes are common to all of them, the
    // first of those kept here when they fit; the 8 bytes after them in the
    // first and the last key, as big-endian numbers.
    static constexpr size_t InlinePrefix = 24;
    uint32_t range_shared = 0;
    uint64_t range_first = 0;
    uint64_t range_last = 0;
    uint8_t range_prefix[InlinePrefix] = {};

    uint8_t level = 0;
    uint16_t stride = 0; // 0: the entries are found through `slots`
    uint16_t uniform_key_length = 0;
    uint32_t count = 0;
    RawBytes bytes;
    std::vector<Slot> slots;
    std::vector<uint32_t> children; // inner: one home offset per key
    bool is_leaf() const { return level == 0; }
    size_t size() const { return count; }
    ByteView key(size_t i) const {
        if (stride != 0)
            return ByteView(bytes.data() + i * stride, uniform_key_length);
        return ByteView(bytes.data() + slots[i].offset, slots[i].key_length);
    }
    ByteView data(size_t i) const {
        if (stride != 0)
            return ByteView(bytes.data() + i * stride + uniform_key_length, stride - uniform_key_length);
        return ByteView(bytes.data() + slots[i].offset + slots[i].key_length, slots[i].data_length);
    }
    size_t range_start() const { return is_leaf() ? 0 : 1; }
    // Called once `bytes` and `slots` hold the entries: counts them, drops
    // the slots when the entries are uniform, and sets the range_ fields.
    void finish_layout();
    // Heap and object bytes, for the page cache's bound.
    size_t memory() const {
        return sizeof(PageNode) + bytes.capacity() + slots.capacity() * sizeof(Slot) +
               children.capacity() * 4;
    }

private:
    void note_search_range();
};

template <class N>
PageNode ToPageNode(const N& node);
void FromPageNode(const PageNode& page, Node& node);
// Views into `page`, valid while it lives.
void FromPageNode(const PageNode& page, NodeView& node);

// Appends the entries' encoding (header byte, lengths, unshared bytes).
template <class N>
void EncodeEntries(const N& node, Bytes& out);
// The node's content: its expanded page length minus the 10 bytes of the page
// header that carry addresses and lengths. Splitting is decided on this.
template <class N>
size_t NodeContent(const N& node);
size_t EncodedEntrySize(ByteView previous, size_t previous_key_length, ByteView key, ByteView data);
// The same with the previous entry's key and data apart (empty key: the first entry).
size_t EncodedEntrySize(ByteView previous_key, ByteView previous_data, ByteView key, ByteView data);

// The page image of a node, with home offset 0 and zero child references
// (patch them with PatchPageHome / PatchChild); its length is a whole number
// of units and at most MaxPageSize when the node is within the split limits.
template <class N>
Bytes EncodePage(const N& node);
void PatchPageHome(Bytes& page, uint32_t home);
void PatchChild(Bytes& page, size_t index, uint32_t child_home);

struct PageHeader {
    uint32_t home = 0;
    uint16_t stored = 0;
    uint16_t expanded = 0;
    uint16_t node_length = 0;
    uint16_t entries = 0;
    uint8_t level = 0;
};
PageHeader ReadPageHeader(const uint8_t* page);
// Checks the page header's lengths against the page's slot length (a whole
// number of units) and decodes it; 0 or the corruption code.
int32_t DecodePage(ByteView page, size_t slot_length, Node& node);
int32_t DecodePage(ByteView page, size_t slot_length, PageNode& node);

// Keys compare as unsigned bytes; a shorter key sorts first on a tie.
int CompareKeys(ByteView a, ByteView b);
inline bool KeyLess(ByteView a, ByteView b) {
    return CompareKeys(a, b) < 0;
}

uint16_t Load16(const uint8_t* p);
uint32_t Load32(const uint8_t* p);
void Store16(uint8_t* p, uint16_t v);
void Store32(uint8_t* p, uint32_t v);

} // namespace morvex::qvd
