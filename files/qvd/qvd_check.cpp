#include "files/qvd/qvd_check.h"

#include "files/qvd/page_codec.h"
#include "files/qvd/qvd_corruption.h"
#include "files/qvd/qvd_entries.h"
#include "files/qvd/record_image.h"
#include "runtime/ascii_case.h"
#include "runtime/error_numbers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

namespace morvex::qvd {

namespace {

constexpr size_t RecordKeyBytes = 9;
constexpr size_t MemoKeyBytes = 12;
constexpr size_t SegmentBytes = 256;
constexpr size_t BlobLengthBytes = 4;
constexpr uint32_t FirstUnissuedNumber = 0xFE000000;

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

// The check of one table's entries.
class TableCheck {
public:
    TableCheck(Store& store, uint32_t table, std::string label, const FileDeclaration* file,
               uint32_t last_issued, CheckReport& report)
        : m_store(store), m_table(table), m_label(std::move(label)), m_file(file), m_last_issued(last_issued),
          m_report(report) {
        if (file) {
            for (size_t n = 1; n <= file->keys.size(); ++n)
                m_keys.push_back(KeyIndexOf(*file, static_cast<uint8_t>(n)));
            m_image = RecordImage(file->record, file->record_length,
                                  file->options.oem ? TextPage::Oem : TextPage::Windows);
            m_buffer.resize(file->record_length);
            m_record_length = file->record_length;
            m_key_count = file->keys.size();
        }
    }

    // False when a read failed (reported): the file cannot be checked further.
    bool run() { return check_declaration() && check_records() && check_entries(); }

private:
    void problem(const std::string& kind, uint32_t record, std::string detail) {
        m_report.add(m_label.empty() ? kind : m_label + " " + kind, record, std::move(detail));
    }
    // True (reported) when the last store call failed rather than found nothing.
    bool failed() {
        if (const int32_t failure = m_store.TakeFailure(); failure != 0) {
            problem("file", 0,
                    failure == ErrInvalidDataFile ? CorruptionText(m_store.LastCorruption())
                                                  : "reading failed with error " + std::to_string(failure));
            return true;
        }
        return false;
    }
    std::string key_kind(uint8_t number) const {
        return number <= m_keys.size() ? "key " + m_keys[number - 1].declaration->label
                                       : "key " + std::to_string(number);
    }
    bool is_record(uint32_t record) const {
        return std::binary_search(m_records.begin(), m_records.end(), record);
    }

    // Runs `each` over the entries whose keys start with `prefix`, in order;
    // false when a read failed.
    template <class Each>
    bool each_entry(const Bytes& prefix, Each each) {
        Bytes from = prefix;
        SeekMode mode = SeekMode::AtOrAfter;
        while (std::optional<Entry> entry = m_store.Seek(from, mode, prefix)) {
            each(*entry);
            from = std::move(entry->key);
            mode = SeekMode::After;
        }
        return !failed();
    }

    bool check_declaration() {
        const std::optional<Bytes> stored = m_store.Get(DeclarationEntryKey(m_table));
        if (failed())
            return false;
        if (!stored)
            return true;
        if (stored->size() != DeclarationEntryBytes || std::memcmp(stored->data(), "QKD1", 4) != 0) {
            problem("declaration", 0, "the declaration entry is not of its form");
            return true;
        }
        const uint32_t length = Load32(stored->data() + 4);
        const uint16_t keys = Load16(stored->data() + 8);
        if (!m_file) {
            m_record_length = length;
            m_key_count = keys;
            return true;
        }
        const Bytes expected = DeclarationEntryData(*m_file, m_keys);
        if (length != m_file->record_length)
            problem("declaration", 0,
                    "the records were made " + std::to_string(length) + " bytes long, the layout's are " +
                        std::to_string(m_file->record_length));
        else if (!std::equal(stored->begin() + 8, stored->begin() + 18, expected.begin() + 8))
            problem("declaration", 0, "the key entries were made for other keys than the layout's");
        return true;
    }

    bool check_records() {
        const Bytes prefix = TableKeyPrefix(m_table, EntryRecord);
        return each_entry(prefix, [&](const Entry& entry) {
            if (entry.key.size() != RecordKeyBytes) {
                problem("record", 0,
                        "a record entry whose key has " + std::to_string(entry.key.size()) + " bytes");
                return;
            }
            const uint32_t record = TrailingRecordNumber(entry.key);
            m_records.push_back(record);
            if (record == 0 || record >= FirstUnissuedNumber)
                problem("record", record, "a number that is never issued");
            else if (record > m_last_issued)
                problem("record", record,
                        "above the last record number issued (" + std::to_string(m_last_issued) + ")");
            if (!m_record_length)
                m_record_length = static_cast<uint32_t>(entry.data.size());
            if (entry.data.size() != *m_record_length) {
                problem("record", record,
                        "its image has " + std::to_string(entry.data.size()) + " bytes, a record " +
                            std::to_string(*m_record_length));
                return;
            }
            if (m_file)
                check_record_keys(record, entry.data);
        });
    }

