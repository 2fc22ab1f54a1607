#include <gtest/gtest.h>

#include "image/codecs/codecs.h"
#include "tests/codecs/own_codec_support.h"

namespace tilvane::testing {
namespace {

const std::string kIlbmToPpm = "ilbmtoppm %s";

class IffFixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(IffFixture, LoadsWithExpectedDepthAndPixels) {
    checkFixture(GetParam(), codecs::readIff);
}

INSTANTIATE_TEST_SUITE_P(
    Iff, IffFixture,
    ::testing::ValuesIn(std::vector<FixtureCase>{
        {"ThreePlanesByteRun1", "iff/colour_3planes.iff", 8, Pattern::kColour, kIlbmToPpm},
        {"ThreePlanesUncompressed", "iff/colour_3planes_raw.iff", 8, Pattern::kColour, kIlbmToPpm},
        {"EightPlanes", "iff/colour_8planes.iff", 8, Pattern::kColour, kIlbmToPpm},
        {"GreyEightPlanes", "iff/grey_8planes.iff", 8, Pattern::kGrey, kIlbmToPpm},
        {"TwentyFourPlanes", "iff/colour_24planes.iff", 24, Pattern::kColour, kIlbmToPpm},
        {"MaskPlaneGivesAlpha", "iff/colour_mask.iff", 32, Pattern::kColourMask, kIlbmToPpm},
        {"TransparentColourGivesAlpha", "iff/colour_transparent.iff", 32, Pattern::kColourKeyRed,
         kIlbmToPpm},
        // Hold-and-modify approximates colours, so netpbm's decoding is the
        // reference. ilbmtoppm widens a modified 4-bit value by keeping the
        // old low bits, we by repeating the value (15 gives 255, as the
        // hardware shows it), hence the tolerance of one low nibble.
        {"HoldAndModify6", "iff/colour_ham6.iff", 24, std::nullopt, kIlbmToPpm, 15},
    }),
    caseName);

}  // namespace
}  // namespace tilvane::testing
