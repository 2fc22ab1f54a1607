#include "layout/placement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace tilvane {

// How GoogleTest prints a rectangle (found next to Rect).
void PrintTo(const Rect& r, std::ostream* out) {
    *out << '(' << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ')';
}

namespace {

using MaybeRect = std::optional<Rect>;
constexpr std::int32_t kMax = 0x7FFFFFFF;

// Both placements over the same run, appended to as the build appends.
struct PlacementRun {
    std::int32_t width;
    std::int32_t height;
    PlacementSettings settings;
    std::vector<Rect> occupiedRects;
    OccupancyIndex index;

    PlacementRun(std::int32_t w, std::int32_t h, PlacementSettings s)
        : width(w), height(h), settings(s) {}

    // The plain scan's answer or the production placement's.
    MaybeRect place(bool reference, std::int32_t fw, std::int32_t fh) const {
        Rect r{-7, -7, -7, -7};
        if (reference ? findPlacementReference(width, height, fw, fh, occupiedRects, settings, &r)
                      : findPlacement(width, height, fw, fh, index, settings, &r)) {
            return r;
        }
        EXPECT_EQ(r, (Rect{-7, -7, -7, -7})) << "slot written on failure";
        return std::nullopt;
    }
    void append(const Rect& r) {
        occupiedRects.push_back(r);
        index.add(r);
    }
};

// Hostile settings and sizes included: both placements refuse them alike
// and never answer a rectangle outside the image.
TEST(Placement, ExamplesAndHostileArguments) {
    // One footprint a row; a row without a name carries on the run above it.
    struct Row {
        const char* name;
        std::int32_t width, height;
        PlacementSettings settings;
        std::int32_t fw, fh;
        MaybeRect expected;
    };
    const MaybeRect none;
    const char* const more = "";
    using R = Rect;
    const std::vector<Row> rows = {
        {"footprint exactly the atlas", 64, 48, {}, 64, 48, R{0, 0, 63, 47}},
        {"one column wider than the atlas", 64, 48, {}, 65, 48, none},
        {"four quarters then no place", 64, 64, {}, 32, 32, R{0, 0, 31, 31}},
        {more, 0, 0, {}, 32, 32, R{32, 0, 63, 31}},
        {more, 0, 0, {}, 32, 32, R{0, 32, 31, 63}},
        {more, 0, 0, {}, 32, 32, R{32, 32, 63, 63}},
        {more, 0, 0, {}, 32, 32, none},
        {"border 2, largest fitting", 64, 64, {2, 0, 0}, 60, 60, R{2, 2, 61, 61}},
        {"border 2, right edge on the limit", 64, 64, {2, 0, 0}, 61, 10, none},
        {"grid 4 rounds border 5 up to column 8", 64, 64, {5, 4, 0}, 3, 3, R{8, 5, 11, 7}},
        {"grid 4, edge on a multiple is not extended", 6, 6, {0, 4, 0}, 5, 1, R{0, 0, 4, 0}},
        {"grid 4, extended edge leaves the atlas", 6, 6, {0, 4, 0}, 6, 1, none},
        {"grid 4, next image after the extension", 64, 64, {0, 4, 0}, 6, 4, R{0, 0, 7, 3}},
        {more, 0, 0, {}, 4, 4, R{8, 0, 11, 3}},
        {"vertical grid extends the bottom", 8, 6, {0, 0, 4}, 2, 5, R{0, 0, 1, 4}},
        {"adjoining footprints do not collide", 10, 1, {}, 5, 1, R{0, 0, 4, 0}},
        {more, 0, 0, {}, 5, 1, R{5, 0, 9, 0}},
        {more, 0, 0, {}, 1, 1, none},
        {"a later smaller image still fits", 10, 10, {}, 8, 8, R{0, 0, 7, 7}},
        {more, 0, 0, {}, 5, 5, none},
        {more, 0, 0, {}, 2, 10, R{8, 0, 9, 9}},
        {"border 2^31", 16, 16, {0x80000000u, 0, 0}, 1, 1, none},
        {"border 2^32 - 1", 16, 16, {0xFFFFFFFFu, 0, 0}, 1, 1, none},
        {"widest footprint", 16, 16, {}, kMax, 1, none},
        {"widest footprint with a grid", 16, 16, {0, 7, 7}, kMax, kMax, none},
        {"zero width", 16, 16, {}, 0, 1, none},
        {"negative height", 16, 16, {}, 1, -3, none},
        {"largest grid step", 16, 16, {0, 0x7FFFFFFFu, 0}, 3, 3, none},
        {"grid 2^31 reads negative, so inactive", 16, 16, {1, 0x80000000u, 0}, 3, 3, R{1, 1, 3, 3}},
        {"huge grid with a border", 16, 16, {1, 0x7FFFFFFFu, 0}, 3, 3, none},
    };
    std::optional<PlacementRun> run;
    std::string name;
    for (const Row& c : rows) {
        if (*c.name != '\0') {
            run.emplace(c.width, c.height, c.settings);
            name = c.name;
        }
        SCOPED_TRACE(name);
        const MaybeRect ref = run->place(true, c.fw, c.fh);
        EXPECT_EQ(ref, c.expected) << "reference";
        EXPECT_EQ(run->place(false, c.fw, c.fh), c.expected);
        if (ref) run->append(*ref);
    }
}

TEST(Placement, RoundUpToGrid) {
    // Remainder -1 of (4, -5) takes the sign of v; 2^31 is not representable.
    const std::int32_t rows[][3] = {{4, 5, 8},  {4, 8, 8}, {4, 0, 0},  {0, 5, 5},      {1, 5, 5},
                                    {-4, 5, 5}, {7, 1, 7}, {4, -5, 0}, {4, kMax, kMax}};
    for (const auto& [g, v, expected] : rows)
        EXPECT_EQ(roundUpToGrid(g, v), expected) << g << ", " << v;
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
// another); some also append rectangles the placement never returns (partly
// or wholly outside, overlapping, left past right), which change rows whose
// free columns a search has already worked out; some are shaped like a real
// build: footprints sorted largest area first into a roomier atlas, where the
// search prunes the most.
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
        const bool foreign = !sorted && sequence % 15 == 2;
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
        // A corner anywhere from 10 pixels before the atlas to 10 past it.
        auto corner = [&](std::int32_t side) {
            return pick(static_cast<std::uint32_t>(side + 20)) - 10;
        };
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            if (changing) run.settings = randomSettings(std::max(width, height));
            if (foreign && pick(3) == 0)
                run.append({corner(width), corner(height), corner(width), corner(height)});
            const auto [fw, fh] = sizes[i];
            const MaybeRect ref = run.place(true, fw, fh);
            ASSERT_EQ(run.place(false, fw, fh), ref) << "sequence " << sequence << " step " << i;
            if (ref) run.append(*ref);
        }
    }
}

}  // namespace
}  // namespace tilvane