    // Every key has the entry the record's value gives, naming the record.
    void check_record_keys(uint32_t record, const Bytes& image) {
        m_image.ToBuffer(image, m_buffer.data());
        for (const KeyIndex& key : m_keys) {
            const std::optional<Bytes> expected = KeyEntryKey(m_table, key, m_buffer.data(), record);
            if (!expected)
                continue; // an OPT key leaves an empty value out
            if (expected->size() > MaxKeyLength) {
                problem(key_kind(key.number), record, "its value is too long for a key entry");
                continue;
            }
            const std::optional<Bytes> holder = m_store.Get(*expected);
            if (!holder)
                problem(key_kind(key.number), record, "no entry for its value");
            else if (holder->size() != 4 || ReadBigEndian32(holder->data()) != record)
                problem(key_kind(key.number), record,
                        holder->size() == 4 ? "its value's entry names record " +
                                                  std::to_string(ReadBigEndian32(holder->data()))
                                            : "its value's entry does not name a record");
        }
    }

    bool check_entries() {
        Bytes prefix = TableKeyPrefix(m_table, 0);
        prefix.pop_back();
        std::set<uint8_t> reported_types;
        const bool read = each_entry(prefix, [&](const Entry& entry) {
            if (entry.key.size() < prefix.size() + 1)
                return;
            const uint8_t type = entry.key[prefix.size()];
            switch (type) {
            case EntryRecord:
            case EntryDeclaration:
            case EntrySequence:
                return; // records and the declaration are checked; a sequence's content is free
            case EntryIndexState:
                check_order_state(entry);
                return;
            case EntryMemo:
                check_segment(entry);
                return;
            default:
                break;
            }
            const bool key_type = type >= 1 && type < EntryTableName;
            if (!key_type || (m_key_count && type > *m_key_count)) {
                if (reported_types.insert(type).second)
                    problem("entry", 0,
                            key_type
                                ? "entries of key " + std::to_string(type) + ", which the declaration lacks"
                                : "entries of an unknown type " + Hex(type));
                return;
            }
            check_key_entry(type, entry);
        });
        finish_memo();
        return read;
    }

    void check_key_entry(uint8_t number, const Entry& entry) {
        const std::string kind = key_kind(number);
        if (entry.data.size() != 4) {
            problem(kind, 0, "an entry that does not name a record");
            return;
        }
        const uint32_t record = ReadBigEndian32(entry.data.data());
        if (!is_record(record)) {
            problem(kind, record, "an entry names it, but it does not exist");
            return;
        }
        if (!m_file)
            return;
        const std::optional<Bytes> image = m_store.Get(RecordEntryKey(m_table, record));
        if (!image || image->size() != m_buffer.size())
            return; // reported with the records
        m_image.ToBuffer(*image, m_buffer.data());
        const std::optional<Bytes> expected =
            KeyEntryKey(m_table, m_keys[number - 1], m_buffer.data(), record);
        if (!expected)
            problem(kind, record, "an entry for its empty value, which the key leaves out");
        else if (*expected != entry.key)
            problem(kind, record, "an entry that is not its value's");
    }

    void check_order_state(const Entry& entry) {
        const bool known_order =
            entry.key.size() == 6 && (entry.key[5] == EntryRecord ||
                                      (entry.key[5] >= 1 && (!m_key_count || entry.key[5] <= *m_key_count)));
        if (!known_order || entry.data.size() != 8)
            problem("order state", 0, "an entry of neither the records' nor a key's order");
    }

