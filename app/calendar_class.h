// CalendarClass: the model behind every calendar window. It builds the month
// grid (one queue record per displayed week, seven two-character cells),
// finds the selected day in it, and moves the selection by day, by week, to
// another month or year and to today. The window it drives is reached
// through CalendarView.
#pragma once

#include "app/calendar_view.h"
#include "runtime/fixed_text.h"
#include "runtime/queue.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace tavemon {

enum class WeekLayout { MondayFirst, SundayFirst };

// One week of the month grid: a day number as left-aligned text, or blanks.
struct CalendarRow {
    morvex::FixedText<2> DAY1, DAY2, DAY3, DAY4, DAY5, DAY6, DAY7;

    morvex::FixedText<2>& cell(int32_t column);
    const morvex::FixedText<2>& cell(int32_t column) const;
    // The cell's day number; 0 for a blank cell.
    int32_t number(int32_t column) const;
    bool blank() const;
};

struct MonthNameRecord {
    morvex::FixedText<20> NAME;
};

class CalendarClass {
public:
    static constexpr int32_t Columns = 7;
    static constexpr int32_t MaxRows = 6;
    static const std::array<std::string_view, 12> MonthNames;

    CalendarClass(WeekLayout layout, CalendarView& view);

    // Fills the month-name list with the twelve names, once.
    void FillMonthNames();
    void Init(int32_t date);
    void FillMonth();
    void SelectDay();
    void PreviousWeek();
    void NextWeek();
    void PreviousDay();
    void NextDay();
    void GoToday();
    void TakeCell(int32_t row, int32_t column);
    int32_t DaysInMonth();

    // The year text as a number, the way the program converts it.
    int32_t YearNumber() const;

    WeekLayout layout() const { return m_layout; }

    // The calendar's data, bound to the window's controls.
    CalendarRow CLD;
    morvex::Queue MonthGrid;
    MonthNameRecord MTH;
    morvex::Queue MonthNameList;
    int32_t Day = 0;
    int32_t Month = 0;
    morvex::FixedText<4> Year;
    morvex::FixedText<20> MonthName;
    int32_t SelectedDate = 0;

    // Work fields of FillMonth and SelectDay; RowMax keeps its value between calls.
    struct WorkFields {
        int32_t RowMax = 0;
        int32_t FirstWeekday = 0;
        int32_t RowStart = 0;
    } Work;

private:
    void set_month_name();
    int32_t month_length() const;

    WeekLayout m_layout;
    CalendarView& m_view;
};

} // namespace tavemon
