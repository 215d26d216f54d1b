// Reading a page for the view engine (files/page_read.h): the records NEXT or
// PREVIOUS would read one by one from the reading position, shown to the
// page reader in one call, the store scanned in accesses of a bounded number
// of entries. Each record passes the same hold test as a plain read.
#include "files/page_read.h"
#include "files/qvd/key_encoding.h"
#include "files/qvd/qvd_driver.h"
#include "files/qvd/qvd_entries.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"

namespace morvex::qvd {

namespace {

// Entries one access may show before the reader slot is let go, so that a
// long filtered scan does not keep committers waiting.
constexpr size_t EntriesPerAccess = 512;

class ShownRecord final : public PageRecord {
public:
    bool held() const override { return is_held; }
    // FormatPosition's text, written straight from the entry: its key is the
    // table prefix, the key's value bytes and, among duplicates, the record
    // number.
    std::string position() const override {
        const size_t length = order == 0 ? 0 : key.size() - 5 - (unique ? 0 : 4);
        std::string text;
        text.reserve(9 + length);
        text += "QV";
        text += static_cast<char>(order);
        text += static_cast<char>(length >> 8);
        text += static_cast<char>(length & 0xFF);
        text.append(reinterpret_cast<const char*>(key.data()) + 5, length);
        for (int shift = 24; shift >= 0; shift -= 8)
            text += static_cast<char>(record >> shift);
        return text;
    }

    bool is_held = false;
    uint8_t order = 0;
    bool unique = true;
    ByteView key;
    uint32_t record = 0;
};

} // namespace

int32_t QvdFileDriver::ReadPage(DriverCall& call) {
    QvdFileState* state = OpenState(call);
    if (!state)
        return 0;
    auto* reader = call.args.pointer<PageReader>(0);
    if (!reader) {
        SetError(ErrInvalidNumberOfParameters);
        return 0;
    }
    // An armed HOLD, WATCH or NOMEMO concerns one read; memos are read per record.
    const ConcurrencyState& c = state->concurrency;
    if (c.hold_next || c.watch_next || state->skip_memos_once || !call.file.memos.empty())
        return Unsupported();

    const bool forward = reader->forward();
    Cursor& cursor = state->cursor;
    const uint8_t order = cursor.order;
    const Bytes prefix = TableKeyPrefix(state->table, order == 0 ? static_cast<uint8_t>(EntryRecord) : order);
    Bytes from;
    SeekMode mode = forward ? SeekMode::AtOrAfter : SeekMode::Before;
    auto from_end = [&] {
        from = forward ? prefix : KeyPrefixSuccessor(prefix);
        mode = forward ? SeekMode::AtOrAfter : SeekMode::Before;
    };
    switch (cursor.kind) {
    case Cursor::Kind::Start:
        from_end();
        break;
    case Cursor::Kind::Inclusive:
        from = forward ? cursor.low : cursor.high;
        mode = forward ? SeekMode::AtOrAfter : SeekMode::AtOrBefore;
        break;
    case Cursor::Kind::OnEntry:
        from = cursor.low;
        mode = forward ? SeekMode::After : SeekMode::Before;
        break;
    case Cursor::Kind::PastEnd:
        if (forward)
            return 0;
        from_end();
        break;
    case Cursor::Kind::BeforeStart:
        if (!forward)
            return 0;
        from_end();
        break;
    }

    const uint32_t table = state->table;
    FollowKey follow;
    if (order != 0) {
        follow = [table](const EntryView& found, Bytes& record_key) {
            if (found.data.size() != 4)
                return false;
            record_key = TableKeyPrefix(table, EntryRecord);
            record_key.insert(record_key.end(), found.data.begin(), found.data.end());
            return true;
        };
    }
    ShownRecord shown;
    shown.order = order;
    shown.unique = order == 0 || state->keys[order - 1].unique;
    ByteView last_key;      // the last entry shown, valid until the store is next read
    bool ended = false;     // the order has no more entries
    uint32_t last_read = 0; // the last record shown that was not held
    bool last_held = false;
    Bytes reread;
    for (;;) {
        const Store::ScanEnd end = state->store->ScanFollow(
            from, mode, prefix, follow, EntriesPerAccess, [&](const FollowedEntry& found) {
                last_key = found.entry.key;
                const uint32_t record =
                    order == 0
                        ? TrailingRecordNumber(found.entry.key)
                        : (found.entry.data.size() == 4 ? ReadBigEndian32(found.entry.data.data()) : 0);
                std::optional<ByteView> image =
                    order == 0 ? std::optional<ByteView>(found.entry.data) : found.followed;
                // An entry an interrupted change left without its record is
                // passed over, as NEXT does.
                if (!image)
                    return true;
                const bool held = !AdmitRecordRead(*state, record, image, reread);
                if (held)
                    ClearError();
                else if (!image)
                    return true;
                state->image.ToBuffer(*image, call.record());
                shown.is_held = held;
                shown.key = found.entry.key;
                shown.record = record;
                last_held = held;
                if (!held)
                    last_read = record;
                return reader->visit(shown);
            });
        // Stopped by the reader or the limit, the scan answers right after
        // showing its last entry, whose key is still in view.
        ended = end == Store::ScanEnd::Ended;
        if (!ended)
            from.assign(last_key.begin(), last_key.end());
        if (end != Store::ScanEnd::Limit)
            break;
        mode = forward ? SeekMode::After : SeekMode::Before;
    }
    // The reading position is left as NEXT or PREVIOUS would leave it: on the
    // last entry shown, or past the end of the order.
    if (ended) {
        cursor.kind = forward ? Cursor::Kind::PastEnd : Cursor::Kind::BeforeStart;
    } else {
        cursor.kind = Cursor::Kind::OnEntry;
        cursor.low = from;
        cursor.high = std::move(from);
    }
    if (last_read != 0 && !last_held) {
        state->current_record = last_read;
        state->current_buffer.assign(call.record(), call.record() + call.file.record_length);
    }
    ClearError();
    return 0;
}

} // namespace morvex::qvd