    // Segments of one memo run from 0 without gaps, all but the last full;
    // a blob's total length is the one its first segment states.
    void check_segment(const Entry& entry) {
        if (entry.key.size() != MemoKeyBytes) {
            problem("memo", 0, "a segment whose key has " + std::to_string(entry.key.size()) + " bytes");
            return;
        }
        const uint32_t record = ReadBigEndian32(entry.key.data() + 5);
        const uint8_t memo = entry.key[9];
        const uint16_t segment = static_cast<uint16_t>(entry.key[10] << 8 | entry.key[11]);
        if (!m_memo || m_memo->record != record || m_memo->memo != memo) {
            finish_memo();
            m_memo = Memo{record, memo};
            if (!is_record(record))
                problem("memo", record,
                        "segments of memo " + std::to_string(memo) + " of a record that does not exist");
            if (m_file && memo >= m_file->memos.size())
                problem("memo", record,
                        "segments of memo " + std::to_string(memo) + ", which the declaration lacks");
            m_memo->blob =
                m_file && memo < m_file->memos.size() && (m_file->memos[memo].attributes & MemoBlob) != 0;
        }
        Memo& current = *m_memo;
        const std::string which = "memo " + std::to_string(memo) + ": ";
        if (segment != current.next)
            problem("memo", record,
                    which + "segment " + std::to_string(segment) + " where " + std::to_string(current.next) +
                        " was expected");
        if (current.short_segment)
            problem("memo", record,
                    which + "a segment short of " + std::to_string(SegmentBytes) + " bytes before the last");
        if (entry.data.empty() || entry.data.size() > SegmentBytes)
            problem("memo", record, which + "a segment of " + std::to_string(entry.data.size()) + " bytes");
        if (segment == 0 && entry.data.size() >= BlobLengthBytes)
            current.stated = uint64_t{entry.data[0]} | uint64_t{entry.data[1]} << 8 |
                             uint64_t{entry.data[2]} << 16 | uint64_t{entry.data[3]} << 24;
        current.next = static_cast<uint32_t>(segment) + 1;
        current.short_segment = entry.data.size() < SegmentBytes;
        current.bytes += entry.data.size();
    }

    void finish_memo() {
        if (m_memo && m_memo->blob && m_memo->bytes != BlobLengthBytes + m_memo->stated)
            problem("memo", m_memo->record,
                    "blob " + std::to_string(m_memo->memo) + ": " +
                        std::to_string(m_memo->bytes - std::min<uint64_t>(m_memo->bytes, BlobLengthBytes)) +
                        " bytes where its first segment states " + std::to_string(m_memo->stated));
        m_memo.reset();
    }

    struct Memo {
        uint32_t record = 0;
        uint8_t memo = 0;
        bool blob = false;
        uint32_t next = 0;
        bool short_segment = false;
        uint64_t bytes = 0;
        uint64_t stated = 0;
    };

    Store& m_store;
    uint32_t m_table;
    std::string m_label;
    const FileDeclaration* m_file;
    uint32_t m_last_issued;
    CheckReport& m_report;
    std::vector<KeyIndex> m_keys;
    RecordImage m_image;
    std::vector<uint8_t> m_buffer;
    std::optional<uint32_t> m_record_length;
    std::optional<size_t> m_key_count;
    std::vector<uint32_t> m_records; // in key order, so sorted
    std::optional<Memo> m_memo;
};

// The 4-byte table prefix after `prefix` in key order (nullopt after the last).
std::optional<Bytes> NextTablePrefix(Bytes prefix) {
    for (size_t i = prefix.size(); i-- > 0;) {
        if (++prefix[i] != 0)
            return prefix;
    }
    return std::nullopt;
}

} // namespace

void CheckQvdFile(Store& store, const FileDeclaration* file, std::string_view table, CheckReport& report) {
    if (!store.CheckContainer(report))
        return; // the tree cannot be read whole
    const std::vector<std::pair<std::string, uint32_t>> tables = store.Tables();
    const uint32_t last_issued = store.Info().last_record_number;
    if (store.TakeFailure() != 0) {
        report.add("file", 0, CorruptionText(store.LastCorruption()));
        return;
    }
    // Entries must belong to a listed table (the transaction record aside).
    std::set<uint32_t> listed{DirectoryTable};
    for (const auto& [name, number] : tables)
        listed.insert(number);
    for (std::optional<Bytes> from = Bytes{}; from;) {
        const std::optional<Entry> entry = store.Seek(*from, SeekMode::AtOrAfter, Bytes{});
        if (!entry)
            break;
        if (entry->key.size() < 4) {
            if (entry->key != Bytes{TransactionRecordKey})
                report.add("entry", 0, "an entry whose key is too short to name a table");
            from = entry->key;
            from->push_back(0);
            continue;
        }
        const Bytes prefix(entry->key.begin(), entry->key.begin() + 4);
        const uint32_t number = Load32(prefix.data());
        if (!listed.contains(number))
            report.add("directory", 0,
                       "entries of table " + std::to_string(number) + ", which it does not list");
        from = NextTablePrefix(prefix);
    }
    const bool several = tables.size() > 1;
    for (const auto& [name, number] : tables) {
        // Table names compare without case (ASCII letters folded), as the directory keeps them.
        const bool declared = file && EqualsIgnoringAsciiCase(name, table.empty() ? DefaultTableName : table);
        TableCheck check(store, number, several ? name : std::string(), declared ? file : nullptr,
                         last_issued, report);
        if (!check.run())
            return;
    }
}

} // namespace morvex::qvd
