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
    EXPECT_EQ(createPixelImage(0, 10), nullptr);
    EXPECT_EQ(createPixelImage(10, -1), nullptr);
}

TEST(PixelImage, NewImageIsTransparentBlackAndPadded) {
    const ImagePtr one = createPixelImage(1, 1);
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(imageWidth(one.get()), 1);
    EXPECT_EQ(imageHeight(one.get()), 1);
    EXPECT_EQ(imageBitDepth(one.get()), 32);
    EXPECT_EQ(getPixel(*one, 0, 0), 0u);

    const SizeCase strides[] = {{"1-bit 9 wide", 9, 1, 1},   {"4-bit 3 wide", 3, 1, 4},
                                {"8-bit 5 wide", 5, 1, 8},   {"16-bit 3 wide", 3, 1, 16},
                                {"24-bit 3 wide", 3, 1, 24}, {"32-bit 3 wide", 3, 1, 32}};
    const std::size_t expected[] = {4, 4, 8, 8, 12, 12};
    for (std::size_t i = 0; i < std::size(strides); ++i) {
        const ImagePtr image = PixelImage::create(strides[i].width, 2, strides[i].depth);
        ASSERT_NE(image, nullptr) << strides[i].name;
        EXPECT_EQ(image->stride(), expected[i]) << strides[i].name;
        for (std::size_t b = 0; b < image->byteSize(); ++b) ASSERT_EQ(image->bits()[b], 0);
    }
    EXPECT_EQ(imageWidth(nullptr), 0);
    EXPECT_EQ(imageBitDepth(nullptr), 0);
}

