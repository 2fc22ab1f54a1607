#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "layout/footprint.h"
#include "layout/geometry.h"
#include "layout/maxrects.h"
#include "layout/page_plan.h"
#include "layout/placement.h"

namespace tilvane {

// Places footprints one after the other into the free room of one atlas,
// around rectangles taken before. First-fit is one; another packer plugs in
// through PackerFactory.
class FreeSpacePacker {
public:
    virtual ~FreeSpacePacker() = default;
    // Marks a rectangle as taken; the caller has made sure it is free.
    virtual void occupy(const Rect& rect) = 0;
    // Finds room for a footprint, upright or (when `turned` is given and the
    // packer turns sprites) turned, and takes it; false, slots untouched, when
    // there is none.
    virtual bool place(Size upright, std::optional<Size> turned, Rect* occupied,
                       bool* isTurned) = 0;
};

// A packer for an empty atlas of the given size, with the border and grid.
using PackerFactory =
    std::function<std::unique_ptr<FreeSpacePacker>(Size atlas, const PlacementSettings&)>;

// The build's own placement (findPlacement over an OccupancyIndex); it never
// turns a sprite.
std::unique_ptr<FreeSpacePacker> makeFirstFitPacker(Size atlas, const PlacementSettings& settings);

// Where a sprite lay in an earlier layout: its page, the footprint it had
// there (turned when the sprite was) and where that footprint started.
struct EarlierPlacement {
    std::size_t page = 0;
    Size footprint;
    Point at;
    bool turned = false;
};

// An earlier layout, matched to this run's sprites: its page sizes, and for
// each sprite of the run (in the run's order) where it lay, if it did.
struct EarlierLayout {
    std::vector<Size> pages;
    std::vector<std::optional<EarlierPlacement>> sprites;
};

// The layout of a run that keeps an earlier one: the pages (sizes, sprites
// and, per sprite of a page, its slot, as planPages gives them for a packer
// that lays out a page at once). Aliases (which follow their leader) and
// sprites no atlas of the maximum size holds (which fail on the first page,
// as in any build) have a slot that is not placed.
struct StablePlan {
    SizingPlan sizing;
    // Sprites left where they were, and those placed into free room.
    std::size_t kept = 0;
    std::size_t placed = 0;
};

// Why an earlier layout was not kept.
enum class StableRefusal {
    // Its page sizes are not sizes this run may have (another size, shape or
    // limit; more pages than one without pages).
    otherSizes,
    // A placement it gives for a sprite whose footprint did not change is one
    // placement could not have made: off the grid, outside the border or the
    // atlas, or overlapping another.
    broken,
    // The sprites that are new or changed do not all fit beside the kept ones.
    noRoom,
};

struct StableResult {
    std::optional<StablePlan> plan;
    StableRefusal refusal = StableRefusal::noRoom;
};

// Keeps an earlier layout where it still holds: every sprite that takes room
// (leaders[k] == k, as for planPages) and whose footprint on its earlier
// page is the one it had (turned only while the rules let sprites turn)
// stays at its earlier place; every other sprite,
// in the run's order, goes into the free room of the first page, in page
// order, where the packer finds it some, around the kept ones. A sprite that
// no atlas of the maximum size holds by itself takes no room and stays on the
// first page. Deterministic: the same sprites, leaders and earlier layout
// give the same plan. Empty plan with the refusal when the earlier page sizes
// do not suit the request (with fit, within the limits and of the shape;
// without, the maximum; more than one page only with pages, and no more pages
// than sprites), a kept placement
// is broken, or a sprite finds no room; the caller then plans afresh.
StableResult planStableLayout(std::span<const Size> sprites, std::span<const std::size_t> leaders,
                              const EarlierLayout& earlier, const LayoutRules& rules,
                              const PlanRequest& request,
                              const PackerFactory& packer = makeFirstFitPacker);

// Whether any two of the rectangles share a pixel; n log n.
bool anyOverlap(std::span<const Rect> rects);

}  // namespace tilvane
