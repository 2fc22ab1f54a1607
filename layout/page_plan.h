#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "layout/footprint.h"
#include "layout/maxrects.h"
#include "layout/size_search.h"

namespace tilvane {

// How a job chooses its atlas sizes beyond one fixed size.
struct PlanRequest {
    // Size each atlas with findAtlasSize within limits; without fit, every
    // atlas has the limits' maximum size.
    bool fit = false;
    // Sprites that one atlas of the maximum size does not hold go to further atlases.
    bool pages = false;
    FitLimits limits;
    // The search's replays run on this many threads; the plan does not depend on it.
    int threads = 1;
};

// One atlas: its size and the sprites it places, as indices into the sprites
// given to planPages, in their order. places is empty, or holds where each of
// them goes (one per sprite; an alias's is not placed: it shares its
// leader's). With the maxRects packer it is the page's layout. With first-fit
// it is filled when the plan has placed the page already (a size found by the
// search, or a page of the maximum size): each sprite where first-fit puts it
// when they are placed one after the other in that order, misfits taking no
// room, so that a build need not place them again while it places the very
// same sprites.
struct PagePlan {
    AtlasSize size;
    std::vector<std::size_t> sprites;
    std::vector<SpriteSlot> places;
};

struct SizingPlan {
    std::vector<PagePlan> pages;
    // fit was asked and some page's sprites found no size within the limits:
    // that page has the largest size of the asked shape.
    bool fitFailed = false;
};

// The pages for sprites of the given sizes, placed in the given order with the
// rules (by their packer). leaders[k] is k for a sprite that takes room of its
// own, or the index of an earlier sprite whose pixels it shares (an alias,
// which takes no room and goes on its leader's page). Without pages, one page
// holds every sprite. With pages, each page takes the leaders that the packer
// places at the maximum size (with fit, the largest size of the shape) from
// those the pages before it left, so each page is laid out as a
// build of its own sprites would lay it out. A sprite no atlas of the maximum
// size holds by itself stays on the first page, where it fails as it would in
// any build. With fit, each page gets the smallest size of the shape that
// holds its sprites; when none does, the largest size of the shape; a page
// with no sprite that can be placed gets the least size of the shape, so no
// large atlas is made to stay empty. The maxRects packer's size and layout of
// a page are maxRectsFit's (with fit) or maxRectsLayout's at the page's size.
SizingPlan planPages(std::span<const Size> sprites, std::span<const std::size_t> leaders,
                     const LayoutRules& rules, const PlanRequest& request);

// The largest and the least size of the limits' shape within them; each side
// at least 1. For limits that hold no size of the shape, the maximum.
AtlasSize largestOfShape(const FitLimits& limits);
AtlasSize leastOfShape(const FitLimits& limits);

}  // namespace tilvane
