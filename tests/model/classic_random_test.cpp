#include "model/classic_random.h"

#include <gtest/gtest.h>

#include <array>

namespace tilvane {
namespace {

// Each value worked by hand: state' = state * 214013 + 2531011 mod 2^32,
// value = (state' >> 16) & 0x7FFF. The seed 4294967295 checks the wrap.
TEST(ClassicRandom, FirstValuesFollowTheFormula) {
    const std::pair<std::uint32_t, std::array<int, 3>> cases[] = {
        {0, {38, 7719, 21238}},
        {1, {41, 18467, 6334}},
        {4294967295u, {35, 29739, 3374}},
    };
    for (const auto& [seed, values] : cases) {
        ClassicRandom random(seed);
        for (int v : values) EXPECT_EQ(random.next(), v) << seed;
    }
}

}  // namespace
}  // namespace tilvane
