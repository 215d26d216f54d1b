// Pictures: FORMAT with @D1, @D17, @N-10.2, @N12.2 and @T4 side by side with
// {fmt} (compiled formats into a fixed buffer) and snprintf producing the
// same texts from the same parts (DateToParts, TimeToParts), and DEFORMAT of
// the outputs beside sscanf reading them. Each call formats or reads one
// value of a fixed set; a benchmark whose texts differ from FORMAT's stops
// with an error instead of timing.
#include "runtime/date.h"
#include "runtime/locale.h"
#include "runtime/picture.h"

#include <benchmark/benchmark.h>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fmt/compile.h>
#include <fmt/format.h>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace morvex;

constexpr std::size_t ValueCount = 4096;

template <typename T, typename Make>
std::vector<T> values(Make make) {
    std::mt19937 random(20010815);
    std::vector<T> result(ValueCount);
    for (T& value : result)
        value = make(random);
    return result;
}

const std::vector<int32_t>& dates() {
    static const auto result = values<int32_t>([](std::mt19937& r) {
        return std::uniform_int_distribution<int32_t>(DATE(1, 1, 1950), DATE(12, 31, 2049))(r);
    });
    return result;
}

const std::vector<int32_t>& times() {
    static const auto result = values<int32_t>([](std::mt19937& r) {
        return std::uniform_int_distribution<int32_t>(0, 86'399)(r) * 100 + 1; // whole seconds
    });
    return result;
}

// Amounts with two decimals, as k / 100.0: below 1,000 and below ten million.
std::vector<double> amounts_below(int64_t limit_in_cents) {
    return values<double>([&](std::mt19937& r) {
        return static_cast<double>(
                   std::uniform_int_distribution<int64_t>(-limit_in_cents, limit_in_cents)(r)) /
               100.0;
    });
}
const std::vector<double>& small_amounts() {
    static const auto result = amounts_below(99'999);
    return result;
}
const std::vector<double>& large_amounts() {
    static const auto result = amounts_below(999'999'999);
    return result;
}

CompiledPicture compiled(const char* text) {
    CompiledPicture picture;
    CompilePicture(picture, text);
    return picture;
}

// The texts of FORMAT and of another writer must agree before timing.
template <typename Value, typename Other>
bool same_texts(const std::vector<Value>& inputs, const CompiledPicture& picture, Other other,
                std::string& why) {
    char ours[MaxPictureWidth];
    char theirs[MaxPictureWidth];
    for (const Value value : inputs) {
        const std::string_view a(ours, FORMAT(value, picture, ours));
        const std::string_view b(theirs, other(value, theirs));
        if (a != b) {
            why = "texts differ: [" + std::string(a) + "] and [" + std::string(b) + "]";
            return false;
        }
    }
    return true;
}

template <typename Value, typename Write>
void run(benchmark::State& state, const std::vector<Value>& inputs, const CompiledPicture& picture,
         Write write) {
    std::string why;
    if (!same_texts(inputs, picture, write, why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    char out[MaxPictureWidth];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(write(inputs[i++ % ValueCount], out));
        benchmark::ClobberMemory();
    }
}

// @D1 " 1/05/23"

void D1_FORMAT(benchmark::State& state) {
    const CompiledPicture picture = compiled("@D1");
    run(state, dates(), picture, [&](int32_t d, char* out) { return FORMAT(d, picture, out); });
}
void D1_fmt(benchmark::State& state) {
    run(state, dates(), compiled("@D1"), [](int32_t d, char* out) {
        DateParts p;
        DateToParts(d, p);
        return static_cast<std::size_t>(
            fmt::format_to(out, FMT_COMPILE("{:>2}/{:02}/{:02}"), p.month, p.day, p.year % 100) - out);
    });
}
void D1_snprintf(benchmark::State& state) {
    run(state, dates(), compiled("@D1"), [](int32_t d, char* out) {
        DateParts p;
        DateToParts(d, p);
        return static_cast<std::size_t>(
            std::snprintf(out, MaxPictureWidth, "%2d/%02d/%02d", p.month, p.day, p.year % 100));
    });
}

// @D17 "01/05/23" (the default short date)

void D17_FORMAT(benchmark::State& state) {
    const CompiledPicture picture = compiled("@D17");
    run(state, dates(), picture, [&](int32_t d, char* out) { return FORMAT(d, picture, out); });
}
void D17_fmt(benchmark::State& state) {
    run(state, dates(), compiled("@D17"), [](int32_t d, char* out) {
        DateParts p;
        DateToParts(d, p);
        return static_cast<std::size_t>(
            fmt::format_to(out, FMT_COMPILE("{:02}/{:02}/{:02}"), p.month, p.day, p.year % 100) - out);
    });
}
void D17_snprintf(benchmark::State& state) {
    run(state, dates(), compiled("@D17"), [](int32_t d, char* out) {
        DateParts p;
        DateToParts(d, p);
        return static_cast<std::size_t>(
            std::snprintf(out, MaxPictureWidth, "%02d/%02d/%02d", p.month, p.day, p.year % 100));
    });
}

// @T4 "21:05:07"

void T4_FORMAT(benchmark::State& state) {
    const CompiledPicture picture = compiled("@T4");
    run(state, times(), picture, [&](int32_t t, char* out) { return FORMAT(t, picture, out); });
}
void T4_fmt(benchmark::State& state) {
    run(state, times(), compiled("@T4"), [](int32_t t, char* out) {
        TimeParts p;
        TimeToParts(t, p);
        return static_cast<std::size_t>(
            fmt::format_to(out, FMT_COMPILE("{:>2}:{:02}:{:02}"), p.hour, p.minute, p.second) - out);
    });
}
void T4_snprintf(benchmark::State& state) {
    run(state, times(), compiled("@T4"), [](int32_t t, char* out) {
        TimeParts p;
        TimeToParts(t, p);
        return static_cast<std::size_t>(
            std::snprintf(out, MaxPictureWidth, "%2d:%02d:%02d", p.hour, p.minute, p.second));
    });
}

// @N-10.2 "-   123.45": amounts below 1,000, so that no grouping mark shows.

void N_10_2_FORMAT(benchmark::State& state) {
    const CompiledPicture picture = compiled("@N-10.2");
    run(state, small_amounts(), picture, [&](double v, char* out) { return FORMAT(v, picture, out); });
}
void N_10_2_FORMAT_decimal(benchmark::State& state) {
    // The decimal accumulator's form: digits and exponent already at hand.
    const CompiledPicture picture = compiled("@N-10.2");
    std::vector<PictureNumber> numbers;
    for (double v : small_amounts())
        numbers.push_back(PictureNumber::FromReal(v));
    char out[MaxPictureWidth];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FORMAT(numbers[i++ % ValueCount], picture, out));
        benchmark::ClobberMemory();
    }
}
void N_10_2_fmt(benchmark::State& state) {
    run(state, small_amounts(), compiled("@N-10.2"), [](double v, char* out) {
        const bool negative = v < 0 && std::fabs(v) >= 0.005;
        return static_cast<std::size_t>(
            fmt::format_to(out, FMT_COMPILE("{}{:>9.2f}"), negative ? '-' : ' ', std::fabs(v)) - out);
    });
}
void N_10_2_snprintf(benchmark::State& state) {
    run(state, small_amounts(), compiled("@N-10.2"), [](double v, char* out) {
        const bool negative = v < 0 && std::fabs(v) >= 0.005;
        return static_cast<std::size_t>(
            std::snprintf(out, MaxPictureWidth, "%c%9.2f", negative ? '-' : ' ', std::fabs(v)));
    });
}

// @N12.2 " 1,234,567.89": grouped amounts below ten million, without sign.
// Neither {fmt} nor printf groups digits without a locale, so both split the
// amount into groups themselves.

struct Groups {
    int64_t millions, thousands, units, cents;
};
Groups groups_of(double v) {
    const int64_t cents = std::llround(std::fabs(v) * 100);
    const int64_t whole = cents / 100;
    return {whole / 1'000'000, whole / 1'000 % 1'000, whole % 1'000, cents % 100};
}

void N12_2_FORMAT(benchmark::State& state) {
    const CompiledPicture picture = compiled("@N12.2");
    run(state, large_amounts(), picture, [&](double v, char* out) { return FORMAT(v, picture, out); });
}
void N12_2_fmt(benchmark::State& state) {
    run(state, large_amounts(), compiled("@N12.2"), [](double v, char* out) {
        const Groups g = groups_of(v);
        char* end;
        if (g.millions)
            end = fmt::format_to(out, FMT_COMPILE("{},{:03},{:03}.{:02}"), g.millions, g.thousands, g.units,
                                 g.cents);
        else if (g.thousands)
            end = fmt::format_to(out, FMT_COMPILE("{:>5},{:03}.{:02}"), g.thousands, g.units, g.cents);
        else
            end = fmt::format_to(out, FMT_COMPILE("{:>9}.{:02}"), g.units, g.cents);
        return static_cast<std::size_t>(end - out);
    });
}
void N12_2_snprintf(benchmark::State& state) {
    run(state, large_amounts(), compiled("@N12.2"), [](double v, char* out) {
        const Groups g = groups_of(v);
        int n;
        if (g.millions)
            n = std::snprintf(out, MaxPictureWidth, "%lld,%03lld,%03lld.%02lld",
                              static_cast<long long>(g.millions), static_cast<long long>(g.thousands),
                              static_cast<long long>(g.units), static_cast<long long>(g.cents));
        else if (g.thousands)
            n = std::snprintf(out, MaxPictureWidth, "%5lld,%03lld.%02lld",
                              static_cast<long long>(g.thousands), static_cast<long long>(g.units),
                              static_cast<long long>(g.cents));
        else
            n = std::snprintf(out, MaxPictureWidth, "%9lld.%02lld", static_cast<long long>(g.units),
                              static_cast<long long>(g.cents));
        return static_cast<std::size_t>(n);
    });
}

// DEFORMAT of FORMAT's outputs, beside sscanf reading the same texts.

template <typename Value>
std::vector<std::string> outputs(const std::vector<Value>& inputs, const CompiledPicture& picture) {
    std::vector<std::string> texts;
    char out[MaxPictureWidth];
    for (const Value value : inputs)
        texts.emplace_back(out, FORMAT(value, picture, out));
    return texts;
}

template <typename Value>
void run_deformat(benchmark::State& state, const char* picture_text, const std::vector<Value>& inputs) {
    const CompiledPicture picture = compiled(picture_text);
    const std::vector<std::string> texts = outputs(inputs, picture);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(DEFORMAT(texts[i++ % ValueCount], picture).data());
        benchmark::ClobberMemory();
    }
}

void D1_DEFORMAT(benchmark::State& state) {
    run_deformat(state, "@D1", dates());
}
void D17_DEFORMAT(benchmark::State& state) {
    run_deformat(state, "@D17", dates());
}
void T4_DEFORMAT(benchmark::State& state) {
    run_deformat(state, "@T4", times());
}
void N_10_2_DEFORMAT(benchmark::State& state) {
    run_deformat(state, "@N-10.2", small_amounts());
}
void N12_2_DEFORMAT(benchmark::State& state) {
    run_deformat(state, "@N12.2", large_amounts());
}

// sscanf reading a date text into the standard date, as decimal text.
void D1_sscanf(benchmark::State& state) {
    const std::vector<std::string> texts = outputs(dates(), compiled("@D1"));
    char out[16];
    std::size_t i = 0;
    for (auto _ : state) {
        int month = 0, day = 0, year = 0;
        std::sscanf(texts[i++ % ValueCount].c_str(), "%d/%d/%d", &month, &day, &year);
        const int32_t date = DATE(month, day, ExpandYear(year, DefaultCenturyWindow));
        benchmark::DoNotOptimize(std::to_chars(out, out + sizeof out, date).ptr);
        benchmark::ClobberMemory();
    }
}

// sscanf reading an amount; printf's %f gives the value text.
void N_10_2_sscanf(benchmark::State& state) {
    const std::vector<std::string> texts = outputs(small_amounts(), compiled("@N-10.2"));
    char out[32];
    std::size_t i = 0;
    for (auto _ : state) {
        char sign = ' ';
        double amount = 0;
        std::sscanf(texts[i++ % ValueCount].c_str(), "%c%lf", &sign, &amount);
        benchmark::DoNotOptimize(std::snprintf(out, sizeof out, "%.2f", sign == '-' ? -amount : amount));
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK(D1_FORMAT);
BENCHMARK(D1_fmt);
BENCHMARK(D1_snprintf);
BENCHMARK(D17_FORMAT);
BENCHMARK(D17_fmt);
BENCHMARK(D17_snprintf);
BENCHMARK(N_10_2_FORMAT);
BENCHMARK(N_10_2_FORMAT_decimal);
BENCHMARK(N_10_2_fmt);
BENCHMARK(N_10_2_snprintf);
BENCHMARK(N12_2_FORMAT);
BENCHMARK(N12_2_fmt);
BENCHMARK(N12_2_snprintf);
BENCHMARK(T4_FORMAT);
BENCHMARK(T4_fmt);
BENCHMARK(T4_snprintf);
BENCHMARK(D1_DEFORMAT);
BENCHMARK(D1_sscanf);
BENCHMARK(D17_DEFORMAT);
BENCHMARK(N_10_2_DEFORMAT);
BENCHMARK(N_10_2_sscanf);
BENCHMARK(N12_2_DEFORMAT);
BENCHMARK(T4_DEFORMAT);
