#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "layout/footprint.h"
#include "layout/geometry.h"
#include "layout/placement.h"

namespace tilvane {

// What an atlas found by the tool may look like: any size, both sides powers of
// two, square, or a square whose side is a power of two.
enum class FitShape { any, pot, square, potSquare };

// The sizes the search may choose from, inclusive; a side outside 1..2^31 - 1
// is no size at all.
struct FitLimits {
    FitShape shape = FitShape::any;
    std::int64_t minWidth = 1;
    std::int64_t minHeight = 1;
    std::int64_t maxWidth = 8192;
    std::int64_t maxHeight = 8192;
};

// Why no size within the limits has their shape, in words ("no atlas size
// between 100x1 and 120x8192 has power-of-two sides: no power of two lies
// between the widths 100 and 120"); empty when some size does, whatever the
// images. A side is 1..2^31 - 1.
std::optional<std::string> fitLimitsRefusal(const FitLimits& limits);

// The atlas size chosen for a set of images, or for one page of them.
struct AtlasSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const AtlasSize&, const AtlasSize&) = default;
};

// How much a search may do. A replay is one placement of every image at one
// width; the search tries every candidate width while they number at most
// `replays`, and otherwise spends about that many on a coarse-to-fine scan.
// Up to `threads` replays run at once; the answer does not depend on it.
struct SearchBudget {
    int replays = 192;
    int threads = 1;
};

// The budget for a search over `images` images: its batches of two replays
// beyond the first (which the build reuses) should cost about a tenth of
// building them. 1 + 40 / sqrt(images) batches (4 replays for 1,000 images
// or more, 6 for 366, 28 for 10), on `threads` threads.
SearchBudget budgetFor(std::size_t images, int threads);

// True when the images, as placed one after the other in the given order by
// the build's steps (footprint rule and first-fit placement), all find a place
// in a width x height atlas. Sizes are the images' placed (trimmed) sizes.
bool placesAll(std::span<const Size> images, const LayoutRules& rules, std::int32_t width,
               std::int32_t height);

// Which of the images, placed one after the other in the given order as the
// build's steps place them, find a place in a width x height atlas (those that
// do not take no room). rects, when given, gets one rectangle per image: the
// one it occupies (as findPlacement gives it) when placed, else an empty Rect.
std::vector<bool> firstFitPlaced(std::span<const Size> images, const LayoutRules& rules,
                                 std::int32_t width, std::int32_t height,
                                 std::vector<Rect>* rects = nullptr);

// The smallest atlas size, within the limits and of the limits' shape, at which
// every image finds a place: the smallest area first, then the squarer, then
// the narrower. Empty when no allowed size holds them all (also for no images).
// Exact when the candidate widths fit the budget (every one is tried; success
// is not assumed to grow with the width); beyond it the scan is coarse to fine,
// as the definition explains, and may miss a smaller size. placed, when given
// and a size is found, gets the rectangle each image occupies at that size, in
// their order, as the build's steps would place them one after the other: the
// search has placed them already, so a build at that size need not.
std::optional<AtlasSize> findAtlasSize(std::span<const Size> images, const LayoutRules& rules,
                                       const FitLimits& limits, SearchBudget budget = {},
                                       std::vector<Rect>* placed = nullptr);

}  // namespace tilvane
