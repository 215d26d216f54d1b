// Fuzzes the decimal accumulators: the input is two number texts (split at
// the first newline) and a byte choosing field places. Both are parsed,
// combined, stored into packed fields, read back and taken as LONG and REAL,
// and every step is checked against what must hold.
#include "runtime/decimal.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

using namespace morvex;

namespace {

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

// The shape every accumulator keeps.
void check_shape(const DecimalAccumulator& value) {
    check(value.low <= DecimalUnits && value.high >= DecimalUnits && value.high < DecimalDigits);
    check(value.sign <= 1);
    bool any = false;
    for (int i = 0; i < DecimalDigits; ++i) {
        check(value.digits[i] <= 9);
        if (i < value.low || i > value.high)
            check(value.digits[i] == 0);
        any |= value.digits[i] != 0;
    }
    check(value.high == DecimalUnits || value.digits[value.high] != 0);
    check(any || value.sign == 0);
}

DecimalAccumulator parse(DecimalStack& stack, std::string_view text) {
    stack.push_text(text);
    check_shape(stack.top());
    return stack.take();
}

DecimalAccumulator binary(DecimalStack& stack, const DecimalAccumulator& a, const DecimalAccumulator& b,
                          int op) {
    stack.push(a);
    stack.push(b);
    switch (op) {
    case 0:
        stack.add();
        break;
    case 1:
        stack.subtract();
        break;
    case 2:
        stack.multiply();
        break;
    default:
        stack.divide();
        break;
    }
    check(stack.size() == 1);
    check_shape(stack.top());
    return stack.take();
}

int compare(DecimalStack& stack, const DecimalAccumulator& a, const DecimalAccumulator& b) {
    stack.push(a);
    stack.push(b);
    return stack.compare();
}

// Storing then reading back gives the value rounded to d places with only
// the field's digit positions kept.
void check_storage(DecimalStack& stack, const DecimalAccumulator& value, uint32_t n, uint32_t d,
                   bool packed) {
    uint8_t field[16];
    stack.push(value);
    if (packed)
        stack.store_pdecimal(field, n, d);
    else
        stack.store_decimal(field, n, d);
    if (packed)
        stack.push_pdecimal(field, n, d);
    else
        stack.push_decimal(field, n, d);
    const DecimalAccumulator back = stack.take();
    check_shape(back);
    DecimalAccumulator rounded = value;
    decimal_detail::round(rounded, static_cast<int>(d));
    const int lowest = DecimalUnits - static_cast<int>(d);
    const int highest = lowest + 2 * static_cast<int>(n) - 2;
    bool any = false;
    for (int i = 0; i < DecimalDigits; ++i) {
        const uint8_t expected = i >= lowest && i <= highest ? rounded.digits[i] : 0;
        check(back.digits[i] == expected);
        any |= expected != 0;
    }
    check(back.sign == (any ? rounded.sign : 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 4096)
        return 0;
    const uint8_t choice = data[0];
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t newline = input.find('\n');
    const std::string_view first = input.substr(0, newline);
    const std::string_view second =
        newline == std::string_view::npos ? std::string_view{} : input.substr(newline + 1);

    static DecimalStack stack;
    stack.clear();
    const DecimalAccumulator a = parse(stack, first);
    const DecimalAccumulator b = parse(stack, second);
    const DecimalAccumulator zero{};

    // a - a is zero; a + 0 and a * 1 are a; a + b, a * b commute.
    check(compare(stack, binary(stack, a, a, 1), zero) == 0);
    check(compare(stack, binary(stack, a, zero, 0), a) == 0);
    stack.push_long(1);
    const DecimalAccumulator one = stack.take();
    check(compare(stack, binary(stack, a, one, 2), a) == 0);
    check(compare(stack, binary(stack, a, b, 0), binary(stack, b, a, 0)) == 0);
    check(compare(stack, binary(stack, a, b, 2), binary(stack, b, a, 2)) == 0);
    // Comparison is antisymmetric and agrees with the sign of the difference.
    const int order = compare(stack, a, b);
    check(order == -compare(stack, b, a));
    stack.push(binary(stack, a, b, 1));
    check(stack.sign_test() == order || (a.high == DecimalDigits - 1 || b.high == DecimalDigits - 1));
    // Below 10^31 nothing wraps: (a + b) - b is a.
    if (a.high < DecimalDigits - 1 && b.high < DecimalDigits - 1)
        check(compare(stack, binary(stack, binary(stack, a, b, 0), b, 1), a) == 0);
    // A quotient is zero for a zero operand and otherwise has the product's sign.
    const DecimalAccumulator quotient = binary(stack, a, b, 3);
    if (a.is_zero() || b.is_zero())
        check(quotient.is_zero());
    else if (!quotient.is_zero())
        check(quotient.sign == (a.sign ^ b.sign));
    // x / x is 1.
    if (!b.is_zero())
        check(compare(stack, binary(stack, b, b, 3), one) == 0);

    // Stored into fields of a few sizes and read back.
    static constexpr uint32_t Sizes[] = {1, 3, 8, 16};
    for (uint32_t n : Sizes) {
        const uint32_t d = choice % (2 * n);
        check_storage(stack, a, n, d, false);
        check_storage(stack, a, n, d, true);
        check_storage(stack, quotient, n, d, (choice & 0x80) != 0);
    }

    // Text round trip.
    char text[68];
    stack.push(a);
    const std::size_t length = stack.take_text(text);
    check(length <= 66);
    stack.push_text(std::string_view(text, length));
    stack.push(a);
    check(stack.compare() == 0);

    // LONG: the integer part, toward zero, when it fits.
    stack.push(a);
    const int32_t whole = stack.take_long();
    if (a.high < DecimalUnits + 9) {
        stack.push(a);
        stack.push_long(whole);
        stack.subtract();
        const DecimalAccumulator rest = stack.take();
        check(rest.high == DecimalUnits && rest.digits[DecimalUnits] == 0);
        check(rest.is_zero() || whole == 0 || rest.sign == a.sign);
    }

    // REAL: within the sixteenth significant digit of the text's value.
    stack.push(a);
    const double real = stack.take_real();
    const double exact = std::strtod(std::string(text, length).c_str(), nullptr);
    check(std::fabs(real - exact) <= std::fabs(exact) * 1e-15);
    return 0;
}
