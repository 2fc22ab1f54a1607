#include <gtest/gtest.h>

#include "image/codecs/codecs.h"
#include "tests/codecs/own_codec_support.h"
#include "tests/support/temp_dir.h"

namespace tilvane::testing {
namespace {

const std::string kSgiToPnm = "sgitopnm %s 2>/dev/null | ppmtoppm";

class SgiFixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(SgiFixture, LoadsWithExpectedDepthAndPixels) {
    checkFixture(GetParam(), codecs::readSgi);
}

INSTANTIATE_TEST_SUITE_P(
    Sgi, SgiFixture,
    ::testing::ValuesIn(std::vector<FixtureCase>{
        {"ColourVerbatim", "sgi/colour_verbatim.rgb", 24, Pattern::kColour, kSgiToPnm},
        {"ColourRle", "sgi/colour_rle.rgb", 24, Pattern::kColour, kSgiToPnm},
        {"GreyVerbatim", "sgi/grey_verbatim.rgb", 8, Pattern::kGrey, kSgiToPnm},
        {"GreyRle", "sgi/grey_rle.rgb", 8, Pattern::kGrey, kSgiToPnm},
        {"GreyAlpha", "sgi/grey_alpha_verbatim.rgb", 32, Pattern::kGreyAlpha, ""},
        {"AlphaVerbatim", "sgi/rgba_verbatim.rgb", 32, Pattern::kColourAlpha, kSgiToPnm},
        {"AlphaRle", "sgi/rgba_rle.rgb", 32, Pattern::kColourAlpha, kSgiToPnm},
        {"Colour16BitsPerChannel", "sgi/colour_16bit.rgb", 24, Pattern::kColour, ""},
        {"Alpha16BitsPerChannelRle", "sgi/rgba_16bit_rle.rgb", 32, Pattern::kColourAlpha, ""},
    }),
    caseName);

TEST(SgiWriter, RoundTripsEveryPixelWithAlpha) {
    const ImagePtr image = makeRoundTripImage();
    TempDir dir;
    const std::string path = dir.file("atlas.rgb");
    ASSERT_TRUE(writeWith(codecs::writeSgi, *image, path));
    const std::vector<std::uint8_t> bytes = readBytes(path);
    const ImagePtr back = codecs::readSgi(codecs::ByteSpan(bytes.data(), bytes.size()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->bitDepth(), 32);
    EXPECT_TRUE(samePixels(*image, *back));
}

TEST(SgiWriter, IndependentDecodersSeeTheSameColoursAndAlpha) {
    const ImagePtr image = makeRoundTripImage();
    TempDir dir;
    const std::string path = dir.file("atlas.rgb");
    ASSERT_TRUE(writeWith(codecs::writeSgi, *image, path));
    const auto netpbm = decodeWithTool("sgitopnm '" + path + "'");
    ASSERT_TRUE(netpbm.has_value());
    EXPECT_TRUE(sameColours(*image, *netpbm));
    const auto alpha = decodeWithTool("sgitopnm -channel=3 '" + path + "'");
    ASSERT_TRUE(alpha.has_value());
    EXPECT_TRUE(sameAlpha(*image, *alpha));
    const auto magick = decodeWithTool("/usr/bin/convert 'sgi:" + path + "' -alpha extract pgm:-");
    ASSERT_TRUE(magick.has_value());
    EXPECT_TRUE(sameAlpha(*image, *magick));
}

}  // namespace
}  // namespace tilvane::testing
