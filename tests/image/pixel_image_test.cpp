#include "image/pixel_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tilvane {
namespace {

constexpr std::int32_t kMax = 0x7FFFFFFF;

struct SizeCase {
    const char* name;
    std::int32_t width, height;
    int depth;
};

TEST(PixelImage, CreateRefusesUnusableSizesWithoutAborting) {
    const SizeCase cases[] = {
        {"zero width", 0, 10, 32},
        {"negative height", 10, -1, 32},
        {"exactly 2^31 bytes", 32768, 16384, 32},
        {"largest sides", kMax, kMax, 32},
        {"1-bit row of 2^28 bytes, 8 rows", kMax, 8, 1},
        {"24-bit stride overflow guard", kMax, 2, 24},
        {"depth 2", 4, 4, 2},
        {"depth 0", 4, 4, 0},
        {"depth 33", 4, 4, 33},
    };
    for (const SizeCase& c : cases) {
        EXPECT_EQ(PixelImage::create(c.width, c.height, c.depth), nullptr) << c.name;
    }
}

TEST(PixelImage, OutsideTheImageReadsZeroAndWritesNothing) {
    const ImagePtr image = createPixelImage(3, 2);
    ASSERT_NE(image, nullptr);
    for (std::int32_t y = 0; y < 2; ++y)
        for (std::int32_t x = 0; x < 3; ++x) setPixel(*image, x, y, 0xFFFFFFFFu);
    const std::vector<std::uint8_t> before(image->bits(), image->bits() + image->byteSize());
    const std::pair<std::int32_t, std::int32_t> outside[] = {{3, 0},  {0, 2},    {-1, 0},
                                                             {0, -1}, {kMax, 0}, {0, -kMax - 1}};
    for (const auto& [x, y] : outside) {
        EXPECT_EQ(getPixel(*image, x, y), 0u) << x << ", " << y;
        setPixel(*image, x, y, 0x12345678u);
    }
    EXPECT_EQ(std::vector<std::uint8_t>(image->bits(), image->bits() + image->byteSize()), before);

    // Below 32 bits no pixel is readable or writable this way.
    const ImagePtr shallow = PixelImage::create(2, 2, 24);
    ASSERT_NE(shallow, nullptr);
    shallow->bits()[0] = 0xAB;
    setPixel(*shallow, 1, 1, 0xFFFFFFFFu);
    EXPECT_EQ(getPixel(*shallow, 0, 1), 0u);
    EXPECT_EQ(shallow->bits()[3], 0);
}

// Expected pixels, top row first: palette indices below 256, else values.
TEST(PixelImage, ConvertTo32BitWalksBytesAndRowPadding) {
    struct Row {
        const char* name;
        std::int32_t width, height;
        int depth;
        std::vector<std::uint8_t> stored;  // storage row 0 (the bottom row) first
        std::vector<PixelValue> topDown;
    };
    const PixelValue white = packPixel(255, 255, 255, 255);
    const std::vector<Row> rows = {
        {"16-bit white, 0x0421 and the top bit ignored",
         3,
         1,
         16,
         {0xFF, 0x7F, 0x21, 0x04, 0xFF, 0xFF, 0, 0},
         {white, packPixel(8, 8, 8, 255), white}},
        {"16-bit 5-5-5 channels",
         2,
         1,
         16,
         {0x1F, 0x00, 0x00, 0x7C},
         {packPixel(0, 0, 255, 255), packPixel(255, 0, 0, 255)}},
        // Pixels 0 and 8 set below, 1 and 7 above; the padding holds garbage.
        {"1-bit 9 wide uses 2 bytes a row, then pads to 4",
         9,
         2,
         1,
         {0x80, 0x80, 0xFF, 0xFF, 0x41, 0x00, 0xFF, 0xFF},
         {0, 1, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"4-bit 3 wide uses 2 bytes a row",
         3,
         2,
         4,
         {0x12, 0x3F, 0xEE, 0xEE, 0x45, 0x6F, 0xEE, 0xEE},
         {4, 5, 6, 1, 2, 3}},
        {"8-bit indexes the table",
         3,
         2,
         8,
         {0, 255, 7, 0xEE, 9, 8, 200, 0xEE},
         {9, 8, 200, 0, 255, 7}},
        {"24-bit 3 wide uses 9 bytes and skips 3",
         3,
         2,
         24,
         {1,  2,  3,  4,  5,  6,  7,  8,  9,  0xEE, 0xEE, 0xEE,
          10, 11, 12, 13, 14, 15, 16, 17, 18, 0xEE, 0xEE, 0xEE},
         {packPixel(12, 11, 10, 255), packPixel(15, 14, 13, 255), packPixel(18, 17, 16, 255),
          packPixel(3, 2, 1, 255), packPixel(6, 5, 4, 255), packPixel(9, 8, 7, 255)}},
    };
    for (const Row& c : rows) {
        SCOPED_TRACE(c.name);
        const ImagePtr source = PixelImage::create(c.width, c.height, c.depth);
        ASSERT_EQ(source->byteSize(), c.stored.size());
        std::copy(c.stored.begin(), c.stored.end(), source->bits());
        for (std::size_t i = 0; i < source->colorTable().size(); ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            source->colorTable()[i] =
                PaletteEntry{static_cast<std::uint8_t>(10 + v), static_cast<std::uint8_t>(100 + v),
                             static_cast<std::uint8_t>(200 + v), 0};
        }
        const ImagePtr converted = convertTo32Bit(*source);
        ASSERT_NE(converted, nullptr);
        EXPECT_EQ(imageBitDepth(converted.get()), 32);
        std::vector<PixelValue> got;
        for (std::int32_t y = 0; y < c.height; ++y)
            for (std::int32_t x = 0; x < c.width; ++x) got.push_back(getPixel(*converted, x, y));
        std::vector<PixelValue> want = c.topDown;
        for (PixelValue& v : want) {
            const auto i = static_cast<std::uint8_t>(v);
            if (v < 256)
                v = packPixel(static_cast<std::uint8_t>(200 + i),
                              static_cast<std::uint8_t>(100 + i), static_cast<std::uint8_t>(10 + i),
                              255);
        }
        EXPECT_EQ(got, want);
        EXPECT_TRUE(std::equal(c.stored.begin(), c.stored.end(), source->bits()))
            << "source changed";
    }
}

// A 1-bit image of 2^29 pixels fits in 64 MiB, but its 32-bit form would need
// 2^31 bytes: the conversion fails cleanly and the slot keeps its image.
TEST(PixelImage, ConversionRefusesAResultAbove2GiB) {
    ImagePtr huge = PixelImage::create(1 << 29, 1, 1);
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(convertTo32Bit(*huge), nullptr);
    const PixelImage* original = huge.get();
    EXPECT_FALSE(ensure32Bit(huge));
    EXPECT_EQ(huge.get(), original);
    EXPECT_EQ(imageBitDepth(huge.get()), 1);
}

}  // namespace
}  // namespace tilvane
