#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "layout/geometry.h"
#include "layout/placement.h"

namespace tilvane {

// How sprites find their places: one after the other by the first-fit scan
// (the described placement), or all of a page at once by the maximal
// rectangles packer (layout/maxrects.h).
enum class Packer { firstFit, maxRects };

// Everything besides the atlas size and the sprites that decides a layout:
// the spacing and extrusion ring that enter each footprint, the border and
// grid that placement reads, the packer, and whether it may turn a sprite.
struct LayoutRules {
    std::uint32_t spacing = 0;
    // Pixels by which each sprite's edges are repeated outward on every side.
    std::uint32_t extrude = 0;
    PlacementSettings placement;
    Packer packer = Packer::firstFit;
    // The packer may place a sprite a quarter turn from its own orientation
    // (maxRects only).
    bool rotate = false;
};

// The size offered to placement on one axis for a side of `side` pixels in an
// atlas side of `atlasSide` pixels: the side plus the spacing, or the side
// alone when it fits the atlas by itself but not together with the spacing.
// Computed without wrapping: a sum beyond 2^31 - 1 is held at 2^31 - 1, which
// no atlas can take, so placement refuses it.
std::int32_t footprintSide(std::int32_t side, std::uint32_t spacing, std::int32_t atlasSide);

// A sprite grown by the extrusion ring on both ends of each axis, held at
// 2^31 - 1 rather than wrapped.
Size ringedSize(Size sprite, std::uint32_t extrude);

// The sprites as placement sees them before the spacing: each grown by the ring.
std::vector<Size> ringedSizes(std::span<const Size> sprites, std::uint32_t extrude);

// The one footprint rule: the sprite with its ring, then the spacing as
// footprintSide adds it in an atlas of atlas.width x atlas.height.
Size footprintOf(Size sprite, const LayoutRules& rules, Size atlas);

// Where a sprite's own pixels start inside the rectangle placement gave it.
inline Point spriteOrigin(const Rect& occupied, const LayoutRules& rules) {
    const auto ring = static_cast<std::int32_t>(rules.extrude);
    return {occupied.left + ring, occupied.top + ring};
}

}  // namespace tilvane
