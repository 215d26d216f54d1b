// Exact decimal arithmetic on a stack of decimal accumulators.
//
// Operands are pushed from LONG values, text or the packed storage types
// DECIMAL and PDECIMAL; operations combine the top entries; the result is
// stored back into a field, taken as LONG or REAL, or formatted through a
// picture straight from its digits. Each accumulator keeps one decimal digit
// per byte: 32 integer digits and 32 fraction digits, so sums of money never
// meet binary rounding.
//
// Values that do not fit are kept sound rather than written out of bounds:
// integer digits beyond the 32nd are dropped (every result is taken modulo
// 10^32, as storing into a field takes it modulo the field's capacity), and
// digits below the 32nd place are rounded half away from zero.
//
// Each runtime thread has its own stack: the thread switcher saves the whole
// stack (the count followed by the entries) into one block and restores it.
// Callers run under the runtime lock. Nothing here throws or allocates,
// except the save block of a thread switch.
#pragma once

#include "runtime/picture.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

constexpr int DecimalDigits = 64;
// The index of the units digit: index i has the weight 10^(i - 32).
constexpr int DecimalUnits = 32;
// Quotients are rounded to this many decimal places.
constexpr int DecimalQuotientPlaces = 31;

struct DecimalAccumulator {
    uint8_t digits[DecimalDigits] = {}; // one digit 0..9 per byte
    uint8_t sign = 0;                   // 1 negative, 0 positive
    uint8_t low = DecimalUnits;         // the lowest digit in use
    uint8_t high = DecimalUnits;        // the highest digit in use

    bool is_zero() const;
};
static_assert(sizeof(DecimalAccumulator) == 67);

// The accumulator as a digit string with a sign and a decimal exponent, the
// form FORMAT takes; zero has no digits. No binary rounding on the way.
PictureNumber ToPictureNumber(const DecimalAccumulator& value);

class DecimalStack {
public:
    // The count is one byte; 32 entries are far more than any expression
    // nests. A push onto a full stack is dropped (the stack is unchanged);
    // taking from an empty stack takes zero.
    static constexpr std::size_t Capacity = 32;

    std::size_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    void clear() { m_count = 0; }

    void push_long(int32_t value);
    void push_unsigned(uint32_t value);
    // The number the text starts with, by the runtime's rule (number_text.h):
    // blanks, a sign, digits with "." or "," as the point, an exponent; any
    // other character ends it, and text with no number in it gives zero.
    void push_text(std::string_view text);
    // Packed fields of n bytes (2n - 1 digits) with d of them decimals.
    void push_decimal(const uint8_t* bytes, uint32_t n, uint32_t d);
    void push_pdecimal(const uint8_t* bytes, uint32_t n, uint32_t d);
    // 10^k; exact for -32 <= k <= 31, zero beyond either end (1 / 10^33
    // rounds to zero at 32 places, 10^32 is zero modulo 10^32).
    void push_power_of_ten(int k);
    // An accumulator as given; digits outside low..high or above 9 and
    // indexes out of range are brought back into shape first.
    void push(const DecimalAccumulator& value);

    // Binary operations take the top entry (b) and the one below it (a) and
    // leave a + b, a - b, a * b or a / b. A product is rounded at 32 places;
    // a quotient is correctly rounded at 31 places (a or b zero gives zero).
    void add();
    void subtract();
    void multiply();
    void divide();

    void negate();
    void absolute();
    // Rounds the top entry to d decimal places, half away from zero.
    void round(int d);

    // Takes a (below) and b (top): -1 when a < b, 0 when equal, 1 when a > b.
    // Zero equals zero whatever its sign.
    int compare();
    // Takes the top entry: -1 negative, 0 zero, 1 positive.
    int sign_test();

    // Takes the top entry, rounds it to d places and writes it; integer
    // digits beyond the field's are not written (modulo its capacity). A
    // value that writes as all zeros is written positive.
    void store_decimal(uint8_t* bytes, uint32_t n, uint32_t d);
    void store_pdecimal(uint8_t* bytes, uint32_t n, uint32_t d);

    // Takes the top entry: the integer part with its sign, the fraction
    // dropped. Beyond the LONG range the result saturates at its ends.
    int32_t take_long();
    // Takes the top entry: its 16 most significant digits (rounded half away
    // from zero), scaled by the power of ten, correctly rounded to binary.
    double take_real();
    // Takes the top entry as a plain number text ("-12.345", "0"), written
    // into `out` (room for 68 characters); returns its length.
    std::size_t take_text(char* out);

    // The top entry (zero when the stack is empty); not taken.
    const DecimalAccumulator& top() const;
    // Takes the top entry off (nothing on an empty stack).
    void pop();
    DecimalAccumulator take();

    // The whole stack for the thread switcher: the one-byte count followed by
    // the entries, then the stack is empty. Restoring replaces the stack.
    std::size_t save_size() const { return 1 + m_count * sizeof(DecimalAccumulator); }
    void save_into(uint8_t* block);
    void restore_from(const uint8_t* block);

private:
    DecimalAccumulator& push_slot();

    DecimalAccumulator m_entries[Capacity];
    uint8_t m_count = 0;
};

// The running thread's decimal stack (registers the thread switching on
// first use).
DecimalStack& Decimals();

// FORMAT straight from the top accumulator of the running thread's stack,
// which is taken off. Returns the width written, as FORMAT does.
std::size_t FormatDecimalTop(const CompiledPicture& picture, char* out);

// The text form of an accumulator, for logs and tests.
std::string DecimalText(const DecimalAccumulator& value);

// Arithmetic on single accumulators, used by the stack; `result` may be one
// of the operands.
namespace decimal_detail {
void normalize(DecimalAccumulator& value);
void add(const DecimalAccumulator& a, const DecimalAccumulator& b, bool subtract, DecimalAccumulator& result);
void multiply(const DecimalAccumulator& a, const DecimalAccumulator& b, DecimalAccumulator& result);
void divide(const DecimalAccumulator& a, const DecimalAccumulator& b, DecimalAccumulator& result);
void round(DecimalAccumulator& value, int places);
int compare(const DecimalAccumulator& a, const DecimalAccumulator& b);
} // namespace decimal_detail

} // namespace morvex
