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

Rect square4(std::int32_t x, std::int32_t y) {
    return {x, y, x + 3, y + 3};
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

// An 8x8 atlas that held A (0,0), B (4,0) and C (0,4), each 4x4, unless a row
// says otherwise; (4,4) was free.
TEST(StableLayout, KeepsUnchangedSpritesAndFillsFreeRoom) {
    struct Row {
        const char* name;
        std::vector<Size> sprites;
        std::vector<Was> earlier;
        std::vector<std::size_t> leaders = {};
        std::vector<Size> pages = {{8, 8}};
        PlanRequest request = {};
        PlacementSettings placement = {};
        // The occupied rectangles, or the refusal.
        std::vector<MaybeRect> expected = {};
        std::optional<StableRefusal> refusal = {};
        std::vector<std::vector<std::size_t>> pageSprites = {};
    };
    const Size s4{4, 4};
    const Was none;
    const std::vector<Was> abc = {at(0, 0), at(4, 0), at(0, 4)};
    PlanRequest pages;
    pages.pages = true;
    PlanRequest fitPot;
    fitPot.fit = true;
    fitPot.limits.shape = FitShape::pot;
    const std::vector<Row> rows = {
        {"nothing changed: every sprite where it was",
         {s4, s4, s4},
         abc,
         {},
         {{8, 8}},
         {},
         {},
         {square4(0, 0), square4(4, 0), square4(0, 4)}},
        {"an added sprite goes into the free room, none moves",
         {s4, s4, s4, s4},
         {at(0, 0), at(4, 0), at(0, 4), none},
         {},
         {{8, 8}},
         {},
         {},
         {square4(0, 0), square4(4, 0), square4(0, 4), square4(4, 4)}},
        {"a removed sprite frees its room for a new one, in the run's order",
         {s4, s4, s4},
         {at(0, 0), none, at(0, 4)},
         {},
         {{8, 8}},
         {},
         {},
         {square4(0, 0), square4(4, 0), square4(0, 4)}},
        {"a grown sprite leaves its room and takes free room",
         {s4, {4, 8}, s4},
         abc,
         {},
         {{8, 8}},
         {},
         {},
         {square4(0, 0), Rect{4, 0, 7, 7}, square4(0, 4)}},
        {"a grown sprite that finds no room: the atlas is repacked",
         {{8, 8}, s4, s4},
         abc,
         {},
         {{8, 8}},
         {},
         {},
         {},
         StableRefusal::noRoom},
        {"a sprite no atlas holds takes no room and refuses nothing",
         {s4, s4, s4, {9, 9}},
         {at(0, 0), at(4, 0), at(0, 4), none},
         {},
         {{8, 8}},
         {},
         {},
         {square4(0, 0), square4(4, 0), square4(0, 4), std::nullopt}},
        {"an alias takes no room and goes with its leader",
         {s4, s4, s4, s4},
         {at(0, 0), at(4, 0), at(0, 4), at(4, 4)},
         {0, 1, 2, 0},
         {{8, 8}},
         {},
         {},
         {square4(0, 0), square4(4, 0), square4(0, 4), std::nullopt}},
        {"another atlas size",
         {s4},
         {at(0, 0)},
         {},
         {{16, 8}},
         {},
         {},
         {},
         StableRefusal::otherSizes},
        {"two pages in a run without pages",
         {s4},
         {at(0, 0)},
         {},
         {{8, 8}, {8, 8}},
         {},
         {},
         {},
         StableRefusal::otherSizes},
        {"more pages than sprites",
         {s4},
         {at(0, 0)},
         {},
         {{8, 8}, {8, 8}},
         pages,
         {},
         {},
         StableRefusal::otherSizes},
        {"a fitted page that is not of the shape",
         {s4},
         {at(0, 0)},
         {},
         {{8, 6}},
         fitPot,
         {},
         {},
         StableRefusal::otherSizes},
        {"a fitted page of the shape is kept",
         {s4, s4},
         {at(0, 0), none},
         {},
         {{8, 4}},
         fitPot,
         {},
         {square4(0, 0), square4(4, 0)}},
        {"a kept place off the grid",
         {s4},
         {at(2, 0)},
         {},
         {{8, 8}},
         {},
         {0, 4, 0},
         {},
         StableRefusal::broken},
        {"a kept place inside the border",
         {s4},
         {at(0, 0)},
         {},
         {{8, 8}},
         {},
         {1, 0, 0},
         {},
         StableRefusal::broken},
        {"a kept place past the atlas",
         {s4},
         {at(6, 0)},
         {},
         {{8, 8}},
         {},
         {},
         {},
         StableRefusal::broken},
        {"two kept places overlap",
         {s4, s4},
         {at(0, 0), at(2, 2)},
         {},
         {{8, 8}},
         {},
         {},
         {},
         StableRefusal::broken},
        {"pages: a new sprite goes to the first page with room",
         {s4, s4, s4, s4, s4, s4},
         {at(0, 0), at(4, 0), at(0, 4), at(4, 4), at(0, 0, 1), none},
         {},
         {{8, 8}, {8, 8}},
         pages,
         {},
         {square4(0, 0), square4(4, 0), square4(0, 4), square4(4, 4), square4(0, 0), square4(4, 0)},
         {},
         {{0, 1, 2, 3}, {4, 5}}},
        {"pages: a last page left empty is dropped",
         {s4, s4},
         {at(0, 0), at(4, 0)},
         {},
         {{8, 8}, {8, 8}},
         pages,
         {},
         {square4(0, 0), square4(4, 0)},
         {},
         {{0, 1}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PlanRequest request = row.request;
        if (!request.fit) request.limits.maxWidth = request.limits.maxHeight = 8;
        const LayoutRules rules{0, 0, row.placement};
        const StableResult result =
            planStableLayout(row.sprites, row.leaders, {row.pages, row.earlier}, rules, request);
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
    const std::vector<Row> rows = {
        {"side by side", {{0, 0, 3, 3}, {4, 0, 7, 3}, {0, 4, 3, 7}}, false},
        {"one shared corner pixel", {{0, 0, 3, 3}, {3, 3, 5, 5}}, true},
        {"one inside another", {{0, 0, 9, 9}, {2, 2, 3, 3}}, true},
        {"a tall one crossing a row of others", {{0, 5, 9, 5}, {4, 0, 4, 9}}, true},
        {"after one that ends left of it", {{0, 0, 1, 9}, {2, 0, 3, 9}, {0, 10, 3, 11}}, false},
        {"an empty rectangle holds no pixel", {{0, 0, 3, 3}, {2, 2, 1, 1}}, false},
        {"the edges of the coordinates",
         {{INT32_MAX, 0, INT32_MAX, 0}, {0, 0, INT32_MAX, 0}},
         true},
    };
    for (const Row& row : rows) EXPECT_EQ(anyOverlap(row.rects), row.overlap) << row.name;
}

}  // namespace
}  // namespace tilvane
