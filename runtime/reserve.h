// Capacity for one more element, grown geometrically, so that a following
// push_back or insert cannot throw. Operations that must leave their data
// unchanged when memory runs out reserve everything first, then modify.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace morvex {

template <typename T>
void reserve_one_more(std::vector<T>& items) {
    if (items.size() == items.capacity())
        items.reserve(std::max<std::size_t>(8, items.capacity() * 2));
}

} // namespace morvex