TEST(PixelImage, SetPixelStoresBlueGreenRedAlphaBottomUp) {
    const ImagePtr image = createPixelImage(2, 2);
    ASSERT_NE(image, nullptr);
    setPixel(*image, 0, 0, packPixel(1, 2, 3, 4));
    // Pixel (0, 0) is in the top row, which is the second stored row.
    const std::uint8_t* stored = image->bits() + image->stride();
    EXPECT_EQ(stored[0], 3);
    EXPECT_EQ(stored[1], 2);
    EXPECT_EQ(stored[2], 1);
    EXPECT_EQ(stored[3], 4);
    EXPECT_EQ(getPixel(*image, 0, 0), 0x04030201u);
    for (int b = 0; b < 8; ++b) EXPECT_EQ(image->bits()[b], 0) << "bottom row byte " << b;
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

// Builds a source image from its stored bytes (storage row 0 first).
ImagePtr makeSource(std::int32_t width, std::int32_t height, int depth,
                    const std::vector<std::uint8_t>& bytes) {
    ImagePtr image = PixelImage::create(width, height, depth);
    EXPECT_NE(image, nullptr);
    if (!image) return nullptr;
    EXPECT_EQ(bytes.size(), image->byteSize());
    std::copy(bytes.begin(), bytes.end(), image->bits());
    for (std::size_t i = 0; i < image->colorTable().size(); ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        image->colorTable()[i] =
            PaletteEntry{static_cast<std::uint8_t>(10 + v), static_cast<std::uint8_t>(100 + v),
                         static_cast<std::uint8_t>(200 + v), 0};
    }
    return image;
}

// The packed opaque value of colour table entry i as makeSource fills it.
PixelValue tableColour(int i) {
    return packPixel(static_cast<std::uint8_t>(200 + i), static_cast<std::uint8_t>(100 + i),
                     static_cast<std::uint8_t>(10 + i), 255);
}

struct ConversionCase {
    const char* name;
    std::int32_t width, height;
    int depth;
    std::vector<std::uint8_t> stored;  // storage row 0 (the bottom row) first
    std::vector<PixelValue> topDown;   // expected values, top row first
};

TEST(PixelImage, ConvertTo32BitWalksBytesAndRowPadding) {
    const PixelValue white = packPixel(255, 255, 255, 255);
    const std::vector<ConversionCase> cases = {
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
        {"1-bit 9 wide uses 2 bytes a row, then pads to 4",
         9,
         2,
         1,
         // bottom row: pixels 0 and 8 set; padding bytes hold garbage
         {0x80, 0x80, 0xFF, 0xFF,
          // top row: pixels 1 and 7 set
          0x41, 0x00, 0xFF, 0xFF},
         {tableColour(0), tableColour(1), tableColour(0), tableColour(0), tableColour(0),
          tableColour(0), tableColour(0), tableColour(1), tableColour(0), tableColour(1),
          tableColour(0), tableColour(0), tableColour(0), tableColour(0), tableColour(0),
          tableColour(0), tableColour(0), tableColour(1)}},
        {"4-bit 3 wide uses 2 bytes a row",
         3,
         2,
         4,
         {0x12, 0x3F, 0xEE, 0xEE, 0x45, 0x6F, 0xEE, 0xEE},
         {tableColour(4), tableColour(5), tableColour(6), tableColour(1), tableColour(2),
          tableColour(3)}},
        {"8-bit indexes the table",
         3,
         2,
         8,
         {0, 255, 7, 0xEE, 9, 8, 200, 0xEE},
         {tableColour(9), tableColour(8), tableColour(200), tableColour(0), tableColour(255),
          tableColour(7)}},
        {"24-bit 3 wide uses 9 bytes and skips 3",
         3,
         2,
         24,
         {1,  2,  3,  4,  5,  6,  7,  8,  9,  0xEE, 0xEE, 0xEE,
          10, 11, 12, 13, 14, 15, 16, 17, 18, 0xEE, 0xEE, 0xEE},
         {packPixel(12, 11, 10, 255), packPixel(15, 14, 13, 255), packPixel(18, 17, 16, 255),
          packPixel(3, 2, 1, 255), packPixel(6, 5, 4, 255), packPixel(9, 8, 7, 255)}},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ImagePtr source = makeSource(c.width, c.height, c.depth, c.stored);
        ASSERT_NE(source, nullptr);
        const ImagePtr converted = convertTo32Bit(*source);
        ASSERT_NE(converted, nullptr);
        EXPECT_EQ(imageBitDepth(converted.get()), 32);
        EXPECT_EQ(imageWidth(converted.get()), c.width);
        EXPECT_EQ(imageHeight(converted.get()), c.height);
        std::vector<PixelValue> got;
        for (std::int32_t y = 0; y < c.height; ++y)
            for (std::int32_t x = 0; x < c.width; ++x) got.push_back(getPixel(*converted, x, y));
        EXPECT_EQ(got, c.topDown);
        EXPECT_EQ(std::vector<std::uint8_t>(source->bits(), source->bits() + source->byteSize()),
                  c.stored)
            << "source changed";
    }
}

TEST(PixelImage, ConvertTo32BitGivesBlackForEntriesMissingFromAShortTable) {
    const ImagePtr source = makeSource(2, 1, 1, {0x40, 0, 0, 0});
    ASSERT_NE(source, nullptr);
    source->colorTable().resize(1);
    const ImagePtr converted = convertTo32Bit(*source);
    ASSERT_NE(converted, nullptr);
    EXPECT_EQ(getPixel(*converted, 0, 0), tableColour(0));
    EXPECT_EQ(getPixel(*converted, 1, 0), packPixel(0, 0, 0, 255));
}

TEST(PixelImage, ConvertTo32BitRefusesDepth32) {
    const ImagePtr deep = createPixelImage(2, 2);
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(convertTo32Bit(*deep), nullptr);
}

TEST(PixelImage, Ensure32BitKeepsDeepImagesAndReplacesShallowOnes) {
    ImagePtr empty;
    EXPECT_FALSE(ensure32Bit(empty));

    ImagePtr deep = createPixelImage(2, 1);
    ASSERT_NE(deep, nullptr);
    setPixel(*deep, 1, 0, packPixel(1, 2, 3, 7));
    const PixelImage* original = deep.get();
    EXPECT_TRUE(ensure32Bit(deep));
    EXPECT_EQ(deep.get(), original);
    EXPECT_EQ(getPixel(*deep, 1, 0), packPixel(1, 2, 3, 7)) << "own alpha kept";

    ImagePtr shallow = makeSource(3, 1, 8, {1, 2, 3, 0});
    ASSERT_NE(shallow, nullptr);
    EXPECT_TRUE(ensure32Bit(shallow));
    EXPECT_EQ(imageBitDepth(shallow.get()), 32);
    EXPECT_EQ(getPixel(*shallow, 2, 0), tableColour(3));
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
