// The calendar model: every date step goes through the runtime's DATE, DAY,
// MONTH, YEAR and TODAY, so the grid of any month 1801..9999 is exact.
#include "app/calendar_class.h"

#include "runtime/date.h"
#include "runtime/error_state.h"
#include "runtime/leading_integer.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace tavemon {

using morvex::DATE;
using morvex::FieldDescription;
using morvex::FieldType;
using morvex::RecordDescription;

namespace {

constexpr morvex::FixedText<2> CalendarRow::*Cells[CalendarClass::Columns] = {
    &CalendarRow::DAY1, &CalendarRow::DAY2, &CalendarRow::DAY3, &CalendarRow::DAY4,
    &CalendarRow::DAY5, &CalendarRow::DAY6, &CalendarRow::DAY7,
};

RecordDescription calendar_row_description() {
    std::vector<FieldDescription> fields;
    for (int32_t column = 1; column <= CalendarClass::Columns; ++column) {
        fields.push_back(FieldDescription::Sized(FieldType::String, "CLD:DAY" + std::to_string(column),
                                                 static_cast<uint32_t>(2 * (column - 1)), 2));
    }
    return RecordDescription(sizeof(CalendarRow), std::move(fields));
}

RecordDescription month_name_description() {
    return RecordDescription(sizeof(MonthNameRecord),
                             {FieldDescription::Sized(FieldType::String, "MTH:NAME", 0, 20)});
}

// Text to LONG as the program converts it: leading blanks skipped, an
// optional sign, then digits up to the first other character.
int32_t text_to_long(std::string_view text) {
    return static_cast<int32_t>(morvex::ReadLeadingInteger(text, {.limit = INT32_MAX}).value);
}

// Remainder in 0..6, also for the invalid date -1.
int32_t weekday(int32_t date) {
    return ((date % 7) + 7) % 7;
}

void set_cell(morvex::FixedText<2>& cell, int32_t day) {
    cell.assign(std::to_string(day));
}

} // namespace

static_assert(sizeof(CalendarRow) == 14, "a grid row is seven two-character cells");

const std::array<std::string_view, 12> CalendarClass::MonthNames = {
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December",
};

morvex::FixedText<2>& CalendarRow::cell(int32_t column) {
    return this->*Cells[column - 1];
}

const morvex::FixedText<2>& CalendarRow::cell(int32_t column) const {
    return this->*Cells[column - 1];
}

int32_t CalendarRow::number(int32_t column) const {
    return text_to_long(cell(column).view());
}

bool CalendarRow::blank() const {
    return std::all_of(std::begin(Cells), std::end(Cells),
                       [this](auto member) { return (this->*member).blank(); });
}

CalendarClass::CalendarClass(WeekLayout layout, CalendarView& view)
    : MonthGrid(calendar_row_description(), &CLD), MonthNameList(month_name_description(), &MTH),
      m_layout(layout), m_view(view) {}

int32_t CalendarClass::YearNumber() const {
    return text_to_long(Year.view());
}

void CalendarClass::set_month_name() {
    MonthName.assign(Month >= 1 && Month <= 12 ? MonthNames[static_cast<std::size_t>(Month - 1)] : "");
}

void CalendarClass::FillMonthNames() {
    if (MonthNameList.Records() > 0)
        return;
    for (std::string_view name : MonthNames) {
        MTH.NAME.assign(name);
        MonthNameList.Add();
    }
}

void CalendarClass::Init(int32_t date) {
    FillMonthNames();
    Day = morvex::DAY(date);
    Month = morvex::MONTH(date);
    Year.assign(std::to_string(morvex::YEAR(date)));
    set_month_name();
    FillMonth();
    SelectDay();
}

