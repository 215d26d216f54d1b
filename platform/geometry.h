// Points, sizes and rectangles in pixels. A rectangle holds its left and top
// edges and excludes its right and bottom ones, as on Win32.
#pragma once

#include <algorithm>

namespace morvex::platform {

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    static constexpr Rect FromSize(int x, int y, int width, int height) {
        return {x, y, x + width, y + height};
    }
    constexpr int width() const { return right - left; }
    constexpr int height() const { return bottom - top; }
    constexpr bool empty() const { return right <= left || bottom <= top; }
    constexpr bool contains(Point point) const {
        return point.x >= left && point.x < right && point.y >= top && point.y < bottom;
    }
    constexpr Rect offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    // The common part; empty (all zero) when there is none.
    constexpr Rect intersect(const Rect& other) const {
        const Rect result{std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
                          std::min(bottom, other.bottom)};
        return result.empty() ? Rect{} : result;
    }
    // The smallest rectangle holding both; an empty one adds nothing.
    constexpr Rect unite(const Rect& other) const {
        if (empty())
            return other;
        if (other.empty())
            return *this;
        return {std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
                std::max(bottom, other.bottom)};
    }
    bool operator==(const Rect&) const = default;
};

} // namespace morvex::platform
