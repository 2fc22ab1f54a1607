#include <gtest/gtest.h>

#include <optional>

#include "image/codecs/codecs.h"
#include "tests/codecs/library_fixtures.h"

namespace tilvane::testing::library {
namespace {

TEST(TiffReader, StripsTilesAlphaGreyPaletteDepthAndOrientation) {
    const std::vector<FixtureCase> rows = {
        {"tiff_rgb_strips.tif", 24, drawnRgb},
        {"tiff_rgb_tiles.tif", 24, drawnRgb},
        {"tiff_rgb16.tif", 24, drawnRgb},
        {"tiff_orient_botleft.tif", 24, drawnRgb},
        {"tiff_rgba_unassoc.tif", 32, drawnRgba},
        // Stored premultiplied: half-transparent colours come back within 1.
        {"tiff_rgba_assoc.tif", 32, drawnRgba, 1, 1},
        {"tiff_grey.tif", 8, [](int x, int y) { return grey((x * 16 + y) % 256); }},
        {"tiff_palette.tif", 8, drawnPalette},
    };
    for (const FixtureCase& row : rows) checkFixture(row, codecs::readTiff);
}

// The value of a SHORT tag of a little- or big-endian TIFF's first directory.
std::optional<unsigned> shortTag(const std::vector<std::uint8_t>& f, unsigned wanted) {
    if (f.size() < 8) return std::nullopt;
    const bool little = f[0] == 'I';
    auto u16 = [&](std::size_t at) {
        return little ? unsigned(f[at] | f[at + 1] << 8) : unsigned(f[at] << 8 | f[at + 1]);
    };
    auto u32 = [&](std::size_t at) {
        return little ? (u16(at) | u16(at + 2) << 16) : (u16(at) << 16 | u16(at + 2));
    };
    const std::size_t ifd = u32(4);
    if (ifd + 2 > f.size()) return std::nullopt;
    const unsigned count = u16(ifd);
    for (unsigned i = 0; i < count && ifd + 2 + 12 * (i + 1) <= f.size(); ++i) {
        const std::size_t entry = ifd + 2 + 12 * i;
        if (u16(entry) == wanted && u16(entry + 2) == 3) return u16(entry + 8);
    }
    return std::nullopt;
}

TEST(TiffWriter, EachCompressionRoundTripsAndIsRecorded) {
    struct Row {
        std::int32_t code;
        unsigned tagValue;  // TIFF's own number for the method
    };
    TempDir dir;
    ImagePtr original = makeImage(67, 41, roundTripColour);
    ASSERT_TRUE(original);
    // 5 is not offered by the dialog but may come from a stored setting.
    for (const Row& row : {Row{0, 1}, Row{9, 32773}, Row{13, 8}, Row{5, 1}}) {
        SCOPED_TRACE(row.code);
        const std::string path = writeWith(dir, "round.tif", [&](std::FILE* f) {
            return codecs::writeTiff(*original, f, row.code);
        });
        ASSERT_FALSE(path.empty());
        const std::vector<std::uint8_t> bytes = fileBytes(path);
        EXPECT_EQ(shortTag(bytes, 259), row.tagValue);
        EXPECT_EQ(shortTag(bytes, 338), 2u);  // unassociated alpha
        ImagePtr back = codecs::readTiff(codecs::ByteSpan(bytes.data(), bytes.size()));
        ASSERT_TRUE(back);
        ASSERT_EQ(back->bitDepth(), 32);
        EXPECT_TRUE(std::equal(back->bits(), back->bits() + back->byteSize(), original->bits()));
        if (haveImageMagick()) {
            EXPECT_EQ(countMagickDifferences(*original, path, 0), 0);
        }
    }
}

TEST(TiffWriter, DeflateWithPredictorLeavesTheImageUntouched) {
    TempDir dir;
    ImagePtr original = makeImage(20, 9, roundTripColour);
    ASSERT_TRUE(original);
    const std::vector<std::uint8_t> before(original->bits(),
                                           original->bits() + original->byteSize());
    ASSERT_FALSE(writeWith(dir, "p.tif", [&](std::FILE* f) {
                     return codecs::writeTiff(*original, f, 13);
                 }).empty());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), original->bits()));
}

}  // namespace
}  // namespace tilvane::testing::library
