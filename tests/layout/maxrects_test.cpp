#include "layout/maxrects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <random>
#include <string>
#include <vector>

namespace tilvane {
namespace {

// Sprites of lo to hi pixels a side, the same for one seed.
std::vector<Size> seeded(std::uint32_t seed, int count, int lo, int hi) {
    std::mt19937 engine(seed);
    std::uniform_int_distribution<int> side(lo, hi);
    std::vector<Size> sprites;
    for (int k = 0; k < count; ++k) sprites.push_back({side(engine), side(engine)});
    return sprites;
}

LayoutRules rulesOf(std::uint32_t spacing, std::uint32_t extrude, PlacementSettings placement,
                    bool rotate) {
    return {spacing, extrude, placement, Packer::maxRects, rotate};
}
LayoutRules plain(std::uint32_t spacing, std::uint32_t extrude = 0,
                  PlacementSettings placement = {}) {
    return rulesOf(spacing, extrude, placement, false);
}
LayoutRules turning(std::uint32_t spacing = 0, std::uint32_t extrude = 0,
                    PlacementSettings placement = {}) {
    return rulesOf(spacing, extrude, placement, true);
}

bool sameSlot(const SpriteSlot& a, const SpriteSlot& b) {
    return a.placed == b.placed && a.turned == b.turned && (!a.placed || a.occupied == b.occupied);
}

bool overlap(const Rect& a, const Rect& b) {
    return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

// What every layout promises: each placed slot holds the sprite's footprint
// (turned only when allowed) on the grid, extended to it, inside the border;
// no two places share a pixel, so the spacing after each is kept.
void expectSound(const std::string& name, std::span<const Size> sprites, const LayoutRules& rules,
                 Size atlas, const std::vector<SpriteSlot>& places) {
    ASSERT_EQ(places.size(), sprites.size()) << name;
    const auto border = static_cast<std::int32_t>(rules.placement.borderSize);
    const auto step = [](std::uint32_t g) { return std::max<std::int32_t>(g, 1); };
    const std::int32_t gx = step(rules.placement.gridAlignX), gy = step(rules.placement.gridAlignY);
    for (std::size_t k = 0; k < places.size(); ++k) {
        const SpriteSlot& s = places[k];
        if (!s.placed) continue;
        const Rect& r = s.occupied;
        EXPECT_TRUE(!s.turned || rules.rotate) << name << ": sprite " << k << " turned";
        const Size sprite = s.turned ? Size{sprites[k].height, sprites[k].width} : sprites[k];
        const Size foot = footprintOf(sprite, rules, atlas);
        EXPECT_TRUE(r.left >= border && r.top >= border && r.right < atlas.width - border &&
                    r.bottom < atlas.height - border)
            << name << ": sprite " << k << " leaves the border";
        EXPECT_TRUE(r.left % gx == 0 && r.top % gy == 0) << name << ": sprite " << k << " off grid";
        EXPECT_TRUE(r.width() >= foot.width && r.width() < foot.width + gx &&
                    r.height() >= foot.height && r.height() < foot.height + gy)
            << name << ": sprite " << k << " occupies " << r.width() << "x" << r.height()
            << " for a footprint of " << foot.width << "x" << foot.height;
        for (std::size_t j = 0; j < k; ++j) {
            EXPECT_FALSE(places[j].placed && overlap(places[j].occupied, r))
                << name << ": sprites " << j << " and " << k << " overlap";
        }
    }
}

TEST(MaxRects, LayoutsKeepTheFootprintRules) {
    struct Row {
        const char* name;
        Size atlas;
        std::size_t placed;  // how many find a place
        int turned;          // how many are turned, -1: any number
        LayoutRules rules;
        std::vector<Size> sprites;
    };
    const auto times = [](std::size_t n, Size size) { return std::vector<Size>(n, size); };
    const std::vector<Row> rows = {
        {"four quarters fill the atlas", {64, 64}, 4, 0, plain(0), times(4, {32, 32})},
        {"a fifth quarter finds no place", {64, 64}, 4, 0, plain(0), times(5, {32, 32})},
        {"no spacing where only the sprite fits", {64, 30}, 2, 0, plain(2), times(2, {64, 10})},
        {"spacing kept where it fits", {64, 33}, 3, 0, plain(1), times(3, {63, 10})},
        {"a tall sprite fits only turned", {64, 20}, 1, 1, turning(), {{10, 60}}},
        {"without turning it does not", {64, 20}, 0, 0, plain(0), {{10, 60}}},
        {"turning fills a strip", {64, 16}, 4, -1, turning(), {{8, 32}, {32, 8}, {8, 32}, {32, 8}}},
        {"border, ring, grid", {160, 160}, 40, -1, turning(1, 2, {3, 4, 5}), seeded(1, 40, 1, 20)},
        {"a border of 2^31 leaves no place", {64, 64}, 0, 0, plain(0, 0, {1u << 31}), {{1, 1}}},
        {"too many, all heuristics", {256, 256}, 0, -1, turning(1, 0, {1}), seeded(2, 300, 4, 40)},
    };
    for (const Row& row : rows) {
        const std::vector<SpriteSlot> places = maxRectsLayout(row.sprites, row.rules, row.atlas, 1);
        expectSound(row.name, row.sprites, row.rules, row.atlas, places);
        const auto placed = static_cast<std::size_t>(std::count_if(
            places.begin(), places.end(), [](const SpriteSlot& s) { return s.placed; }));
        const int turned = static_cast<int>(std::count_if(
            places.begin(), places.end(), [](const SpriteSlot& s) { return s.turned; }));
        if (row.placed > 0 || row.sprites.size() < 100) {
            EXPECT_EQ(placed, row.placed) << row.name;
        } else {
            EXPECT_GT(placed, 0u) << row.name;
            EXPECT_LT(placed, row.sprites.size()) << row.name;
        }
        if (row.turned >= 0) {
            EXPECT_EQ(turned, row.turned) << row.name;
        }
        // The threads only share the work.
        const std::vector<SpriteSlot> again = maxRectsLayout(row.sprites, row.rules, row.atlas, 3);
        for (std::size_t k = 0; k < places.size(); ++k)
            EXPECT_TRUE(sameSlot(places[k], again[k])) << row.name << ": sprite " << k << " moved";
    }
}

// The size found holds every sprite, has the shape, and its layout is the
// very layout of a build of that fixed size.
TEST(MaxRects, FitFindsASizeWhoseLayoutHoldsEverySprite) {
    struct Row {
        const char* name;
        FitShape shape;
        LayoutRules rules;
        std::vector<Size> sprites;
        Size least = {1, 1};
    };
    const std::vector<Row> rows = {
        {"any shape", FitShape::any, turning(1, 0, {1}), seeded(3, 120, 2, 30)},
        {"upright only", FitShape::any, plain(2, 1), seeded(4, 60, 2, 30)},
        {"powers of two", FitShape::pot, turning(1, 0, {}), seeded(5, 50, 2, 30)},
        {"square on a grid", FitShape::square, turning(1, 0, {2, 3, 3}), seeded(6, 50, 2, 30)},
        {"power-of-two square", FitShape::potSquare, turning(), seeded(7, 30, 2, 30)},
        {"least size above the need", FitShape::any, plain(0), {{4, 4}}, {50, 40}},
    };
    for (const Row& row : rows) {
        const FitLimits l{row.shape, row.least.width, row.least.height, 4096, 4096};
        const std::optional<FittedLayout> fit = maxRectsFit(row.sprites, row.rules, l, 2);
        ASSERT_TRUE(fit) << row.name;
        const Size atlas{fit->size.width, fit->size.height};
        EXPECT_TRUE(atlas.width >= l.minWidth && atlas.width <= l.maxWidth &&
                    atlas.height >= l.minHeight && atlas.height <= l.maxHeight)
            << row.name;
        const bool pot = l.shape == FitShape::pot || l.shape == FitShape::potSquare;
        const bool square = l.shape == FitShape::square || l.shape == FitShape::potSquare;
        EXPECT_TRUE(!pot || (std::has_single_bit(static_cast<unsigned>(atlas.width)) &&
                             std::has_single_bit(static_cast<unsigned>(atlas.height))))
            << row.name;
        EXPECT_TRUE(!square || atlas.width == atlas.height) << row.name;
        expectSound(row.name, row.sprites, row.rules, atlas, fit->places);
        const std::vector<SpriteSlot> fixed = maxRectsLayout(row.sprites, row.rules, atlas, 1);
        for (std::size_t k = 0; k < fixed.size(); ++k) {
            EXPECT_TRUE(fit->places[k].placed && sameSlot(fixed[k], fit->places[k]))
                << row.name << ": sprite " << k << " lies elsewhere in the fixed build";
        }
    }
    EXPECT_FALSE(maxRectsFit({}, plain(0), {}, 1));
}

}  // namespace
}  // namespace tilvane
