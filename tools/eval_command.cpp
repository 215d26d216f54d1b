// morvex eval: compiles and evaluates one expression, with variables bound
// from the command line, and prints its value.
#include "platform/local_clock.h"
#include "runtime/ascii_case.h"
#include "runtime/date.h"
#include "runtime/decimal.h"
#include "runtime/error_state.h"
#include "runtime/evaluator.h"
#include "runtime/number_text.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/locale_option.h"
#include "tools/text_arguments.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace morvex::tools {

namespace {

constexpr std::string_view EvalUsage =
    "usage: morvex eval [OPTIONS] EXPR\n"
    "\n"
    "Compiles EXPR, evaluates it and prints its value: numbers without padding,\n"
    "text with its trailing blanks removed. Exit status 1, with the runtime error\n"
    "number and text, when EXPR does not compile.\n"
    "\n"
    "  --bind NAME=VALUE[:TYPE]  binds NAME to a variable holding VALUE. TYPE is\n"
    "                  LONG (default for whole numbers), REAL (default for other\n"
    "                  numbers), STRING (default for text; STRING(n) for n bytes),\n"
    "                  SHORT, USHORT, BYTE, ULONG, SREAL, CSTRING(n), PSTRING(n),\n"
    "                  DATE (YYYY-MM-DD or a standard date), TIME (HH:MM[:SS] or a\n"
    "                  standard time), DECIMAL(n,d) or PDECIMAL(n,d) (n digits, d\n"
    "                  after the point; stored rounded half away from zero)\n"
    "  --raw           print text values with their trailing blanks\n"
    "  --truth         print 1 or 0: the value taken as a truth value\n"
    "  --today DATE    TODAY() is DATE (YYYY-MM-DD), which also sets the current\n"
    "                  year for two-digit years\n"
    "  --env FILE      apply this environment file (default: the one beside the tool)\n"
    "  --help          this text\n"
    "  --              ends the options (for an expression that starts with '-')\n"
    "\n"
    "Text is read and printed as UTF-8 and held as Windows-1252, so LEN('M\xC3\xBCller')\n"
    "is 6; a character outside that set is refused.\n"
    "\n"
    "Examples:\n"
    "  morvex eval \"FORMAT(1234.5, @N10.2)\"                    ->   1,234.50\n"
    "  morvex eval --today 2001-08-20 \"FORMAT(TODAY() + 30, @D2)\"\n"
    "  morvex eval --bind CUS:NAME=Miller --bind CUS:START=2001-08-20:DATE \\\n"
    "      --truth \"CUS:START = DATE(8, 20, 2001) AND UPPER(CUS:NAME) >= 'M'\"  -> 1\n";

int usage_error(std::ostream& err, std::string_view message) {
    return UsageError(err, "eval", message);
}

constexpr OptionSpec EvalOptions[] = {
    {"--bind", true}, {"--raw"}, {"--truth"}, {"--today", true}, {"--env", true, "an environment file"}};

template <typename T>
std::optional<T> parse_number(std::string_view text) {
    T value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<int32_t> parse_iso_date(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    auto year = parse_number<int32_t>(text.substr(0, 4));
    auto month = parse_number<int32_t>(text.substr(5, 2));
    auto day = parse_number<int32_t>(text.substr(8, 2));
    if (!year || !month || !day || ValidateParts(*month, *day, *year) != 0)
        return std::nullopt;
    return PartsToDate(DateParts{*year, static_cast<uint8_t>(*day), static_cast<uint8_t>(*month)});
}

std::optional<int32_t> parse_time(std::string_view text) {
    if (auto number = parse_number<int32_t>(text))
        return *number;
    if (text.size() != 5 && text.size() != 8)
        return std::nullopt;
    auto hour = parse_number<int32_t>(text.substr(0, 2));
    auto minute = parse_number<int32_t>(text.substr(3, 2));
    auto second = text.size() == 8 ? parse_number<int32_t>(text.substr(6, 2)) : std::optional<int32_t>(0);
    if (!hour || !minute || !second || text[2] != ':' || (text.size() == 8 && text[5] != ':'))
        return std::nullopt;
    const int32_t time = PartsToTime(TimeParts{static_cast<uint8_t>(*hour), static_cast<uint8_t>(*minute),
                                               static_cast<uint8_t>(*second), 0});
    if (time < 0)
        return std::nullopt;
    return time == 0 ? 1 : time;
}

struct BindType {
    FieldType type = FieldType::End;
    uint32_t size = 0; // bytes for the sized types, 0 for "as long as the value"
    uint32_t digits = 0;
    uint8_t decimals = 0;
};

std::optional<BindType> parse_type(std::string_view text) {
    std::string name = AsciiUpper(text);
    std::string_view arguments;
    if (auto open = name.find('('); open != std::string::npos) {
        if (name.back() != ')')
            return std::nullopt;
        arguments = std::string_view(name).substr(open + 1, name.size() - open - 2);
        name.resize(open);
    }
    struct Named {
        const char* name;
        FieldType type;
    };
    const Named names[] = {
        {"LONG", FieldType::Long},       {"SHORT", FieldType::Short},      {"USHORT", FieldType::UShort},
        {"BYTE", FieldType::Byte},       {"ULONG", FieldType::ULong},      {"SREAL", FieldType::SReal},
        {"REAL", FieldType::Real},       {"DATE", FieldType::Date},        {"TIME", FieldType::Time},
        {"STRING", FieldType::String},   {"CSTRING", FieldType::CString},  {"PSTRING", FieldType::PString},
        {"DECIMAL", FieldType::Decimal}, {"PDECIMAL", FieldType::PDecimal}};
    BindType bind_type;
    for (const Named& named : names) {
        if (name == named.name)
            bind_type.type = named.type;
    }
    if (bind_type.type == FieldType::End)
        return std::nullopt;
    const bool decimal = bind_type.type == FieldType::Decimal || bind_type.type == FieldType::PDecimal;
    if (decimal) {
        const std::size_t comma = arguments.find(',');
        auto digits = parse_number<uint32_t>(arguments.substr(0, comma));
        auto places = comma == std::string_view::npos ? std::optional<uint32_t>(0)
                                                      : parse_number<uint32_t>(arguments.substr(comma + 1));
        if (!digits || !places || *digits < 1 || *digits > 31 || *places > *digits)
            return std::nullopt;
        bind_type.digits = *digits;
        bind_type.decimals = static_cast<uint8_t>(*places);
        bind_type.size = *digits / 2 + 1;
    } else if (!arguments.empty()) {
        auto size = parse_number<uint32_t>(arguments);
        if (!size || !IsTextType(bind_type.type) || *size < 1 || *size > 65535)
            return std::nullopt;
        bind_type.size = *size;
    } else if (IsTextType(bind_type.type) && bind_type.type != FieldType::String) {
        return std::nullopt; // CSTRING and PSTRING need their size
    }
    return bind_type;
}

// Stores a number text into DECIMAL or PDECIMAL storage through the decimal
// accumulator, as the program stores into such a field: rounded half away
// from zero to the field's places. A value whose integer digits (after
// rounding) do not fit is refused rather than taken modulo the field.
bool pack_decimal(std::string_view text, const BindType& bind_type, std::vector<uint8_t>& storage) {
    if (!IsNumberText(text))
        return false;
    DecimalStack& decimals = Decimals();
    decimals.push_text(text);
    decimals.round(bind_type.decimals);
    const DecimalAccumulator& value = decimals.top();
    const int integer_digits =
        value.is_zero() || value.high < DecimalUnits ? 0 : value.high - DecimalUnits + 1;
    if (integer_digits > static_cast<int>(bind_type.size * 2 - 1 - bind_type.decimals)) {
        decimals.pop();
        return false;
    }
    storage.assign(bind_type.size, 0);
    if (bind_type.type == FieldType::PDecimal)
        decimals.store_pdecimal(storage.data(), bind_type.size, bind_type.decimals);
    else
        decimals.store_decimal(storage.data(), bind_type.size, bind_type.decimals);
    return true;
}

template <typename T>
bool store(std::optional<T> value, std::vector<uint8_t>& storage) {
    if (!value)
        return false;
    storage.resize(sizeof(T));
    std::memcpy(storage.data(), &*value, sizeof(T));
    return true;
}

// Makes the variable's storage from the value text; false if it does not fit the type.
bool make_storage(std::string_view value, const BindType& bind_type, std::vector<uint8_t>& storage) {
    switch (bind_type.type) {
    case FieldType::Long:
        return store(parse_number<int32_t>(value), storage);
    case FieldType::Short:
        return store(parse_number<int16_t>(value), storage);
    case FieldType::UShort:
        return store(parse_number<uint16_t>(value), storage);
    case FieldType::Byte:
        return store(parse_number<uint8_t>(value), storage);
    case FieldType::ULong:
        return store(parse_number<uint32_t>(value), storage);
    case FieldType::SReal:
        return store(parse_number<float>(value), storage);
    case FieldType::Real:
        return store(parse_number<double>(value), storage);
    case FieldType::Date: {
        std::optional<int32_t> date = parse_iso_date(value);
        if (!date)
            date = parse_number<int32_t>(value);
        return date && store(std::optional(LongToDate(*date)), storage);
    }
    case FieldType::Time: {
        const std::optional<int32_t> time = parse_time(value);
        return time && store(std::optional(LongToTime(*time)), storage);
    }
    case FieldType::String:
        storage.assign(bind_type.size ? bind_type.size : std::max<std::size_t>(value.size(), 1), ' ');
        std::memcpy(storage.data(), value.data(), std::min(value.size(), storage.size()));
        return true;
    case FieldType::CString:
        storage.assign(bind_type.size, 0);
        std::memcpy(storage.data(), value.data(), std::min(value.size(), storage.size() - 1));
        return true;
    case FieldType::PString: {
        storage.assign(bind_type.size, 0);
        const std::size_t length = std::min<std::size_t>({value.size(), storage.size() - 1, 255});
        storage[0] = static_cast<uint8_t>(length);
        std::memcpy(storage.data() + 1, value.data(), length);
        return true;
    }
    case FieldType::Decimal:
    case FieldType::PDecimal:
        return pack_decimal(value, bind_type, storage);
    default:
        return false;
    }
}

// The type a value gets without one: LONG for whole numbers, REAL for other
// numbers, else STRING.
BindType default_type(std::string_view value) {
    if (parse_number<int32_t>(value))
        return {FieldType::Long};
    if (!value.empty() && value.find_first_not_of("0123456789+-.eE") == std::string_view::npos &&
        parse_number<double>(value))
        return {FieldType::Real};
    return {FieldType::String};
}

struct Binding {
    std::string name;
    std::vector<uint8_t> storage;
    BindType bind_type;
};

// NAME=VALUE[:TYPE]; the part after the last ':' is a type only when it names one.
std::optional<Binding> parse_binding(std::string_view text, std::string& problem) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        problem = "--bind needs NAME=VALUE, not '" + Utf8Text(text) + "'";
        return std::nullopt;
    }
    Binding binding;
    binding.name = std::string(text.substr(0, equals));
    std::string_view value = text.substr(equals + 1);
    std::optional<BindType> bind_type;
    if (const std::size_t colon = value.rfind(':'); colon != std::string_view::npos) {
        const std::string_view suffix = value.substr(colon + 1);
        bind_type = parse_type(suffix);
        if (bind_type) {
            value = value.substr(0, colon);
        } else if (suffix.find('(') != std::string_view::npos ||
                   parse_type(suffix.substr(0, suffix.find('('))) ||
                   parse_type(std::string(suffix) + "(1)")) {
            problem = "'" + Utf8Text(suffix) + "' is not a complete type";
            return std::nullopt;
        }
    }
    binding.bind_type = bind_type ? *bind_type : default_type(value);
    if (!make_storage(value, binding.bind_type, binding.storage)) {
        problem = "the value '" + Utf8Text(value) + "' does not fit the type of " + Utf8Text(binding.name);
        return std::nullopt;
    }
    return binding;
}

