#include "window/position_units.h"

#include <cstdlib>
#include <limits>

namespace morvex {

int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator) {
    if (denominator == 0)
        return -1;
    const int64_t product = int64_t{number} * numerator;
    const int64_t half = std::llabs(denominator) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const int64_t magnitude = (std::llabs(product) + half) / std::llabs(denominator);
    const int64_t result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<int32_t>::max() || result < std::numeric_limits<int32_t>::min())
        return -1;
    return static_cast<int32_t>(result);
}

namespace {

int32_t ByInch(int32_t value, PositionUnit unit, const UnitMetrics& metrics) {
    switch (unit) {
    case PositionUnit::TwentyFifthInch:
        return MulDiv(value, metrics.pixels_per_inch, 25);
    case PositionUnit::ThousandthInch:
        return MulDiv(value, metrics.pixels_per_inch, 1000);
    case PositionUnit::Points:
        return metrics.pixels_per_inch > 0 ? MulDiv(value, metrics.pixels_per_inch, 72) : value;
    case PositionUnit::DialogUnits:
        break;
    }
    return value;
}

} // namespace

int32_t ToPixelsX(int32_t value, PositionUnit unit, const UnitMetrics& metrics) {
    if (value == DefaultPosition)
        return value;
    // x * (2 * width) / 8, reduced so that no width from a font record can overflow.
    if (unit == PositionUnit::DialogUnits)
        return MulDiv(value, metrics.average_char_width, 4);
    return ByInch(value, unit, metrics);
}

int32_t ToPixelsY(int32_t value, PositionUnit unit, const UnitMetrics& metrics) {
    if (value == DefaultPosition)
        return value;
    if (unit == PositionUnit::DialogUnits)
        return MulDiv(value, metrics.char_height, 8);
    return ByInch(value, unit, metrics);
}

} // namespace morvex
