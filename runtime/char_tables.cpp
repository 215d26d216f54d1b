#include "runtime/char_tables.h"

#include <algorithm>

namespace morvex {

CharTables CharTables::Defaults() {
    CharTables tables;
    for (int c = 0; c < 256; ++c) {
        tables.collation[c] = static_cast<uint8_t>(c);
        tables.oem_collation[c] = static_cast<uint8_t>(c);
    }
    for (int c = 'A'; c <= 'Z'; ++c) {
        tables.case_partner[c] = static_cast<uint8_t>(c - 'A' + 'a');
        tables.case_partner[c - 'A' + 'a'] = static_cast<uint8_t>(c);
        tables.char_class[c] = CharUpper;
        tables.char_class[c - 'A' + 'a'] = CharLower;
    }
    for (int c = '0'; c <= '9'; ++c)
        tables.char_class[c] = CharDigit;
    return tables;
}

namespace {

CharTables derive(CharTables tables) {
    tables.digraph_slot.fill(0);
    tables.oem_digraph_slot.fill(0);
    tables.digraph_count = std::min(tables.digraph_count, MaxDigraphs);
    // The first entry for a character wins.
    for (std::size_t i = tables.digraph_count; i-- > 0;) {
        tables.digraph_slot[tables.digraphs[i].character] = static_cast<uint8_t>(i + 1);
        tables.oem_digraph_slot[tables.oem_digraphs[i].character] = static_cast<uint8_t>(i + 1);
    }
    tables.bytewise = tables.digraph_count == 0;
    for (int c = 0; c < 256 && tables.bytewise; ++c)
        tables.bytewise = tables.collation[c] == c;
    return tables;
}

CharTables g_tables = derive(CharTables::Defaults());

} // namespace

const CharTables& Chars() {
    return g_tables;
}

void SetCharTables(const CharTables& tables) {
    g_tables = derive(tables);
}

} // namespace morvex