// Restores the clock and the scope however the command ends.
struct CommandState {
    bool clock_set = false;
    ~CommandState() {
        POPSCOPE();
        if (clock_set) {
            platform::set_local_clock({});
            ResetCurrentYearCache();
        }
    }
};

} // namespace

int run_eval(Arguments args, std::ostream& out, std::ostream& err) {
    std::string problem;
    const std::optional<CommandLine> line = ParseCommandLine(args, EvalOptions, problem);
    if (!line)
        return usage_error(err, problem);
    if (line->help) {
        out << EvalUsage;
        return 0;
    }
    if (line->operands.empty())
        return usage_error(err, "EXPR is required");
    if (line->operands.size() > 1)
        return usage_error(err, "one expression only (quote it)");
    const std::optional<std::string> expression_text = WindowsText(line->operands[0], problem);
    if (!expression_text)
        return usage_error(err, problem);
    const bool raw = line->has("--raw");
    const bool truth = line->has("--truth");

    std::optional<int32_t> today;
    if (const std::optional<std::string_view> value = line->value("--today")) {
        today = parse_iso_date(*value);
        if (!today)
            return usage_error(err, "--today needs a date YYYY-MM-DD, not '" + std::string(*value) + "'");
    }
    std::deque<Binding> bindings;
    for (const GivenOption& option : line->options) {
        if (option.name != "--bind")
            continue;
        const std::optional<std::string> text = WindowsText(option.value, problem);
        std::optional<Binding> binding = text ? parse_binding(*text, problem) : std::nullopt;
        if (!binding)
            return usage_error(err, problem);
        bindings.push_back(std::move(*binding));
    }
    if (const int status = SetUpLocale(line->value("--env"), "eval", err); status != 0)
        return status;

    PUSHSCOPE();
    CommandState state;
    if (today) {
        DateParts parts;
        DateToParts(*today, parts);
        platform::set_local_clock(
            [parts] { return platform::LocalDateTime{parts.year, parts.month, parts.day, 12, 0, 0, 0}; });
        ResetCurrentYearCache();
        state.clock_set = true;
    }
    for (Binding& binding : bindings) {
        const BoundVariable variable{binding.bind_type.type, binding.storage.data(),
                                     static_cast<uint32_t>(binding.storage.size()),
                                     binding.bind_type.decimals, 1};
        if (!BIND(binding.name, variable))
            return usage_error(err, "cannot bind the name '" + Utf8Text(binding.name) + "'");
    }

    std::unique_ptr<Expression> expression = Expression::Compile(*expression_text);
    if (!expression) {
        err << "morvex eval: error " << ErrorCode() << ": " << Utf8Text(ErrorText()) << "\n";
        return 1;
    }
    if (truth) {
        out << (expression->as_truth() ? "1" : "0") << "\n";
        return 0;
    }
    std::string_view text = expression->as_text();
    if (!raw) {
        while (!text.empty() && text.back() == ' ')
            text.remove_suffix(1);
    }
    out << Utf8Text(text) << "\n";
    return 0;
}

} // namespace morvex::tools
