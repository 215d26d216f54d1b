// A fixed-length text field: N bytes of Windows-1252 text padded with blanks,
// laid out exactly as in a record, so records holding it copy byte for byte.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace morvex {

template <std::size_t N>
struct FixedText {
    char bytes[N];

    FixedText() { clear(); }
    FixedText(std::string_view text) { assign(text); }
    FixedText(const char* text) { assign(text); }

    // Copies text in, cut to N bytes and padded with blanks.
    void assign(std::string_view text) {
        const std::size_t length = std::min(text.size(), N);
        if (length > 0)
            std::memcpy(bytes, text.data(), length);
        std::memset(bytes + length, ' ', N - length);
    }
    void clear() { std::memset(bytes, ' ', N); }

    std::string_view view() const { return {bytes, N}; }
    // The text without its trailing blanks.
    std::string_view clipped() const {
        std::size_t length = N;
        while (length > 0 && bytes[length - 1] == ' ')
            --length;
        return {bytes, length};
    }
    bool blank() const { return clipped().empty(); }

    static constexpr std::size_t size() { return N; }
};

} // namespace morvex
