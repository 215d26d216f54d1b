// A key over a record's fields: the field-by-field comparison that keyed
// orders use, and an order-preserving 64-bit prefix of a record's key so that
// sorting compares most pairs without touching the records.
#pragma once

#include "runtime/record_description.h"

#include <cstdint>
#include <vector>

namespace morvex {

class RecordKey {
public:
    struct Part {
        FieldDescription field;
        bool descending = false;
    };

    RecordKey() = default;
    explicit RecordKey(std::vector<Part> parts);

    bool empty() const { return m_parts.empty(); }

    // Negative, 0 or positive: the order of two records by this key.
    int compare(const uint8_t* a, const uint8_t* b) const {
        for (const Part& part : m_parts) {
            if (int order = compare_part(part, a, b); order != 0)
                return order;
        }
        return 0;
    }

    // If prefix(a) < prefix(b) then a sorts before b; equal prefixes say
    // nothing. Covers the leading parts whose types have such an encoding.
    uint64_t prefix(const uint8_t* record) const;
    bool has_prefix() const { return !m_segments.empty(); }

    // Sorts record addresses by this key, keeping the given order among
    // equal keys. Throws std::bad_alloc only if it cannot even sort in place.
    void sort(std::vector<uint8_t*>& records) const;

private:
    enum class Encoding : uint8_t { Unsigned, Signed, Date, FixedText, CText, PText };
    struct Segment {
        Encoding encoding;
        bool descending;
        uint32_t offset;
        uint32_t size;   // bytes of the field
        uint32_t length; // bytes of its encoding that fit in the prefix
    };

    static int compare_part(const Part& part, const uint8_t* a, const uint8_t* b);

    std::vector<Part> m_parts;
    std::vector<Segment> m_segments;
};

} // namespace morvex
