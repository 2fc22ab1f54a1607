#include "layout/footprint.h"

#include <algorithm>
#include <limits>

namespace tilvane {

namespace {

constexpr std::int64_t kMaxSide = std::numeric_limits<std::int32_t>::max();

std::int32_t grown(std::int32_t side, std::uint32_t ring) {
    const std::int64_t sum = std::int64_t{side} + 2 * std::int64_t{ring};
    return static_cast<std::int32_t>(std::min(sum, kMaxSide));
}

}  // namespace

std::int32_t footprintSide(std::int32_t side, std::uint32_t spacing, std::int32_t atlasSide) {
    const std::int64_t sum = static_cast<std::int64_t>(side) + spacing;
    if (sum > atlasSide && side <= atlasSide) return side;
    return static_cast<std::int32_t>(std::min(sum, kMaxSide));
}

Size ringedSize(Size sprite, std::uint32_t extrude) {
    return {grown(sprite.width, extrude), grown(sprite.height, extrude)};
}

std::vector<Size> ringedSizes(std::span<const Size> sprites, std::uint32_t extrude) {
    std::vector<Size> ringed;
    ringed.reserve(sprites.size());
    for (const Size& s : sprites) ringed.push_back(ringedSize(s, extrude));
    return ringed;
}

Size footprintOf(Size sprite, const LayoutRules& rules, Size atlas) {
    const Size ringed = ringedSize(sprite, rules.extrude);
    return {footprintSide(ringed.width, rules.spacing, atlas.width),
            footprintSide(ringed.height, rules.spacing, atlas.height)};
}

}  // namespace tilvane
