#include <gtest/gtest.h>

#include "image/codecs/codecs.h"
#include "tests/codecs/own_codec_support.h"

namespace tilvane::testing {
namespace {

// netpbm has no PSD reader; ImageMagick's first image of a PSD is its merged image.
const std::string kMagickMerged = "/usr/bin/convert %s[0] -depth 8 ppm:-";

class PsdFixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(PsdFixture, LoadsWithExpectedDepthAndPixels) {
    checkFixture(GetParam(), codecs::readPsd);
}

INSTANTIATE_TEST_SUITE_P(Psd, PsdFixture,
                         ::testing::ValuesIn(std::vector<FixtureCase>{
                             {"RgbRaw", "psd/colour_raw.psd", 24, Pattern::kColour, kMagickMerged},
                             {"RgbRle", "psd/colour_rle.psd", 24, Pattern::kColour, kMagickMerged},
                             {"Rgb16BitRle", "psd/colour_16bit_rle.psd", 24, Pattern::kColour,
                              kMagickMerged},
                             {"AlphaRaw", "psd/rgba_raw.psd", 32, Pattern::kColourAlpha, ""},
                             {"AlphaRle", "psd/rgba_rle.psd", 32, Pattern::kColourAlpha, ""},
                             {"GreyRle", "psd/grey_rle.psd", 8, Pattern::kGrey, kMagickMerged},
                             // ImageMagick 6 writes this file but refuses to read it back.
                             {"Indexed", "psd/colour_indexed.psd", 8, Pattern::kColour, ""},
                             {"BitmapMode", "psd/mono_bitmap.psd", 1, Pattern::kMono, ""},
                         }),
                         caseName);

}  // namespace
}  // namespace tilvane::testing
