// The prefix is the big-endian concatenation of each leading part's
// order-preserving encoding (sign bit flipped for signed integers, DATE as
// year, month, day, text as its blank-padded bytes, all bytes inverted for a
// descending part), cut to eight bytes.
#include "runtime/record_key.h"

#include "runtime/field_compare.h"
#include "runtime/text_compare.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace morvex {

namespace {

constexpr uint32_t PrefixBytes = 8;

uint32_t load_big_endian_unsigned(const uint8_t* bytes, uint32_t size) {
    // Fields are stored little-endian.
    uint32_t value = 0;
    for (uint32_t i = size; i-- > 0;)
        value = value << 8 | bytes[i];
    return value;
}

} // namespace

RecordKey::RecordKey(std::vector<Part> parts) : m_parts(std::move(parts)) {
    uint32_t room = PrefixBytes;
    for (const Part& part : m_parts) {
        const FieldDescription& field = part.field;
        if (room == 0 || field.dimension != 1)
            break;
        Encoding encoding;
        switch (field.type) {
        case FieldType::Byte:
        case FieldType::UShort:
        case FieldType::ULong:
        case FieldType::Time:
            encoding = Encoding::Unsigned;
            break;
        case FieldType::Short:
        case FieldType::Long:
            encoding = Encoding::Signed;
            break;
        case FieldType::Date:
            encoding = Encoding::Date;
            break;
        case FieldType::String:
        case FieldType::CString:
        case FieldType::PString:
            if (!TextOrderIsBytewise())
                return;
            encoding = field.type == FieldType::String    ? Encoding::FixedText
                       : field.type == FieldType::CString ? Encoding::CText
                                                          : Encoding::PText;
            break;
        default:
            return; // reals and decimals have no prefix here; the full comparison decides
        }
        const uint32_t length = std::min(field.size, room);
        m_segments.push_back(Segment{encoding, part.descending, field.offset, field.size, length});
        room -= length;
    }
}

uint64_t RecordKey::prefix(const uint8_t* record) const {
    uint64_t value = 0;
    uint32_t filled = 0;
    for (const Segment& segment : m_segments) {
        const uint8_t* field = record + segment.offset;
        uint8_t bytes[PrefixBytes];
        switch (segment.encoding) {
        case Encoding::Unsigned:
        case Encoding::Signed: {
            uint32_t number = load_big_endian_unsigned(field, segment.size);
            if (segment.encoding == Encoding::Signed)
                number ^= 1u << (segment.size * 8 - 1);
            for (uint32_t i = 0; i < segment.size; ++i)
                bytes[i] = static_cast<uint8_t>(number >> (8 * (segment.size - 1 - i)));
            break;
        }
        case Encoding::Date: // day, month, year (little-endian) as year, month, day
            bytes[0] = field[3];
            bytes[1] = field[2];
            bytes[2] = field[1];
            bytes[3] = field[0];
            break;
        case Encoding::FixedText:
            std::memcpy(bytes, field, segment.length);
            break;
        case Encoding::CText:
        case Encoding::PText: {
            const uint8_t* text = segment.encoding == Encoding::PText ? field + 1 : field;
            uint32_t text_length;
            if (segment.encoding == Encoding::PText) {
                text_length = std::min<uint32_t>(field[0], segment.size - 1);
            } else {
                const void* end = std::memchr(field, 0, segment.size);
                text_length =
                    end ? static_cast<uint32_t>(static_cast<const uint8_t*>(end) - field) : segment.size;
            }
            for (uint32_t i = 0; i < segment.length; ++i)
                bytes[i] = i < text_length ? text[i] : ' ';
            break;
        }
        }
        for (uint32_t i = 0; i < segment.length; ++i)
            value = value << 8 | (segment.descending ? static_cast<uint8_t>(~bytes[i]) : bytes[i]);
        filled += segment.length;
    }
    if (filled == 0)
        return 0; // no prefix: every record ties
    return filled == PrefixBytes ? value : value << (8 * (PrefixBytes - filled));
}

void RecordKey::sort(std::vector<uint8_t*>& records) const {
    auto by_key = [this](const uint8_t* a, const uint8_t* b) { return compare(a, b) < 0; };
    if (!has_prefix() || records.size() < 2) {
        std::stable_sort(records.begin(), records.end(), by_key);
        return;
    }
    struct Entry {
        uint64_t prefix;
        uint8_t* record;
    };
    std::vector<Entry> entries;
    try {
        entries.reserve(records.size());
    } catch (const std::bad_alloc&) {
        std::stable_sort(records.begin(), records.end(), by_key);
        return;
    }
    for (uint8_t* record : records)
        entries.push_back(Entry{prefix(record), record});
    std::stable_sort(entries.begin(), entries.end(), [this](const Entry& a, const Entry& b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        return compare(a.record, b.record) < 0;
    });
    for (std::size_t i = 0; i < entries.size(); ++i)
        records[i] = entries[i].record;
}

int RecordKey::compare_part(const Part& part, const uint8_t* a, const uint8_t* b) {
    const int order = CompareField(part.field, a, b);
    return part.descending ? -order : order;
}

} // namespace morvex
