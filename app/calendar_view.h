// What the calendar model asks of the window that shows it. The calendar
// window implements it; tests use a recording fake.
#pragma once

#include <cstdint>

namespace tavemon {

class CalendarView {
public:
    virtual ~CalendarView() = default;

    // Selects the cell (row, column) of the month grid's list; column 0 means
    // the row with no cell.
    virtual void SelectCell(int32_t row, int32_t column) = 0;
    // Sets the day control's range.
    virtual void SetDayRange(int32_t low, int32_t high) = 0;
    // Redisplays all controls of the window.
    virtual void Redisplay() = 0;
};

} // namespace tavemon
