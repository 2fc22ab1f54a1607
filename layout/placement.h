#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "layout/geometry.h"

namespace tilvane {

// The settings placement reads, as stored (unsigned). A grid step is active on
// its axis when, read as a signed 32-bit number, it is 2 or more.
struct PlacementSettings {
    std::uint32_t borderSize = 0;
    std::uint32_t gridAlignX = 0;
    std::uint32_t gridAlignY = 0;
};

// v rounded up to the next multiple of g when g > 1 and v is not one already
// (remainder with the sign of v); otherwise v. A multiple above INT32_MAX is not
// representable; the result then saturates at INT32_MAX.
std::int32_t roundUpToGrid(std::int32_t g, std::int32_t v);

class OccupancyIndex;

// Whether a footprint of fw x fh may start at `at` in a width x height atlas,
// as findPlacement could answer it: the start on the grid and inside the
// border, the rectangle (footprint plus grid extension) inside the border.
// On success the slot holds that rectangle; false, slot untouched, otherwise.
bool placementAt(std::int32_t width, std::int32_t height, std::int32_t fw, std::int32_t fh,
                 Point at, const PlacementSettings& settings, Rect* result);

// The first position, smallest y first and then smallest x, where a footprint of
// fw x fh fits inside the border of a width x height atlas without sharing a
// pixel with any occupied rectangle, with grid alignment of start and extent.
// The atlas need not exist, so layouts can be tried at many sizes. On success
// the slot holds the rectangle to occupy (footprint plus grid extension).
// False, slot untouched, when there is no slot, a side or fw or fh is not
// positive, or no position exists. A borderSize of 2^31 or more (negative as a
// signed number) finds no position, so a result always lies inside the atlas.
bool findPlacement(std::int32_t width, std::int32_t height, std::int32_t fw, std::int32_t fh,
                   const OccupancyIndex& occupied, const PlacementSettings& settings, Rect* result);

// A search structure over the occupied rectangles, kept beside the build's
// occupiedRects and given every rectangle appended to it, in the same order.
// Its memory grows with the rectangles' rows and column runs, never with the
// atlas size, beyond a fixed cache of at most 256 KiB. Searches keep caches in
// it, so two searches on one index must not run at the same time. A moved-from
// index is empty and usable.
class OccupancyIndex {
public:
    OccupancyIndex();
    ~OccupancyIndex();
    OccupancyIndex(OccupancyIndex&&) noexcept;
    OccupancyIndex& operator=(OccupancyIndex&&) noexcept;

    void clear();
    // Any rectangle is accepted; one with left > right or top > bottom (which
    // findPlacement never returns) makes later searches fall back to the plain scan.
    void add(const Rect& rect);
    std::size_t size() const;

    struct Impl;

private:
    friend bool findPlacement(std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                              const OccupancyIndex&, const PlacementSettings&, Rect*);
    std::unique_ptr<Impl> impl_;
};

// The same answer by the plain scan over every pixel and every rectangle (it
// only stops a row, or the search, once a right or bottom edge has passed its
// limit); for tests and benchmarks only. Its time grows with the atlas area
// times the number of rectangles.
bool findPlacementReference(std::int32_t width, std::int32_t height, std::int32_t fw,
                            std::int32_t fh, const std::vector<Rect>& occupiedRects,
                            const PlacementSettings& settings, Rect* result);

}  // namespace tilvane
