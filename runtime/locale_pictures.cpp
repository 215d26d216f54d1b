// The four locale pictures, built token by token from the "intl" settings:
// @T7 and @T8 from the clock settings, @D17 from the short date text and
// @D18 from the long date text. Letters of the date texts are matched
// without regard to case, so "DD/MM/YYYY" reads like "dd/MM/yyyy".
#include "runtime/ascii_case.h"
#include "runtime/date.h"
#include "runtime/picture_internal.h"

namespace morvex {

namespace {

using picture_detail::TokenSink;

constexpr std::string_view DefaultLongDate = "ddd', 'MMMM' 'dd', 'yyyy";

bool is_field_letter(char c) {
    const char l = AsciiLower(c);
    return l == 'm' || l == 'd' || l == 'y';
}

void finish_date(CompiledPicture& picture, const TokenSink& sink, uint8_t number) {
    picture.set_header(PictureKind::Date, PictureValueClass::DateOrTime, false, sink.count());
    picture.century_window = DefaultCenturyWindow;
    picture.number = number;
}

// The positions of the long date text outside single quotes, with a leading
// weekday ("ddd" or "dddd", not shown) left out.
class LongDateText {
public:
    explicit LongDateText(std::string_view text) : m_text(text) {
        std::size_t weekday = 0;
        while (weekday < text.size() && AsciiLower(text[weekday]) == 'd')
            ++weekday;
        m_start = weekday >= 3 ? weekday : 0;
    }

