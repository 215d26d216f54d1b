#include "app/calendar_class.h"
#include "runtime/date.h"
#include "tests/support/fixed_clock.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tavemon {
namespace {

using morvex::DATE;
using namespace std::chrono;

class RecordingView : public CalendarView {
public:
    void SelectCell(int32_t row, int32_t column) override {
        selected_row = row;
        selected_column = column;
        ++selections;
    }
    void SetDayRange(int32_t low, int32_t high) override {
        range_low = low;
        range_high = high;
    }
    void Redisplay() override { ++redisplays; }

    int32_t selected_row = -1;
    int32_t selected_column = -1;
    int32_t range_low = 0;
    int32_t range_high = 0;
    int selections = 0;
    int redisplays = 0;
};

class CalendarTest : public ::testing::Test {
protected:
    RecordingView view;
    CalendarClass monday{WeekLayout::MondayFirst, view};
    CalendarClass sunday{WeekLayout::SundayFirst, view};

    // The grid as rows of cell texts joined by '|'.
    static std::vector<std::string> grid(CalendarClass& calendar) {
        std::vector<std::string> rows;
        for (int32_t row = 1; row <= calendar.MonthGrid.Records(); ++row) {
            calendar.MonthGrid.Get(row);
            std::string line;
            for (int32_t column = 1; column <= CalendarClass::Columns; ++column)
                line += std::string(column > 1 ? "|" : "") + std::string(calendar.CLD.cell(column).view());
            rows.push_back(line);
        }
        return rows;
    }

