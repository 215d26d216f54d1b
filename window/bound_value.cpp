#include "window/bound_value.h"

#include "window/engine_object.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace morvex {

namespace {

template <typename T>
T load(const void* address) {
    T value;
    std::memcpy(&value, address, sizeof value);
    return value;
}

template <typename T>
void store(void* address, T value) {
    std::memcpy(address, &value, sizeof value);
}

// Doubles beyond the 64-bit range are held at its ends.
int64_t whole(double value) {
    if (std::isnan(value))
        return 0;
    if (value >= 9.2e18)
        return INT64_MAX;
    if (value <= -9.2e18)
        return INT64_MIN;
    return static_cast<int64_t>(value);
}

} // namespace

int64_t BoundNumber(const BoundVariable& variable) {
    if (variable.address == nullptr)
        return 0;
    switch (variable.type) {
    case FieldType::Byte:
        return load<uint8_t>(variable.address);
    case FieldType::Short:
        return load<int16_t>(variable.address);
    case FieldType::UShort:
        return load<uint16_t>(variable.address);
    case FieldType::Long:
    case FieldType::Date:
    case FieldType::Time:
        return load<int32_t>(variable.address);
    case FieldType::ULong:
        return load<uint32_t>(variable.address);
    case FieldType::SReal:
        return whole(load<float>(variable.address));
    case FieldType::Real:
        return whole(load<double>(variable.address));
    default:
        return BoundTextCapacity(variable) > 0 ? NumberValue(BoundText(variable)) : 0;
    }
}

void SetBoundNumber(const BoundVariable& variable, int64_t value) {
    if (variable.address == nullptr)
        return;
    switch (variable.type) {
    case FieldType::Byte:
        return store(variable.address, static_cast<uint8_t>(value));
    case FieldType::Short:
        return store(variable.address, static_cast<int16_t>(value));
    case FieldType::UShort:
        return store(variable.address, static_cast<uint16_t>(value));
    case FieldType::Long:
    case FieldType::Date:
    case FieldType::Time:
        return store(variable.address, static_cast<int32_t>(value));
    case FieldType::ULong:
        return store(variable.address, static_cast<uint32_t>(value));
    case FieldType::SReal:
        return store(variable.address, static_cast<float>(value));
    case FieldType::Real:
        return store(variable.address, static_cast<double>(value));
    default:
        if (BoundTextCapacity(variable) > 0)
            SetBoundText(variable, std::to_string(value));
        return;
    }
}

std::size_t BoundTextCapacity(const BoundVariable& variable) {
    switch (variable.type) {
    case FieldType::String:
        return variable.size;
    case FieldType::CString:
        return variable.size > 0 ? variable.size - 1 : 0;
    case FieldType::PString:
        return std::min<std::size_t>(variable.size > 0 ? variable.size - 1 : 0, 255);
    default:
        return 0;
    }
}

std::string BoundText(const BoundVariable& variable) {
    if (variable.address == nullptr || variable.size == 0)
        return {};
    const auto* bytes = static_cast<const char*>(variable.address);
    switch (variable.type) {
    case FieldType::String: {
        std::size_t length = variable.size;
        while (length > 0 && bytes[length - 1] == ' ')
            --length;
        return std::string(bytes, length);
    }
    case FieldType::CString:
        return std::string(bytes, strnlen(bytes, BoundTextCapacity(variable)));
    case FieldType::PString:
        return std::string(
            bytes + 1, std::min<std::size_t>(static_cast<uint8_t>(bytes[0]), BoundTextCapacity(variable)));
    default:
        return std::to_string(BoundNumber(variable));
    }
}

void SetBoundText(const BoundVariable& variable, std::string_view text) {
    if (variable.address == nullptr || variable.size == 0)
        return;
    auto* bytes = static_cast<char*>(variable.address);
    const std::size_t length = std::min(text.size(), BoundTextCapacity(variable));
    switch (variable.type) {
    case FieldType::String:
        std::memcpy(bytes, text.data(), length);
        std::memset(bytes + length, ' ', variable.size - length);
        return;
    case FieldType::CString:
        std::memcpy(bytes, text.data(), length);
        bytes[length] = 0;
        return;
    case FieldType::PString:
        bytes[0] = static_cast<char>(length);
        std::memcpy(bytes + 1, text.data(), length);
        return;
    default:
        SetBoundNumber(variable, NumberValue(text));
        return;
    }
}

} // namespace morvex