void CalendarClass::FillMonth() {
    MonthGrid.Free();
    CLD = CalendarRow{};

    const std::string_view name = MonthName.clipped();
    auto found = std::find(MonthNames.begin(), MonthNames.end(), name);
    if (found != MonthNames.end())
        Month = static_cast<int32_t>(found - MonthNames.begin()) + 1;

    const int32_t year = YearNumber();
    int32_t& w = Work.FirstWeekday;
    w = weekday(DATE(Month, 1, year));

    // First row: the 1st in its weekday's column, the cells before it blank.
    const int32_t first_column = m_layout == WeekLayout::MondayFirst ? (w == 0 ? 7 : w) : w + 1;
    for (int32_t column = first_column, day = 1; column <= Columns; ++column, ++day)
        set_cell(CLD.cell(column), day);
    // In the Sunday layout a month that starts on Sunday gets its first row below.
    if (m_layout == WeekLayout::MondayFirst || w != 0)
        MonthGrid.Add();
    if (w == 0)
        w = 7;
    Work.RowStart = (m_layout == WeekLayout::MondayFirst ? 9 : 8) - w;

    // Following rows up to day 31 for every month: a row past a shorter
    // month's end stays blank.
    int32_t last_day = 0;
    for (; Work.RowStart <= 31; Work.RowStart += 7) {
        CLD = CalendarRow{};
        for (int32_t column = 1; column <= Columns; ++column) {
            const int32_t day = Work.RowStart + column - 1;
            if (morvex::MONTH(DATE(Month, day, year)) == Month) {
                set_cell(CLD.cell(column), day);
                last_day = day;
            }
        }
        MonthGrid.Add();
    }

    if (Day > last_day)
        Day = last_day;
    m_view.SetDayRange(1, month_length());
}

int32_t CalendarClass::month_length() const {
    const int32_t year = YearNumber();
    if (Month == 2)
        return morvex::MONTH(DATE(2, 28, year)) == morvex::MONTH(DATE(2, 29, year)) ? 29 : 28;
    return morvex::MONTH(DATE(Month, 30, year)) == morvex::MONTH(DATE(Month, 31, year)) ? 31 : 30;
}

void CalendarClass::SelectDay() {
    int32_t row = 1;
    for (; row <= MaxRows; ++row) {
        MonthGrid.Get(row);
        if (!CLD.blank())
            Work.RowMax = 0;
        for (int32_t column = 1; column <= Columns; ++column)
            Work.RowMax = std::max(Work.RowMax, CLD.number(column));
        if (Day <= Work.RowMax)
            break;
    }
    row = std::min(row, MaxRows);

    int32_t selected_column = 0;
    for (int32_t column = 1; column <= Columns && selected_column == 0; ++column) {
        if (CLD.number(column) == Day)
            selected_column = column;
    }
    m_view.SelectCell(row, selected_column);
    SelectedDate = DATE(Month, Day, YearNumber());
    m_view.Redisplay();
}

int32_t CalendarClass::DaysInMonth() {
    int32_t max = 0;
    for (int32_t row = 1; row <= MaxRows; ++row) {
        MonthGrid.Get(row); // a row that does not exist leaves the previous one in CLD
        if (!CLD.blank())
            max = 0;
        for (int32_t column = 1; column <= Columns; ++column)
            max = std::max(max, CLD.number(column));
    }
    return max;
}

void CalendarClass::PreviousWeek() {
    if (Day > 7)
        Day -= 7;
    SelectDay();
}

void CalendarClass::NextWeek() {
    if (Day < DaysInMonth() - 6)
        Day += 7;
    SelectDay();
}

void CalendarClass::PreviousDay() {
    if (Day > 1)
        --Day;
    SelectDay();
}

void CalendarClass::NextDay() {
    if (Day < DaysInMonth())
        ++Day;
    SelectDay();
}

void CalendarClass::GoToday() {
    const int32_t today = morvex::TODAY();
    Day = morvex::DAY(today);
    Month = morvex::MONTH(today);
    Year.assign(std::to_string(morvex::YEAR(today)));
    set_month_name();
    FillMonth();
    SelectDay();
}

void CalendarClass::TakeCell(int32_t row, int32_t column) {
    if (row == 0 || column < 1 || column > Columns)
        return;
    MonthGrid.Get(row);
    if (morvex::ErrorCode() != 0)
        return; // no such row
    Day = CLD.number(column);
    if (Day == 0) {
        // Blanks before the 1st select the 1st, blanks after the last day the
        // last day. An entirely blank trailing row belongs to the days above
        // it: its last day is selected too.
        while (row > 1 && CLD.blank())
            MonthGrid.Get(--row);
        int32_t chosen = 0;
        if (row == 1) {
            for (int32_t c = 1; c <= Columns && chosen == 0; ++c)
                chosen = CLD.number(c) != 0 ? c : 0;
        } else {
            for (int32_t c = Columns; c >= 1 && chosen == 0; --c)
                chosen = CLD.number(c) != 0 ? c : 0;
        }
        m_view.SelectCell(row, chosen);
        MonthGrid.Get(row);
        Day = chosen != 0 ? CLD.number(chosen) : 0;
    }
    SelectedDate = DATE(Month, Day, YearNumber());
    m_view.Redisplay();
}

} // namespace tavemon
