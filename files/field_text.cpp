#include "files/field_text.h"

#include "runtime/date.h"
#include "runtime/unaligned.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace morvex {

namespace {

template <class T>
std::string decimal(T value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// A whole number within [low, high], or an error text.
std::string whole(std::string_view text, int64_t low, int64_t high, int64_t& value) {
    value = 0;
    if (text.empty())
        return {};
    std::string_view digits = text;
    if (digits.front() == '+')
        digits.remove_prefix(1);
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec == std::errc::result_out_of_range ||
        (result.ec == std::errc() && (value < low || value > high)))
        return "'" + std::string(text) + "' is outside " + std::to_string(low) + " to " +
               std::to_string(high);
    if (result.ec != std::errc() || result.ptr != digits.data() + digits.size() || digits.empty())
        return "'" + std::string(text) + "' is not a whole number";
    return {};
}

std::string real(std::string_view text, double& value) {
    value = 0;
    if (text.empty())
        return {};
    std::string_view digits = text;
    if (digits.front() == '+')
        digits.remove_prefix(1);
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec != std::errc() || result.ptr != digits.data() + digits.size() || digits.empty())
        return "'" + std::string(text) + "' is not a number";
    return {};
}

std::string too_long(std::size_t length, std::size_t room, const FieldDescription& field, const char* type) {
    return std::to_string(length) + " characters do not fit " + type + "(" + std::to_string(field.size) +
           ") (at most " + std::to_string(room) + ")";
}

} // namespace

bool FieldHasText(const FieldDescription& field) {
    if (field.dimension != 1)
        return false;
    switch (field.type) {
    case FieldType::Byte:
    case FieldType::Short:
    case FieldType::UShort:
    case FieldType::Long:
    case FieldType::ULong:
    case FieldType::SReal:
    case FieldType::Real:
    case FieldType::Date:
    case FieldType::Time:
        return field.size == NaturalSize(field.type);
    case FieldType::String:
    case FieldType::CString:
        return field.size >= 1;
    case FieldType::PString:
        return field.size >= 1 && field.size <= 256;
    default:
        return false;
    }
}

std::string FieldText(const FieldDescription& field, const uint8_t* record) {
    const uint8_t* at = record + field.offset;
    switch (field.type) {
    case FieldType::Byte:
        return decimal(int{at[0]});
    case FieldType::Short:
        return decimal(LoadUnaligned<int16_t>(at));
    case FieldType::UShort:
        return decimal(LoadUnaligned<uint16_t>(at));
    case FieldType::Long:
        return decimal(LoadUnaligned<int32_t>(at));
    case FieldType::ULong:
        return decimal(LoadUnaligned<uint32_t>(at));
    case FieldType::SReal:
        return decimal(LoadUnaligned<float>(at));
    case FieldType::Real:
        return decimal(LoadUnaligned<double>(at));
    case FieldType::Date:
        return decimal(DateToLong(LoadUnaligned<DateStorage>(at)));
    case FieldType::Time:
        return decimal(TimeToLong(LoadUnaligned<TimeStorage>(at)));
    case FieldType::String: {
        std::size_t length = field.size;
        while (length > 0 && at[length - 1] == ' ')
            --length;
        return std::string(reinterpret_cast<const char*>(at), length);
    }
    case FieldType::CString: {
        const void* nul = std::memchr(at, 0, field.size);
        const std::size_t length =
            nul ? static_cast<std::size_t>(static_cast<const uint8_t*>(nul) - at) : field.size;
        return std::string(reinterpret_cast<const char*>(at), length);
    }
    case FieldType::PString: {
        const std::size_t length = std::min<std::size_t>(at[0], field.size - 1);
        return std::string(reinterpret_cast<const char*>(at + 1), length);
    }
    default:
        return {};
    }
}

std::string SetFieldText(const FieldDescription& field, std::string_view text, uint8_t* record) {
    uint8_t* at = record + field.offset;
    int64_t value = 0;
    std::string error;
    switch (field.type) {
    case FieldType::Byte:
        if (error = whole(text, 0, 255, value); error.empty())
            at[0] = static_cast<uint8_t>(value);
        return error;
    case FieldType::Short:
        if (error = whole(text, INT16_MIN, INT16_MAX, value); error.empty())
            StoreUnaligned(at, static_cast<int16_t>(value));
        return error;
    case FieldType::UShort:
        if (error = whole(text, 0, UINT16_MAX, value); error.empty())
            StoreUnaligned(at, static_cast<uint16_t>(value));
        return error;
    case FieldType::Long:
        if (error = whole(text, INT32_MIN, INT32_MAX, value); error.empty())
            StoreUnaligned(at, static_cast<int32_t>(value));
        return error;
    case FieldType::ULong:
        if (error = whole(text, 0, UINT32_MAX, value); error.empty())
            StoreUnaligned(at, static_cast<uint32_t>(value));
        return error;
    case FieldType::Date:
        // 1 to 3 are no dates (the first is 4, 1 January 1801), and a DATE
        // field would keep them as 0: refused rather than lost.
        error = whole(text, 0, LastValidDate, value);
        if (error.empty() && value > 0 && value < FirstValidDate)
            error = "'" + std::string(text) + "' is outside 0 (no date) and " +
                    std::to_string(FirstValidDate) + " to " + std::to_string(LastValidDate);
        if (error.empty())
            StoreUnaligned(at, LongToDate(static_cast<int32_t>(value)));
        return error;
    case FieldType::Time:
        if (error = whole(text, 0, LastValidTime, value); error.empty())
            StoreUnaligned(at, LongToTime(static_cast<int32_t>(value)));
        return error;
    case FieldType::SReal:
    case FieldType::Real: {
        double number = 0;
        if (error = real(text, number); !error.empty())
            return error;
        if (field.type == FieldType::Real) {
            StoreUnaligned(at, number);
        } else {
            if (std::abs(number) > std::numeric_limits<float>::max())
                return "'" + std::string(text) + "' is too large for SREAL";
            StoreUnaligned(at, static_cast<float>(number));
        }
        return {};
    }
    case FieldType::String:
        if (text.size() > field.size)
            return too_long(text.size(), field.size, field, "STRING");
        std::memcpy(at, text.data(), text.size());
        std::memset(at + text.size(), ' ', field.size - text.size());
        return {};
    case FieldType::CString:
        if (text.size() >= field.size)
            return too_long(text.size(), field.size - 1, field, "CSTRING");
        if (text.find('\0') != std::string_view::npos)
            return "a CSTRING cannot hold a NUL character";
        std::memcpy(at, text.data(), text.size());
        std::memset(at + text.size(), 0, field.size - text.size());
        return {};
    case FieldType::PString:
        if (text.size() >= field.size)
            return too_long(text.size(), field.size - 1, field, "PSTRING");
        at[0] = static_cast<uint8_t>(text.size());
        std::memcpy(at + 1, text.data(), text.size());
        std::memset(at + 1 + text.size(), 0, field.size - 1 - text.size());
        return {};
    default:
        return "the field's type has no text form";
    }
}

} // namespace morvex
