#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "layout/footprint.h"
#include "layout/geometry.h"
#include "layout/size_search.h"

namespace tilvane {

// Where the packer put one sprite of a page.
struct SpriteSlot {
    // The rectangle the sprite occupies, as findPlacement gives one: the
    // footprint (ring and spacing, turned when the sprite is) with its grid
    // extension. Meaningful only when placed.
    Rect occupied;
    bool placed = false;
    // The sprite lies a quarter turn from its own orientation: its width runs
    // along the atlas's y axis.
    bool turned = false;
};

// The maximal rectangles packer. It keeps every maximal free rectangle of the
// atlas (inside the border, on the grid) and puts each sprite, in the order
// tried, at the top-left corner of the free rectangle that a heuristic scores
// best, then splits the free rectangles it covers. The heuristics are best
// short side fit, best long side fit, best area fit, bottom-left and contact
// point; the orders are by area, by longest side, by perimeter (each largest
// first, the given order breaking ties) and the given order itself. A layout
// tries the pairs of them that its budget allows (maxRectsTrials), on
// `threads` threads, and keeps the one that places the most sprites, then
// whose placed rectangles reach the least area from the atlas's corner, then
// the first in its fixed list, so the answer never depends on the threads.
// Footprints follow footprintOf for the atlas, in either orientation when the
// rules allow turning. Sizes are the sprites' placed (trimmed) sizes; one slot
// per sprite, in their order.
std::vector<SpriteSlot> maxRectsLayout(std::span<const Size> sprites, const LayoutRules& rules,
                                       Size atlas, int threads);

// How many heuristic and order pairs a layout of that many sprites tries: all
// twenty for a few hundred, fewer as the sprites grow (each pair costs about
// the sprites times the free rectangles), at least two.
int maxRectsTrials(std::size_t sprites);

// Whether a sprite alone finds a place in an empty atlas of that size.
bool maxRectsFitsAlone(Size sprite, const LayoutRules& rules, Size atlas);

// An atlas size chosen for the sprites and their layout in it.
struct FittedLayout {
    AtlasSize size;
    std::vector<SpriteSlot> places;
};

// The smallest atlas within the limits, of their shape, in which maxRectsLayout
// places every sprite, with that layout (the very one maxRectsLayout gives at
// that size): the least area found, then the squarer, then the narrower. The
// search estimates candidate widths' heights by packing into strips as tall
// as the limits allow, then confirms the smallest candidates with the layout
// itself (maxrects.cpp says how). Empty when no size it tries holds them all
// (also for no sprites or limits that hold no size).
std::optional<FittedLayout> maxRectsFit(std::span<const Size> sprites, const LayoutRules& rules,
                                        const FitLimits& limits, int threads);

}  // namespace tilvane