    static void show_month(CalendarClass& calendar, int32_t month, int32_t year) {
        calendar.MonthName.assign(CalendarClass::MonthNames[static_cast<std::size_t>(month - 1)]);
        calendar.Year.assign(std::to_string(year));
        calendar.FillMonth();
    }
};

const std::string Blank = "  |  |  |  |  |  |  ";

TEST_F(CalendarTest, AugustTwoThousandOneInTheMondayLayout) {
    monday.Init(DATE(8, 1, 2001));
    EXPECT_EQ(grid(monday), (std::vector<std::string>{"  |  |1 |2 |3 |4 |5 ", "6 |7 |8 |9 |10|11|12",
                                                      "13|14|15|16|17|18|19", "20|21|22|23|24|25|26",
                                                      "27|28|29|30|31|  |  "}));
    EXPECT_EQ(view.range_low, 1);
    EXPECT_EQ(view.range_high, 31);
    EXPECT_EQ(view.selected_row, 1);
    EXPECT_EQ(view.selected_column, 3);
    EXPECT_EQ(monday.SelectedDate, DATE(8, 1, 2001));
    EXPECT_EQ(monday.Month, 8);
    EXPECT_EQ(monday.Year.view(), "2001");
    EXPECT_EQ(monday.MonthName.clipped(), "August");
}

TEST_F(CalendarTest, InitFillsTheMonthNameListOnce) {
    monday.Init(DATE(8, 1, 2001));
    monday.Init(DATE(9, 1, 2001));
    ASSERT_EQ(monday.MonthNameList.Records(), 12);
    monday.MonthNameList.Get(1);
    EXPECT_EQ(monday.MTH.NAME.clipped(), "January");
    monday.MonthNameList.Get(12);
    EXPECT_EQ(monday.MTH.NAME.clipped(), "December");
}

TEST_F(CalendarTest, MonthStartingOnSundayInBothLayouts) {
    monday.Init(DATE(4, 1, 2001)); // a Sunday
    EXPECT_EQ(grid(monday).front(), "  |  |  |  |  |  |1 ");
    EXPECT_EQ(grid(monday).size(), 6u);
    sunday.Init(DATE(4, 1, 2001));
    EXPECT_EQ(grid(sunday).front(), "1 |2 |3 |4 |5 |6 |7 ");
    EXPECT_EQ(grid(sunday).size(), 5u);
}

TEST_F(CalendarTest, FebruaryTwoThousandFifteenEndsWithABlankRow) {
    monday.Init(DATE(2, 1, 2015));
    EXPECT_EQ(grid(monday).size(), 6u);
    EXPECT_EQ(grid(monday).back(), Blank);
    sunday.Init(DATE(2, 1, 2015));
    EXPECT_EQ(grid(sunday),
              (std::vector<std::string>{"1 |2 |3 |4 |5 |6 |7 ", "8 |9 |10|11|12|13|14",
                                        "15|16|17|18|19|20|21", "22|23|24|25|26|27|28", Blank}));
}

TEST_F(CalendarTest, FebruaryRangeFollowsLeapYears) {
    monday.Init(DATE(2, 10, 2024));
    EXPECT_EQ(view.range_high, 29);
    monday.Init(DATE(2, 10, 2023));
    EXPECT_EQ(view.range_high, 28);
    monday.Init(DATE(2, 10, 1900));
    EXPECT_EQ(view.range_high, 28);
    monday.Init(DATE(4, 10, 2023));
    EXPECT_EQ(view.range_high, 30);
}

TEST_F(CalendarTest, DayThirtyOneBecomesThirtyInAThirtyDayMonth) {
    monday.Init(DATE(8, 31, 2001));
    monday.MonthName.assign("September");
    monday.FillMonth();
    monday.SelectDay();
    EXPECT_EQ(monday.Month, 9);
    EXPECT_EQ(monday.Day, 30);
    EXPECT_EQ(monday.SelectedDate, DATE(9, 30, 2001));
    EXPECT_EQ(view.selected_row, 5); // September 2001 starts on a Saturday
    EXPECT_EQ(view.selected_column, 7);
}

TEST_F(CalendarTest, WeekMovesStayWithinTheMonth) {
    monday.Init(DATE(8, 25, 2001));
    monday.NextWeek();
    EXPECT_EQ(monday.Day, 25);
    monday.Day = 24;
    monday.NextWeek();
    EXPECT_EQ(monday.Day, 31);
    EXPECT_EQ(monday.SelectedDate, DATE(8, 31, 2001));
    monday.Day = 8;
    monday.PreviousWeek();
    EXPECT_EQ(monday.Day, 1);
    monday.PreviousWeek();
    EXPECT_EQ(monday.Day, 1);
    monday.Day = 7;
    monday.PreviousWeek();
    EXPECT_EQ(monday.Day, 7);
}

TEST_F(CalendarTest, DayMovesStopAtTheMonthsEnds) {
    monday.Init(DATE(8, 1, 2001));
    monday.PreviousDay();
    EXPECT_EQ(monday.Day, 1);
    monday.NextDay();
    EXPECT_EQ(monday.Day, 2);
    EXPECT_EQ(view.selected_column, 4);
    monday.Init(DATE(2, 28, 2015));
    EXPECT_EQ(monday.DaysInMonth(), 28);
    monday.NextDay();
    EXPECT_EQ(monday.Day, 28);
    EXPECT_EQ(monday.SelectedDate, DATE(2, 28, 2015));
}

TEST_F(CalendarTest, SelectDayFindsTheCellAndRedisplays) {
    sunday.Init(DATE(8, 19, 2001));
    EXPECT_EQ(view.selected_row, 4);
    EXPECT_EQ(view.selected_column, 1);
    const int before = view.redisplays;
    sunday.Day = 11;
    sunday.SelectDay();
    EXPECT_EQ(view.selected_row, 2);
    EXPECT_EQ(view.selected_column, 7);
    EXPECT_EQ(view.redisplays, before + 1);
    EXPECT_EQ(sunday.Work.RowMax, 11);
}

TEST_F(CalendarTest, PickingBlankCellsSelectsTheNearestDayOfTheMonth) {
    monday.Init(DATE(8, 15, 2001));
    monday.TakeCell(1, 1); // blanks before the 1st
    EXPECT_EQ(monday.Day, 1);
    EXPECT_EQ(view.selected_row, 1);
    EXPECT_EQ(view.selected_column, 3);
    EXPECT_EQ(monday.SelectedDate, DATE(8, 1, 2001));
    monday.TakeCell(5, 7); // blanks after the 31st
    EXPECT_EQ(monday.Day, 31);
    EXPECT_EQ(view.selected_row, 5);
    EXPECT_EQ(view.selected_column, 5);
    monday.TakeCell(3, 4);
    EXPECT_EQ(monday.Day, 16);
    EXPECT_EQ(monday.SelectedDate, DATE(8, 16, 2001));
}

TEST_F(CalendarTest, PickingTheBlankTrailingRowSelectsTheLastDay) {
    monday.Init(DATE(2, 10, 2015));
    monday.TakeCell(6, 3);
    EXPECT_EQ(monday.Day, 28);
    EXPECT_EQ(view.selected_row, 5);
    EXPECT_EQ(view.selected_column, 6);
    EXPECT_EQ(monday.SelectedDate, DATE(2, 28, 2015));
}

TEST_F(CalendarTest, RowZeroAndCellsOutsideTheGridAreIgnored) {
    monday.Init(DATE(8, 15, 2001));
    const int selections = view.selections;
    monday.TakeCell(0, 3);
    monday.TakeCell(9, 3);
    monday.TakeCell(2, 8);
    EXPECT_EQ(monday.Day, 15);
    EXPECT_EQ(view.selections, selections);
}

TEST_F(CalendarTest, GoTodayShowsTodaysMonth) {
    morvex::testing::FixedClock clock({2001, 8, 10, 12, 0, 0, 0});
    monday.Init(DATE(3, 3, 1999));
    monday.GoToday();
    EXPECT_EQ(monday.Day, 10);
    EXPECT_EQ(monday.Month, 8);
    EXPECT_EQ(monday.Year.view(), "2001");
    EXPECT_EQ(monday.MonthName.clipped(), "August");
    EXPECT_EQ(monday.SelectedDate, DATE(8, 10, 2001));
    EXPECT_EQ(view.selected_row, 2);
    EXPECT_EQ(view.selected_column, 5);
}

TEST_F(CalendarTest, UnknownMonthNameKeepsTheMonth) {
    monday.Init(DATE(8, 15, 2001));
    monday.MonthName.assign("Augustus");
    monday.Year.assign("2002");
    monday.FillMonth();
    EXPECT_EQ(monday.Month, 8);
    EXPECT_EQ(grid(monday).front(), "  |  |  |1 |2 |3 |4 "); // August 2002 starts on a Thursday
}

TEST_F(CalendarTest, YearOutsideTheRangeGivesABlankGridQuietly) {
    monday.Init(DATE(8, 15, 2001));
    monday.Year.assign("1700");
    monday.FillMonth();
    monday.SelectDay();
    EXPECT_EQ(monday.Day, 0);
    EXPECT_EQ(monday.SelectedDate, -1);
    EXPECT_EQ(grid(monday)[1], Blank);
    // Both month tests see the invalid date, so the range rule answers 31.
    EXPECT_EQ(view.range_high, 31);
}

TEST_F(CalendarTest, TwoDigitYearTextIsExpanded) {
    morvex::testing::FixedClock clock({2026, 1, 1, 0, 0, 0, 0});
    monday.Init(DATE(8, 15, 2001));
    monday.Year.assign("01");
    monday.FillMonth();
    monday.SelectDay();
    EXPECT_EQ(monday.SelectedDate, DATE(8, 15, 2001));
}

// Every month of 1801..9999 in both layouts against the rules: the 1st in
// its weekday's column, each day once in order, blanks elsewhere, 5 or 6 rows
// by the weekday of the 1st, and the day control's range the month's length.
TEST_F(CalendarTest, EveryMonthGridFollowsTheRules) {
    for (CalendarClass* calendar : {&monday, &sunday}) {
        const bool monday_first = calendar->layout() == WeekLayout::MondayFirst;
        calendar->Init(DATE(1, 1, 1801));
        for (int32_t year = 1801; year <= 9999; ++year) {
            for (int32_t month = 1; month <= 12; ++month) {
                show_month(*calendar, month, year);
                const year_month_day first{std::chrono::year{year},
                                           std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{1}};
                const unsigned weekday_of_first = weekday{sys_days{first}}.c_encoding(); // 0 = Sunday
                const int32_t length = static_cast<int32_t>(
                    unsigned{year_month_day_last{first.year(), month_day_last{first.month()}}.day()});
                const int32_t offset = monday_first ? static_cast<int32_t>((weekday_of_first + 6) % 7)
                                                    : static_cast<int32_t>(weekday_of_first);
                const int32_t expected_rows = monday_first
                                                  ? (weekday_of_first == 0 || weekday_of_first == 6 ? 6 : 5)
                                                  : (weekday_of_first == 5 || weekday_of_first == 6 ? 6 : 5);
                const int32_t rows = calendar->MonthGrid.Records();
                ASSERT_EQ(rows, expected_rows) << month << "/" << year;
                ASSERT_EQ(view.range_high, length) << month << "/" << year;
                for (int32_t row = 1; row <= rows; ++row) {
                    calendar->MonthGrid.Get(row);
                    for (int32_t column = 1; column <= CalendarClass::Columns; ++column) {
                        const int32_t day = (row - 1) * 7 + column - offset;
                        const std::string expected =
                            day >= 1 && day <= length
                                ? (day < 10 ? std::to_string(day) + " " : std::to_string(day))
                                : "  ";
                        ASSERT_EQ(calendar->CLD.cell(column).view(), expected)
                            << month << "/" << year << " row " << row << " column " << column;
                    }
                }
            }
        }
    }
}

} // namespace
} // namespace tavemon
