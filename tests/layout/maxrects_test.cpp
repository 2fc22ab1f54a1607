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
std::vector<Size> randomSprites(std::uint32_t seed, int count, int lo, int hi) {
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
        std::vector<Size> sprites;
        LayoutRules rules;
        Size atlas;
        std::size_t placed;  // how many find a place
        int turned;          // how many are turned, -1: any number
    };
    const std::vector<Row> rows = {
        {"four quarters fill the atlas",
         {{32, 32}, {32, 32}, {32, 32}, {32, 32}},
         rulesOf(0, 0, {}, false),
         {64, 64},
         4,
         0},
        {"a fifth quarter finds no place",
         {{32, 32}, {32, 32}, {32, 32}, {32, 32}, {32, 32}},
         rulesOf(0, 0, {}, false),
         {64, 64},
         4,
         0},
        {"spacing left out where only the sprite fits the side",
         {{64, 10}, {64, 10}},
         rulesOf(2, 0, {}, false),
         {64, 30},
         2,
         0},
        {"spacing kept where it fits",
         {{63, 10}, {63, 10}, {63, 10}},
         rulesOf(1, 0, {}, false),
         {64, 33},
         3,
         0},
        {"a tall sprite fits a wide atlas only turned",
         {{10, 60}},
         rulesOf(0, 0, {}, true),
         {64, 20},
         1,
         1},
        {"without turning it does not", {{10, 60}}, rulesOf(0, 0, {}, false), {64, 20}, 0, 0},
        {"turning fills a strip of mixed bars",
         {{8, 32}, {32, 8}, {8, 32}, {32, 8}},
         rulesOf(0, 0, {}, true),
         {64, 16},
         4,
         -1},
        {"border, ring and grid",
         randomSprites(1, 40, 1, 20),
         rulesOf(1, 2, {3, 4, 5}, true),
         {160, 160},
         40,
         -1},
        {"a border of 2^31 leaves no place",
         {{1, 1}},
         rulesOf(0, 0, {0x80000000u, 0, 0}, false),
         {64, 64},
         0,
         0},
        {"more sprites than room, every heuristic tried",
         randomSprites(2, 300, 4, 40),
         rulesOf(1, 0, {1, 0, 0}, true),
         {256, 256},
         0,
         -1},
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
        for (std::size_t k = 0; k < places.size(); ++k) {
            EXPECT_TRUE(places[k].placed == again[k].placed &&
                        places[k].turned == again[k].turned &&
                        (!places[k].placed || places[k].occupied == again[k].occupied))
                << row.name << ": sprite " << k << " moves with the threads";
        }
    }
}

// The size found holds every sprite, has the shape, and its layout is the
// very layout of a build of that fixed size.
TEST(MaxRects, FitFindsASizeWhoseLayoutHoldsEverySprite) {
    struct Row {
        const char* name;
        std::vector<Size> sprites;
        LayoutRules rules;
        FitLimits limits;
    };
    const std::vector<Row> rows = {
        {"any shape",
         randomSprites(3, 120, 2, 30),
         rulesOf(1, 0, {1, 0, 0}, true),
         {FitShape::any, 1, 1, 4096, 4096}},
        {"upright only",
         randomSprites(4, 60, 2, 30),
         rulesOf(2, 1, {0, 0, 0}, false),
         {FitShape::any, 1, 1, 4096, 4096}},
        {"powers of two",
         randomSprites(5, 50, 2, 30),
         rulesOf(1, 0, {}, true),
         {FitShape::pot, 1, 1, 4096, 4096}},
        {"square on a grid",
         randomSprites(6, 50, 2, 30),
         rulesOf(1, 0, {2, 3, 3}, true),
         {FitShape::square, 1, 1, 4096, 4096}},
        {"power-of-two square",
         randomSprites(7, 30, 2, 30),
         rulesOf(0, 0, {}, true),
         {FitShape::potSquare, 1, 1, 4096, 4096}},
        {"least size above the need",
         {{4, 4}},
         rulesOf(0, 0, {}, false),
         {FitShape::any, 50, 40, 4096, 4096}},
    };
    for (const Row& row : rows) {
        const std::optional<FittedLayout> fit = maxRectsFit(row.sprites, row.rules, row.limits, 2);
        ASSERT_TRUE(fit) << row.name;
        const Size atlas{fit->size.width, fit->size.height};
        const FitLimits& l = row.limits;
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
            EXPECT_TRUE(fit->places[k].placed) << row.name << ": sprite " << k;
            EXPECT_TRUE(fixed[k].placed && fixed[k].occupied == fit->places[k].occupied &&
                        fixed[k].turned == fit->places[k].turned)
                << row.name << ": sprite " << k << " lies elsewhere in the fixed build";
        }
    }
    EXPECT_FALSE(maxRectsFit({}, rulesOf(0, 0, {}, false), {}, 1));
}

}  // namespace
}  // namespace tilvane
