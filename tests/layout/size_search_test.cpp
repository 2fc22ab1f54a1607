#include "layout/size_search.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "layout/footprint.h"
#include "model/classic_random.h"

namespace tilvane {
namespace {

constexpr std::int32_t kSide = 160;

// Whether the build's own steps would place every image at w x h: each
// footprint as the steps make it, placed in an atlas of that size.
bool buildPlacesAll(const std::vector<Size>& images, const LayoutRules& rules, std::int32_t w,
                    std::int32_t h) {
    OccupancyIndex index;
    for (const Size& s : images) {
        const Size footprint = footprintOf(s, rules, {w, h});
        Rect r;
        if (!findPlacement(w, h, footprint.width, footprint.height, index, rules.placement, &r)) {
            return false;
        }
        index.add(r);
    }
    return true;
}

bool allowed(FitShape shape, std::int32_t w, std::int32_t h) {
    const bool pot = std::has_single_bit(static_cast<std::uint32_t>(w)) &&
                     std::has_single_bit(static_cast<std::uint32_t>(h));
    const bool needsPot = shape == FitShape::pot || shape == FitShape::potSquare;
    const bool needsSquare = shape == FitShape::square || shape == FitShape::potSquare;
    return (pot || !needsPot) && (w == h || !needsSquare);
}

// The smallest area, then the squarer, then the narrower, over every size.
std::optional<AtlasSize> exhaustiveBest(const std::vector<std::vector<bool>>& fits,
                                        const FitLimits& limits) {
    std::optional<AtlasSize> best;
    for (std::int32_t w = 1; w <= kSide; ++w) {
        for (std::int32_t h = 1; h <= kSide; ++h) {
            if (w < limits.minWidth || h < limits.minHeight || w > limits.maxWidth ||
                h > limits.maxHeight || !allowed(limits.shape, w, h) || !fits[w][h]) {
                continue;
            }
            const auto key = [](const AtlasSize& s) {
                return std::make_tuple(std::int64_t{s.width} * s.height,
                                       std::abs(s.width - s.height), s.width);
            };
            if (!best || key({w, h}) < key(*best)) best = AtlasSize{w, h};
        }
    }
    return best;
}

// Random small cases against every size up to 160 x 160: with a budget that
// covers every width the search finds the true optimum under each shape and
// limit; with a tight one (coarse to fine) it still finds a size that holds
// everything and honours the shape.
TEST(SizeSearch, AgreesWithAnExhaustiveSearch) {
    ClassicRandom random(7);
    auto between = [&](int lo, int hi) { return lo + random.next() % (hi - lo + 1); };
    for (int trial = 0; trial < 12; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        // Every fourth trial has a few images, no border and a wide spacing, so
        // that an atlas as tall or as wide as an image (its spacing left out)
        // is often the smallest.
        const bool few = trial % 4 == 0;
        std::vector<Size> images;
        const int count = few ? between(1, 4) : between(3, 30);
        for (int i = 0; i < count; ++i) images.push_back({between(1, 30), between(1, 30)});
        LayoutRules rules;
        rules.spacing = static_cast<std::uint32_t>(few ? between(1, 12) : between(0, 3));
        rules.placement.borderSize = static_cast<std::uint32_t>(few ? 0 : between(0, 2));
        if (trial % 3 == 2) rules.placement.gridAlignX = rules.placement.gridAlignY = 4;
        std::vector<std::vector<bool>> fits(kSide + 1, std::vector<bool>(kSide + 1, false));
        for (std::int32_t w = 1; w <= kSide; ++w) {
            for (std::int32_t h = 1; h <= kSide; ++h)
                fits[w][h] = buildPlacesAll(images, rules, w, h);
        }
        const FitLimits drawn[2] = {
            {FitShape::any, 1, 1, kSide, between(100, kSide)},
            {FitShape::any, between(1, 90), between(1, 90), kSide, between(100, kSide)}};
        for (const FitShape shape :
             {FitShape::any, FitShape::pot, FitShape::square, FitShape::potSquare}) {
            for (const bool withMinimum : {false, true}) {
                FitLimits limits = drawn[withMinimum];
                limits.shape = shape;
                SCOPED_TRACE("shape " + std::to_string(static_cast<int>(shape)) +
                             (withMinimum ? ", with a minimum" : ""));
                const std::optional<AtlasSize> expected = exhaustiveBest(fits, limits);
                for (const int threads : {1, 2}) {
                    EXPECT_EQ(findAtlasSize(images, rules, limits, {kSide, threads}), expected);
                }
                const std::optional<AtlasSize> coarse =
                    findAtlasSize(images, rules, limits, {8, 2});
                // Coarse, it may miss the optimum but never a size that holds all.
                EXPECT_EQ(coarse.has_value(), expected.has_value());
                if (coarse) {
                    EXPECT_TRUE(fits[coarse->width][coarse->height]);
                    EXPECT_TRUE(allowed(shape, coarse->width, coarse->height));
                }
            }
        }
    }
}

}  // namespace
}  // namespace tilvane
