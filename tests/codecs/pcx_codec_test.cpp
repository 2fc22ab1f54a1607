#include <gtest/gtest.h>

#include "image/codecs/codecs.h"
#include "tests/codecs/own_codec_support.h"

namespace tilvane::testing {
namespace {

const std::string kPcxToPpm = "pcxtoppm %s";

class PcxFixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(PcxFixture, LoadsWithExpectedDepthAndPixels) {
    checkFixture(GetParam(), codecs::readPcx);
}

INSTANTIATE_TEST_SUITE_P(
    Pcx, PcxFixture,
    ::testing::ValuesIn(std::vector<FixtureCase>{
        {"Mono", "pcx/mono_1bit.pcx", 1, Pattern::kMono, kPcxToPpm},
        {"FourPlanesOfOneBit", "pcx/colour_4planes.pcx", 4, Pattern::kColour, kPcxToPpm},
        {"OnePlaneOfFourBits", "pcx/colour_4bit_packed.pcx", 4, Pattern::kColour, kPcxToPpm},
        {"PaletteAtTheEnd", "pcx/colour_8bit.pcx", 8, Pattern::kColour, kPcxToPpm},
        {"ThreePlanes24Bit", "pcx/colour_24bit.pcx", 24, Pattern::kColour, kPcxToPpm},
    }),
    caseName);

}  // namespace
}  // namespace tilvane::testing
