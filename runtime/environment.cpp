// The start-up step of the locale: the "intl" values and the environment
// file beside the executable. The file is key=value lines; values decode
// <nnn> character codes, become a list of quoted items, and each known key
// replaces one of the runtime's tables.
#include "platform/charset.h"
#include "platform/file_contents.h"
#include "platform/intl.h"
#include "runtime/ascii_case.h"
#include "runtime/char_tables.h"
#include "runtime/error_numbers.h"
#include "runtime/error_state.h"
#include "runtime/leading_integer.h"
#include "runtime/locale.h"
#include "runtime/locale_state.h"
#include "runtime/message_table.h"

#include <algorithm>
#include <array>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

namespace morvex {

namespace {

constexpr std::size_t MaxKeyLength = 31;
constexpr std::size_t MaxValueLength = 1024;
constexpr std::size_t MaxListedValue = 395;
constexpr std::size_t MaxQuotedValue = 400;
constexpr char EndOfFile = 26; // Ctrl-Z

// The value's items: text between blanks and commas, a quoted item with ""
// standing for one quote.
std::vector<std::string> read_items(std::string_view list) {
    std::vector<std::string> items;
    std::size_t i = 0;
    auto separator = [](char c) { return c == ' ' || c == ','; };
    while (true) {
        while (i < list.size() && separator(list[i]))
            ++i;
        if (i == list.size())
            break;
        std::string item;
        if (list[i] == '"') {
            for (++i; i < list.size(); ++i) {
                if (list[i] == '"') {
                    if (i + 1 < list.size() && list[i + 1] == '"') {
                        item += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += list[i];
            }
        } else {
            while (i < list.size() && !separator(list[i]))
                item += list[i++];
        }
        items.push_back(std::move(item));
    }
    return items;
}

// A raw value as a quoted list: each comma separates items (unless the whole
// value is one item), quotes inside are doubled.
std::string quote_items(std::string_view value, bool one_item) {
    std::string list = "\"";
    for (char c : value) {
        if (c == ',' && !one_item)
            list += "\",\"";
        else if (c == '"')
            list += "\"\"";
        else
            list += c;
    }
    list += '"';
    return list;
}

void apply_collation(CharTables& tables, std::string_view sequence) {
    auto build = [](std::array<uint8_t, 256>& weights, std::string_view raw) {
        for (int c = 0; c < 256; ++c)
            weights[c] = static_cast<uint8_t>(c);
        std::string unique;
        std::array<bool, 256> seen{};
        for (char c : raw) {
            const auto code = static_cast<uint8_t>(c);
            if (!seen[code]) {
                seen[code] = true;
                unique += c;
            }
        }
        if (unique.size() == raw.size() && unique.size() == 222) {
            for (std::size_t i = 0; i < unique.size(); ++i)
                weights[static_cast<uint8_t>(unique[i])] =
                    static_cast<uint8_t>(i < 95 ? 32 + i : 128 + (i - 95));
            return;
        }
        // The listed characters share the weights of their own codes, in order.
        std::size_t next = 0;
        for (int code = 0; code < 256; ++code) {
            if (seen[code])
                weights[static_cast<uint8_t>(unique[next++])] = static_cast<uint8_t>(code);
        }
    };
    build(tables.collation, sequence);
    build(tables.oem_collation, platform::windows_to_oem(sequence));
}

void apply_case_pairs(CharTables& tables, const std::vector<std::string>& items) {
    const CharTables defaults = CharTables::Defaults();
    for (int c = 128; c < 256; ++c) {
        tables.case_partner[c] = defaults.case_partner[c];
        tables.char_class[c] = defaults.char_class[c];
    }
    if (items.empty() || items[0].empty())
        return; // the ASCII-only default
    std::string upper;
    std::string lower;
    if (items.size() >= 2 && !EqualsIgnoringAsciiCase(items[0], "WINDOWS") &&
        items[0].size() == items[1].size()) {
        upper = items[0];
        lower = items[1];
    } else {
        for (int c = 128; c < 256; ++c) {
            if (platform::is_upper_letter(static_cast<uint8_t>(c))) {
                upper += static_cast<char>(c);
                lower += static_cast<char>(platform::lower_of(static_cast<uint8_t>(c)));
            }
        }
    }
    for (std::size_t i = 0; i < upper.size(); ++i) {
        const auto u = static_cast<uint8_t>(upper[i]);
        const auto l = static_cast<uint8_t>(lower[i]);
        if (u < 128 || l < 128)
            continue;
        tables.case_partner[u] = l;
        tables.char_class[u] = CharUpper;
        tables.case_partner[l] = u;
        tables.char_class[l] = CharLower;
    }
}

void apply_digraphs(CharTables& tables, const std::vector<std::string>& items) {
    tables.digraph_count = 0;
    for (const std::string& item : items) {
        for (std::size_t i = 0; i + 3 <= item.size() && tables.digraph_count < MaxDigraphs; i += 3) {
            const auto c = [&](std::size_t k) { return static_cast<uint8_t>(item[i + k]); };
            tables.digraphs[tables.digraph_count] = Digraph{c(0), c(1), c(2)};
            tables.oem_digraphs[tables.digraph_count] =
                Digraph{platform::windows_to_oem(c(0)), platform::windows_to_oem(c(1)),
                        platform::windows_to_oem(c(2))};
            ++tables.digraph_count;
        }
    }
}

// Replaces names in order, each cut to `width`; an empty item ends the list.
void apply_names(std::array<std::string, 12>& names, const std::vector<std::string>& items,
                 std::size_t width) {
    for (std::size_t i = 0; i < items.size() && i < names.size() && !items[i].empty(); ++i)
        names[i] = items[i].substr(0, width);
}

void apply_value(std::string_view key, std::string_view value) {
    LocaleState& state = Locale();
    const bool is_collation = EqualsIgnoringAsciiCase(key, "MVXCOLSEQ");
    // MVXMSG followed by the message number and nothing else.
    const LeadingInteger message =
        key.size() > 6 && EqualsIgnoringAsciiCase(key.substr(0, 6), "MVXMSG")
            ? ReadLeadingInteger(key.substr(6), {.limit = INT32_MAX, .sign = false, .blanks = {}})
            : LeadingInteger{};
    const bool is_message = message.found() && message.length == key.size() - 6;

    std::string list = !value.empty() && value.front() == '"'
                           ? std::string(value.substr(0, MaxQuotedValue))
                           : quote_items(value.substr(0, MaxListedValue), is_collation || is_message);
    if (state.oem_charset && !is_collation)
        list = platform::oem_to_windows(list);
    const std::vector<std::string> items = read_items(list);
    const std::string first = items.empty() ? std::string() : items[0];

    if (is_message) {
        state.message_overrides.emplace_back(static_cast<int>(message.value), first);
    } else if (EqualsIgnoringAsciiCase(key, "MVXCHARSET")) {
        state.oem_charset = EqualsIgnoringAsciiCase(first, "OEM");
    } else if (is_collation) {
        CharTables tables = Chars();
        if (EqualsIgnoringAsciiCase(first, "WINDOWS")) {
            const auto order = platform::one_character_sort_order();
            apply_collation(tables, std::string(order.begin(), order.end()));
        } else {
            apply_collation(tables, first);
        }
        SetCharTables(tables);
    } else if (EqualsIgnoringAsciiCase(key, "MVXCASE")) {
        CharTables tables = Chars();
        apply_case_pairs(tables, items);
        SetCharTables(tables);
    } else if (EqualsIgnoringAsciiCase(key, "MVXMONTH")) {
        apply_names(state.month_names, items, 12);
    } else if (EqualsIgnoringAsciiCase(key, "MVXMON")) {
        apply_names(state.month_abbreviations, items, 3);
    } else if (EqualsIgnoringAsciiCase(key, "MVXAMPM")) {
        if (EqualsIgnoringAsciiCase(first, "WINDOWS")) {
            state.runtime_am = state.locale_am;
            state.runtime_pm = state.locale_pm;
        } else {
            if (!items.empty())
                state.runtime_am = items[0].substr(0, 2);
            if (items.size() > 1)
                state.runtime_pm = items[1].substr(0, 2);
        }
    } else if (EqualsIgnoringAsciiCase(key, "MVXDIGRAPH")) {
        CharTables tables = Chars();
        apply_digraphs(tables, items);
        SetCharTables(tables);
    } else if (EqualsIgnoringAsciiCase(key, "MVXBUTTON")) {
        for (std::size_t i = 0; i < items.size() && i < state.button_captions.size(); ++i) {
            if (!items[i].empty())
                state.button_captions[i] = items[i];
        }
    } else if (EqualsIgnoringAsciiCase(key, "MVXLFN")) {
        state.long_file_names = EqualsIgnoringAsciiCase(first, "on");
    }
    // Any other key is ignored.
}

// Decodes <nnn> character codes and "<<" in a raw value.
std::string decode_value(std::string_view raw) {
    std::string value;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '<' || i + 1 == raw.size()) {
            value += raw[i];
        } else if (raw[i + 1] == '<') {
            value += '<';
            ++i;
        } else if (const LeadingInteger code =
                       ReadLeadingInteger(raw.substr(i + 1), {.limit = 0xFFFF, .sign = false, .blanks = {}});
                   code.found()) {
            value += static_cast<char>(code.value & 0xFF);
            // The character that ended the number (such as '>') is consumed:
            // the loop's increment passes over it.
            i += 1 + code.length;
        } else {
            value += '<';
        }
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.pop_back();
    return value;
}

} // namespace

void ApplyEnvironmentText(std::string_view contents) {
    SetMessageOverride(&MessageReplacement);
    std::size_t i = 0;
    auto end_of_line = [&](char c) { return c == '\r' || c == '\n'; };
    while (i < contents.size() && contents[i] != EndOfFile) {
        if (end_of_line(contents[i])) {
            ++i;
            continue;
        }
        std::string key;
        bool too_long = false;
        while (i < contents.size() && contents[i] != '=' && static_cast<unsigned char>(contents[i]) >= 32) {
            if (contents[i] != ' ')
                key += contents[i];
            too_long = too_long || key.size() > MaxKeyLength;
            ++i;
        }
        const bool has_value = i < contents.size() && contents[i] == '=';
        if (has_value)
            ++i;
        const std::size_t value_start = i;
        while (i < contents.size() && !end_of_line(contents[i]) && contents[i] != EndOfFile)
            ++i;
        if (!has_value || too_long)
            continue;
        const std::string_view raw = contents.substr(value_start, std::min(i - value_start, MaxValueLength));
        apply_value(key, decode_value(raw));
    }
}

// A file that cannot be read (missing, a directory, unreadable) sets the
// system error and applies nothing; running out of memory part way sets 8.
bool ApplyEnvironmentFile(const std::string& path) {
    std::string contents;
    if (!platform::read_file_contents(path, contents)) {
        SetError(0);
        return false;
    }
    try {
        ApplyEnvironmentText(contents);
    } catch (const std::bad_alloc&) {
        SetError(ErrInsufficientMemory);
        return false;
    }
    return true;
}

std::string EnvironmentFilePathFor(std::string executable) {
    const std::size_t name = executable.find_last_of('/') + 1;
    const std::size_t dot = executable.find_last_of('.');
    if (dot != std::string::npos && dot >= name)
        executable.resize(dot);
    return executable + ".ENV";
}

std::string EnvironmentFilePath() {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0)
        return {};
    path.resize(static_cast<std::size_t>(length));
    return EnvironmentFilePathFor(std::move(path));
}

IntlSettings ReadIntlSettings() {
    IntlSettings settings;
    auto integer = [](const std::optional<std::string>& text, int fallback) {
        if (!text)
            return fallback;
        // As the profile's integer reader: leading digits, 0 without any.
        return static_cast<int>(std::strtol(text->c_str(), nullptr, 10));
    };
    auto text = [](const std::optional<std::string>& value, const std::string& fallback, std::size_t width) {
        return value ? value->substr(0, width) : fallback;
    };
    settings.iTime = integer(platform::read_intl_value("iTime"), settings.iTime);
    settings.iTLzero = integer(platform::read_intl_value("iTLzero"), settings.iTLzero);
    settings.sTime = text(platform::read_intl_value("sTime"), settings.sTime, 1);
    settings.s1159 = text(platform::read_intl_value("s1159"), settings.s1159, 2);
    settings.s2359 = text(platform::read_intl_value("s2359"), settings.s2359, 2);
    settings.sShortDate = text(platform::read_intl_value("sShortDate"), settings.sShortDate, 255);
    settings.sLongDate = text(platform::read_intl_value("sLongDate"), settings.sLongDate, 255);
    return settings;
}

void LoadLocaleAndEnvironment() {
    static bool loaded = false;
    if (loaded)
        return;
    loaded = true;
    ApplyLocale(ReadIntlSettings());
    ApplyEnvironmentFile(EnvironmentFilePath());
    ClearError();
    SetMessageOverride(&MessageReplacement);
}

} // namespace morvex
