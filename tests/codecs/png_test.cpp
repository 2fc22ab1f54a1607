#include <gtest/gtest.h>

#include "image/codecs/codecs.h"
#include "image/codecs/png_settings.h"
#include "tests/codecs/library_fixtures.h"

namespace tilvane::testing::library {
namespace {

TEST(PngReader, EveryColourTypeAndDepth) {
    const std::vector<FixtureCase> rows = {
        {"png_grey1.png", 1, [](int x, int y) { return grey(255 * ((x + y) % 2)); }},
        {"png_grey2.png", 8, [](int x, int y) { return grey(85 * ((x + y) % 4)); }},
        {"png_grey4.png", 4, [](int x, int y) { return grey(17 * ((x + y) % 16)); }},
        {"png_grey8.png", 8, [](int x, int y) { return grey((x * 16 + y) % 256); }},
        {"png_grey16.png", 8, [](int x, int y) { return grey((x * 16 + y) % 256); }},
        {"png_grey_alpha.png", 32,
         [](int x, int y) { return grey((x * 16 + y) % 256, drawnAlpha(x, y)); }},
        {"png_palette4.png", 4, drawnPalette},
        {"png_palette8.png", 8, drawnPalette},
        {"png_palette_trns.png", 32, drawnPaletteTransparent},
        {"png_rgb8.png", 24, drawnRgb},
        {"png_rgb16.png", 24, drawnRgb},
        {"png_rgba8.png", 32, drawnRgba},
        {"png_rgba16.png", 32, drawnRgba},
        {"png_interlaced.png", 32, drawnRgba},
    };
    for (const FixtureCase& row : rows) checkFixture(row, codecs::readPng);
}

TEST(PngWriter, RoundTripKeepsEveryPixelAndAlpha) {
    TempDir dir;
    // Odd sizes catch stride slips; 1 x 1 is the smallest image there is.
    for (const auto& [width, height] : {std::pair{37, 23}, std::pair{1, 1}, std::pair{300, 2}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        ImagePtr original = makeImage(width, height, roundTripColour);
        ASSERT_TRUE(original);
        const std::string path = writeWith(
            dir, "round.png", [&](std::FILE* f) { return codecs::writePng(*original, f); });
        ASSERT_FALSE(path.empty());
        const std::vector<std::uint8_t> bytes = fileBytes(path);
        ImagePtr back = codecs::readPng(codecs::ByteSpan(bytes.data(), bytes.size()));
        ASSERT_TRUE(back);
        ASSERT_EQ(back->bitDepth(), 32);
        ASSERT_EQ(back->width(), width);
        ASSERT_EQ(back->height(), height);
        EXPECT_EQ(back->byteSize(), original->byteSize());
        EXPECT_TRUE(std::equal(back->bits(), back->bits() + back->byteSize(), original->bits()));
        if (haveImageMagick()) {
            EXPECT_EQ(countMagickDifferences(*original, path, 0), 0);
        }
    }
}

TEST(PngWriter, DefaultAndAtlasSettingsDecodeAlike) {
    TempDir dir;
    ImagePtr original = makeImage(64, 40, roundTripColour);
    ASSERT_TRUE(original);
    const std::string path = writeWith(dir, "default.png", [&](std::FILE* f) {
        return codecs::writePngWith(*original, f, nullptr);
    });
    ASSERT_FALSE(path.empty());
    const std::vector<std::uint8_t> bytes = fileBytes(path);
    ImagePtr back = codecs::readPng(codecs::ByteSpan(bytes.data(), bytes.size()));
    ASSERT_TRUE(back);
    EXPECT_TRUE(std::equal(back->bits(), back->bits() + back->byteSize(), original->bits()));
}

TEST(PngWriter, RefusesImagesThatAreNot32Bit) {
    TempDir dir;
    ImagePtr palette = PixelImage::create(4, 4, 8);
    ASSERT_TRUE(palette);
    EXPECT_TRUE(writeWith(dir, "x.png", [&](std::FILE* f) {
                    return codecs::writePng(*palette, f);
                }).empty());
}

}  // namespace
}  // namespace tilvane::testing::library
