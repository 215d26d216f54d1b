#include "platform/intl.h"

#include <gtest/gtest.h>

namespace morvex::platform {
namespace {

struct PosixCase {
    const char* time_format;
    const char* date_format;
    const char* key;
    const char* expected;
};

class PosixIntl : public ::testing::TestWithParam<PosixCase> {};

TEST_P(PosixIntl, TranslateTheLocaleFormats) {
    const PosixCase& c = GetParam();
    const std::optional<std::string> value =
        intl_value_from_posix(c.key, PosixFormats{c.time_format, c.date_format, "AM", "PM"});
    ASSERT_TRUE(value.has_value()) << c.key;
    EXPECT_EQ(*value, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, PosixIntl,
                         ::testing::Values(PosixCase{"%H:%M:%S", "%d.%m.%Y", "iTime", "1"},
                                           PosixCase{"%I:%M:%S %p", "%m/%d/%Y", "iTime", "0"},
                                           PosixCase{"%r", "%D", "iTime", "0"},
                                           PosixCase{"%k.%M", "%d.%m.%Y", "iTLzero", "0"},
                                           PosixCase{"%T", "%F", "iTLzero", "1"},
                                           PosixCase{"%H.%M.%S", "%d.%m.%Y", "sTime", "."},
                                           PosixCase{"%T", "%d.%m.%Y", "sShortDate", "dd.MM.yyyy"},
                                           PosixCase{"%T", "%D", "sShortDate", "MM/dd/yy"},
                                           PosixCase{"%T", "%F", "sShortDate", "yyyy-MM-dd"},
                                           PosixCase{"%T", "%e/%m/%y", "sShortDate", "d/MM/yy"},
                                           PosixCase{"%T", "%d.%m.%Y", "sLongDate", "dd'. 'MMMM' 'yyyy"},
                                           PosixCase{"%T", "%m/%d/%Y", "sLongDate", "MMMM' 'dd', 'yyyy"},
                                           PosixCase{"%T", "%Y-%m-%d", "sLongDate", "yyyy' 'MMMM' 'dd"},
                                           PosixCase{"%T", "%D", "s1159", "AM"}));

TEST(PosixIntl, MissingPartsGiveNothing) {
    EXPECT_FALSE(intl_value_from_posix("iTime", PosixFormats{"", "%D", "", ""}).has_value());
    EXPECT_FALSE(intl_value_from_posix("sShortDate", PosixFormats{"%T", "", "", ""}).has_value());
    EXPECT_FALSE(intl_value_from_posix("sUnknown", PosixFormats{"%T", "%D", "", ""}).has_value());
}

} // namespace
} // namespace morvex::platform
