#include <gtest/gtest.h>

#include "image/codecs/codecs.h"
#include "tests/codecs/own_codec_support.h"

namespace tilvane::testing {
namespace {

// No Debian tool reads Animator cels; the pattern is the only reference.
TEST(CelReader, LoadsAnimatorCelWithItsSixBitPalette) {
    checkFixture({"AnimatorCel", "cel/colour_8bit.cel", 8, Pattern::kColour, ""}, codecs::readCel);
}

TEST(CelReader, RefusesKissCels) {
    // A 32-byte KiSS header (8-bit cell, 2 x 2) and its four pixels.
    std::vector<std::uint8_t> kiss = {'K', 'i', 'S', 'S', 0x20, 8, 0, 0, 2, 0, 2, 0};
    kiss.resize(32, 0);
    kiss.insert(kiss.end(), {1, 2, 3, 4});
    EXPECT_EQ(codecs::readCel(codecs::ByteSpan(kiss.data(), kiss.size())), nullptr);
}

}  // namespace
}  // namespace tilvane::testing
