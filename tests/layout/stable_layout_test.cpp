#include "layout/stable_layout.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tilvane {
namespace {

using MaybeRect = std::optional<Rect>;
using Was = std::optional<EarlierPlacement>;

// A 4x4 sprite that lay at (x, y) of page `page`, with spacing 0.
Was at(std::int32_t x, std::int32_t y, std::size_t page = 0, Size footprint = {4, 4}) {
    return EarlierPlacement{page, footprint, {x, y}};
}

Rect sq(std::int32_t x, std::int32_t y) {
    return {x, y, x + 3, y + 3};
}

// The sprites of each page: one or two pages.
std::vector<std::vector<std::size_t>> onPages(std::vector<std::size_t> first,
                                              std::vector<std::size_t> second = {}) {
    std::vector<std::vector<std::size_t>> pages = {first};
    if (!second.empty()) pages.push_back(second);
    return pages;
}

std::string describe(const std::vector<MaybeRect>& rects) {
    std::string text;
    for (const MaybeRect& r : rects) {
        text += r ? " (" + std::to_string(r->left) + "," + std::to_string(r->top) + "," +
                        std::to_string(r->right) + "," + std::to_string(r->bottom) + ")"
                  : " none";
    }
    return text;
}

// The page sizes, request and placement a row's run gets.
struct Atlas {
    std::vector<Size> pages = {{8, 8}};
    PlanRequest request = {};
    PlacementSettings placement = {};
    std::vector<std::size_t> leaders = {};
};

// An 8x8 atlas that held A (0,0), B (4,0) and C (0,4), each 4x4, unless a row
// says otherwise; (4,4) was free.
TEST(StableLayout, KeepsUnchangedSpritesAndFillsFreeRoom) {
    struct Row {
        const char* name;
        std::vector<Size> sprites;
        std::vector<Was> earlier;
        // The occupied rectangles, or the refusal.
        std::vector<MaybeRect> expected;
        std::optional<StableRefusal> refusal = {};
        Atlas atlas = {};
        std::vector<std::vector<std::size_t>> pageSprites = {};
    };
    const Size s4{4, 4};
    const auto fours = [&](std::size_t n) { return std::vector<Size>(n, s4); };
    const Was none;
    const auto abcThen = [](std::vector<Was> more) {
        more.insert(more.begin(), {at(0, 0), at(4, 0), at(0, 4)});
        return more;
    };
    const std::vector<Was> abc = abcThen({});
    const auto placed = [](std::vector<MaybeRect> more) {
        more.insert(more.begin(), {sq(0, 0), sq(4, 0), sq(0, 4)});
        return more;
    };
    PlanRequest pages;
    pages.pages = true;
    PlanRequest fitPot;
    fitPot.fit = true;
    fitPot.limits.shape = FitShape::pot;
    const Atlas twoPages{{{8, 8}, {8, 8}}, pages}, aliased{{{8, 8}}, {}, {}, {0, 1, 2, 0}};
    const Atlas fitted{{{8, 4}}, fitPot};
    const auto was = [](auto... w) { return std::vector<Was>{w...}; };
    const auto sizes = [](auto... z) { return std::vector<Size>{z...}; };
    const auto rects = [](auto... r) { return std::vector<MaybeRect>{r...}; };
    const auto other = StableRefusal::otherSizes, broken = StableRefusal::broken;
    const std::vector<Row> rows = {
        {"nothing changed: every sprite where it was", fours(3), abc, placed({})},
        {"an added sprite takes the free room, none moves", fours(4), abcThen({none}),
         placed({sq(4, 4)})},
        {"a removed sprite frees its room for a new one, in the run's order", fours(3),
         was(at(0, 0), none, at(0, 4)), placed({})},
        {"a grown sprite leaves its room and takes free room", sizes(s4, Size{4, 8}, s4), abc,
         rects(sq(0, 0), Rect{4, 0, 7, 7}, sq(0, 4))},
        {"a grown sprite that finds no room: repacked", sizes(Size{8, 8}, s4, s4), abc, rects(),
         StableRefusal::noRoom},
        {"a sprite no atlas holds takes no room, refuses nothing", sizes(s4, s4, s4, Size{9, 9}),
         abcThen({none}), placed({std::nullopt})},
        {"an alias takes no room and goes with its leader", fours(4), abcThen({at(4, 4)}),
         placed({std::nullopt}), std::nullopt, aliased},
        {"another atlas size", {s4}, {at(0, 0)}, {}, other, {{{16, 8}}}},
        {"two pages in a run without pages", {s4}, {at(0, 0)}, {}, other, {{{8, 8}, {8, 8}}}},
        {"more pages than sprites", {s4}, {at(0, 0)}, {}, other, twoPages},
        {"a fitted page that is not of the shape", {s4}, {at(0, 0)}, {}, other, {{{8, 6}}, fitPot}},
        {"a fitted page of the shape is kept", fours(2), was(at(0, 0), none),
         rects(sq(0, 0), sq(4, 0)), std::nullopt, fitted},
        {"a kept place off the grid", {s4}, {at(2, 0)}, {}, broken, {{{8, 8}}, {}, {0, 4, 0}}},
        {"a kept place inside the border", {s4}, {at(0, 0)}, {}, broken, {{{8, 8}}, {}, {1, 0, 0}}},
        {"a kept place past the atlas", {s4}, {at(6, 0)}, {}, broken},
        {"two kept places overlap", fours(2), {at(0, 0), at(2, 2)}, {}, broken},
        {"pages: a new sprite goes to the first page with room", fours(6),
         abcThen({at(4, 4), at(0, 0, 1), none}), placed({sq(4, 4), sq(0, 0), sq(4, 0)}),
         std::nullopt, twoPages, onPages({0, 1, 2, 3}, {4, 5})},
        {"pages: a last page left empty is dropped", fours(2), was(at(0, 0), at(4, 0)),
         rects(sq(0, 0), sq(4, 0)), std::nullopt, twoPages, onPages({0, 1})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PlanRequest request = row.atlas.request;
        if (!request.fit) request.limits.maxWidth = request.limits.maxHeight = 8;
        const LayoutRules rules{0, 0, row.atlas.placement};
        const StableResult result = planStableLayout(
            row.sprites, row.atlas.leaders, {row.atlas.pages, row.earlier}, rules, request);
        if (row.refusal) {
            EXPECT_FALSE(result.plan);
            EXPECT_EQ(result.refusal, *row.refusal);
            continue;
        }
        ASSERT_TRUE(result.plan) << static_cast<int>(result.refusal);
        // Each sprite's rectangle, from its page's slot.
        std::vector<MaybeRect> occupied(row.sprites.size());
        for (const PagePlan& page : result.plan->sizing.pages) {
            ASSERT_EQ(page.places.size(), page.sprites.size());
            for (std::size_t j = 0; j < page.sprites.size(); ++j)
                if (page.places[j].placed) occupied[page.sprites[j]] = page.places[j].occupied;
        }
        EXPECT_EQ(describe(occupied), describe(row.expected));
        if (!row.pageSprites.empty()) {
            ASSERT_EQ(result.plan->sizing.pages.size(), row.pageSprites.size());
            for (std::size_t p = 0; p < row.pageSprites.size(); ++p)
                EXPECT_EQ(result.plan->sizing.pages[p].sprites, row.pageSprites[p]);
        }
    }
}

TEST(StableLayout, OverlapOfRectanglesSharingAPixel) {
    struct Row {
        const char* name;
        std::vector<Rect> rects;
        bool overlap;
    };
    const std::int32_t m = INT32_MAX;
    const std::vector<Row> rows = {
        {"side by side", {{0, 0, 3, 3}, {4, 0, 7, 3}, {0, 4, 3, 7}}, false},
        {"one shared corner pixel", {{0, 0, 3, 3}, {3, 3, 5, 5}}, true},
        {"one inside another", {{0, 0, 9, 9}, {2, 2, 3, 3}}, true},
        {"a tall one crossing a row of others", {{0, 5, 9, 5}, {4, 0, 4, 9}}, true},
        {"after one that ends left of it", {{0, 0, 1, 9}, {2, 0, 3, 9}, {0, 10, 3, 11}}, false},
        {"an empty rectangle holds no pixel", {{0, 0, 3, 3}, {2, 2, 1, 1}}, false},
        {"the edges of the coordinates", {{m, 0, m, 0}, {0, 0, m, 0}}, true},
    };
    for (const Row& row : rows) EXPECT_EQ(anyOverlap(row.rects), row.overlap) << row.name;
}

}  // namespace
}  // namespace tilvane
