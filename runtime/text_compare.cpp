// Until collation tables are installed, a character's weight is its code.
#include "runtime/text_compare.h"

#include <algorithm>
#include <cstring>

namespace morvex {

int CompareStringValues(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    if (common > 0) {
        if (int order = std::memcmp(a.data(), b.data(), common); order != 0)
            return order;
    }
    // The longer text continues; compare its tail against blanks.
    const bool a_longer = a.size() > b.size();
    std::string_view tail = (a_longer ? a : b).substr(common);
    for (unsigned char c : tail) {
        if (c != ' ') {
            int order = static_cast<int>(c) - ' ';
            return a_longer ? order : -order;
        }
    }
    return 0;
}

bool TextOrderIsBytewise() {
    return true;
}

} // namespace morvex
