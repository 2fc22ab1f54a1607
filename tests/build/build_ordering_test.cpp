#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "build/file_ordering.h"

namespace tilvane {
namespace {

using Pairs = std::vector<std::pair<std::int64_t, std::int32_t>>;

// The file list's order of file indices for n files whose names sort in the
// reverse of the folder order: unlike the identity, a fallback shows.
std::vector<std::int32_t> reversed(std::int32_t n) {
    std::vector<std::int32_t> order(static_cast<std::size_t>(n));
    std::iota(order.rbegin(), order.rend(), 0);
    return order;
}

TEST(OrderFiles, AlphabeticalForSortOrderZeroAndAnyUnknownValue) {
    const auto alphabetical = reversed(4);
    const Pairs areas = {{5, 0}, {9, 1}, {1, 2}, {7, 3}};
    for (std::int32_t sortOrder : {0, -1, 3, 2147483647}) {
        SCOPED_TRACE(sortOrder);
        EXPECT_EQ(orderFiles(alphabetical, sortOrder, 0, areas), alphabetical);
    }
}

TEST(OrderFiles, BySizeIsLargestFirstWithEqualAreasInFolderOrder) {
    struct Case {
        const char* name;
        Pairs areas;
        std::vector<std::int32_t> expected;
    };
    const std::vector<Case> cases = {
        {"distinct", {{5, 0}, {9, 1}, {1, 2}, {7, 3}}, {1, 3, 0, 2}},
        {"all equal", {{4, 0}, {4, 1}, {4, 2}, {4, 3}}, {0, 1, 2, 3}},
        {"ties among others", {{4, 0}, {8, 1}, {4, 2}, {8, 3}}, {1, 3, 0, 2}},
        {"areas beyond 2^32",
         {{1, 0}, {4294967296LL * 3, 1}, {4294967296LL, 2}, {2, 3}},
         {1, 2, 3, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(orderFiles(reversed(4), 1, 0, c.areas), c.expected);
    }
}

TEST(OrderFiles, RandomFollowsTheClassicGenerator) {
    // Seed 0 draws 38, 7719: mod 2 gives 0, 1. Seed 1 draws 41, 18467, 6334:
    // 1, then 1 again (taken), then 0.
    EXPECT_EQ(orderFiles(reversed(2), 2, 0, {}), (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(orderFiles(reversed(2), 2, 1, {}), (std::vector<std::int32_t>{1, 0}));
}

TEST(OrderFiles, RandomIsAPermutationFixedByTheSeed) {
    const auto alphabetical = reversed(500);
    const auto first = orderFiles(alphabetical, 2, 77, {});
    EXPECT_EQ(orderFiles(alphabetical, 2, 77, {}), first);
    EXPECT_NE(orderFiles(alphabetical, 2, 78, {}), first);
    EXPECT_NE(first, alphabetical);
    auto sorted = first;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::int32_t> identity(500);
    std::iota(identity.begin(), identity.end(), 0);
    EXPECT_EQ(sorted, identity);
}

// A position that needs 1000 draws makes the whole order alphabetical, and
// says so. 197 files are the fewest with which seed 3 runs out; beyond 32768
// files the generator's values cannot cover the list at all.
TEST(OrderFiles, RandomFallbackToAlphabeticalIsReported) {
    struct Case {
        std::int32_t files;
        std::uint32_t seed;
        bool fellBack;
    };
    const std::vector<Case> cases = {
        {196, 3, false}, {197, 3, true}, {197, 0, false}, {32769, 5, true}, {40000, 5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.files) + " files, seed " + std::to_string(c.seed));
        const auto alphabetical = reversed(c.files);
        bool fellBack = !c.fellBack;
        const auto order = orderFiles(alphabetical, 2, c.seed, {}, &fellBack);
        EXPECT_EQ(fellBack, c.fellBack);
        EXPECT_EQ(order == alphabetical, c.fellBack);
    }
    bool fellBack = true;
    orderFiles(reversed(40000), 0, 5, {}, &fellBack);
    EXPECT_FALSE(fellBack) << "only the random order falls back";
}

TEST(OrderFiles, EmptyListGivesEmptyOrder) {
    EXPECT_TRUE(orderFiles({}, 2, 0, {}).empty());
    EXPECT_TRUE(orderFiles({}, 1, 0, {}).empty());
}

// A size list that disagrees with the file list must not leave processOrder
// shorter than the list.
TEST(OrderFiles, BySizeWithAMismatchedListKeepsOneEntryPerFile) {
    const auto alphabetical = reversed(3);
    EXPECT_EQ(orderFiles(alphabetical, 1, 0, Pairs{{5, 0}}), alphabetical);
}

}  // namespace
}  // namespace tilvane
