// INSTRING searches long texts for longer words with a skip table (the
// distance from each character's last occurrence in the sought text to its
// end, at most 255); shorter words are found 16 positions at a time by their
// first and last characters, and only those candidates compared in full,
// in any text that holds one such block; texts too short for one compare
// each candidate by its first character, then in full.
#include "runtime/string_ops.h"

#include "runtime/char_tables.h"
#include "runtime/string_stack.h"
#include "runtime/text_compare.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace morvex {

namespace {

constexpr std::size_t SkipTableMinSought = 5;
constexpr std::size_t SkipTableMinText = 257;
// Below this length the skip table's jumps are too short to beat testing
// sixteen positions at once.
constexpr std::size_t BlockSearchMaxSought = 64;

std::string convert_case(std::string_view text, uint8_t from_class) {
    const CharTables& tables = Chars();
    std::string result(text);
    for (char& c : result) {
        const auto code = static_cast<uint8_t>(c);
        if ((tables.char_class[code] & from_class) && tables.case_partner[code] != 0)
            c = static_cast<char>(tables.case_partner[code]);
    }
    return result;
}

// Offset of the first match of `sought` (two characters or more) at or after
// `from`, or npos. Sixteen candidate positions are tested at once: a
// position is a candidate when the text holds the sought text's first
// character there and its last character m - 1 further on.
std::size_t block_search(std::string_view sought, std::string_view text, std::size_t from) {
    const std::size_t m = sought.size();
    const std::size_t last_start = text.size() - m;
    const char* data = text.data();
    std::size_t pos = from;
#if defined(__SSE2__)
    // Each character spread over the register from a general register: a
    // byte broadcast is otherwise built through the stack, and the wide load
    // of a byte just stored stalls, which costs more than a short search.
    const __m128i first = _mm_set1_epi32(static_cast<int>(static_cast<uint8_t>(sought[0]) * 0x01010101u));
    const __m128i last = _mm_set1_epi32(static_cast<int>(static_cast<uint8_t>(sought[m - 1]) * 0x01010101u));
    for (; pos + 15 <= last_start; pos += 16) {
        const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
        const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos + m - 1));
        auto candidates = static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(starts, first), _mm_cmpeq_epi8(ends, last))));
        while (candidates != 0) {
            const std::size_t at = pos + static_cast<std::size_t>(std::countr_zero(candidates));
            if (std::memcmp(data + at + 1, sought.data() + 1, m - 2) == 0)
                return at;
            candidates &= candidates - 1;
        }
    }
#endif
    for (; pos <= last_start; ++pos)
        if (data[pos] == sought[0] && std::memcmp(data + pos, sought.data(), m) == 0)
            return pos;
    return std::string_view::npos;
}

// Offset of the first match at or after `from`, or npos. The window's last
// character looks up its shift; 0 (the sought text's own last character)
// means the window is compared in full, and after a mismatch the window
// moves to the previous occurrence of that character in the sought text.
std::size_t skip_table_search(std::string_view sought, std::string_view text, std::size_t from) {
    const std::size_t m = sought.size();
    std::array<uint8_t, 256> shift;
    shift.fill(static_cast<uint8_t>(std::min<std::size_t>(m, 255)));
    for (std::size_t i = 0; i + 1 < m; ++i)
        shift[static_cast<uint8_t>(sought[i])] = static_cast<uint8_t>(std::min<std::size_t>(m - 1 - i, 255));
    const auto last = static_cast<uint8_t>(sought[m - 1]);
    const std::size_t after_mismatch = shift[last];
    shift[last] = 0;

    const auto* data = reinterpret_cast<const uint8_t*>(text.data());
    const std::size_t limit = text.size() - m; // last window start
    const uint8_t* window_end = data + m - 1;  // the window's last character is window_end[pos]
    for (std::size_t pos = from; pos <= limit;) {
        // Far from the end, four shifts of at most 255 cannot pass it, so they
        // need no bounds check in between.
        while (pos + 4 * 255 <= limit) {
            std::size_t step = shift[window_end[pos]];
            if (step == 0)
                break;
            pos += step;
            step = shift[window_end[pos]];
            if (step == 0)
                break;
            pos += step;
            step = shift[window_end[pos]];
            if (step == 0)
                break;
            pos += step;
            step = shift[window_end[pos]];
            if (step == 0)
                break;
            pos += step;
        }
        std::size_t step;
        while ((step = shift[window_end[pos]]) != 0) {
            pos += step;
            if (pos > limit)
                return std::string_view::npos;
        }
        if (std::memcmp(data + pos, sought.data(), m - 1) == 0)
            return pos;
        pos += after_mismatch;
    }
    return std::string_view::npos;
}

} // namespace

