// Numbers compare by value, texts through the runtime's text ordering, DATE
// and TIME by their parts, packed decimals by sign and digits.
#include "runtime/field_compare.h"

#include "runtime/text_compare.h"
#include "runtime/unaligned.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace morvex {

namespace {

template <typename T>
int three_way(T a, T b) {
    return (a > b) - (a < b);
}

std::string_view cstring_view(const uint8_t* bytes, uint32_t size) {
    const void* end = std::memchr(bytes, 0, size);
    const uint32_t length = end ? static_cast<uint32_t>(static_cast<const uint8_t*>(end) - bytes) : size;
    return {reinterpret_cast<const char*>(bytes), length};
}

std::string_view pstring_view(const uint8_t* bytes, uint32_t size) {
    const uint32_t length = size == 0 ? 0 : std::min<uint32_t>(bytes[0], size - 1);
    return {reinterpret_cast<const char*>(bytes + 1), length};
}

// A packed decimal of `size` bytes as its sign and 2 * size digit nibbles.
// DECIMAL keeps the sign in the first high nibble (0 positive), PDECIMAL in
// the last low nibble (0xD negative).
struct PackedDecimal {
    bool negative = false;
    bool zero = true;
};

uint8_t nibble(const uint8_t* bytes, uint32_t index) {
    const uint8_t byte = bytes[index / 2];
    return index % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

int compare_packed(const uint8_t* a, const uint8_t* b, uint32_t size, bool sign_first) {
    const uint32_t nibbles = size * 2;
    const uint32_t first_digit = sign_first ? 1 : 0;
    const uint32_t end_digit = sign_first ? nibbles : nibbles - 1;
    const uint32_t sign_nibble = sign_first ? 0 : nibbles - 1;

    auto describe = [&](const uint8_t* bytes) {
        PackedDecimal value;
        const uint8_t sign = nibble(bytes, sign_nibble);
        value.negative = sign_first ? sign != 0 : sign == 0x0D;
        for (uint32_t i = first_digit; i < end_digit && value.zero; ++i)
            value.zero = nibble(bytes, i) == 0;
        return value;
    };
    const PackedDecimal left = describe(a);
    const PackedDecimal right = describe(b);
    // Zero equals zero whatever its sign.
    const int left_sign = left.zero ? 0 : (left.negative ? -1 : 1);
    const int right_sign = right.zero ? 0 : (right.negative ? -1 : 1);
    if (left_sign != right_sign)
        return three_way(left_sign, right_sign);
    if (left_sign == 0)
        return 0;
    for (uint32_t i = first_digit; i < end_digit; ++i) {
        if (int order = three_way(nibble(a, i), nibble(b, i)); order != 0)
            return left_sign * order;
    }
    return 0;
}

int compare_element(FieldType type, uint32_t size, const uint8_t* a, const uint8_t* b) {
    switch (type) {
    case FieldType::Byte:
        return three_way(a[0], b[0]);
    case FieldType::Short:
        return three_way(LoadUnaligned<int16_t>(a), LoadUnaligned<int16_t>(b));
    case FieldType::UShort:
        return three_way(LoadUnaligned<uint16_t>(a), LoadUnaligned<uint16_t>(b));
    case FieldType::Long:
        return three_way(LoadUnaligned<int32_t>(a), LoadUnaligned<int32_t>(b));
    case FieldType::ULong:
    case FieldType::Time: // hour, minute, second, hundredths from the high byte down
        return three_way(LoadUnaligned<uint32_t>(a), LoadUnaligned<uint32_t>(b));
    case FieldType::SReal:
        return three_way(LoadUnaligned<float>(a), LoadUnaligned<float>(b));
    case FieldType::Real:
        return three_way(LoadUnaligned<double>(a), LoadUnaligned<double>(b));
    case FieldType::Date: {
        // Bytes: day, month, year (16-bit); order by year, month, day.
        auto key = [](const uint8_t* d) {
            return uint32_t{LoadUnaligned<uint16_t>(d + 2)} << 16 | d[1] << 8 | d[0];
        };
        return three_way(key(a), key(b));
    }
    case FieldType::String:
        return CompareStringValues({reinterpret_cast<const char*>(a), size},
                                   {reinterpret_cast<const char*>(b), size});
    case FieldType::CString:
        return CompareStringValues(cstring_view(a, size), cstring_view(b, size));
    case FieldType::PString:
        return CompareStringValues(pstring_view(a, size), pstring_view(b, size));
    case FieldType::Decimal:
        return compare_packed(a, b, size, true);
    case FieldType::PDecimal:
        return compare_packed(a, b, size, false);
    default: {
        // Groups and the rest: their bytes.
        int order = std::memcmp(a, b, size);
        return three_way(order, 0);
    }
    }
}

} // namespace

int CompareField(const FieldDescription& field, const uint8_t* a, const uint8_t* b) {
    const uint8_t* left = a + field.offset;
    const uint8_t* right = b + field.offset;
    for (uint32_t element = 0; element < field.dimension; ++element) {
        if (int order = compare_element(field.type, field.size, left, right); order != 0)
            return order;
        left += field.size;
        right += field.size;
    }
    return 0;
}

} // namespace morvex
