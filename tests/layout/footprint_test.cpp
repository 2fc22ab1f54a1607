#include "layout/footprint.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tilvane {
namespace {

TEST(Footprint, SpacingUnlessOnlyTheSpriteFitsAndTheRingOnBothSides) {
    struct Case {
        Size sprite;
        std::uint32_t spacing;
        std::uint32_t extrude;
        Size atlas;
        Size expected;
    };
    // With spacing 2^32 - 1 the 32-bit sum would wrap to side - 1, a footprint
    // smaller than the sprite; unwrapped, the usual rule applies. Then: fits
    // only alone; the ring counts before the spacing rule; a ring that would
    // wrap is held where no atlas can take it.
    const std::vector<Case> cases = {
        {{600, 10}, 0xFFFFFFFFu, 0, {512, 512}, {INT32_MAX, 10}},
        {{500, 500}, 100, 0, {512, 512}, {500, 500}},
        {{10, 20}, 1, 2, {512, 512}, {15, 25}},
        {{508, 10}, 1, 2, {512, 512}, {512, 15}},
        {{10, 10}, 0, 0x7FFFFFFFu, {512, 512}, {INT32_MAX, INT32_MAX}},
    };
    for (const Case& c : cases) {
        const LayoutRules rules{c.spacing, c.extrude, {}};
        EXPECT_EQ(footprintOf(c.sprite, rules, c.atlas), c.expected)
            << c.sprite.width << "x" << c.sprite.height << " ring " << c.extrude;
    }
}

}  // namespace
}  // namespace tilvane
