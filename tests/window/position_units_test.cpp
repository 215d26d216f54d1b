#include "window/position_units.h"

#include <gtest/gtest.h>

namespace morvex {
namespace {

TEST(MulDivTest, RoundsHalfAwayFromZeroAndRejectsOverflow) {
    EXPECT_EQ(MulDiv(5, 1, 2), 3);
    EXPECT_EQ(MulDiv(-5, 1, 2), -3);
    EXPECT_EQ(MulDiv(7, 3, -2), -11);
    EXPECT_EQ(MulDiv(4, 1, 3), 1);
    EXPECT_EQ(MulDiv(1, 2, 0), -1);
    EXPECT_EQ(MulDiv(INT32_MAX, 2, 1), -1);
    EXPECT_EQ(MulDiv(INT32_MAX, INT32_MAX, INT32_MAX), INT32_MAX);
}

TEST(PositionUnitsTest, DialogUnitsUseTheFontMetrics) {
    const UnitMetrics metrics{.average_char_width = 6, .char_height = 13, .pixels_per_inch = 96};
    EXPECT_EQ(ToPixelsX(100, PositionUnit::DialogUnits, metrics), 150); // 100 × 12 / 8
    EXPECT_EQ(ToPixelsY(100, PositionUnit::DialogUnits, metrics), 163); // 100 × 13 / 8 rounded
}

TEST(PositionUnitsTest, AHugeCharacterWidthDoesNotOverflow) {
    const UnitMetrics huge{1'500'000'000, 13, 96};
    EXPECT_EQ(ToPixelsX(4, PositionUnit::DialogUnits, huge), 1'500'000'000);
    EXPECT_EQ(ToPixelsX(3, PositionUnit::DialogUnits, UnitMetrics{5, 13, 96}), 4) << "15 / 4 rounds to 4";
}

TEST(PositionUnitsTest, InchUnitsUseTheDeviceResolution) {
    const UnitMetrics metrics{.average_char_width = 6, .char_height = 13, .pixels_per_inch = 96};
    EXPECT_EQ(ToPixelsX(25, PositionUnitOf(0x100), metrics), 96);
    EXPECT_EQ(ToPixelsY(500, PositionUnitOf(0x200), metrics), 48);
    EXPECT_EQ(ToPixelsX(72, PositionUnitOf(0x300), metrics), 96);
    EXPECT_EQ(ToPixelsX(72, PositionUnit::Points, {6, 13, 0}), 72); // device declines: 1:1
}

TEST(PositionUnitsTest, DefaultMarkerIsKept) {
    EXPECT_EQ(ToPixelsX(DefaultPosition, PositionUnit::DialogUnits, {6, 13, 96}), DefaultPosition);
    EXPECT_EQ(ToPixelsY(DefaultPosition, PositionUnit::Points, {6, 13, 96}), DefaultPosition);
}

} // namespace
} // namespace morvex
