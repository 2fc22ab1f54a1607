#include "image/blit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace tilvane {
namespace {

constexpr PixelValue kBackground = 0xFFFFFFFFu;

// A 32-bit source whose pixel (x, y) holds a value naming it, alpha 255.
ImagePtr numbered(std::int32_t width, std::int32_t height) {
    ImagePtr image = createPixelImage(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            setPixel(*image, x, y,
                     packPixel(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 9, 255));
    return image;
}

ImagePtr filled(std::int32_t width, std::int32_t height, PixelValue value) {
    ImagePtr image = createPixelImage(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) setPixel(*image, x, y, value);
    return image;
}

struct BlitCase {
    const char* name;
    std::int32_t x, y;
    std::optional<Rect> sourceRect;
    bool expected;
    // The value expected at destination (dx, dy): a source pixel or the background.
    std::function<PixelValue(std::int32_t dx, std::int32_t dy, const PixelImage& src)> at;
};

// Destination 10 x 10 filled with the background; source 6 x 5 numbered.
TEST(Blit, BlitImage) {
    auto block = [](std::int32_t x0, std::int32_t y0, std::int32_t w, std::int32_t h,
                    std::int32_t sx, std::int32_t sy) {
        return [=](std::int32_t dx, std::int32_t dy, const PixelImage& src) {
            if (dx < x0 || dy < y0 || dx >= x0 + w || dy >= y0 + h) return kBackground;
            return getPixel(src, sx + dx - x0, sy + dy - y0);
        };
    };
    auto unchanged = [](std::int32_t, std::int32_t, const PixelImage&) { return kBackground; };
    const std::vector<BlitCase> cases = {
        {"whole source", 2, 3, std::nullopt, true, block(2, 3, 6, 5, 0, 0)},
        {"clipped at the right and bottom edges", 8, 9, std::nullopt, true,
         block(8, 9, 2, 1, 0, 0)},
        {"x at the destination width", 10, 0, std::nullopt, false, unchanged},
        {"y at the destination height", 0, 10, std::nullopt, false, unchanged},
        {"negative x", -1, 0, std::nullopt, false, unchanged},
        {"negative y", 0, -1, std::nullopt, false, unchanged},
        {"source rectangle", 1, 1, Rect{2, 1, 4, 3}, true, block(1, 1, 3, 3, 2, 1)},
        {"rectangle left of the source shrinks", 0, 0, Rect{-1, 0, 1, 0}, true,
         block(0, 0, 2, 1, 0, 0)},
        {"rectangle wider than the source is clamped to its width", 0, 0, Rect{3, 0, 40, 0}, true,
         // 6 columns from source column 3: the last three read as transparent black
         [](std::int32_t dx, std::int32_t dy, const PixelImage& src) {
             if (dy != 0 || dx >= 6) return kBackground;
             return getPixel(src, 3 + dx, 0);
         }},
        {"rectangle starting past the source", 0, 0, Rect{6, 0, 7, 1}, false, unchanged},
        {"empty rectangle", 0, 0, Rect{3, 3, 2, 3}, false, unchanged},
        // Clamped to the source width first, then shrunk by 2^31 columns: nothing left.
        {"rectangle from INT32_MIN to INT32_MAX", 0, 0, Rect{-0x7FFFFFFF - 1, 0, 0x7FFFFFFF, 0},
         false, unchanged},
        // Clamped to 6 x 5 from (1, 4): what lies past the source copies as 0.
        {"rectangle reaching INT32_MAX", 4, 0, Rect{1, 4, 0x7FFFFFFF, 0x7FFFFFFF}, true,
         block(4, 0, 6, 5, 1, 4)},
    };
    const ImagePtr source = numbered(6, 5);
    for (const BlitCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ImagePtr dest = filled(10, 10, kBackground);
        const Rect* rect = c.sourceRect ? &*c.sourceRect : nullptr;
        EXPECT_EQ(blitImage(dest.get(), source.get(), c.x, c.y, rect), c.expected);
        for (std::int32_t dy = 0; dy < 10; ++dy)
            for (std::int32_t dx = 0; dx < 10; ++dx)
                ASSERT_EQ(getPixel(*dest, dx, dy), c.at(dx, dy, *source)) << dx << ", " << dy;
    }
}

// Pixels are copied, alpha and all, never blended; a source below 32 bits
// has no pixels to copy and writes transparent black.
TEST(Blit, ReplacesPixelsInsteadOfBlending) {
    const ImagePtr clear = filled(2, 2, packPixel(10, 20, 30, 0));
    const ImagePtr shallow = PixelImage::create(2, 2, 24);
    std::fill(shallow->bits(), shallow->bits() + shallow->byteSize(), 0x77);
    for (const auto& [source, expected] : {std::pair{clear.get(), packPixel(10, 20, 30, 0)},
                                           std::pair{shallow.get(), PixelValue{0}}}) {
        const ImagePtr dest = filled(3, 3, kBackground);
        EXPECT_TRUE(blitImage(dest.get(), source, 1, 1, nullptr));
        EXPECT_EQ(getPixel(*dest, 1, 1), expected);
        EXPECT_EQ(getPixel(*dest, 2, 2), expected);
        EXPECT_EQ(getPixel(*dest, 0, 0), kBackground);
    }
}

}  // namespace
}  // namespace tilvane