    // The first position at or after `from` holding `letter` outside quotes.
    std::size_t find(char letter, std::size_t from) const {
        bool quoted = false;
        for (std::size_t i = 0; i < m_text.size(); ++i) {
            if (m_text[i] == '\'')
                quoted = !quoted;
            else if (!quoted && i >= from && AsciiLower(m_text[i]) == letter)
                return i;
        }
        return std::string_view::npos;
    }
    // The first field letter outside quotes, 0 for none.
    char first_field() const {
        bool quoted = false;
        for (std::size_t i = 0; i < m_text.size(); ++i) {
            if (m_text[i] == '\'')
                quoted = !quoted;
            else if (!quoted && i >= m_start && is_field_letter(m_text[i]))
                return AsciiLower(m_text[i]);
        }
        return 0;
    }
    std::size_t start() const { return m_start; }
    std::string_view text() const { return m_text; }

private:
    std::string_view m_text;
    std::size_t m_start = 0;
};

// One field of the long date and the separator text that follows it: either
// one quoted segment or the unquoted characters up to the next field letter,
// quote or end.
void add_long_date_field(TokenSink& sink, const LongDateText& long_date, char letter) {
    const std::string_view text = long_date.text();
    const std::size_t at = long_date.find(letter, long_date.start());
    if (at == std::string_view::npos)
        return;
    std::size_t end = at;
    while (end < text.size() && AsciiLower(text[end]) == letter)
        ++end;
    const std::size_t letters = end - at;
    switch (letter) {
    case 'y':
        for (std::size_t k = 0; k < letters && k < 4; ++k)
            sink.add('0', TokenCode::YearDigit);
        break;
    case 'd':
        sink.add(letters >= 2 ? '0' : ' ', TokenCode::DayDigit);
        sink.add('0', TokenCode::DayDigit);
        break;
    default:
        if (letters <= 2) {
            sink.add(letters == 2 ? '0' : ' ', TokenCode::MonthDigit);
            sink.add('0', TokenCode::MonthDigit);
        } else {
            for (std::size_t k = 0; k < (letters == 3 ? 3u : 9u); ++k)
                sink.add(' ', TokenCode::MonthNameLetter);
        }
        break;
    }
    if (end < text.size() && text[end] == '\'') {
        const std::size_t close = text.find('\'', end + 1);
        const std::size_t stop = close == std::string_view::npos ? text.size() : close;
        sink.add(text.substr(end + 1, stop - end - 1), TokenCode::Separator);
        return;
    }
    while (end < text.size() && text[end] != '\'' && !is_field_letter(text[end]))
        sink.add(text[end++], TokenCode::Separator);
}

} // namespace

void BuildLocaleTimePicture(CompiledPicture& picture, bool with_seconds, int i_time, int i_tl_zero,
                            char separator) {
    picture = CompiledPicture{};
    TokenSink sink(picture);
    sink.add(i_tl_zero != 0 ? '0' : ' ', TokenCode::HourDigit);
    sink.add('0', TokenCode::HourDigit);
    sink.add(separator, TokenCode::Separator);
    sink.add("00", TokenCode::MinuteDigit);
    if (with_seconds) {
        sink.add(separator, TokenCode::Separator);
        sink.add("00", TokenCode::SecondDigit);
    }
    if (i_time == 0) {
        sink.add(' ', TokenCode::Literal);
        sink.add('X', TokenCode::AmPmLetter);
        sink.add('M', TokenCode::Literal);
    }
    picture.set_header(PictureKind::Time, PictureValueClass::DateOrTime, false, sink.count());
    picture.number = with_seconds ? 8 : 7;
}

// The separator is the character after the last "M" ("/" without one). When
// that character is itself a day or year letter, as in "yyyyMMdd", the
// fields stand side by side with no separator.
void BuildShortDatePicture(CompiledPicture& picture, std::string_view short_date) {
    picture = CompiledPicture{};
    auto contains = [&](std::string_view pair) {
        for (std::size_t i = 0; i + 1 < short_date.size(); ++i) {
            if (AsciiLower(short_date[i]) == pair[0] && AsciiLower(short_date[i + 1]) == pair[1])
                return true;
        }
        return false;
    };
    const bool day_zero = contains("dd");
    const bool month_zero = contains("mm");
    bool four_digit_year = false;
    for (std::size_t i = 0; i < short_date.size(); ++i) {
        if (AsciiLower(short_date[i]) == 'y') {
            four_digit_year = i + 2 < short_date.size() && AsciiLower(short_date[i + 1]) == 'y' &&
                              AsciiLower(short_date[i + 2]) == 'y';
            break;
        }
    }
    char separator = '/';
    bool has_separator = true;
    const std::size_t last_m = short_date.find_last_of("Mm");
    if (last_m != std::string_view::npos && last_m + 1 < short_date.size()) {
        separator = short_date[last_m + 1];
        has_separator = !is_field_letter(separator);
    }
    const char first = short_date.empty() ? 0 : AsciiLower(short_date[0]);

    TokenSink sink(picture);
    auto add_two = [&](bool leading_zero, TokenCode code) {
        sink.add(leading_zero ? '0' : ' ', code);
        sink.add('0', code);
    };
    auto add_day = [&] { add_two(day_zero, TokenCode::DayDigit); };
    auto add_month = [&] { add_two(month_zero, TokenCode::MonthDigit); };
    auto add_year = [&] { sink.add(four_digit_year ? "0000" : "00", TokenCode::YearDigit); };
    auto add_separator = [&] {
        if (has_separator)
            sink.add(separator, TokenCode::Separator);
    };
    if (first == 'd') {
        add_day(), add_separator(), add_month(), add_separator(), add_year();
    } else if (first == 'y') {
        add_year(), add_separator(), add_month(), add_separator(), add_day();
    } else {
        add_month(), add_separator(), add_day(), add_separator(), add_year();
    }
    finish_date(picture, sink, 17);
}

// The first field letter (after a leading weekday, which is not shown)
// decides the order; a text without one is replaced by the default. The day
// field is looked for after the weekday too, so "dddd, d MMMM yyyy" shows the
// day as " 5", not as the weekday's letters read as "dd".
void BuildLongDatePicture(CompiledPicture& picture, std::string_view long_date) {
    picture = CompiledPicture{};
    LongDateText text(long_date);
    char first = text.first_field();
    if (first == 0) {
        text = LongDateText(DefaultLongDate);
        first = text.first_field();
    }
    const char* order = first == 'y' ? "ymd" : first == 'd' ? "dmy" : "mdy";
    TokenSink sink(picture);
    for (int k = 0; k < 3; ++k)
        add_long_date_field(sink, text, order[k]);
    finish_date(picture, sink, 18);
}

} // namespace morvex
