// Numbers become big-endian bytes with the sign folded into the order; texts
// become their collation weights with blank runs coded so that the end of a
// text compares as endless blanks; a descending component has every byte of
// its encoding inverted, which reverses the order because each encoding is
// self-delimiting.
#include "files/qvd/key_encoding.h"

#include "runtime/char_tables.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

namespace morvex::qvd {

namespace {

template <typename T>
T load(const uint8_t* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

template <typename T>
void put_big_endian(std::vector<uint8_t>& out, T value) {
    for (int shift = static_cast<int>(sizeof(T) * 8) - 8; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// IEEE values ordered as unsigned integers: negative values have all bits
// inverted, positive ones the sign bit set. Both zeros become +0 (they compare
// equal); every NaN becomes the positive quiet NaN, which sorts after +inf.
template <typename Float, typename Bits>
Bits ordered_float_bits(Float value) {
    if (value == Float(0))
        value = Float(0);
    if (std::isnan(value))
        value = std::numeric_limits<Float>::quiet_NaN();
    const Bits bits = std::bit_cast<Bits>(value);
    constexpr Bits sign = Bits(1) << (sizeof(Bits) * 8 - 1);
    return (bits & sign) ? Bits(~bits) : Bits(bits | sign);
}

uint8_t nibble(const uint8_t* bytes, uint32_t index) {
    const uint8_t byte = bytes[index / 2];
    return index % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

// Packed decimals: one byte for the sign class (0 negative, 1 zero, 2
// positive), then for a non-zero value its digit nibbles packed two to a
// byte, each nibble inverted for a negative value. Zero has no digits, so the
// first byte tells the length.
void append_packed(const uint8_t* bytes, uint32_t size, bool sign_first, std::vector<uint8_t>& out) {
    const uint32_t nibbles = size * 2;
    const uint32_t first_digit = sign_first ? 1 : 0;
    const uint32_t end_digit = sign_first ? nibbles : nibbles - 1;
    const uint8_t sign = nibble(bytes, sign_first ? 0 : nibbles - 1);
    const bool negative = sign_first ? sign != 0 : sign == 0x0D;
    bool zero = true;
    for (uint32_t i = first_digit; i < end_digit && zero; ++i)
        zero = nibble(bytes, i) == 0;
    if (zero) {
        out.push_back(1);
        return;
    }
    out.push_back(negative ? 0 : 2);
    uint8_t pending = 0;
    bool high = true;
    for (uint32_t i = first_digit; i < end_digit; ++i) {
        const uint8_t digit = negative ? uint8_t(0x0F - nibble(bytes, i)) : nibble(bytes, i);
        if (high)
            pending = uint8_t(digit << 4);
        else
            out.push_back(pending | digit);
        high = !high;
    }
    if (!high)
        out.push_back(pending);
}

// Text as the runtime compares it: characters after digraph expansion (and
// upper-casing for a case-blind key), each by its collation weight, the
// shorter text read as if padded with blanks.
//
// A non-blank character is its weight. A run of blanks that is followed by
// another character is the blank's weight, a class byte and the run's length:
// class 0 when the next character weighs less than a blank (a longer run
// sorts later), class 3 when it weighs more (a longer run sorts earlier, so
// the length is stored as max - length). The end of the text (trailing blanks
// included) is the blank's weight and class 1, between the two. A character
// other than the blank that has the blank's weight (possible only with a
// collation that gives two characters one weight) is the weight and class 2.
class TextEncoder {
public:
    TextEncoder(std::string_view text, uint32_t declared_size, bool nocase, std::vector<uint8_t>& out)
        : m_tables(Chars()), m_nocase(nocase), m_out(out) {
        // The run length field is sized by the longest expansion the field
        // can have, so that both sides of a comparison use the same width.
        const uint64_t longest = uint64_t{declared_size} * 2;
        m_count_width = longest < 0x100 ? 1 : longest < 0x10000 ? 2 : 4;
        m_count_max = m_count_width == 4 ? 0xFFFFFFFFu : (1u << (8 * m_count_width)) - 1;
        m_blank_weight = m_tables.collation[' '];
        for (unsigned char c : text)
            add_raw(c);
        finish();
    }

private:
    void add_raw(uint8_t c) {
        if (const uint8_t slot = m_tables.digraph_slot[c]; slot != 0) {
            const Digraph& digraph = m_tables.digraphs[slot - 1];
            add(digraph.first);
            add(digraph.second);
        } else {
            add(c);
        }
    }

    void add(uint8_t c) {
        if (m_nocase)
            c = ToUpperChar(c);
        if (c == ' ') {
            ++m_blank_run;
            return;
        }
        const uint8_t weight = m_tables.collation[c];
        if (m_blank_run != 0) {
            const bool higher = weight > m_blank_weight || weight == m_blank_weight;
            m_out.push_back(m_blank_weight);
            m_out.push_back(higher ? 3 : 0);
            put_count(higher ? m_count_max - m_blank_run : m_blank_run);
            m_blank_run = 0;
        }
        m_out.push_back(weight);
        if (weight == m_blank_weight)
            m_out.push_back(2);
    }

    void finish() {
        m_out.push_back(m_blank_weight);
        m_out.push_back(1);
    }

    void put_count(uint32_t count) {
        for (int shift = 8 * (m_count_width - 1); shift >= 0; shift -= 8)
            m_out.push_back(static_cast<uint8_t>(count >> shift));
    }

    const CharTables& m_tables;
    bool m_nocase;
    std::vector<uint8_t>& m_out;
    int m_count_width = 1;
    uint32_t m_count_max = 0xFF;
    uint32_t m_blank_run = 0;
    uint8_t m_blank_weight = ' ';
};

std::string_view cstring_text(const uint8_t* bytes, uint32_t size) {
    const void* end = std::memchr(bytes, 0, size);
    const uint32_t length = end ? static_cast<uint32_t>(static_cast<const uint8_t*>(end) - bytes) : size;
    return {reinterpret_cast<const char*>(bytes), length};
}

std::string_view pstring_text(const uint8_t* bytes, uint32_t size) {
    const uint32_t length = size == 0 ? 0 : std::min<uint32_t>(bytes[0], size - 1);
    return {reinterpret_cast<const char*>(bytes + 1), length};
}

void append_element(FieldType type, uint32_t size, bool nocase, const uint8_t* p, std::vector<uint8_t>& out) {
    switch (type) {
    case FieldType::Byte:
        out.push_back(p[0]);
        return;
    case FieldType::Short:
        put_big_endian(out, uint16_t(load<uint16_t>(p) ^ 0x8000u));
        return;
    case FieldType::UShort:
        put_big_endian(out, load<uint16_t>(p));
        return;
    case FieldType::Long:
        put_big_endian(out, load<uint32_t>(p) ^ 0x80000000u);
        return;
    case FieldType::ULong:
    case FieldType::Time: // hour in the high byte down to hundredths
        put_big_endian(out, load<uint32_t>(p));
        return;
    case FieldType::Date: // day, month, year (16-bit): year, month, day
        put_big_endian(out, load<uint16_t>(p + 2));
        out.push_back(p[1]);
        out.push_back(p[0]);
        return;
    case FieldType::SReal:
        put_big_endian(out, ordered_float_bits<float, uint32_t>(load<float>(p)));
        return;
    case FieldType::Real:
        put_big_endian(out, ordered_float_bits<double, uint64_t>(load<double>(p)));
        return;
    case FieldType::Decimal:
        append_packed(p, size, true, out);
        return;
    case FieldType::PDecimal:
        append_packed(p, size, false, out);
        return;
    case FieldType::String:
        TextEncoder(std::string_view(reinterpret_cast<const char*>(p), size), size, nocase, out);
        return;
    case FieldType::CString:
        TextEncoder(cstring_text(p, size), size, nocase, out);
        return;
    case FieldType::PString:
        TextEncoder(pstring_text(p, size), size, nocase, out);
        return;
    default: // groups and the rest compare by their bytes
        out.insert(out.end(), p, p + size);
        return;
    }
}

bool element_is_blank(FieldType type, uint32_t size, const uint8_t* p) {
    auto all_blank = [](std::string_view text) {
        return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
    };
    switch (type) {
    case FieldType::SReal:
        return load<float>(p) == 0.0f;
    case FieldType::Real:
        return load<double>(p) == 0.0;
    case FieldType::Decimal:
    case FieldType::PDecimal: {
        std::vector<uint8_t> bytes;
        append_packed(p, size, type == FieldType::Decimal, bytes);
        return bytes.size() == 1 && bytes[0] == 1;
    }
    case FieldType::String:
        return all_blank(std::string_view(reinterpret_cast<const char*>(p), size));
    case FieldType::CString:
        return all_blank(cstring_text(p, size));
    case FieldType::PString:
        return all_blank(pstring_text(p, size));
    default:
        return std::all_of(p, p + size, [](uint8_t b) { return b == 0; });
    }
}

} // namespace

void AppendComponentBytes(const FieldDescription& field, bool descending, bool nocase, const uint8_t* record,
                          std::vector<uint8_t>& out) {
    const size_t start = out.size();
    const uint8_t* element = record + field.offset;
    for (uint32_t i = 0; i < field.dimension; ++i, element += field.size)
        append_element(field.type, field.size, nocase, element, out);
    if (descending) {
        for (size_t i = start; i < out.size(); ++i)
            out[i] = static_cast<uint8_t>(~out[i]);
    }
}

void AppendKeyBytes(const KeyShape& key, const uint8_t* record, std::vector<uint8_t>& out) {
    for (const KeyPart& part : key.parts)
        AppendComponentBytes(part.field, part.descending, key.nocase, record, out);
}

std::vector<uint8_t> KeyBytes(const KeyShape& key, const uint8_t* record) {
    std::vector<uint8_t> out;
    AppendKeyBytes(key, record, out);
    return out;
}

bool KeyValueIsBlank(const KeyShape& key, const uint8_t* record) {
    for (const KeyPart& part : key.parts) {
        const uint8_t* element = record + part.field.offset;
        for (uint32_t i = 0; i < part.field.dimension; ++i, element += part.field.size) {
            if (!element_is_blank(part.field.type, part.field.size, element))
                return false;
        }
    }
    return true;
}

std::vector<uint8_t> KeyPrefixSuccessor(std::vector<uint8_t> prefix) {
    while (!prefix.empty() && prefix.back() == 0xFF)
        prefix.pop_back();
    if (!prefix.empty())
        ++prefix.back();
    return prefix;
}

} // namespace morvex::qvd
