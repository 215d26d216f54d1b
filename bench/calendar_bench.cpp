// The calendar model: building a month grid and selecting the day in it, as
// the window does on every change of month or year. The months cycle through
// 2000..2003 so that every starting weekday and both February lengths occur.
#include "app/calendar_class.h"
#include "runtime/date.h"
#include "runtime/fixed_text.h"

#include <array>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <string>

namespace {

// A window that shows nothing.
class NullView : public tavemon::CalendarView {
public:
    void SelectCell(int32_t row, int32_t column) override { benchmark::DoNotOptimize(row + column); }
    void SetDayRange(int32_t low, int32_t high) override { benchmark::DoNotOptimize(low + high); }
    void Redisplay() override {}
};

constexpr int32_t FirstYear = 2000;
constexpr int32_t Years = 4;
constexpr int32_t MonthCount = 12 * Years;

struct MonthChoice {
    int32_t month;
    morvex::FixedText<20> name;
    morvex::FixedText<4> year;
};

// The months to cycle through, their texts prepared outside the timing.
std::array<MonthChoice, MonthCount> month_choices() {
    std::array<MonthChoice, MonthCount> choices{};
    for (int32_t i = 0; i < MonthCount; ++i) {
        MonthChoice& choice = choices[static_cast<std::size_t>(i)];
        choice.month = i % 12 + 1;
        choice.name.assign(tavemon::CalendarClass::MonthNames[static_cast<std::size_t>(i % 12)]);
        choice.year.assign(std::to_string(FirstYear + i / 12));
    }
    return choices;
}

int32_t start_date() {
    return morvex::PartsToDate(morvex::DateParts{.year = 2001, .day = 15, .month = 8});
}

void show_month(tavemon::CalendarClass& calendar, const MonthChoice& choice) {
    calendar.Month = choice.month;
    calendar.MonthName = choice.name;
    calendar.Year = choice.year;
}

void report_per_call(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations());
    state.counters["per_call"] =
        benchmark::Counter(1.0, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Shows the months of month_choices() in turn; `select` adds SelectDay.
void cycle_months(benchmark::State& state, bool select) {
    NullView view;
    tavemon::CalendarClass calendar(tavemon::WeekLayout::MondayFirst, view);
    calendar.Init(start_date());
    const auto choices = month_choices();
    std::size_t next = 0;
    for (auto _ : state) {
        show_month(calendar, choices[next]);
        next = next + 1 == choices.size() ? 0 : next + 1;
        calendar.FillMonth();
        if (select)
            calendar.SelectDay();
        benchmark::DoNotOptimize(calendar.SelectedDate);
        benchmark::DoNotOptimize(calendar.CLD);
    }
    report_per_call(state);
}

void fill_month_and_select_day(benchmark::State& state) {
    cycle_months(state, true);
}

// The two halves on their own, to see where the time goes.
void fill_month(benchmark::State& state) {
    cycle_months(state, false);
}

void select_day(benchmark::State& state) {
    NullView view;
    tavemon::CalendarClass calendar(tavemon::WeekLayout::MondayFirst, view);
    calendar.Init(start_date());
    int32_t day = 1;
    for (auto _ : state) {
        calendar.Day = day;
        day = day == 31 ? 1 : day + 1;
        calendar.SelectDay();
        benchmark::DoNotOptimize(calendar.SelectedDate);
    }
    report_per_call(state);
}

} // namespace

BENCHMARK(fill_month_and_select_day)->Name("calendar/fill_month+select_day");
BENCHMARK(fill_month)->Name("calendar/fill_month");
BENCHMARK(select_day)->Name("calendar/select_day");
