#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "image/geometry.h"
#include "image/pixel_image.h"

namespace tilvane {

// The settings placement reads, as stored (unsigned). A grid step is active on
// its axis when, read as a signed 32-bit number, it is 2 or more.
struct PlacementSettings {
    std::uint32_t borderSize = 0;
    std::uint32_t gridAlignX = 0;
    std::uint32_t gridAlignY = 0;
};

// v rounded up to the next multiple of g when g > 1 and v is not one already
// (remainder with the sign of v); otherwise v.
std::int32_t roundUpToGrid(std::int32_t g, std::int32_t v);

// A search structure over the occupied rectangles, kept beside the build's
// occupiedRects and given every rectangle appended to it, in the same order.
class OccupancyIndex {
public:
    OccupancyIndex();
    ~OccupancyIndex();
    OccupancyIndex(OccupancyIndex&&) noexcept;
    OccupancyIndex& operator=(OccupancyIndex&&) noexcept;

    void clear();
    void add(const Rect& rect);
    std::size_t size() const;

    struct Impl;
    const Impl& impl() const { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

// The first position, smallest y first and then smallest x, where a footprint of
// fw x fh fits inside the border without sharing a pixel with any occupied
// rectangle, with grid alignment of start and extent. On success the slot holds
// the rectangle to occupy (footprint plus grid extension). False, slot untouched,
// when there is no output image or slot, fw <= 0, fh <= 0, or no position exists.
bool findPlacement(const PixelImage* output, std::int32_t fw, std::int32_t fh,
                   const OccupancyIndex& occupied, const PlacementSettings& settings,
                   Rect* result);

// The same answer by the plain scan over every pixel and every rectangle; for
// tests and benchmarks only.
bool findPlacementReference(const PixelImage* output, std::int32_t fw, std::int32_t fh,
                            const std::vector<Rect>& occupiedRects,
                            const PlacementSettings& settings, Rect* result);

}  // namespace tilvane
