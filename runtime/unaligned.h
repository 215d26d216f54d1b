// Values of a record buffer, read and written at any address: fields sit at
// the offsets their layout gives, with no alignment.
#pragma once

#include <cstdint>
#include <cstring>

namespace morvex {

template <typename T>
T LoadUnaligned(const uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <typename T>
void StoreUnaligned(uint8_t* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

} // namespace morvex
