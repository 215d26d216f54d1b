// The position text of POSITION, RESET and REGET. Callers treat it as opaque
// bytes; it may come back with blanks appended (the framework keeps it in a
// fixed-length string), so it carries its own lengths:
//   "QV", order (1 byte: 0 record order, else the key's number),
//   value length (2 bytes, big-endian), the key's value bytes,
//   record number (4 bytes, big-endian); anything after is ignored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvex::qvd {

struct PositionText {
    uint8_t order = 0;
    std::vector<uint8_t> value; // the key's value bytes, without the entry prefix
    uint32_t record = 0;
};

std::string FormatPosition(const PositionText& position);
// nullopt for a text that is not a position.
std::optional<PositionText> ParsePosition(std::string_view text);

} // namespace morvex::qvd
