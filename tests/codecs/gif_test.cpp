#include <gtest/gtest.h>

#include "image/codecs/codecs.h"
#include "tests/codecs/library_fixtures.h"

namespace tilvane::testing::library {
namespace {

TEST(GifReader, FirstFrameWithPaletteTransparencyAndPlacement) {
    const std::vector<FixtureCase> rows = {
        {"gif_opaque.gif", 8, drawnPalette},
        {"gif_interlaced.gif", 8, drawnPalette},
        {"gif_transparent.gif", 32, drawnPaletteTransparent},
        // A 6 x 5 frame at (3, 2) on a 16 x 12 screen: transparent around it.
        {"gif_small_frame.gif", 32,
         [](int x, int y) {
             const bool inside = x >= 3 && x < 9 && y >= 2 && y < 7;
             return inside ? drawnPalette(x, y) : Rgba{0, 0, 0, 0};
         }},
    };
    for (const FixtureCase& row : rows) checkFixture(row, codecs::readGif);
}

// A GIF built by hand: 2 x 2 screen, a two-colour global palette, one frame
// whose LZW data (minimum code size 2) is given; optionally a graphics control
// extension with a transparent index.
std::vector<std::uint8_t> handMadeGif(std::vector<std::uint8_t> lzw, int transparentIndex) {
    std::vector<std::uint8_t> g = {'G',  'I', 'F', '8', '9', 'a', 2, 0, 2,  0,
                                   0x80, 0,   0,   255, 0,   0,   0, 0, 255};
    if (transparentIndex >= 0) {
        g.insert(g.end(), {0x21, 0xF9, 4, 1, 0, 0, static_cast<std::uint8_t>(transparentIndex), 0});
    }
    g.insert(g.end(), {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 2});
    g.push_back(static_cast<std::uint8_t>(lzw.size()));
    g.insert(g.end(), lzw.begin(), lzw.end());
    g.insert(g.end(), {0, 0x3B});
    return g;
}

// LZW with 3-bit codes, a clear (4) before each pixel so the table never
// grows: pixels a, b, c, d then end (5).
std::vector<std::uint8_t> lzwOf(int a, int b, int c, int d) {
    const int codes[] = {4, a, 4, b, 4, c, 4, d, 5};
    std::vector<std::uint8_t> out;
    unsigned buffer = 0;
    int bits = 0;
    for (int code : codes) {
        buffer |= static_cast<unsigned>(code) << bits;
        bits += 3;
        while (bits >= 8) {
            out.push_back(static_cast<std::uint8_t>(buffer));
            buffer >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0) out.push_back(static_cast<std::uint8_t>(buffer));
    return out;
}

TEST(GifReader, IndicesAreCheckedAgainstThePalette) {
    struct Row {
        const char* name;
        std::vector<std::uint8_t> file;
        bool loads;
        int depth;
    };
    const std::vector<Row> rows = {
        {"valid", handMadeGif(lzwOf(0, 1, 1, 0), -1), true, 8},
        {"transparent index 1", handMadeGif(lzwOf(0, 1, 1, 0), 1), true, 32},
        // Index 3 of a two-colour palette.
        {"pixel beyond palette", handMadeGif(lzwOf(0, 3, 1, 0), -1), false, 0},
        // A transparent index beyond the palette names no colour: ignored.
        {"transparent beyond palette", handMadeGif(lzwOf(0, 1, 1, 0), 7), true, 8},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ImagePtr image = codecs::readGif(codecs::ByteSpan(row.file.data(), row.file.size()));
        ASSERT_EQ(image != nullptr, row.loads);
        if (!image) continue;
        EXPECT_EQ(image->bitDepth(), row.depth);
        ImagePtr image32 = as32Bit(std::move(image));
        ASSERT_TRUE(image32);
        EXPECT_EQ(getPixel(*image32, 0, 0), packPixel(255, 0, 0, 255));
        const PixelValue second = getPixel(*image32, 1, 0);
        EXPECT_EQ(second, row.depth == 32 ? 0u : packPixel(0, 0, 255, 255));
    }
}

}  // namespace
}  // namespace tilvane::testing::library
