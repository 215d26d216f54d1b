// The decimal accumulator stack: pushing from LONG values, text and packed
// fields, the stack operations over the arithmetic of decimal_arith.cpp,
// storing, taking as LONG, REAL or text, FORMAT from the top entry, and the
// per-thread save and restore that the thread switcher calls.
#include "runtime/decimal.h"

#include "runtime/decimal_lanes.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/number_text.h"
#include "runtime/threads.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <new>

namespace morvex {

namespace {

const DecimalAccumulator ZeroAccumulator{};

// Adds one unit at the lowest digit (index 0); a carry out of the top is
// dropped.
void add_lowest_unit(DecimalAccumulator& value) {
    int i = 0;
    while (i < DecimalDigits && value.digits[i] == 9)
        value.digits[i++] = 0;
    if (i < DecimalDigits)
        ++value.digits[i];
}

// Places a digit of weight 10^weight: kept when it falls within the
// accumulator, noted as the rounding digit just below it.
void place_digit(DecimalAccumulator& value, int64_t weight, uint8_t digit, uint8_t& rounding_digit) {
    const int64_t index = DecimalUnits + weight;
    if (index >= 0 && index < DecimalDigits)
        value.digits[index] = digit;
    else if (index == -1)
        rounding_digit = digit;
}

void finish_placed(DecimalAccumulator& value, int64_t lowest_weight, uint8_t rounding_digit) {
    value.low = static_cast<uint8_t>(std::clamp<int64_t>(DecimalUnits + lowest_weight, 0, DecimalUnits));
    if (rounding_digit >= 5) {
        value.low = 0;
        add_lowest_unit(value);
    }
    decimal_detail::normalize(value);
}

uint8_t nibble(const uint8_t* bytes, uint32_t index) {
    const uint8_t byte = bytes[index / 2];
    return index % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

void set_nibble(uint8_t* bytes, uint32_t index, uint8_t value) {
    uint8_t& byte = bytes[index / 2];
    byte = index % 2 == 0 ? static_cast<uint8_t>((byte & 0x0F) | value << 4)
                          : static_cast<uint8_t>((byte & 0xF0) | value);
}

// The 2n - 1 digits of a packed field start at nibble `first`; the last of
// them has the weight 10^-d.
void read_packed(DecimalAccumulator& value, const uint8_t* bytes, uint32_t n, uint32_t d, uint32_t first) {
    const int64_t count = int64_t{2} * n - 1;
    uint8_t rounding_digit = 0;
    for (int64_t k = 0; k < count; ++k) {
        // A nibble above 9 is no digit; it reads as the largest one.
        const uint8_t digit = std::min<uint8_t>(nibble(bytes, static_cast<uint32_t>(first + k)), 9);
        place_digit(value, count - 1 - k - int64_t{d}, digit, rounding_digit);
    }
    finish_placed(value, -int64_t{d}, rounding_digit);
}

// Writes the rounded value's digits into the field's digit nibbles; true
// when any written digit is not zero.
bool write_packed(const DecimalAccumulator& value, uint8_t* bytes, uint32_t n, uint32_t d, uint32_t first) {
    const int64_t count = int64_t{2} * n - 1;
    bool any = false;
    for (int64_t k = 0; k < count; ++k) {
        const int64_t index = DecimalUnits + count - 1 - k - int64_t{d};
        const uint8_t digit = index >= 0 && index < DecimalDigits ? value.digits[index] : 0;
        any |= digit != 0;
        set_nibble(bytes, static_cast<uint32_t>(first + k), digit);
    }
    return any;
}

std::shared_ptr<void> save_decimals() {
    DecimalStack& stack = Decimals();
    if (stack.empty())
        return nullptr;
    const std::size_t size = stack.save_size();
    auto* block = new (std::nothrow) uint8_t[size];
    if (!block) {
        SetError(ErrInsufficientMemory);
        stack.clear();
        return nullptr;
    }
    stack.save_into(block);
    try {
        return std::shared_ptr<void>(block, [](void* p) { delete[] static_cast<uint8_t*>(p); });
    } catch (...) {
        // The deleter has freed the block already.
        SetError(ErrInsufficientMemory);
        return nullptr;
    }
}

void restore_decimals(std::shared_ptr<void> state) {
    if (state)
        Decimals().restore_from(static_cast<const uint8_t*>(state.get()));
    else
        Decimals().clear();
}

void end_decimals() {
    Decimals().clear();
}

DecimalStack g_decimals;

} // namespace

PictureNumber ToPictureNumber(const DecimalAccumulator& value) {
    PictureNumber number;
    if (value.is_zero())
        return number;
    int low = value.low;
    while (value.digits[low] == 0)
        ++low;
    int high = value.high;
    while (value.digits[high] == 0)
        --high;
    number.negative = value.sign != 0;
    number.exponent = static_cast<int16_t>(low - DecimalUnits);
    int count = 0;
    for (int i = high; i >= low; --i)
        number.digits[count++] = static_cast<char>('0' + value.digits[i]);
    number.digit_count = static_cast<uint8_t>(count);
    return number;
}

DecimalStack& Decimals() {
    static const bool registered = [] {
        SetThreadStateHooks(ThreadStateKind::DecimalStack,
                            ThreadStateHooks{save_decimals, restore_decimals, end_decimals});
        return true;
    }();
    (void)registered;
    return g_decimals;
}

std::size_t FormatDecimalTop(const CompiledPicture& picture, char* out) {
    const DecimalAccumulator value = Decimals().take();
    return FORMAT(ToPictureNumber(value), picture, out);
}

std::string DecimalText(const DecimalAccumulator& value) {
    DecimalStack scratch;
    scratch.push(value);
    char text[68];
    return std::string(text, scratch.take_text(text));
}

DecimalAccumulator& DecimalStack::push_slot() {
    static DecimalAccumulator dropped;
    if (m_count >= Capacity)
        return dropped; // a push onto a full stack is dropped
    return m_entries[m_count++];
}

const DecimalAccumulator& DecimalStack::top() const {
    return m_count == 0 ? ZeroAccumulator : m_entries[m_count - 1];
}

void DecimalStack::pop() {
    if (m_count > 0)
        --m_count;
}

DecimalAccumulator DecimalStack::take() {
    if (m_count == 0)
        return DecimalAccumulator{};
    return m_entries[--m_count];
}

namespace {

// True when the accumulator is already in the shape every operation keeps:
// low <= 32 <= high, digits 0..9 inside low..high and zero outside, high on
// the top non-zero digit (or the units digit), zero positive. Checked on all
// 64 digits at once.
bool well_formed(const DecimalAccumulator& value) {
    using namespace decimal_lanes;
    if (value.low > DecimalUnits || value.high < DecimalUnits || value.high >= DecimalDigits ||
        value.sign > 1)
        return false;
    const uint64_t in_use = non_zero(value.digits);
    const uint64_t inside = (~uint64_t{0} >> (63 - value.high)) & (~uint64_t{0} << value.low);
    return above_nine(value.digits) == 0 && (in_use & ~inside) == 0 && high_index(in_use) == value.high &&
           (in_use != 0 || value.sign == 0);
}

} // namespace

void DecimalStack::push(const DecimalAccumulator& value) {
    // The shape is checked on the value before it is copied: reading back
    // the bytes just stored would wait for the stores to drain.
    const bool sound = well_formed(value);
    DecimalAccumulator& entry = push_slot();
    entry = value;
    if (sound)
        return;
    entry.low = std::min<uint8_t>(entry.low, DecimalUnits);
    entry.high = std::clamp<uint8_t>(entry.high, DecimalUnits, DecimalDigits - 1);
    for (int i = 0; i < DecimalDigits; ++i) {
        if (i < entry.low || i > entry.high)
            entry.digits[i] = 0;
        else if (entry.digits[i] > 9)
            entry.digits[i] = 9;
    }
    entry.sign = entry.sign != 0;
    decimal_detail::normalize(entry);
}

void DecimalStack::push_long(int32_t value) {
    DecimalAccumulator& entry = push_slot();
    entry = DecimalAccumulator{};
    entry.sign = value < 0;
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    for (int i = DecimalUnits; magnitude != 0; ++i) {
        entry.digits[i] = static_cast<uint8_t>(magnitude % 10);
        magnitude /= 10;
        entry.high = static_cast<uint8_t>(i);
    }
}

void DecimalStack::push_unsigned(uint32_t value) {
    DecimalAccumulator& entry = push_slot();
    entry = DecimalAccumulator{};
    for (int i = DecimalUnits; value != 0; ++i) {
        entry.digits[i] = static_cast<uint8_t>(value % 10);
        value /= 10;
        entry.high = static_cast<uint8_t>(i);
    }
}

// The text is read by the runtime's number rule (number_text.h); then every
// digit is placed by its weight. The exponent shifts the digits directly, so
// only digits that fall off the ends of the accumulator are lost: those
// above the 32nd integer digit are dropped, those below the 32nd place rounded.
void DecimalStack::push_text(std::string_view text) {
    const NumberText number = ReadNumberText(text);
    const std::string_view integer = number.integer;
    const std::string_view fraction = number.fraction;
    const int64_t exponent = number.exponent;

    DecimalAccumulator& entry = push_slot();
    entry = DecimalAccumulator{};
    uint8_t rounding_digit = 0;
    const auto integer_digits = static_cast<int64_t>(integer.size());
    // Digits far above the accumulator cannot reach it; skip them.
    std::size_t p = 0;
    if (integer_digits + exponent > DecimalUnits)
        p = static_cast<std::size_t>(
            std::min<int64_t>(integer_digits, integer_digits + exponent - DecimalUnits));
    for (; p < integer.size(); ++p)
        place_digit(entry, static_cast<int64_t>(integer.size() - 1 - p) + exponent,
                    static_cast<uint8_t>(integer[p] - '0'), rounding_digit);
    const std::size_t fraction_stop = std::min<std::size_t>(
        fraction.size(), static_cast<std::size_t>(std::max<int64_t>(exponent + DecimalUnits + 1, 0)));
    for (p = 0; p < fraction_stop; ++p)
        place_digit(entry, exponent - static_cast<int64_t>(p + 1), static_cast<uint8_t>(fraction[p] - '0'),
                    rounding_digit);
    entry.sign = number.negative;
    finish_placed(entry, exponent - static_cast<int64_t>(fraction.size()), rounding_digit);
}

void DecimalStack::push_decimal(const uint8_t* bytes, uint32_t n, uint32_t d) {
    DecimalAccumulator& entry = push_slot();
    entry = DecimalAccumulator{};
    if (n == 0)
        return;
    entry.sign = nibble(bytes, 0) != 0;
    read_packed(entry, bytes, n, d, 1);
}

void DecimalStack::push_pdecimal(const uint8_t* bytes, uint32_t n, uint32_t d) {
    DecimalAccumulator& entry = push_slot();
    entry = DecimalAccumulator{};
    if (n == 0)
        return;
    entry.sign = nibble(bytes, 2 * n - 1) == 0x0D;
    read_packed(entry, bytes, n, d, 0);
}

void DecimalStack::push_power_of_ten(int k) {
    DecimalAccumulator& entry = push_slot();
    entry = DecimalAccumulator{};
    if (k >= -DecimalUnits && k < DecimalDigits - DecimalUnits) {
        entry.digits[DecimalUnits + k] = 1;
        entry.low = static_cast<uint8_t>(std::min(DecimalUnits + k, DecimalUnits));
        entry.high = static_cast<uint8_t>(std::max(DecimalUnits + k, DecimalUnits));
    }
}

namespace {

enum class Operation { Add, Subtract, Multiply, Divide };

void apply(Operation operation, const DecimalAccumulator& a, const DecimalAccumulator& b,
           DecimalAccumulator& result) {
    switch (operation) {
    case Operation::Add:
        decimal_detail::add(a, b, false, result);
        break;
    case Operation::Subtract:
        decimal_detail::add(a, b, true, result);
        break;
    case Operation::Multiply:
        decimal_detail::multiply(a, b, result);
        break;
    case Operation::Divide:
        decimal_detail::divide(a, b, result);
        break;
    }
}

} // namespace

#define MORVEX_DECIMAL_BINARY(name, operation)                                                               \
    void DecimalStack::name() {                                                                              \
        if (m_count >= 2) {                                                                                  \
            apply(operation, m_entries[m_count - 2], m_entries[m_count - 1], m_entries[m_count - 2]);        \
            --m_count;                                                                                       \
            return;                                                                                          \
        }                                                                                                    \
        const DecimalAccumulator b = take();                                                                 \
        const DecimalAccumulator a = take();                                                                 \
        apply(operation, a, b, push_slot());                                                                 \
    }

MORVEX_DECIMAL_BINARY(add, Operation::Add)
MORVEX_DECIMAL_BINARY(subtract, Operation::Subtract)
MORVEX_DECIMAL_BINARY(multiply, Operation::Multiply)
MORVEX_DECIMAL_BINARY(divide, Operation::Divide)

#undef MORVEX_DECIMAL_BINARY

void DecimalStack::negate() {
    if (m_count == 0)
        return;
    DecimalAccumulator& entry = m_entries[m_count - 1];
    if (!entry.is_zero())
        entry.sign ^= 1;
}

void DecimalStack::absolute() {
    if (m_count > 0)
        m_entries[m_count - 1].sign = 0;
}

void DecimalStack::round(int d) {
    if (m_count > 0)
        decimal_detail::round(m_entries[m_count - 1], d);
}

int DecimalStack::compare() {
    const DecimalAccumulator b = take();
    const DecimalAccumulator a = take();
    return decimal_detail::compare(a, b);
}

int DecimalStack::sign_test() {
    const DecimalAccumulator value = take();
    return decimal_detail::compare(value, ZeroAccumulator);
}

void DecimalStack::store_decimal(uint8_t* bytes, uint32_t n, uint32_t d) {
    DecimalAccumulator value = take();
    if (n == 0)
        return;
    decimal_detail::round(value, static_cast<int>(std::min<uint32_t>(d, DecimalUnits)));
    bytes[0] = 0;
    const bool any = write_packed(value, bytes, n, d, 1);
    set_nibble(bytes, 0, any && value.sign ? 0x0F : 0x00);
}

void DecimalStack::store_pdecimal(uint8_t* bytes, uint32_t n, uint32_t d) {
    DecimalAccumulator value = take();
    if (n == 0)
        return;
    decimal_detail::round(value, static_cast<int>(std::min<uint32_t>(d, DecimalUnits)));
    const bool any = write_packed(value, bytes, n, d, 0);
    set_nibble(bytes, 2 * n - 1, any && value.sign ? 0x0D : 0x0F);
}

int32_t DecimalStack::take_long() {
    const DecimalAccumulator value = take();
    uint64_t magnitude = 0;
    constexpr uint64_t Limit = uint64_t{1} << 31;
    for (int i = value.high; i >= DecimalUnits; --i) {
        magnitude = magnitude * 10 + value.digits[i];
        if (magnitude > Limit) {
            magnitude = Limit;
            break;
        }
    }
    if (value.sign)
        return magnitude >= Limit ? INT32_MIN : -static_cast<int32_t>(magnitude);
    return magnitude >= Limit ? INT32_MAX : static_cast<int32_t>(magnitude);
}

double DecimalStack::take_real() {
    const DecimalAccumulator value = take();
    if (value.is_zero())
        return 0.0;
    int high = value.high;
    while (value.digits[high] == 0)
        --high;
    const int low = std::max(high - 15, 0);
    uint64_t mantissa = 0;
    for (int i = high; i >= low; --i)
        mantissa = mantissa * 10 + value.digits[i];
    if (low > 0 && value.digits[low - 1] >= 5)
        ++mantissa;
    // mantissa x 10^(low - 32), read back by the correctly rounding parser.
    char text[40];
    char* end = std::to_chars(text, text + 20, mantissa).ptr;
    *end++ = 'e';
    end = std::to_chars(end, text + sizeof text, low - DecimalUnits).ptr;
    double result = 0;
    std::from_chars(text, end, result);
    return value.sign ? -result : result;
}

std::size_t DecimalStack::take_text(char* out) {
    const DecimalAccumulator value = take();
    char* p = out;
    if (value.sign && !value.is_zero())
        *p++ = '-';
    for (int i = value.high; i >= DecimalUnits; --i)
        *p++ = static_cast<char>('0' + value.digits[i]);
    int low = value.low;
    while (low < DecimalUnits && value.digits[low] == 0)
        ++low;
    if (low < DecimalUnits) {
        *p++ = '.';
        for (int i = DecimalUnits - 1; i >= low; --i)
            *p++ = static_cast<char>('0' + value.digits[i]);
    }
    return static_cast<std::size_t>(p - out);
}

void DecimalStack::save_into(uint8_t* block) {
    block[0] = m_count;
    std::memcpy(block + 1, m_entries, m_count * sizeof(DecimalAccumulator));
    m_count = 0;
}

void DecimalStack::restore_from(const uint8_t* block) {
    m_count = std::min<uint8_t>(block[0], Capacity);
    std::memcpy(m_entries, block + 1, m_count * sizeof(DecimalAccumulator));
}

} // namespace morvex
