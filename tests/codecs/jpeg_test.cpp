#include <gtest/gtest.h>

#include "image/codecs/codecs.h"
#include "tests/codecs/library_fixtures.h"

namespace tilvane::testing::library {
namespace {

// Quality 95 on a 16 x 12 picture of steep gradients: each channel stays
// within 24 of the drawing. ImageMagick decodes with the same library, so it
// agrees exactly, except for its own CMYK to RGB rounding.
TEST(JpegReader, GreyRgbProgressiveAndAdobeCmyk) {
    const std::vector<FixtureCase> rows = {
        {"jpeg_grey.jpg", 8, [](int x, int y) { return grey((x * 16 + y) % 256); }, 24, 0},
        {"jpeg_rgb.jpg", 24, drawnRgb, 24, 0},
        {"jpeg_progressive.jpg", 24, drawnRgb, 24, 0},
        {"jpeg_cmyk.jpg", 24, drawnRgb, 24, 1},
    };
    for (const FixtureCase& row : rows) checkFixture(row, codecs::readJpeg);
}

int maxDifference(const PixelImage& a, const PixelImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const Rgba p = pixelOf(a, x, y), q = pixelOf(b, x, y);
            worst =
                std::max({worst, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
        }
    }
    return worst;
}

// Smooth colours with the alpha of roundTripColour, which JPEG must drop.
Rgba smooth(int x, int y) {
    return {x * 4, y * 4, 128 + (x - y), (x * 11 + y * 5) % 256};
}

TEST(JpegWriter, RoundTripWithinToleranceAndAlphaDropped) {
    TempDir dir;
    ImagePtr original = makeImage(48, 40, smooth);
    ASSERT_TRUE(original);
    struct Row {
        int quality;
        int tolerance;
    };
    for (const Row& row : {Row{100, 3}, Row{90, 8}, Row{-5, 255}, Row{150, 3}}) {
        SCOPED_TRACE(row.quality);
        const std::string path = writeWith(dir, "round.jpg", [&](std::FILE* f) {
            return codecs::writeJpeg(*original, f, row.quality);
        });
        ASSERT_FALSE(path.empty());
        const std::vector<std::uint8_t> bytes = fileBytes(path);
        ImagePtr back = codecs::readJpeg(codecs::ByteSpan(bytes.data(), bytes.size()));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->bitDepth(), 24);
        ImagePtr back32 = as32Bit(std::move(back));
        ASSERT_TRUE(back32);
        EXPECT_LE(maxDifference(*back32, *original), row.tolerance);
        EXPECT_EQ(pixelOf(*back32, 3, 3).a, 255);
        if (haveImageMagick()) {
            EXPECT_EQ(countMagickDifferences(*back32, path, 0), 0);
        }
    }
}

}  // namespace
}  // namespace tilvane::testing::library
