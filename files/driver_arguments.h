// The argument block of a driver call: the statement's arguments after the
// file, in order, one slot each.
//
// A slot holds a number or a pointer (a key declaration, a buffer). Slots are
// pointer-sized (intptr_t) so that a pointer fits on 64-bit machines; a
// number is stored sign-extended and read back as its low 32 bits. Text
// arguments never travel here: they are on the runtime's string stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>

namespace morvex {

struct KeyDeclaration;

class DriverArguments {
public:
    constexpr DriverArguments() = default;
    constexpr explicit DriverArguments(std::span<const intptr_t> slots) : m_slots(slots) {}

    constexpr std::size_t size() const { return m_slots.size(); }
    constexpr bool empty() const { return m_slots.empty(); }

    // Slot i as it was passed; 0 for a slot the caller did not pass, so a
    // driver reading an optional argument needs no count check.
    constexpr intptr_t raw(std::size_t i) const { return i < m_slots.size() ? m_slots[i] : 0; }
    constexpr int32_t number(std::size_t i) const { return static_cast<int32_t>(raw(i)); }
    KeyDeclaration* key(std::size_t i) const { return pointer<KeyDeclaration>(i); }
    void* buffer(std::size_t i) const { return pointer<void>(i); }

    template <class T>
    T* pointer(std::size_t i) const {
        return reinterpret_cast<T*>(raw(i));
    }

private:
    std::span<const intptr_t> m_slots;
};

// Converts one statement argument into its slot.
template <class T>
intptr_t ToDriverSlot(T* pointer) {
    return reinterpret_cast<intptr_t>(pointer);
}
template <class T>
requires std::is_integral_v<T> || std::is_enum_v<T>
constexpr intptr_t ToDriverSlot(T number) {
    return static_cast<intptr_t>(static_cast<int32_t>(number));
}

} // namespace morvex
