#include "files/driver_operation.h"

#include <gtest/gtest.h>

namespace morvex {
namespace {

TEST(DriverOperationTest, NamesFollowTheOperationNumbers) {
    EXPECT_EQ(DriverOperationName(static_cast<int>(DriverOperation::Add)), "ADD");
    EXPECT_EQ(DriverOperationName(static_cast<int>(DriverOperation::SetKeyKey)), "SETkeykey");
    EXPECT_EQ(DriverOperationName(static_cast<int>(DriverOperation::GetPropertyKey)), "GETPROPERTYkey");
    EXPECT_EQ(DriverOperationName(static_cast<int>(DriverOperation::CountRecords)), "COUNTRECORDS");
    EXPECT_EQ(DriverOperationName(static_cast<int>(DriverOperation::Rollback)), "ROLLBACK");
}

TEST(DriverOperationTest, UnnamedAndOutOfRangeNumbersHaveNoName) {
    for (int operation : {0, 35, 39, 87, 91, 94, -1, 96})
        EXPECT_EQ(DriverOperationName(operation), "") << operation;
    int named = 0;
    for (int operation = 0; operation < DriverOperationCount; ++operation)
        named += !DriverOperationName(operation).empty();
    EXPECT_EQ(named, 90);
}

} // namespace
} // namespace morvex
