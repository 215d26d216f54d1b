#include "app/calendar_procedure.h"

#include "app/customer_browse.h"
#include "framework/toolbar_manager.h"
#include "framework/window_controller.h"
#include "runtime/date.h"
#include "runtime/ini_access.h"
#include "runtime/leading_integer.h"
#include "window/accept.h"
#include "window/bound_value.h"
#include "window/properties.h"
#include "window/property_numbers.h"
#include "window/window.h"

#include <string>

namespace tavemon {

using morvex::Level::Benign;
using morvex::Level::Notify;
namespace Event = morvex::Event;
namespace Prop = morvex::Prop;

const CalendarLayout LookupDateLayout{
    "LookupDate", "tavemon$taven002", WeekLayout::MondayFirst, 2, {3, 4, 5, 6}, 7, 8, 9, 10, 11, 12};
const CalendarLayout PartOfWindowLayout{
    "PartOfWindow", "tavemon$taven003", WeekLayout::MondayFirst, 2, {0, 0, 0, 0}, 4, 5, 6, 7, 8, 9, 3};
const CalendarLayout Calendar1Layout{
    "Calendar1", "tavemon$taven005", WeekLayout::MondayFirst, 1, {2, 3, 4, 5}, 6, 7, 8, 9, 10, 11};
const CalendarLayout Calendar2Layout{
    "Calendar2", "tavemon$taven006", WeekLayout::MondayFirst, 2, {3, 4, 5, 6}, 7, 9, 10, 11, 12, 13};
const CalendarLayout Calendar3Layout{
    "Calendar3", "tavemon$taven007", WeekLayout::MondayFirst, 2, {3, 5, 6, 7}, 8, 9, 10, 11, 12, 13};
const CalendarLayout LookupDateSundayLayout{
    "LookupDateSunday", "tavemon$taven008", WeekLayout::SundayFirst, 2, {3, 4, 5, 6}, 7, 8, 9, 10, 11, 12};

namespace {

constexpr std::string_view MondayHeaders[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
constexpr std::string_view SundayHeaders[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// Enter on the grid acts like Select (an alerted key), and so does a double
// click on a day (the list accepts its row with that key code).
constexpr uint32_t EnterKey = 0x0D;
constexpr uint32_t DoubleClickKey = 5;

int32_t long_of(std::string_view text) {
    return static_cast<int32_t>(morvex::ReadLeadingInteger(text, {.limit = INT32_MAX}).value);
}

class CalendarProcedure : public morvex::WindowController, public CalendarView {
public:
    CalendarProcedure(const CalendarLayout& layout, const CalendarArguments& arguments)
        : WindowController(m_window), m_layout(layout), m_arguments(arguments),
          m_calendar(layout.week, *this) {
        m_window.Load(layout.module, "P1$WINDOW");
        m_window.Bind(layout.list, m_calendar.MonthGrid);
        m_window.Bind(layout.day, m_calendar.Day);
        m_window.Bind(layout.month, m_calendar.MonthName);
        m_window.Bind(layout.month, m_calendar.MonthNameList);
        m_window.Bind(layout.year, m_calendar.Year);
    }

    int32_t selected_date() const { return m_calendar.SelectedDate; }

    int Init() override {
        m_calendar.FillMonthNames();
        if (const int level = OpenProcedure(m_layout.name, &m_toolbar))
            return level;
        const bool browsing = m_layout.browse != 0 && m_customers.Open(*this, m_layout.browse);
        FIRSTFIELD = 1;
        morvex::SetProperty(&m_window, 0, Prop::Text, "Calendar");
        const auto& headers = m_layout.week == WeekLayout::MondayFirst ? MondayHeaders : SundayHeaders;
        for (int32_t column = 1; column <= CalendarClass::Columns; ++column)
            morvex::SetProperty(&m_window, m_layout.list, Prop::ColumnHeading, column,
                                headers[static_cast<std::size_t>(column - 1)]);
        morvex::SetProperty(&m_window, m_layout.today, Prop::Text, "Today");
        morvex::SetProperty(&m_window, m_layout.close, Prop::Text, "Close");
        morvex::SetProperty(&m_window, m_layout.select, Prop::Text, "Select");
        place_window();
        m_calendar.Init(m_arguments.prime != 0 ? m_arguments.prime : morvex::TODAY());
        if (browsing)
            m_customers.Limit(m_calendar.SelectedDate);
        SetAlerts();
        return Benign;
    }

    int Kill() override {
        if (const int level = WindowController::Kill())
            return level;
        m_customers.Close();
        CloseProcedure();
        return Benign;
    }

    int TakeAccepted() override {
        const int32_t control = morvex::ACCEPTED();
        if (control == m_layout.keys[0] && control != 0)
            m_calendar.PreviousWeek();
        else if (control == m_layout.keys[1] && control != 0)
            m_calendar.NextWeek();
        else if (control == m_layout.keys[2] && control != 0)
            m_calendar.PreviousDay();
        else if (control == m_layout.keys[3] && control != 0)
            m_calendar.NextDay();
        else if (control == m_layout.day)
            m_calendar.SelectDay();
        else if (control == m_layout.month || control == m_layout.year)
            month_or_year_changed();
        else if (control == m_layout.today)
            m_calendar.GoToday();
        else if (control == m_layout.close)
            morvex::PostEvent(m_window, Event::CloseWindow);
        else if (control == m_layout.select)
            select();
        else if (control == m_layout.list && morvex::KEYCODE() == DoubleClickKey)
            morvex::PostEvent(m_window, Event::Accepted, m_layout.select);
        return WindowController::TakeAccepted();
    }

    int TakeNewSelection() override {
        const int32_t control = morvex::FIELD();
        if (control == m_layout.list) {
            const int32_t row = long_of(morvex::GetProperty(&m_window, m_layout.list, Prop::Selection));
            const int32_t column = long_of(morvex::GetProperty(&m_window, m_layout.list, Prop::Column));
            if (row == 0)
                return Notify;
            m_calendar.TakeCell(row, column);
        } else if (control == m_layout.day) {
            m_calendar.SelectDay();
        } else if (control == m_layout.month || control == m_layout.year) {
            month_or_year_changed();
        }
        return WindowController::TakeNewSelection();
    }

    int TakeFieldEvent() override {
        if (morvex::EVENT() == Event::AlertKey && morvex::FIELD() == m_layout.list)
            morvex::PostEvent(m_window, Event::Accepted, m_layout.select);
        return WindowController::TakeFieldEvent();
    }

    int TakeWindowEvent() override {
        if (morvex::EVENT() == Event::Moved) {
            // The position is kept after every move, not only when the window closes.
            const std::string section =
                morvex::GlobalErrors ? morvex::GlobalErrors->GetProcedureName() : std::string(m_layout.name);
            morvex::PUTINI(section, "X", morvex::GetProperty(&m_window, 0, Prop::XPos), CalendarIniFile);
            morvex::PUTINI(section, "Y", morvex::GetProperty(&m_window, 0, Prop::YPos), CalendarIniFile);
        }
        return WindowController::TakeWindowEvent();
    }

    void SetAlerts() override {
        WindowController::SetAlerts();
        morvex::SetProperty(&m_window, m_layout.list, Prop::Alert, 255, std::to_string(EnterKey));
    }

    // CalendarView: the model's requests of the window.
    void SelectCell(int32_t row, int32_t column) override {
        morvex::SetProperty(&m_window, m_layout.list, Prop::Selection, std::to_string(row));
        morvex::SetProperty(&m_window, m_layout.list, Prop::Column, std::to_string(column));
    }
    void SetDayRange(int32_t low, int32_t high) override {
        morvex::SetProperty(&m_window, m_layout.day, Prop::RangeLow, 1, std::to_string(low));
        morvex::SetProperty(&m_window, m_layout.day, Prop::RangeLow, 2, std::to_string(high));
    }
    void Redisplay() override { m_window.Display(); }

private:
    void month_or_year_changed() {
        m_calendar.FillMonth();
        m_calendar.SelectDay();
    }

    void select() {
        m_calendar.SelectedDate = morvex::DATE(m_calendar.Month, m_calendar.Day, m_calendar.YearNumber());
        if (m_arguments.date)
            *m_arguments.date = m_calendar.SelectedDate;
        morvex::PostEvent(m_window, Event::CloseWindow);
    }

    // Where the caller says, else where the window was last (both keys not 0).
    void place_window() {
        int32_t x = m_arguments.x, y = m_arguments.y;
        if (x == 0 && y == 0) {
            const std::string section(m_layout.name);
            x = long_of(morvex::GETINI(section, "X", "", CalendarIniFile));
            y = long_of(morvex::GETINI(section, "Y", "", CalendarIniFile));
            if (x == 0 || y == 0)
                return;
        }
        morvex::SetProperty(&m_window, 0, Prop::XPos, std::to_string(x));
        morvex::SetProperty(&m_window, 0, Prop::YPos, std::to_string(y));
    }

    morvex::Window m_window;
    const CalendarLayout& m_layout;
    CalendarArguments m_arguments;
    CalendarClass m_calendar;
    morvex::ToolbarManager m_toolbar;
    CustomerBrowse m_customers;
};

} // namespace

int32_t RunCalendar(const CalendarLayout& layout, const CalendarArguments& arguments) {
    CalendarProcedure procedure(layout, arguments);
    morvex::GlobalResponse = procedure.Run();
    return procedure.selected_date();
}

} // namespace tavemon
