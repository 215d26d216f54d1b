// The floored quotient of a decimal division computed on binary words, for
// operands of up to 38 significant digits each: both become 128-bit
// integers, the dividend is scaled by a power of ten to 256 bits and divided
// by long division on 64-bit words, which takes two or three word steps
// where the digit limbs take six or more. Wider operands or quotients are
// left to the long division on decimal limbs.
#pragma once

#include "runtime/decimal.h"

#include <cstdint>

namespace morvex::decimal_detail {

// floor(a * 10^32 / b) as limbs of eight digits (limb k holds the digits of
// weight 10^(8k - 32)), written into `quotient` (eight limbs). False, with
// nothing written, when an operand or the quotient falls outside the range
// above; b must not be zero. `la` and `lb` are the operands' limbs.
bool binary_quotient(const DecimalAccumulator& a, const uint32_t* la, const DecimalAccumulator& b,
                     const uint32_t* lb, uint32_t* quotient);

} // namespace morvex::decimal_detail
