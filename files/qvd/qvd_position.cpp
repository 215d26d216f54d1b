#include "files/qvd/qvd_position.h"

namespace morvex::qvd {

namespace {
constexpr std::string_view Magic = "QV";
constexpr size_t FixedBytes = 2 + 1 + 2 + 4;
} // namespace

std::string FormatPosition(const PositionText& position) {
    std::string text(Magic);
    text += static_cast<char>(position.order);
    text += static_cast<char>(position.value.size() >> 8);
    text += static_cast<char>(position.value.size() & 0xFF);
    text.append(position.value.begin(), position.value.end());
    for (int shift = 24; shift >= 0; shift -= 8)
        text += static_cast<char>(position.record >> shift);
    return text;
}

std::optional<PositionText> ParsePosition(std::string_view text) {
    if (text.size() < FixedBytes || text.substr(0, 2) != Magic)
        return std::nullopt;
    auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
    PositionText position;
    position.order = byte(2);
    const size_t length = size_t{byte(3)} << 8 | byte(4);
    if (text.size() < FixedBytes + length)
        return std::nullopt;
    if (position.order == 0 && length != 0)
        return std::nullopt;
    position.value.assign(text.begin() + 5, text.begin() + 5 + static_cast<std::ptrdiff_t>(length));
    const size_t at = 5 + length;
    position.record =
        uint32_t{byte(at)} << 24 | uint32_t{byte(at + 1)} << 16 | uint32_t{byte(at + 2)} << 8 | byte(at + 3);
    return position;
}

} // namespace morvex::qvd
