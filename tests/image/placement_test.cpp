#include "image/placement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace tilvane {
namespace {

using MaybeRect = std::optional<Rect>;

std::string describe(const MaybeRect& r) {
    if (!r) return "no place";
    // Appended piece by piece: g++ 12 warns falsely on "(" + std::string at -O3.
    std::string text = "(";
    for (const std::int32_t v : {r->left, r->top, r->right})
        text.append(std::to_string(v)).append(", ");
    return text.append(std::to_string(r->bottom)).append(")");
}

// Both placements over the same run, appended to as the build appends.
struct PlacementRun {
    ImagePtr output;
    PlacementSettings settings;
    std::vector<Rect> occupiedRects;
    OccupancyIndex index;

    PlacementRun(std::int32_t width, std::int32_t height, PlacementSettings s)
        : output(createPixelImage(width, height)), settings(s) {}

    MaybeRect reference(std::int32_t fw, std::int32_t fh) const {
        Rect r{-7, -7, -7, -7};
        if (!findPlacementReference(output.get(), fw, fh, occupiedRects, settings, &r)) {
            EXPECT_EQ(r, (Rect{-7, -7, -7, -7})) << "slot written on failure";
            return std::nullopt;
        }
        return r;
    }
    MaybeRect production(std::int32_t fw, std::int32_t fh) const {
        Rect r{-7, -7, -7, -7};
        if (!findPlacement(output.get(), fw, fh, index, settings, &r)) {
            EXPECT_EQ(r, (Rect{-7, -7, -7, -7})) << "slot written on failure";
            return std::nullopt;
        }
        return r;
    }
    void append(const Rect& r) {
        occupiedRects.push_back(r);
        index.add(r);
    }
};

struct Footprint {
    std::int32_t fw;
    std::int32_t fh;
    MaybeRect expected;
};

struct PlacementCase {
    const char* name;
    std::int32_t width;
    std::int32_t height;
    PlacementSettings settings;
    std::vector<Footprint> sequence;
    std::vector<Rect> occupied = {};  // already in the list before the sequence
};

// Hostile settings and sizes included: both placements refuse them alike
// and never answer a rectangle outside the image.
TEST(Placement, ExamplesAndHostileArguments) {
    constexpr std::int32_t kMax = 0x7FFFFFFF;
    const std::vector<PlacementCase> cases = {
        {"first image at the origin", 64, 64, {}, {{10, 7, Rect{0, 0, 9, 6}}}},
        {"footprint exactly the atlas", 64, 48, {}, {{64, 48, Rect{0, 0, 63, 47}}}},
        {"one column wider than the atlas", 64, 48, {}, {{65, 48, std::nullopt}}},
        {"four quarters then no place",
         64,
         64,
         {},
         {{32, 32, Rect{0, 0, 31, 31}},
          {32, 32, Rect{32, 0, 63, 31}},
          {32, 32, Rect{0, 32, 31, 63}},
          {32, 32, Rect{32, 32, 63, 63}},
          {32, 32, std::nullopt}}},
        {"border 2, largest fitting", 64, 64, {2, 0, 0}, {{60, 60, Rect{2, 2, 61, 61}}}},
        {"border 2, right edge on the limit", 64, 64, {2, 0, 0}, {{61, 10, std::nullopt}}},
        {"grid 4 rounds border 5 up to column 8", 64, 64, {5, 4, 0}, {{3, 3, Rect{8, 5, 11, 7}}}},
        {"grid 4, edge on a multiple is not extended", 6, 6, {0, 4, 0}, {{5, 1, Rect{0, 0, 4, 0}}}},
        {"grid 4, extended edge leaves the atlas", 6, 6, {0, 4, 0}, {{6, 1, std::nullopt}}},
        {"grid 4, next image after the extension",
         64,
         64,
         {0, 4, 0},
         {{6, 4, Rect{0, 0, 7, 3}}, {4, 4, Rect{8, 0, 11, 3}}}},
        {"vertical grid extends the bottom", 8, 6, {0, 0, 4}, {{2, 5, Rect{0, 0, 1, 4}}}},
        {"adjoining footprints do not collide",
         10,
         1,
         {},
         {{5, 1, Rect{0, 0, 4, 0}}, {5, 1, Rect{5, 0, 9, 0}}, {1, 1, std::nullopt}}},
        {"one shared pixel collides, adjoining does not",
         10,
         2,
         {},
         {{5, 2, Rect{5, 0, 9, 1}}, {4, 2, Rect{0, 0, 3, 1}}},
         {Rect{4, 1, 4, 1}}},
        {"a later smaller image still fits",
         10,
         10,
         {},
         {{8, 8, Rect{0, 0, 7, 7}}, {5, 5, std::nullopt}, {2, 10, Rect{8, 0, 9, 9}}}},
        {"border 2^31", 16, 16, {0x80000000u, 0, 0}, {{1, 1, std::nullopt}}},
        {"border 2^32 - 1", 16, 16, {0xFFFFFFFFu, 0, 0}, {{1, 1, std::nullopt}}},
        {"border above the atlas", 16, 16, {17, 0, 0}, {{1, 1, std::nullopt}}},
        {"border 2^31 - 1", 16, 16, {0x7FFFFFFFu, 0, 0}, {{1, 1, std::nullopt}}},
        {"half the atlas is border", 16, 16, {8, 0, 0}, {{1, 1, std::nullopt}}},
        {"widest footprint", 16, 16, {}, {{kMax, 1, std::nullopt}}},
        {"tallest footprint", 16, 16, {}, {{1, kMax, std::nullopt}}},
        {"widest footprint with a grid", 16, 16, {0, 7, 7}, {{kMax, kMax, std::nullopt}}},
        {"zero width", 16, 16, {}, {{0, 1, std::nullopt}}},
        {"negative height", 16, 16, {}, {{1, -3, std::nullopt}}},
        {"largest grid step", 16, 16, {0, 0x7FFFFFFFu, 0}, {{3, 3, std::nullopt}}},
        {"grid 2^31 reads negative, so inactive",
         16,
         16,
         {1, 0x80000000u, 0},
         {{3, 3, Rect{1, 1, 3, 3}}}},
        {"huge grid with a border", 16, 16, {1, 0x7FFFFFFFu, 0}, {{3, 3, std::nullopt}}},
    };
    for (const PlacementCase& c : cases) {
        SCOPED_TRACE(c.name);
        PlacementRun run(c.width, c.height, c.settings);
        for (const Rect& r : c.occupied) run.append(r);
        for (const Footprint& step : c.sequence) {
            const MaybeRect ref = run.reference(step.fw, step.fh);
            const MaybeRect prod = run.production(step.fw, step.fh);
            EXPECT_EQ(describe(ref), describe(step.expected)) << "reference";
            EXPECT_EQ(describe(prod), describe(step.expected)) << "production";
            if (ref) run.append(*ref);
        }
    }
}

TEST(Placement, RoundUpToGrid) {
    struct Case {
        std::int32_t g, v, expected;
    };
    const Case cases[] = {
        {4, 5, 8},
        {4, 8, 8},
        {4, 0, 0},
        {0, 5, 5},
        {1, 5, 5},
        {-4, 5, 5},
        {7, 1, 7},
        {4, -5, 0},                   // remainder -1 takes the sign of v
        {4, 0x7FFFFFFF, 0x7FFFFFFF},  // 2^31 is not representable
    };
    for (const Case& c : cases) {
        EXPECT_EQ(roundUpToGrid(c.g, c.v), c.expected) << c.g << ", " << c.v;
    }
}

// Rectangles the placement never returns still give the scan's answer.
TEST(Placement, ForeignRectanglesMatchTheScan) {
    const std::vector<Rect> foreign = {
        {-5, -5, 2, 1},                    // partly outside the atlas
        {0, 4, 9, 4},                      // overlaps the next one
        {1, 1, 1, 5},   {20, -3, 30, 30},  // wholly outside
        {2, 7, 8, 8},   {0, 8, 11, 8},     // overlap each other after searches
        {6, 0, 3, 9},                      // left > right: only a candidate straddling it collides
    };
    // Searched after every rectangle, so that the later ones change rows whose
    // free columns a search has already worked out.
    PlacementRun run(12, 12, {});
    for (std::size_t n = 0; n < foreign.size(); ++n) {
        run.append(foreign[n]);
        for (std::int32_t fw = 1; fw <= 12; ++fw) {
            for (std::int32_t fh = 1; fh <= 12; fh += 3) {
                EXPECT_EQ(describe(run.production(fw, fh)), describe(run.reference(fw, fh)))
                    << n + 1 << " rects, " << fw << " x " << fh;
            }
        }
    }
}

#if defined(TILVANE_SANITIZED)
// The sanitizers slow the plain scan about fourfold.
constexpr int kDifferentialSequences = 10000;
#else
constexpr int kDifferentialSequences = 20000;
#endif

// The production placement against the plain scan on random runs; the
// reference's answer is what gets appended. Some runs change the settings at
// every step (what a search works out for one setting must not leak into
// another), some are shaped like a real build: footprints sorted largest area
// first into a roomier atlas, where the search prunes the most.
TEST(Placement, MatchesReferenceOnRandomSequences) {
    std::mt19937 rng(20240611u);
    auto pick = [&](std::uint32_t n) { return static_cast<std::int32_t>(rng() % n); };
    const std::uint32_t gridSteps[] = {0, 1, 2, 3, 4, 7, 8};
    auto randomSettings = [&](std::int32_t side) {
        PlacementSettings s;
        s.borderSize = pick(12) == 0 ? static_cast<std::uint32_t>(side + 1)
                                     : static_cast<std::uint32_t>(pick(6));
        s.gridAlignX = gridSteps[pick(7)];
        s.gridAlignY = gridSteps[pick(7)];
        return s;
    };
    for (int sequence = 0; sequence < kDifferentialSequences; ++sequence) {
        const bool sorted = sequence % 1500 == 0, changing = !sorted && sequence % 15 == 1;
        const std::int32_t width = sorted ? 200 + pick(200) : 1 + pick(300);
        const std::int32_t height = sorted ? width : 1 + pick(300);
        const int band = pick(100);
        const std::int32_t length = sorted      ? 250
                                    : band < 70 ? 1 + pick(10)
                                    : band < 93 ? 11 + pick(50)
                                                : 61 + pick(140);
        // Footprint scale: many small images, some large, some beyond the atlas.
        const std::int32_t scale = sorted ? (sequence % 6000 == 4500 ? 1 : 8) : 1 << pick(4);
        const std::int32_t maxW = std::max(1, width / scale) + (scale == 1 ? 3 : 0);
        const std::int32_t maxH = std::max(1, height / scale) + (scale == 1 ? 3 : 0);
        std::vector<std::pair<std::int32_t, std::int32_t>> sizes(static_cast<std::size_t>(length));
        for (auto& [fw, fh] : sizes) {
            fw = 1 + pick(static_cast<std::uint32_t>(maxW));
            fh = 1 + pick(static_cast<std::uint32_t>(maxH));
        }
        if (sorted) {
            std::stable_sort(sizes.begin(), sizes.end(), [](const auto& a, const auto& b) {
                return a.first * a.second > b.first * b.second;
            });
        }
        PlacementRun run(width, height, randomSettings(std::max(width, height)));
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            if (changing) run.settings = randomSettings(std::max(width, height));
            const auto [fw, fh] = sizes[i];
            const MaybeRect ref = run.reference(fw, fh);
            ASSERT_EQ(describe(run.production(fw, fh)), describe(ref))
                << "sequence " << sequence << " step " << i << ": atlas " << width << " x "
                << height << ", border " << run.settings.borderSize << ", grid "
                << run.settings.gridAlignX << " x " << run.settings.gridAlignY << ", footprint "
                << fw << " x " << fh;
            if (ref) run.append(*ref);
        }
    }
}

}  // namespace
}  // namespace tilvane
