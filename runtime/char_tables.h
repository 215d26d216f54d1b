// The process-wide character tables: collation weights (for Windows and for
// OEM text), case partners, character classes and digraphs. They hold the
// defaults until the environment file changes them at start-up, and are only
// read afterwards.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace morvex {

enum CharClass : uint8_t {
    CharOther = 0,
    CharUpper = 1,
    CharLower = 2,
    CharDigit = 4,
};

// A character that sorts as two characters.
struct Digraph {
    uint8_t character = 0;
    uint8_t first = 0;
    uint8_t second = 0;
};

constexpr std::size_t MaxDigraphs = 16;

struct CharTables {
    std::array<uint8_t, 256> collation{};     // weight of each Windows character
    std::array<uint8_t, 256> oem_collation{}; // weight of each OEM character
    std::array<uint8_t, 256> case_partner{};  // other-case partner, 0 for none
    std::array<uint8_t, 256> char_class{};    // CharClass bits
    std::array<Digraph, MaxDigraphs> digraphs{};
    std::array<Digraph, MaxDigraphs> oem_digraphs{};
    std::size_t digraph_count = 0;
    // Derived by SetCharTables: each character's digraph slot + 1 (0 for
    // none) in the Windows and OEM tables, and whether text orders by bytes.
    std::array<uint8_t, 256> digraph_slot{};
    std::array<uint8_t, 256> oem_digraph_slot{};
    bool bytewise = true;

    // Weight = code, ASCII letters paired and classed, digits classed, no digraphs.
    static CharTables Defaults();
};

// The tables in force.
const CharTables& Chars();
// Replaces the tables (deriving the indexes above); start-up and tests only.
void SetCharTables(const CharTables& tables);

inline uint8_t ToUpperChar(uint8_t c) {
    const CharTables& tables = Chars();
    return (tables.char_class[c] & CharLower) && tables.case_partner[c] ? tables.case_partner[c] : c;
}
inline uint8_t ToLowerChar(uint8_t c) {
    const CharTables& tables = Chars();
    return (tables.char_class[c] & CharUpper) && tables.case_partner[c] ? tables.case_partner[c] : c;
}

} // namespace morvex
