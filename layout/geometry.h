#pragma once

#include <cstdint>

namespace tilvane {

// An inclusive rectangle in top-down pixel coordinates: a w x h block whose
// top-left pixel is (x, y) is {x, y, x + w - 1, y + h - 1}.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;

    std::int32_t width() const { return right - left + 1; }
    std::int32_t height() const { return bottom - top + 1; }

    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
    std::int32_t width = 0;
    std::int32_t height = 0;

    friend bool operator==(const Size&, const Size&) = default;
};

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;

    friend bool operator==(const Point&, const Point&) = default;
};

}  // namespace tilvane
