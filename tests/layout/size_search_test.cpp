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
        if (!findPlacement(w, h, footprint.width, footprint.height, index, rules.placement, &r))
            return false;
        index.add(r);
    }
    return true;
}

bool allowed(FitShape shape, std::int32_t w, std::int32_t h) {
    const bool pot = std::has_single_bit(unsigned(w)) && std::has_single_bit(unsigned(h));
    return (pot || shape == FitShape::any || shape == FitShape::square) &&
           (w == h || shape == FitShape::any || shape == FitShape::pot);
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
// limit, and with any budget the rectangles a build gives at its size. (With a tight budget, as for
// large maxima, tilvane-pack's property test checks that the size holds everything and honours the
// shape.)
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
        for (std::int32_t w = 1; w <= kSide; ++w)
            for (std::int32_t h = 1; h <= kSide; ++h)
                fits[w][h] = buildPlacesAll(images, rules, w, h);
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
                // Every width, and the coarse scan of a small budget (whose
                // answer does not depend on the threads either): the images'
                // rectangles come with the size, as a build places them.
                std::optional<AtlasSize> coarse;
                for (const SearchBudget budget : {SearchBudget{kSide, 1}, SearchBudget{kSide, 2},
                                                  SearchBudget{6, 1}, SearchBudget{6, 3}}) {
                    std::vector<Rect> placed, built;
                    const std::optional<AtlasSize> found =
                        findAtlasSize(images, rules, limits, budget, &placed);
                    if (budget.replays == kSide) {
                        EXPECT_EQ(found, expected);
                    } else if (budget.threads == 1) {
                        coarse = found;
                    } else {
                        EXPECT_EQ(found, coarse);
                    }
                    if (!found) continue;
                    firstFitPlaced(images, rules, found->width, found->height, &built);
                    EXPECT_EQ(placed, built);
                }
            }
        }
    }
}

// Limits that hold no size of their shape are refused, with the reason; those
// that hold one (however few) are not. The search agrees: a single pixel
// finds a size exactly when the limits are not refused. (tilvane-pack's test
// pins the texts of a minimum width above its maximum, of widths without a
// power of two and of limits without a square.)
TEST(SizeSearch, LimitsWithoutASizeOfTheirShapeAreRefused) {
    using enum FitShape;
    struct Row {
        FitLimits limits;     // shape, min width, min height, max width, max height
        const char* refusal;  // after "no atlas size between AxB and CxD"; empty: accepted
    };
    const Row rows[] = {
        {{any, 1, 1, 8192, 8192}, ""},
        {{any, 1, 9, 8, 8}, ": the minimum height is above the maximum"},
        {{any, 1, 1, 0, 64}, ": a side is at least 1"},
        {{any, 0, 1, 64, 64}, ": a side is at least 1"},
        {{any, 1, 1, 2147483648, 64}, ": a side is at most 2147483647"},
        {{any, 1, 1, 2147483647, 2147483647}, ""},
        {{pot, 1, 65, 8, 127},
         " has power-of-two sides: no power of two lies between the heights 65 and 127"},
        {{pot, 128, 64, 128, 64}, ""},
        {{square, 200, 1, 8192, 200}, ""},
        // Each range holds a power of two, but not one both hold.
        {{potSquare, 100, 1, 200, 100},
         " is a square with a power-of-two side: no power of two lies both between the widths "
         "100 and 200 and between the heights 1 and 100"},
        {{potSquare, 100, 1, 8192, 128}, ""},
    };
    const std::vector<Size> images = {{1, 1}};
    for (const Row& r : rows) {
        const FitLimits& l = r.limits;
        const std::string none = std::string("no atlas size between ") +
                                 std::to_string(l.minWidth) + "x" + std::to_string(l.minHeight) +
                                 " and " + std::to_string(l.maxWidth) + "x" +
                                 std::to_string(l.maxHeight);
        SCOPED_TRACE(none);
        EXPECT_EQ(fitLimitsRefusal(l).value_or(""), *r.refusal ? none + r.refusal : "");
        EXPECT_EQ(findAtlasSize(images, {}, l).has_value(), !*r.refusal);
    }
}

}  // namespace
}  // namespace tilvane
