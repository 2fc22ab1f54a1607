#include "image/placement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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

TEST(Placement, DescribedExamples) {
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
        {"border 2, small", 64, 64, {2, 0, 0}, {{10, 10, Rect{2, 2, 11, 11}}}},
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
        {"vertical grid, extended bottom leaves the atlas",
         8,
         6,
         {0, 0, 4},
         {{2, 6, std::nullopt}}},
        {"grid 1 behaves like no grid",
         10,
         10,
         {0, 1, 1},
         {{4, 8, Rect{0, 0, 3, 7}}, {6, 4, Rect{4, 0, 9, 3}}}},
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
        {"first fit in a 10 x 10",
         10,
         10,
         {},
         {{4, 8, Rect{0, 0, 3, 7}},
          {6, 4, Rect{4, 0, 9, 3}},
          {6, 4, Rect{4, 4, 9, 7}},
          {10, 2, Rect{0, 8, 9, 9}}}},
        {"a later smaller image still fits",
         10,
         10,
         {},
         {{8, 8, Rect{0, 0, 7, 7}}, {5, 5, std::nullopt}, {2, 10, Rect{8, 0, 9, 9}}}},
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

// Hostile settings and sizes: both placements refuse them alike and never
// answer a rectangle outside the image.
TEST(Placement, HostileArgumentsFindNoPlace) {
    struct Case {
        const char* name;
        std::int32_t width, height;
        PlacementSettings settings;
        std::int32_t fw, fh;
        MaybeRect expected;
    };
    constexpr std::int32_t kMax = 0x7FFFFFFF;
    const Case cases[] = {
        {"border 2^31", 16, 16, {0x80000000u, 0, 0}, 1, 1, std::nullopt},
        {"border 2^32 - 1", 16, 16, {0xFFFFFFFFu, 0, 0}, 1, 1, std::nullopt},
        {"border above the atlas", 16, 16, {17, 0, 0}, 1, 1, std::nullopt},
        {"border 2^31 - 1", 16, 16, {0x7FFFFFFFu, 0, 0}, 1, 1, std::nullopt},
        {"half the atlas is border", 16, 16, {8, 0, 0}, 1, 1, std::nullopt},
        {"widest footprint", 16, 16, {}, kMax, 1, std::nullopt},
        {"tallest footprint", 16, 16, {}, 1, kMax, std::nullopt},
        {"widest footprint with a grid", 16, 16, {0, 7, 7}, kMax, kMax, std::nullopt},
        {"zero width", 16, 16, {}, 0, 1, std::nullopt},
        {"negative height", 16, 16, {}, 1, -3, std::nullopt},
        {"largest grid step extends past the atlas",
         16,
         16,
         {0, 0x7FFFFFFFu, 0},
         3,
         3,
         std::nullopt},
        {"grid 2^31 reads negative, so inactive",
         16,
         16,
         {1, 0x80000000u, 0},
         3,
         3,
         Rect{1, 1, 3, 3}},
        {"huge grid with a border", 16, 16, {1, 0x7FFFFFFFu, 0}, 3, 3, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlacementRun run(c.width, c.height, c.settings);
        EXPECT_EQ(describe(run.reference(c.fw, c.fh)), describe(c.expected));
        EXPECT_EQ(describe(run.production(c.fw, c.fh)), describe(c.expected));
    }
    PlacementRun run(4, 4, {});
    Rect slot{};
    EXPECT_FALSE(findPlacement(nullptr, 1, 1, run.index, {}, &slot));
    EXPECT_FALSE(findPlacement(run.output.get(), 1, 1, run.index, {}, nullptr));
    EXPECT_FALSE(findPlacementReference(nullptr, 1, 1, {}, {}, &slot));
    EXPECT_FALSE(findPlacementReference(run.output.get(), 1, 1, {}, {}, nullptr));
}

TEST(Placement, IndexClearAndMoveStartOver) {
    PlacementRun run(8, 8, {});
    run.append(Rect{0, 0, 7, 7});
    Rect slot{};
    EXPECT_FALSE(findPlacement(run.output.get(), 1, 1, run.index, {}, &slot));
    OccupancyIndex moved = std::move(run.index);
    EXPECT_EQ(moved.size(), 1u);
    EXPECT_FALSE(findPlacement(run.output.get(), 1, 1, moved, {}, &slot));
    // A moved-from index is empty and still usable.
    EXPECT_TRUE(findPlacement(run.output.get(), 1, 1, run.index, {}, &slot));
    run.index.add(Rect{0, 0, 0, 0});
    EXPECT_TRUE(findPlacement(run.output.get(), 1, 1, run.index, {}, &slot));
    EXPECT_EQ(slot, (Rect{1, 0, 1, 0}));
    moved.clear();
    EXPECT_EQ(moved.size(), 0u);
    EXPECT_TRUE(findPlacement(run.output.get(), 8, 8, moved, {}, &slot));
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

// One index searched under changing borders and grids, as when a build's
// settings differ from the last one's: what a search works out for one
// setting must not leak into another.
TEST(Placement, MatchesReferenceWhenSettingsChange) {
    std::mt19937 rng(99173u);
    auto pick = [&](std::uint32_t n) { return static_cast<std::int32_t>(rng() % n); };
    const PlacementSettings choices[] = {{0, 0, 0}, {2, 0, 0}, {0, 3, 0}, {1, 2, 4}, {3, 5, 5}};
    for (int sequence = 0; sequence < 300; ++sequence) {
        const std::int32_t side = 20 + pick(80);
        PlacementRun run(side, side, {});
        for (int i = 0; i < 40; ++i) {
            run.settings = choices[pick(5)];
            const std::int32_t fw = 1 + pick(static_cast<std::uint32_t>(side / 4));
            const std::int32_t fh = 1 + pick(static_cast<std::uint32_t>(side / 4));
            const MaybeRect ref = run.reference(fw, fh);
            const MaybeRect prod = run.production(fw, fh);
            ASSERT_EQ(describe(prod), describe(ref)) << "sequence " << sequence << " step " << i;
            if (ref) run.append(*ref);
        }
    }
}

#if defined(TILVANE_SANITIZED)
// The sanitizers slow the plain scan about fourfold; half the sequences still
// cover every shape and keep the test well within a minute there.
constexpr int kDifferentialSequences = 10000;
#else
constexpr int kDifferentialSequences = 20000;
#endif

// The production placement against the plain scan on random runs: every result
// of every sequence must agree, and the reference's result is what gets appended.
TEST(Placement, MatchesReferenceOnRandomSequences) {
    std::mt19937 rng(20240611u);
    auto pick = [&](std::uint32_t n) { return static_cast<std::int32_t>(rng() % n); };
    const std::uint32_t gridSteps[] = {0, 1, 2, 3, 4, 7};
    long placements = 0, placed = 0;
    const auto started = std::chrono::steady_clock::now();

    for (int sequence = 0; sequence < kDifferentialSequences; ++sequence) {
        const std::int32_t width = 1 + pick(300);
        const std::int32_t height = 1 + pick(300);
        PlacementSettings settings;
        settings.borderSize = pick(12) == 0
                                  ? static_cast<std::uint32_t>(std::max(width, height) + 1)
                                  : static_cast<std::uint32_t>(pick(6));
        settings.gridAlignX = gridSteps[pick(6)];
        settings.gridAlignY = gridSteps[pick(6)];
        const int lengthBand = pick(100);
        const std::int32_t length = lengthBand < 70   ? 1 + pick(10)
                                    : lengthBand < 93 ? 11 + pick(50)
                                                      : 61 + pick(140);
        // Footprint scale per sequence: many small images, some large, some beyond the atlas.
        const std::int32_t scales[] = {8, 4, 2, 1};
        const std::int32_t scale = scales[pick(4)];
        const std::int32_t maxW = std::max(1, width / scale) + (scale == 1 ? 3 : 0);
        const std::int32_t maxH = std::max(1, height / scale) + (scale == 1 ? 3 : 0);

        PlacementRun run(width, height, settings);
        for (std::int32_t i = 0; i < length; ++i) {
            const std::int32_t fw = 1 + pick(static_cast<std::uint32_t>(maxW));
            const std::int32_t fh = 1 + pick(static_cast<std::uint32_t>(maxH));
            const MaybeRect ref = run.reference(fw, fh);
            const MaybeRect prod = run.production(fw, fh);
            ++placements;
            if (describe(ref) != describe(prod)) {
                ADD_FAILURE() << "sequence " << sequence << " step " << i << ": atlas " << width
                              << " x " << height << ", border " << settings.borderSize << ", grid "
                              << settings.gridAlignX << " x " << settings.gridAlignY
                              << ", footprint " << fw << " x " << fh << ": reference "
                              << describe(ref) << ", production " << describe(prod);
                return;
            }
            if (ref) {
                run.append(*ref);
                ++placed;
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    RecordProperty("placements", std::to_string(placements));
    std::printf("%d sequences, %ld placements (%ld placed) in %.1f s\n", kDifferentialSequences,
                placements, placed, seconds);
}

// Runs shaped like a real build: many footprints sorted largest area first
// into a roomier atlas, so that rows fill with holes of every width and sizes
// repeat, which is where the search prunes the most.
TEST(Placement, MatchesReferenceOnSortedRuns) {
    std::mt19937 rng(7151u);
    auto pick = [&](std::uint32_t n) { return static_cast<std::int32_t>(rng() % n); };
    const std::uint32_t gridSteps[] = {0, 0, 3, 8};
    for (int sequence = 0; sequence < 12; ++sequence) {
        PlacementSettings settings;
        settings.borderSize = static_cast<std::uint32_t>(pick(3));
        settings.gridAlignX = gridSteps[pick(4)];
        settings.gridAlignY = gridSteps[pick(4)];
        const std::int32_t side = 200 + pick(200);
        // A few sequences reach past the table of row bounds.
        const std::int32_t largest = sequence % 4 == 3 ? side : 40;
        std::vector<std::pair<std::int32_t, std::int32_t>> sizes(250);
        for (auto& [fw, fh] : sizes) {
            fw = 2 + pick(static_cast<std::uint32_t>(largest));
            fh = 2 + pick(static_cast<std::uint32_t>(largest));
        }
        std::stable_sort(sizes.begin(), sizes.end(), [](const auto& a, const auto& b) {
            return a.first * a.second > b.first * b.second;
        });
        PlacementRun run(side, side, settings);
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const auto [fw, fh] = sizes[i];
            const MaybeRect ref = run.reference(fw, fh);
            const MaybeRect prod = run.production(fw, fh);
            if (describe(ref) != describe(prod)) {
                ADD_FAILURE() << "sequence " << sequence << " step " << i << ": footprint " << fw
                              << " x " << fh << ": reference " << describe(ref) << ", production "
                              << describe(prod);
                break;
            }
            if (ref) run.append(*ref);
        }
    }
}

}  // namespace
}  // namespace tilvane
