#include <gtest/gtest.h>

#include "image/codecs/codecs.h"
#include "tests/codecs/own_codec_support.h"
#include "tests/support/temp_dir.h"

namespace tilvane::testing {
namespace {

// ImageMagick 6's BMP reader takes the palette's reserved byte as alpha, so the
// independent decoder for reading is netpbm's bmptopnm. bmptopnm refuses RLE
// deltas and runs that overrun a row (which ImageMagick's own RLE8 writer
// emits), so RLE files are checked with ImageMagick's colours, alpha aside.
const std::string kBmpToPnm = "bmptopnm %s 2>/dev/null | ppmtoppm";
const std::string kMagickColours = "/usr/bin/convert %s -depth 8 ppm:-";

class BmpFixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(BmpFixture, LoadsWithExpectedDepthAndPixels) {
    checkFixture(GetParam(), codecs::readBmp);
}

INSTANTIATE_TEST_SUITE_P(
    Bmp, BmpFixture,
    ::testing::ValuesIn(std::vector<FixtureCase>{
        {"Mono1Bit", "bmp/mono_1bit.bmp", 1, Pattern::kMono, kBmpToPnm},
        {"Colour4Bit", "bmp/colour_4bit.bmp", 4, Pattern::kColour, kBmpToPnm},
        {"Colour8Bit", "bmp/colour_8bit.bmp", 8, Pattern::kColour, kBmpToPnm},
        {"Colour8BitShortPalette", "bmp/colour_8bit_short_palette.bmp", 8, Pattern::kColour,
         kBmpToPnm},
        {"Colour24Bit", "bmp/colour_24bit.bmp", 24, Pattern::kColour, kBmpToPnm},
        {"Os2Core24Bit", "bmp/colour_os2_24bit.bmp", 24, Pattern::kColour, kBmpToPnm},
        {"Os2Core8Bit", "bmp/colour_os2_8bit.bmp", 8, Pattern::kColour, kBmpToPnm},
        {"Rle8", "bmp/colour_rle8.bmp", 8, Pattern::kColour, kMagickColours},
        {"Rle4WithDelta", "bmp/colour_rle4.bmp", 4, Pattern::kColour, kMagickColours},
        {"TopDown24Bit", "bmp/colour_topdown_24bit.bmp", 24, Pattern::kColour, kBmpToPnm},
        {"Plain16BitIs555", "bmp/colour_16bit_rgb.bmp", 16, Pattern::kColour, kBmpToPnm},
        {"Fields555StaysSixteenBits", "bmp/colour_16bit_555.bmp", 16, Pattern::kColour, ""},
        {"Fields565WidensTo24Bits", "bmp/colour_16bit_565.bmp", 24, Pattern::kColour, ""},
        {"Fields32BitWithoutAlphaMask", "bmp/colour_32bit_fields.bmp", 24, Pattern::kColour, ""},
        {"Plain32BitFourthByteIsAlpha", "bmp/rgba_32bit_rgb.bmp", 32, Pattern::kColourAlpha, ""},
        {"V5WithAlphaMask", "bmp/rgba_32bit_v5.bmp", 32, Pattern::kColourAlpha, ""},
    }),
    caseName);

TEST(BmpWriter, RoundTripsEveryPixelWithAlpha) {
    const ImagePtr image = makeRoundTripImage();
    TempDir dir;
    const std::string path = dir.file("atlas.bmp");
    ASSERT_TRUE(writeWith(codecs::writeBmp, *image, path));
    const std::vector<std::uint8_t> bytes = readBytes(path);
    const ImagePtr back = codecs::readBmp(codecs::ByteSpan(bytes.data(), bytes.size()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->bitDepth(), 32);
    EXPECT_TRUE(samePixels(*image, *back));
}

TEST(BmpWriter, IndependentDecodersSeeTheSameColoursAndAlpha) {
    const ImagePtr image = makeRoundTripImage();
    TempDir dir;
    const std::string path = dir.file("atlas.bmp");
    ASSERT_TRUE(writeWith(codecs::writeBmp, *image, path));
    // ImageMagick reads 32-bit bit-field bitmaps correctly (its fault is with
    // 8-bit palettes), so it checks both the colours and the alpha mask.
    const auto colours = decodeWithTool("/usr/bin/convert '" + path + "' ppm:-");
    ASSERT_TRUE(colours.has_value());
    EXPECT_TRUE(sameColours(*image, *colours));
    const auto alpha = decodeWithTool("/usr/bin/convert '" + path + "' -alpha extract pgm:-");
    ASSERT_TRUE(alpha.has_value());
    EXPECT_TRUE(sameAlpha(*image, *alpha));
    const auto netpbm = decodeWithTool("bmptopnm '" + path + "'");
    ASSERT_TRUE(netpbm.has_value());
    EXPECT_TRUE(sameColours(*image, *netpbm));
}

TEST(BmpWriter, RefusesImagesThatAreNot32Bits) {
    const ImagePtr image = PixelImage::create(4, 4, 24);
    TempDir dir;
    EXPECT_FALSE(writeWith(codecs::writeBmp, *image, dir.file("x.bmp")));
}

}  // namespace
}  // namespace tilvane::testing
