#include <gtest/gtest.h>

#include "image/codecs/codecs.h"
#include "tests/codecs/own_codec_support.h"
#include "tests/support/temp_dir.h"

namespace tilvane::testing {
namespace {

// ImageMagick 6's Targa coder ignores the origin bit, so netpbm's tgatoppm is
// the independent decoder throughout.
const std::string kTgaToPpm = "tgatoppm %s";

class TgaFixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(TgaFixture, LoadsWithExpectedDepthAndPixels) {
    checkFixture(GetParam(), codecs::readTga);
}

INSTANTIATE_TEST_SUITE_P(
    Tga, TgaFixture,
    ::testing::ValuesIn(std::vector<FixtureCase>{
        {"TrueColour24", "tga/colour_24bit.tga", 24, Pattern::kColour, kTgaToPpm},
        {"TrueColour24Rle", "tga/colour_24bit_rle.tga", 24, Pattern::kColour, kTgaToPpm},
        {"ImageIdSkipped", "tga/colour_24bit_image_id.tga", 24, Pattern::kColour, kTgaToPpm},
        {"ColourMapped", "tga/colour_cmap.tga", 8, Pattern::kColour, kTgaToPpm},
        {"ColourMappedRle", "tga/colour_cmap_rle.tga", 8, Pattern::kColour, kTgaToPpm},
        // tgatoppm does not read 16-bit colour maps.
        {"ColourMapOf16BitEntries", "tga/colour_cmap16.tga", 8, Pattern::kColour, ""},
        {"ColourMapWithAlphaGives32Bits", "tga/colour_cmap32.tga", 32, Pattern::kColourOddClear,
         ""},
        {"Grey", "tga/grey_8bit.tga", 8, Pattern::kGrey, kTgaToPpm},
        {"GreyRle", "tga/grey_8bit_rle.tga", 8, Pattern::kGrey, kTgaToPpm},
        {"TrueColour16RleIs555", "tga/colour_16bit_rle.tga", 16, Pattern::kColour, ""},
        {"Alpha32BottomLeft", "tga/rgba_32bit.tga", 32, Pattern::kColourAlpha, kTgaToPpm},
        {"Alpha32Rle", "tga/rgba_32bit_rle.tga", 32, Pattern::kColourAlpha, kTgaToPpm},
        {"Alpha32TopLeft", "tga/rgba_32bit_top_left.tga", 32, Pattern::kColourAlpha, kTgaToPpm},
        {"Alpha32TopRight", "tga/rgba_32bit_top_right.tga", 32, Pattern::kColourAlpha, ""},
    }),
    caseName);

TEST(TgaWriter, RoundTripsEveryPixelWithAlpha) {
    const ImagePtr image = makeRoundTripImage();
    TempDir dir;
    const std::string path = dir.file("atlas.tga");
    ASSERT_TRUE(writeWith(codecs::writeTga, *image, path));
    const std::vector<std::uint8_t> bytes = readBytes(path);
    const ImagePtr back = codecs::readTga(codecs::ByteSpan(bytes.data(), bytes.size()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->bitDepth(), 32);
    EXPECT_TRUE(samePixels(*image, *back));
}

TEST(TgaWriter, NetpbmSeesTheSameColoursAndAlpha) {
    const ImagePtr image = makeRoundTripImage();
    TempDir dir;
    const std::string path = dir.file("atlas.tga");
    ASSERT_TRUE(writeWith(codecs::writeTga, *image, path));
    const auto colours = decodeWithTool("tgatoppm '" + path + "'");
    ASSERT_TRUE(colours.has_value());
    EXPECT_TRUE(sameColours(*image, *colours));
    const auto alpha = decodeWithTool("tgatoppm -alphaout=- '" + path + "'");
    ASSERT_TRUE(alpha.has_value());
    EXPECT_TRUE(sameAlpha(*image, *alpha));
}

}  // namespace
}  // namespace tilvane::testing
