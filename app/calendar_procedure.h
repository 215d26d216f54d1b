// The calendar procedures: a window that lets the user pick a date and
// gives it back to the caller. Each is a WindowController over a
// CalendarClass; they differ only in their window definition, its control
// numbers and the week layout, which a CalendarLayout describes.
//
// Arguments (all optional): a reference to the caller's LONG date, which
// Select sets; the prime date (0 = today); the window's x and y in its own
// units (0 = where it was last, as "qkCalendar.ini" remembers). The result is
// the date the calendar shows when it closes.
#pragma once

#include "app/calendar_class.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace tavemon {

struct CalendarLayout {
    std::string_view name;   // the procedure's name, also its INI section
    std::string_view module; // the procedure module holding "P1$WINDOW"
    WeekLayout week;
    int32_t list;                 // the month grid
    std::array<int32_t, 4> keys;  // the Up, Down, Left and Right key buttons (0 = none)
    int32_t day, month, year;     // the day, month and year controls
    int32_t today, close, select; // the buttons
    int32_t browse = 0;           // the list of the customers of the selected day (0 = none)
};

struct CalendarArguments {
    int32_t* date = nullptr;
    int32_t prime = 0;
    int32_t x = 0;
    int32_t y = 0;
};

// The calendar INI file and its keys.
constexpr std::string_view CalendarIniFile = "qkCalendar.ini";

// Runs the calendar procedure of `layout` on the calling thread.
int32_t RunCalendar(const CalendarLayout& layout, const CalendarArguments& arguments = {});

extern const CalendarLayout LookupDateLayout;
extern const CalendarLayout PartOfWindowLayout;
extern const CalendarLayout Calendar1Layout;
extern const CalendarLayout Calendar2Layout;
extern const CalendarLayout Calendar3Layout;
extern const CalendarLayout LookupDateSundayLayout;

inline int32_t LookupDate(const CalendarArguments& arguments = {}) {
    return RunCalendar(LookupDateLayout, arguments);
}
inline int32_t PartOfWindow(const CalendarArguments& arguments = {}) {
    return RunCalendar(PartOfWindowLayout, arguments);
}
inline int32_t Calendar1(const CalendarArguments& arguments = {}) {
    return RunCalendar(Calendar1Layout, arguments);
}
inline int32_t Calendar2(const CalendarArguments& arguments = {}) {
    return RunCalendar(Calendar2Layout, arguments);
}
inline int32_t Calendar3(const CalendarArguments& arguments = {}) {
    return RunCalendar(Calendar3Layout, arguments);
}
inline int32_t LookupDateSunday(const CalendarArguments& arguments = {}) {
    return RunCalendar(LookupDateSundayLayout, arguments);
}

} // namespace tavemon
