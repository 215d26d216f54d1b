#include "runtime/field_value.h"

#include "runtime/date.h"
#include "runtime/decimal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace morvex {

namespace {

template <typename T>
T read_as(const void* address) {
    T value;
    std::memcpy(&value, address, sizeof value);
    return value;
}

template <typename T>
void write_as(void* address, T value) {
    std::memcpy(address, &value, sizeof value);
}

std::string_view text_of(const BoundVariable& v) {
    const auto* bytes = static_cast<const char*>(v.address);
    switch (v.type) {
    case FieldType::String: {
        std::size_t length = v.size;
        while (length > 0 && bytes[length - 1] == ' ')
            --length;
        return {bytes, length};
    }
    case FieldType::CString:
        return {bytes, strnlen(bytes, v.size)};
    case FieldType::PString:
        return v.size == 0 ? std::string_view()
                           : std::string_view(bytes + 1, std::min<std::size_t>(static_cast<uint8_t>(bytes[0]), v.size - 1));
    default:
        return {};
    }
}

// Integers of every width, with dates and times as their standard numbers.
std::optional<int64_t> integer_of(const BoundVariable& v) {
    switch (v.type) {
    case FieldType::Byte:
        return read_as<uint8_t>(v.address);
    case FieldType::Short:
        return read_as<int16_t>(v.address);
    case FieldType::UShort:
        return read_as<uint16_t>(v.address);
    case FieldType::Long:
        return read_as<int32_t>(v.address);
    case FieldType::ULong:
        return read_as<uint32_t>(v.address);
    case FieldType::Date:
        return DateToLong(read_as<DateStorage>(v.address));
    case FieldType::Time:
        return TimeToLong(read_as<TimeStorage>(v.address));
    default:
        return std::nullopt;
    }
}

std::optional<double> real_of(const BoundVariable& v) {
    if (v.type == FieldType::SReal)
        return read_as<float>(v.address);
    if (v.type == FieldType::Real)
        return read_as<double>(v.address);
    return std::nullopt;
}

bool is_decimal(const BoundVariable& v) { return v.type == FieldType::Decimal || v.type == FieldType::PDecimal; }

void push_decimal(const BoundVariable& v) {
    if (v.type == FieldType::Decimal)
        Decimals().push_decimal(static_cast<const uint8_t*>(v.address), v.size, v.decimals);
    else
        Decimals().push_pdecimal(static_cast<const uint8_t*>(v.address), v.size, v.decimals);
}

template <typename T>
void store_integer(void* address, double value) {
    const double rounded = std::round(value); // half away from zero
    const double low = static_cast<double>(std::numeric_limits<T>::min());
    const double high = static_cast<double>(std::numeric_limits<T>::max());
    write_as<T>(address, static_cast<T>(std::clamp(std::isnan(rounded) ? 0.0 : rounded, low, high)));
}

} // namespace

bool IsNumericVariable(const BoundVariable& v) {
    return integer_of(v).has_value() || real_of(v).has_value() || is_decimal(v);
}

std::string FormatValue(const BoundVariable& v, const CompiledPicture* picture) {
    if (v.address == nullptr)
        return {};
    char out[MaxPictureWidth + 1];
    if (picture && picture->valid()) {
        std::size_t length = 0;
        if (const auto integer = integer_of(v))
            length = FORMAT(*integer, *picture, out);
        else if (const auto real = real_of(v))
            length = FORMAT(*real, *picture, out);
        else if (is_decimal(v)) {
            push_decimal(v);
            length = FormatDecimalTop(*picture, out);
        } else
            length = FORMAT(text_of(v), *picture, out);
        return std::string(out, length);
    }
    if (IsNumericVariable(v))
        return ValueText(v);
    return std::string(text_of(v));
}

std::string ValueText(const BoundVariable& v) {
    if (const auto integer = integer_of(v))
        return std::to_string(*integer);
    if (const auto real = real_of(v)) {
        char buffer[32];
        return std::string(RealToText(*real, buffer));
    }
    if (is_decimal(v)) {
        push_decimal(v);
        char out[72];
        return std::string(out, Decimals().take_text(out));
    }
    return std::string(text_of(v));
}

bool StoreValue(const BoundVariable& v, std::string_view value_text) {
    if (v.address == nullptr)
        return false;
    auto* bytes = static_cast<char*>(v.address);
    switch (v.type) {
    case FieldType::String: {
        const std::size_t length = std::min<std::size_t>(value_text.size(), v.size);
        std::memcpy(bytes, value_text.data(), length);
        std::memset(bytes + length, ' ', v.size - length);
        return true;
    }
    case FieldType::CString: {
        if (v.size == 0)
            return false;
        const std::size_t length = std::min<std::size_t>(value_text.size(), v.size - 1);
        std::memcpy(bytes, value_text.data(), length);
        std::memset(bytes + length, 0, v.size - length);
        return true;
    }
    case FieldType::PString: {
        if (v.size == 0)
            return false;
        const std::size_t length = std::min<std::size_t>({value_text.size(), v.size - 1, 255});
        bytes[0] = static_cast<char>(length);
        std::memcpy(bytes + 1, value_text.data(), length);
        return true;
    }
    case FieldType::Decimal:
    case FieldType::PDecimal:
        Decimals().push_text(value_text);
        if (v.type == FieldType::Decimal)
            Decimals().store_decimal(static_cast<uint8_t*>(v.address), v.size, v.decimals);
        else
            Decimals().store_pdecimal(static_cast<uint8_t*>(v.address), v.size, v.decimals);
        return true;
    default:
        break;
    }
    const double number = TextToReal(value_text);
    switch (v.type) {
    case FieldType::Byte:
        store_integer<uint8_t>(v.address, number);
        return true;
    case FieldType::Short:
        store_integer<int16_t>(v.address, number);
        return true;
    case FieldType::UShort:
        store_integer<uint16_t>(v.address, number);
        return true;
    case FieldType::Long:
        store_integer<int32_t>(v.address, number);
        return true;
    case FieldType::ULong:
        store_integer<uint32_t>(v.address, number);
        return true;
    case FieldType::Date: {
        int32_t date = 0;
        store_integer<int32_t>(&date, number);
        write_as(v.address, LongToDate(date));
        return true;
    }
    case FieldType::Time: {
        int32_t time = 0;
        store_integer<int32_t>(&time, number);
        write_as(v.address, LongToTime(time));
        return true;
    }
    case FieldType::SReal:
        write_as(v.address, static_cast<float>(number));
        return true;
    case FieldType::Real:
        write_as(v.address, number);
        return true;
    default:
        return false;
    }
}

BoundVariable FieldVariable(const FieldDescription& field, const uint8_t* record) {
    BoundVariable variable;
    variable.type = field.type;
    variable.address = const_cast<uint8_t*>(record + field.offset);
    variable.size = field.size;
    variable.dimension = field.dimension;
    return variable;
}

} // namespace morvex
