// Conversion of the positions and sizes in window definitions to pixels.
#pragma once

#include <cstdint>

namespace morvex {

// The marker of a position or size that a definition leaves to the engine.
constexpr int32_t DefaultPosition = INT32_MIN;

// number × numerator / denominator, rounded half away from zero, computed in
// 64 bits; -1 when the denominator is 0 or the result does not fit.
int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator);

// The unit of a window's positions: bits 8-9 of its first attribute word.
enum class PositionUnit : uint32_t {
    DialogUnits = 0x000,
    TwentyFifthInch = 0x100,
    ThousandthInch = 0x200,
    Points = 0x300,
};
constexpr uint32_t PositionUnitMask = 0x300;

constexpr PositionUnit PositionUnitOf(uint32_t attribute_word1) {
    return static_cast<PositionUnit>(attribute_word1 & PositionUnitMask);
}

// What the conversion needs of the window's font and the output device.
struct UnitMetrics {
    int32_t average_char_width = 0; // of the window font, pixels
    int32_t char_height = 0;        // of the window font, pixels
    int32_t pixels_per_inch = 96;   // 0 when the device declines (points then convert 1:1)
};

// Horizontal and vertical values in pixels. The default marker stays as it is.
int32_t ToPixelsX(int32_t value, PositionUnit unit, const UnitMetrics& metrics);
int32_t ToPixelsY(int32_t value, PositionUnit unit, const UnitMetrics& metrics);

} // namespace morvex
