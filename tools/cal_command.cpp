// morvex cal: the month grid exactly as CalendarClass builds it.
#include "app/calendar_class.h"
#include "runtime/date.h"
#include "tools/command.h"
#include "tools/command_line.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace morvex::tools {

namespace {

constexpr std::string_view CalUsage =
    "usage: morvex cal [--sunday] [--day D] MONTH YEAR\n"
    "\n"
    "Builds the month grid of MONTH (1-12) of YEAR (1801-9999) as the calendar\n"
    "component does, primed with DATE(MONTH, D, YEAR) (D defaults to 1; a day\n"
    "beyond the month's end rolls into the next month, as DATE does), and prints:\n"
    "  one line per grid row: the seven two-character cells joined by '|'\n"
    "  range LOW HIGH          the day control's range\n"
    "  selected ROW COLUMN DATE the cell SelectDay selected and the standard date\n"
    "\n"
    "  --sunday   Sunday as the first column (default: Monday)\n"
    "  --day D    the day of the month to select (1-31)\n"
    "  --help     this text\n";

class RecordingView : public tavemon::CalendarView {
public:
    void SelectCell(int32_t row, int32_t column) override {
        selected_row = row;
        selected_column = column;
    }
    void SetDayRange(int32_t low, int32_t high) override {
        range_low = low;
        range_high = high;
    }
    void Redisplay() override {}

    int32_t selected_row = 0;
    int32_t selected_column = 0;
    int32_t range_low = 0;
    int32_t range_high = 0;
};

std::optional<int32_t> parse_number(std::string_view text) {
    int32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

int usage_error(std::ostream& err, std::string_view message) {
    return UsageError(err, "cal", message);
}

constexpr OptionSpec CalOptions[] = {{"--sunday"}, {"--day", true, "a day of the month"}};

} // namespace

int run_cal(Arguments args, std::ostream& out, std::ostream& err) {
    std::string problem;
    const std::optional<CommandLine> line = ParseCommandLine(args, CalOptions, problem);
    if (!line)
        return usage_error(err, problem);
    if (line->help) {
        out << CalUsage;
        return 0;
    }
    if (line->operands.size() < 2)
        return usage_error(err, "MONTH and YEAR are required");
    if (line->operands.size() > 2)
        return usage_error(err, "too many arguments");

    const tavemon::WeekLayout layout =
        line->has("--sunday") ? tavemon::WeekLayout::SundayFirst : tavemon::WeekLayout::MondayFirst;
    int32_t day = 1;
    if (const std::optional<std::string_view> given = line->value("--day")) {
        const std::optional<int32_t> value = parse_number(*given);
        if (!value || *value < 1 || *value > 31)
            return usage_error(err,
                               "the day must be a number from 1 to 31, not '" + std::string(*given) + "'");
        day = *value;
    }
    const std::string_view month_text = line->operands[0];
    const std::optional<int32_t> month = parse_number(month_text);
    if (!month || *month < 1 || *month > 12)
        return usage_error(err,
                           "the month must be a number from 1 to 12, not '" + std::string(month_text) + "'");
    const std::string_view year_text = line->operands[1];
    const std::optional<int32_t> year = parse_number(year_text);
    if (!year || *year < FirstValidYear || *year > LastValidYear)
        return usage_error(err, "the year must be a number from 1801 to 9999, not '" +
                                    std::string(year_text) + "'");

    RecordingView view;
    tavemon::CalendarClass calendar(layout, view);
    calendar.Init(DATE(*month, day, *year));

    const int32_t rows = calendar.MonthGrid.Records();
    for (int32_t row = 1; row <= rows; ++row) {
        calendar.MonthGrid.Get(row);
        for (int32_t column = 1; column <= tavemon::CalendarClass::Columns; ++column)
            out << (column > 1 ? "|" : "") << calendar.CLD.cell(column).view();
        out << "\n";
    }
    out << "range " << view.range_low << " " << view.range_high << "\n";
    out << "selected " << view.selected_row << " " << view.selected_column << " " << calendar.SelectedDate
        << "\n";
    return 0;
}

} // namespace morvex::tools
