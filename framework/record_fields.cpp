#include "framework/record_fields.h"

#include "runtime/unaligned.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace morvex {

namespace {

template <class T>
void store_clamped(uint8_t* at, int64_t value) {
    if constexpr (std::is_floating_point_v<T>) {
        StoreUnaligned<T>(at, static_cast<T>(value));
    } else {
        const int64_t low = static_cast<int64_t>(std::numeric_limits<T>::lowest());
        const int64_t high =
            static_cast<int64_t>(std::min<uint64_t>(std::numeric_limits<T>::max(), INT64_MAX));
        StoreUnaligned<T>(at, static_cast<T>(std::clamp(value, low, high)));
    }
}

template <class T>
void store_extreme(uint8_t* at, bool highest) {
    StoreUnaligned<T>(at, highest ? std::numeric_limits<T>::max() : std::numeric_limits<T>::lowest());
}

} // namespace

int64_t FieldNumber(const FieldDescription& field, const uint8_t* record) {
    const uint8_t* at = record + field.offset;
    switch (field.type) {
    case FieldType::Byte:
        return *at;
    case FieldType::Short:
        return LoadUnaligned<int16_t>(at);
    case FieldType::UShort:
        return LoadUnaligned<uint16_t>(at);
    case FieldType::Long:
        return LoadUnaligned<int32_t>(at);
    case FieldType::ULong:
        return LoadUnaligned<uint32_t>(at);
    case FieldType::SReal:
        return static_cast<int64_t>(LoadUnaligned<float>(at));
    case FieldType::Real:
        return static_cast<int64_t>(LoadUnaligned<double>(at));
    default:
        return 0;
    }
}

bool SetFieldNumber(const FieldDescription& field, uint8_t* record, int64_t value) {
    uint8_t* at = record + field.offset;
    switch (field.type) {
    case FieldType::Byte:
        store_clamped<uint8_t>(at, value);
        return true;
    case FieldType::Short:
        store_clamped<int16_t>(at, value);
        return true;
    case FieldType::UShort:
        store_clamped<uint16_t>(at, value);
        return true;
    case FieldType::Long:
        store_clamped<int32_t>(at, value);
        return true;
    case FieldType::ULong:
        store_clamped<uint32_t>(at, value);
        return true;
    case FieldType::SReal:
        store_clamped<float>(at, value);
        return true;
    case FieldType::Real:
        store_clamped<double>(at, value);
        return true;
    default:
        return false;
    }
}

void SetFieldExtreme(const FieldDescription& field, uint8_t* record, bool highest) {
    uint8_t* at = record + field.offset;
    switch (field.type) {
    case FieldType::Byte:
        store_extreme<uint8_t>(at, highest);
        return;
    case FieldType::Short:
        store_extreme<int16_t>(at, highest);
        return;
    case FieldType::UShort:
        store_extreme<uint16_t>(at, highest);
        return;
    case FieldType::Long:
        store_extreme<int32_t>(at, highest);
        return;
    case FieldType::ULong:
        store_extreme<uint32_t>(at, highest);
        return;
    case FieldType::SReal:
        store_extreme<float>(at, highest);
        return;
    case FieldType::Real:
        store_extreme<double>(at, highest);
        return;
    default:
        // Text and other bytes: all zero bytes sort first, all 0xFF last.
        std::memset(at, highest ? 0xFF : 0x00, field.total_size());
        return;
    }
}

} // namespace morvex
