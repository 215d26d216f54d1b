// Text ordering. With the default tables (weight = code, no digraphs) the
// case-sensitive comparisons reduce to comparing bytes, which is the fast
// path; otherwise each text is read through its digraph expansion and the
// characters are compared by weight.
#include "runtime/text_compare.h"

#include "runtime/char_tables.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace morvex {

namespace {

// Reads a text character by character, expanding digraphs; after the end it
// yields the pad character (0 for the terminating zero, or a blank).
class CharReader {
public:
    CharReader(std::string_view text, const CharTables& tables, TextCharset charset, uint8_t pad)
        : m_text(reinterpret_cast<const uint8_t*>(text.data())), m_end(m_text + text.size()), m_pad(pad),
          m_slots(charset == TextCharset::Oem ? tables.oem_digraph_slot.data() : tables.digraph_slot.data()),
          m_digraphs(charset == TextCharset::Oem ? tables.oem_digraphs.data() : tables.digraphs.data()) {}

    bool at_end() const { return m_text == m_end && m_pending == 0; }

    uint8_t next() {
        if (m_pending != 0) {
            const uint8_t c = m_pending;
            m_pending = 0;
            return c;
        }
        if (m_text == m_end)
            return m_pad;
        const uint8_t c = *m_text++;
        if (const uint8_t slot = m_slots[c]; slot != 0) {
            const Digraph& digraph = m_digraphs[slot - 1];
            m_pending = digraph.second;
            return digraph.first;
        }
        return c;
    }

private:
    const uint8_t* m_text;
    const uint8_t* m_end;
    uint8_t m_pad;
    uint8_t m_pending = 0;
    const uint8_t* m_slots;
    const Digraph* m_digraphs;
};

enum class Case { Sensitive, Blind };

// The general comparison; `limit` counts characters after expansion.
int compare(std::string_view a, std::string_view b, TextCharset charset, uint8_t pad, Case sensitivity,
            std::size_t limit) {
    const CharTables& tables = Chars();
    const auto& weights = charset == TextCharset::Oem ? tables.oem_collation : tables.collation;
    CharReader left(a, tables, charset, pad);
    CharReader right(b, tables, charset, pad);
    for (std::size_t compared = 0; compared < limit && !(left.at_end() && right.at_end()); ++compared) {
        uint8_t x = left.next();
        uint8_t y = right.next();
        if (sensitivity == Case::Blind) {
            x = ToUpperChar(x);
            y = ToUpperChar(y);
        }
        if (x != y)
            return weights[x] - weights[y];
    }
    return 0;
}

// Bytewise comparison of texts padded with `pad` to the longer one's length.
int compare_bytes(std::string_view a, std::string_view b, unsigned char pad) {
    const std::size_t common = std::min(a.size(), b.size());
    if (int order = common ? std::memcmp(a.data(), b.data(), common) : 0; order != 0)
        return order;
    const bool a_longer = a.size() > b.size();
    for (unsigned char c : (a_longer ? a : b).substr(common)) {
        if (c != pad)
            return a_longer ? c - pad : pad - c;
    }
    return 0;
}

constexpr std::size_t Unlimited = static_cast<std::size_t>(-1);

} // namespace

int CompareText(std::string_view a, std::string_view b, TextCharset charset) {
    // The shorter text continues with its terminating zero.
    if (charset == TextCharset::Windows && Chars().bytewise)
        return compare_bytes(a, b, 0);
    return compare(a, b, charset, 0, Case::Sensitive, Unlimited);
}

int CompareTextNoCase(std::string_view a, std::string_view b, std::size_t count, TextCharset charset) {
    return compare(a, b, charset, 0, Case::Blind, count);
}

int CompareStringValues(std::string_view a, std::string_view b, TextCharset charset) {
    if (charset == TextCharset::Windows && Chars().bytewise)
        return compare_bytes(a, b, ' ');
    return compare(a, b, charset, ' ', Case::Sensitive, Unlimited);
}

int CompareStringValuesNoCase(std::string_view a, std::string_view b, TextCharset charset) {
    return compare(a, b, charset, ' ', Case::Blind, Unlimited);
}

bool TextOrderIsBytewise() {
    return Chars().bytewise;
}

} // namespace morvex
