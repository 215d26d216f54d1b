#include "files/qvd/qvd_memos.h"

#include "files/qvd/qvd_entries.h"
#include "files/qvd/record_image.h"
#include "runtime/error_numbers.h"

#include <algorithm>
#include <cstring>

namespace morvex::qvd {

namespace {

constexpr size_t SegmentBytes = 256;
constexpr size_t BlobLengthBytes = 4;
constexpr size_t MaxSegments = 0x10000;

bool is_blob(const MemoDeclaration& memo) {
    return (memo.attributes & MemoBlob) != 0;
}

bool converts(const DriverCall& call, const MemoDeclaration& memo) {
    return call.file.options.oem && (memo.attributes & MemoBinary) == 0;
}

void erase_segments(Store& store, const Bytes& prefix) {
    Bytes from = prefix;
    while (std::optional<Entry> entry = store.Seek(from, SeekMode::AtOrAfter, prefix)) {
        store.Erase(entry->key);
        from = std::move(entry->key);
    }
}

} // namespace

void ReadMemos(DriverCall& call, QvdFileState& state, uint32_t record) {
    for (size_t m = 0; m < call.file.memos.size() && m < call.instance.memos.size(); ++m) {
        const MemoDeclaration& memo = call.file.memos[m];
        Bytes prefix = RecordMemoPrefix(state.table, record);
        prefix.push_back(static_cast<uint8_t>(m));
        Bytes content;
        uint64_t blob_length = 0;
        bool first = true;
        Bytes from = prefix;
        while (std::optional<Entry> entry = state.store->Seek(from, SeekMode::After, prefix)) {
            ByteView data = entry->data;
            if (first && is_blob(memo)) {
                if (data.size() < BlobLengthBytes)
                    break;
                blob_length = uint64_t{data[0]} | uint64_t{data[1]} << 8 | uint64_t{data[2]} << 16 |
                              uint64_t{data[3]} << 24;
                data = data.subspan(BlobLengthBytes);
            }
            first = false;
            content.insert(content.end(), data.begin(), data.end());
            from = std::move(entry->key);
        }
        if (converts(call, memo))
            ConvertText(content, false);
        std::vector<uint8_t>& buffer = call.instance.memos[m];
        if (is_blob(memo)) {
            content.resize(std::min<uint64_t>(content.size(), blob_length));
            buffer = std::move(content);
        } else {
            buffer.assign(memo.size, 0);
            std::copy_n(content.begin(), std::min<size_t>(content.size(), memo.size), buffer.begin());
        }
    }
}

int32_t StageMemos(DriverCall& call, QvdFileState& state, uint32_t record) {
    if (call.file.memos.empty())
        return 0;
    StageMemoRemoval(state, record);
    for (size_t m = 0; m < call.file.memos.size() && m < call.instance.memos.size(); ++m) {
        const MemoDeclaration& memo = call.file.memos[m];
        Bytes content = call.instance.memos[m];
        if (!is_blob(memo)) {
            // A MEMO is kept up to its last non-zero byte.
            content.resize(std::min<size_t>(content.size(), memo.size));
            while (!content.empty() && content.back() == 0)
                content.pop_back();
        }
        if (content.empty())
            continue;
        if (converts(call, memo))
            ConvertText(content, true);
        const size_t stored = content.size() + (is_blob(memo) ? BlobLengthBytes : 0);
        if ((stored + SegmentBytes - 1) / SegmentBytes > MaxSegments || content.size() > UINT32_MAX)
            return ErrFileSystemError;
        if (is_blob(memo)) {
            const uint32_t length = static_cast<uint32_t>(content.size());
            const uint8_t header[BlobLengthBytes] = {uint8_t(length), uint8_t(length >> 8),
                                                     uint8_t(length >> 16), uint8_t(length >> 24)};
            content.insert(content.begin(), header, header + BlobLengthBytes);
        }
        for (size_t offset = 0, segment = 0; offset < content.size(); offset += SegmentBytes, ++segment) {
            const size_t length = std::min(SegmentBytes, content.size() - offset);
            state.store->Put(
                MemoSegmentKey(state.table, record, static_cast<uint8_t>(m), static_cast<uint16_t>(segment)),
                ByteView(content.data() + offset, length));
        }
    }
    return 0;
}

void StageMemoRemoval(QvdFileState& state, uint32_t record) {
    erase_segments(*state.store, RecordMemoPrefix(state.table, record));
}

} // namespace morvex::qvd
