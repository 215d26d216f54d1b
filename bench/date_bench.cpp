// Date conversions: DateToParts and PartsToDate against std::chrono and the
// date library, each over the same shuffled set of dates across 1801..9999.
// per_call is the time of one conversion.
#include "runtime/date.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdint>
#include <date/date.h>
#include <random>
#include <vector>

namespace {

constexpr std::size_t DateCount = 1'000'000;

// The standard date 0 in each library's own day count.
constexpr std::chrono::sys_days ChronoDayZero{std::chrono::year{1800} / std::chrono::December / 28};
const date::sys_days HinnantDayZero{date::year{1800} / date::December / 28};

// DateCount valid dates spread evenly over the whole range, in a fixed random order.
const std::vector<int32_t>& dates() {
    static const std::vector<int32_t> values = [] {
        std::vector<int32_t> result(DateCount);
        const int64_t span = morvex::LastValidDate - morvex::FirstValidDate;
        for (std::size_t i = 0; i < DateCount; ++i)
            result[i] = static_cast<int32_t>(morvex::FirstValidDate +
                                             span * static_cast<int64_t>(i) / (DateCount - 1));
        std::shuffle(result.begin(), result.end(), std::mt19937(20010815));
        return result;
    }();
    return values;
}

template <typename Result, typename Convert>
std::vector<Result> convert_all(Convert convert) {
    std::vector<Result> result;
    result.reserve(DateCount);
    for (int32_t d : dates())
        result.push_back(convert(d));
    return result;
}

const std::vector<std::chrono::sys_days>& chrono_days() {
    static const auto values =
        convert_all<std::chrono::sys_days>([](int32_t d) { return ChronoDayZero + std::chrono::days{d}; });
    return values;
}

const std::vector<date::sys_days>& hinnant_days() {
    static const auto values =
        convert_all<date::sys_days>([](int32_t d) { return HinnantDayZero + date::days{d}; });
    return values;
}

const std::vector<morvex::DateParts>& morvex_parts() {
    static const auto values = convert_all<morvex::DateParts>([](int32_t d) {
        morvex::DateParts parts;
        morvex::DateToParts(d, parts);
        return parts;
    });
    return values;
}

const std::vector<std::chrono::year_month_day>& chrono_parts() {
    static const auto values = convert_all<std::chrono::year_month_day>(
        [](int32_t d) { return std::chrono::year_month_day{ChronoDayZero + std::chrono::days{d}}; });
    return values;
}

const std::vector<date::year_month_day>& hinnant_parts() {
    static const auto values = convert_all<date::year_month_day>(
        [](int32_t d) { return date::year_month_day{HinnantDayZero + date::days{d}}; });
    return values;
}

void report_per_call(benchmark::State& state, std::size_t calls_per_iteration) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * calls_per_iteration));
    state.counters["per_call"] =
        benchmark::Counter(static_cast<double>(calls_per_iteration),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Checks once, outside the timing, that all three libraries agree on every date.
bool libraries_agree() {
    for (std::size_t i = 0; i < DateCount; ++i) {
        const morvex::DateParts& ours = morvex_parts()[i];
        const std::chrono::year_month_day& chrono = chrono_parts()[i];
        const date::year_month_day& hinnant = hinnant_parts()[i];
        if (int(chrono.year()) != ours.year || unsigned(chrono.month()) != ours.month ||
            unsigned(chrono.day()) != ours.day || int(hinnant.year()) != ours.year ||
            unsigned(hinnant.month()) != ours.month || unsigned(hinnant.day()) != ours.day)
            return false;
    }
    return true;
}

void date_to_parts_morvex(benchmark::State& state) {
    static const bool agree = libraries_agree();
    if (!agree) {
        state.SkipWithError("the libraries disagree on a date");
        return;
    }
    const std::vector<int32_t>& input = dates();
    morvex::DateParts parts;
    for (auto _ : state) {
        for (int32_t d : input) {
            morvex::DateToParts(d, parts);
            benchmark::DoNotOptimize(parts);
        }
    }
    report_per_call(state, input.size());
}

void date_to_parts_chrono(benchmark::State& state) {
    const std::vector<std::chrono::sys_days>& input = chrono_days();
    for (auto _ : state) {
        for (std::chrono::sys_days d : input) {
            std::chrono::year_month_day parts{d};
            benchmark::DoNotOptimize(parts);
        }
    }
    report_per_call(state, input.size());
}

void date_to_parts_hinnant(benchmark::State& state) {
    const std::vector<date::sys_days>& input = hinnant_days();
    for (auto _ : state) {
        for (date::sys_days d : input) {
            date::year_month_day parts{d};
            benchmark::DoNotOptimize(parts);
        }
    }
    report_per_call(state, input.size());
}

void parts_to_date_morvex(benchmark::State& state) {
    const std::vector<morvex::DateParts>& input = morvex_parts();
    for (auto _ : state) {
        for (const morvex::DateParts& parts : input) {
            int32_t d = morvex::PartsToDate(parts);
            benchmark::DoNotOptimize(d);
        }
    }
    report_per_call(state, input.size());
}

void parts_to_date_chrono(benchmark::State& state) {
    const std::vector<std::chrono::year_month_day>& input = chrono_parts();
    for (auto _ : state) {
        for (const std::chrono::year_month_day& parts : input) {
            std::chrono::sys_days d{parts};
            benchmark::DoNotOptimize(d);
        }
    }
    report_per_call(state, input.size());
}

// The same with the parts checked first, as PartsToDate checks them.
void parts_to_date_chrono_checked(benchmark::State& state) {
    const std::vector<std::chrono::year_month_day>& input = chrono_parts();
    for (auto _ : state) {
        for (const std::chrono::year_month_day& parts : input) {
            int32_t d = parts.ok()
                            ? static_cast<int32_t>((std::chrono::sys_days{parts} - ChronoDayZero).count())
                            : -1;
            benchmark::DoNotOptimize(d);
        }
    }
    report_per_call(state, input.size());
}

void parts_to_date_hinnant(benchmark::State& state) {
    const std::vector<date::year_month_day>& input = hinnant_parts();
    for (auto _ : state) {
        for (const date::year_month_day& parts : input) {
            date::sys_days d{parts};
            benchmark::DoNotOptimize(d);
        }
    }
    report_per_call(state, input.size());
}

} // namespace

BENCHMARK(date_to_parts_morvex)->Name("date_to_parts/morvex")->Unit(benchmark::kMillisecond);
BENCHMARK(date_to_parts_chrono)->Name("date_to_parts/std_chrono")->Unit(benchmark::kMillisecond);
BENCHMARK(date_to_parts_hinnant)->Name("date_to_parts/hinnant_date")->Unit(benchmark::kMillisecond);
BENCHMARK(parts_to_date_morvex)->Name("parts_to_date/morvex")->Unit(benchmark::kMillisecond);
BENCHMARK(parts_to_date_chrono)->Name("parts_to_date/std_chrono")->Unit(benchmark::kMillisecond);
BENCHMARK(parts_to_date_chrono_checked)
    ->Name("parts_to_date/std_chrono_checked")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(parts_to_date_hinnant)->Name("parts_to_date/hinnant_date")->Unit(benchmark::kMillisecond);
