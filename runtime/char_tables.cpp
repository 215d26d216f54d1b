#include "runtime/char_tables.h"

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
CharTables g_tables = CharTables::Defaults();
}

const CharTables& Chars() { return g_tables; }

void SetCharTables(const CharTables& tables) { g_tables = tables; }

} // namespace morvex