std::string UPPER(std::string_view text) {
    return convert_case(text, CharLower);
}

std::string LOWER(std::string_view text) {
    return convert_case(text, CharUpper);
}

std::string_view CLIP(std::string_view text) {
    std::size_t length = text.size();
    while (length > 0 && text[length - 1] == ' ')
        --length;
    return text.substr(0, length);
}

std::string_view SUB(std::string_view text, int32_t start, int32_t length) {
    const auto size = static_cast<int64_t>(text.size());
    int64_t offset = start < 0 ? std::max<int64_t>(0, start + size) : std::max<int64_t>(start, 1) - 1;
    offset = std::min(offset, size);
    const int64_t count = std::clamp<int64_t>(length, 0, size - offset);
    return text.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(count));
}

int32_t INSTRING(std::string_view sought, std::string_view text, int32_t step, int32_t start) {
    if (sought.empty() || start <= 0 || sought.size() > text.size())
        return 0;
    if (step == 0)
        step = static_cast<int32_t>(std::min<std::size_t>(sought.size(), INT32_MAX));
    const std::size_t m = sought.size();
    const std::size_t last_start = text.size() - m; // 0-based
    const auto first = static_cast<std::size_t>(start - 1);
    if (first > last_start && step > 0)
        return 0;

    if (step < 0) {
        for (int64_t pos = std::min<int64_t>(first, last_start); pos >= 0; pos += step) {
            if (text.compare(static_cast<std::size_t>(pos), m, sought) == 0)
                return static_cast<int32_t>(pos + 1);
        }
        return 0;
    }

    std::size_t found = std::string_view::npos;
    if (step == 1 && m == 1) {
        const void* hit = std::memchr(text.data() + first, sought[0], text.size() - first);
        if (hit)
            found = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    } else if (step == 1 && m < BlockSearchMaxSought && text.size() - first >= m + 15) {
        found = block_search(sought, text, first);
    } else if (step == 1 && m >= SkipTableMinSought && text.size() >= SkipTableMinText) {
        found = skip_table_search(sought, text, first);
    } else {
        for (std::size_t pos = first; pos <= last_start; pos += static_cast<std::size_t>(step)) {
            if (text[pos] == sought[0] && std::memcmp(text.data() + pos, sought.data(), m) == 0) {
                found = pos;
                break;
            }
            if (last_start - pos < static_cast<std::size_t>(step))
                break;
        }
    }
    if (found == std::string_view::npos)
        return 0;
    return static_cast<int32_t>(step == 1 ? found + 1 : found / static_cast<std::size_t>(step) + 1);
}

int32_t LEN(std::string_view text) {
    return static_cast<int32_t>(text.size());
}

void StackUPPER() {
    StringStack& stack = Strings();
    stack.replace_top(UPPER(stack.top()));
}

void StackLOWER() {
    StringStack& stack = Strings();
    stack.replace_top(LOWER(stack.top()));
}

void StackCLIP() {
    StringStack& stack = Strings();
    // The entry keeps its text; only its length shrinks.
    stack.narrow_top(0, CLIP(stack.top()).size());
}

void StackSUB(int32_t start, int32_t length) {
    StringStack& stack = Strings();
    const std::string_view text = stack.top();
    const std::string_view part = SUB(text, start, length);
    stack.narrow_top(static_cast<std::size_t>(part.data() - text.data()), part.size());
}

int32_t StackINSTRING(int32_t step, int32_t start) {
    StringStack& stack = Strings();
    const int32_t position = INSTRING(stack.peek(1), stack.peek(0), step, start);
    stack.pop();
    stack.pop();
    return position;
}

int32_t StackLEN() {
    StringStack& stack = Strings();
    const int32_t length = LEN(stack.top());
    stack.pop();
    return length;
}

int StackCompare() {
    StringStack& stack = Strings();
    const int order = CompareStringValues(stack.peek(1), stack.peek(0));
    stack.pop();
    stack.pop();
    return order;
}

int StackCompareNoCase(std::size_t count) {
    StringStack& stack = Strings();
    const int order = CompareTextNoCase(stack.peek(1), stack.peek(0), count);
    stack.pop();
    stack.pop();
    return order;
}

} // namespace morvex
