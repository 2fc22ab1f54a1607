#include "model/classic_random.h"

#include <gtest/gtest.h>

namespace tilvane {
namespace {

// Each value worked by hand: state' = state * 214013 + 2531011 mod 2^32,
// value = (state' >> 16) & 0x7FFF.
TEST(ClassicRandom, FirstValuesFollowTheFormula) {
    struct Case {
        std::uint32_t seed;
        int values[3];
    };
    const Case cases[] = {
        // 0 -> 2531011 (38), -> 505908858 (7719), -> 3539360597 (21238)
        {0, {38, 7719, 21238}},
        // 1 -> 2745024 (41), -> 3357800067 (18467), -> 415139642 (6334)
        {1, {41, 18467, 6334}},
        // 4294967295 is -1: -214013 + 2531011 = 2316998 (35), -> 1948984945 (29739),
        // -> 2368614256 (3374)
        {4294967295u, {35, 29739, 3374}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seed);
        ClassicRandom random(c.seed);
        for (int v : c.values) EXPECT_EQ(random.next(), v);
    }
}

TEST(ClassicRandom, ValuesStayInRange) {
    ClassicRandom random(12345);
    for (int i = 0; i < 100000; ++i) {
        const int v = random.next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, ClassicRandom::kMax);
    }
}

}  // namespace
}  // namespace tilvane
