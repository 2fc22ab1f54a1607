#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tilvane {

// The point a sprite turns and is placed about, as fractions of its source
// image's size: 0,0 the top-left corner, 1,1 the bottom-right one. Values
// outside 0..1 are allowed (a pivot beside the sprite), within kMaxPivot.
struct Pivot {
    double x = 0;
    double y = 0;

    friend bool operator==(const Pivot&, const Pivot&) = default;
};

// The largest pivot coordinate taken, either sign.
inline constexpr double kMaxPivot = 1000;

// Nine-slice borders in source pixels: the columns at the left and right and
// the rows at the top and bottom that keep their size when the sprite stretches.
struct Borders {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t right = 0;
    std::uint32_t bottom = 0;

    friend bool operator==(const Borders&, const Borders&) = default;
};

// The largest border taken: the largest image side any decoder accepts.
inline constexpr std::uint32_t kMaxBorder = 32768;

// What --sprite-data says of one image; each value is optional.
struct SpriteValues {
    std::optional<Pivot> pivot;
    std::optional<Borders> borders;

    friend bool operator==(const SpriteValues&, const SpriteValues&) = default;
};

// A pivot as typed on the command line, "X,Y": two decimal numbers (a sign,
// digits, a point, an exponent), white space around each ignored. Empty for
// anything else, a value beyond kMaxPivot, infinities and NaN included.
std::optional<Pivot> parsePivotText(std::string_view text);

// The text parsePivotText reads back as the same pivot (shortest round trip).
std::string pivotText(const Pivot& pivot);

// Whether the borders leave the source image a middle of at least nothing:
// left + right within the width, top + bottom within the height.
bool bordersFit(const Borders& borders, std::uint32_t width, std::uint32_t height);

}  // namespace tilvane
