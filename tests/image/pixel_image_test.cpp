// PixelImage's storage and conversion, and the operations on its pixels that
// the build relies on: trimming, composition and the alpha passes.
#include "image/pixel_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <tuple>
#include <vector>

#include "image/alpha_passes.h"
#include "image/blit.h"
#include "image/trim.h"
#include "tests/support/drawn_image.h"

namespace tilvane {
namespace {

constexpr std::int32_t kMax = 0x7FFFFFFF;
constexpr PixelValue kWhite = 0xFFFFFFFFu;

using testing::Drawing;
using testing::drawn;

// 6 x 5, each pixel naming itself, with alpha from 0 to 250 so that blending
// instead of copying shows.
ImagePtr selfNamed() {
    return drawn(6, 5, [](std::int32_t x, std::int32_t y) {
        return packPixel(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 9,
                         static_cast<std::uint8_t>(50 * x));
    });
}

std::vector<std::uint8_t> storage(const PixelImage& image) {
    return {image.bits(), image.bits() + image.byteSize()};
}

TEST(PixelImage, CreateRefusesUnusableSizesWithoutAborting) {
    const std::tuple<const char*, std::int32_t, std::int32_t, int> rows[] = {
        {"zero width", 0, 10, 32},
        {"negative height", 10, -1, 32},
        {"exactly 2^31 bytes", 32768, 16384, 32},
        {"largest sides", kMax, kMax, 32},
        {"1-bit row of 2^28 bytes, 8 rows", kMax, 8, 1},
        {"24-bit stride overflow guard", kMax, 2, 24},
        {"depth 2", 4, 4, 2},
        {"depth 33", 4, 4, 33},
    };
    for (const auto& [name, width, height, depth] : rows) {
        EXPECT_EQ(PixelImage::create(width, height, depth), nullptr) << name;
    }
}

TEST(PixelImage, OutsideTheImageReadsZeroAndWritesNothing) {
    const ImagePtr image = drawn(3, 2, [](auto, auto) { return kWhite; });
    const std::vector<std::uint8_t> before = storage(*image);
    const std::pair<std::int32_t, std::int32_t> outside[] = {{3, 0},  {0, 2},    {-1, 0},
                                                             {0, -1}, {kMax, 0}, {0, -kMax - 1}};
    for (const auto& [x, y] : outside) {
        EXPECT_EQ(getPixel(*image, x, y), 0u) << x << ", " << y;
        setPixel(*image, x, y, 0x12345678u);
    }
    EXPECT_EQ(storage(*image), before);
}

// Each row: depth, width, the bytes stored (row 0, the bottom row, first) and
// the pixels top-down. Every colour table entry i holds (10 + i, 100 + i,
// 200 + i); expected pixels below 256 name an entry.
TEST(PixelImage, ConvertTo32BitWalksBytesAndRowPadding) {
    auto rgb = [](int r, int g, int b) {
        return packPixel(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                         static_cast<std::uint8_t>(b), 255);
    };
    const PixelValue red = rgb(255, 0, 0), blue = rgb(0, 0, 255);
    const std::uint8_t x = 0xEE;  // padding: garbage
    using Bytes = std::vector<std::uint8_t>;
    const std::vector<std::tuple<int, std::int32_t, Bytes, std::vector<PixelValue>>> rows = {
        // 5-5-5 channels, the top bit ignored.
        {16, 4, {0xFF, 0xFF, 0x21, 0x04, 0x1F, 0, 0, 0x7C}, {kWhite, rgb(8, 8, 8), blue, red}},
        // 9 wide uses 2 bytes a row, padded to 4; pixels 0 and 8 set below, 1 and 7 above.
        {1,
         9,
         {0x80, 0x80, x, x, 0x41, 0, x, x},
         {0, 1, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1}},
        // 3 wide uses 2 bytes a row.
        {4, 3, {0x12, 0x3F, x, x, 0x45, 0x6F, x, x}, {4, 5, 6, 1, 2, 3}},
        {8, 3, {0, 255, 7, x, 9, 8, 200, x}, {9, 8, 200, 0, 255, 7}},
        // 3 wide uses 9 bytes and skips 3.
        {24,
         3,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, x, x, x, 10, 11, 12, 13, 14, 15, 16, 17, 18, x, x, x},
         {rgb(12, 11, 10), rgb(15, 14, 13), rgb(18, 17, 16), rgb(3, 2, 1), rgb(6, 5, 4),
          rgb(9, 8, 7)}},
    };
    for (const auto& [depth, width, stored, topDown] : rows) {
        SCOPED_TRACE(std::to_string(depth) + " bits");
        const auto height = static_cast<std::int32_t>(topDown.size()) / width;
        const ImagePtr source = PixelImage::create(width, height, depth);
        ASSERT_EQ(source->byteSize(), stored.size());
        std::copy(stored.begin(), stored.end(), source->bits());
        for (std::size_t i = 0; i < source->colorTable().size(); ++i) {
            const auto v = static_cast<std::uint8_t>(i);
            source->colorTable()[i] =
                PaletteEntry{static_cast<std::uint8_t>(10 + v), static_cast<std::uint8_t>(100 + v),
                             static_cast<std::uint8_t>(200 + v), 0};
        }
        const ImagePtr converted = convertTo32Bit(*source);
        ASSERT_NE(converted, nullptr);
        for (std::int32_t i = 0; i < width * height; ++i) {
            const PixelValue v = topDown[static_cast<std::size_t>(i)];
            EXPECT_EQ(getPixel(*converted, i % width, i / width),
                      v < 256 ? rgb(200 + int(v), 100 + int(v), 10 + int(v)) : v)
                << "pixel " << i;
        }
        EXPECT_EQ(storage(*source), stored) << "source changed";
    }
}

TEST(Trim, FindTrimRect) {
    // A colour with alpha 0 everywhere but the listed pixels.
    auto alphas = [](std::int32_t width, std::int32_t height,
                     std::vector<std::pair<Point, std::uint8_t>> set) {
        return drawn(width, height, [set](std::int32_t x, std::int32_t y) {
            for (const auto& [p, alpha] : set)
                if (p.x == x && p.y == y) return packPixel(1, 2, 3, alpha);
            return packPixel(90, 80, 70, 0);
        });
    };
    auto opaque = [](std::int32_t width, std::int32_t height) {
        return drawn(width, height, [](auto, auto) { return packPixel(1, 2, 3, 255); });
    };
    struct Row {
        const char* name;
        ImagePtr image;
        std::uint32_t cropAlpha;
        std::optional<Rect> expected;
    };
    Row rows[] = {
        {"one pixel above threshold 0", alphas(4, 4, {{{1, 2}, 200}}), 0, Rect{1, 2, 1, 2}},
        {"alpha equal to the threshold does not count", alphas(4, 4, {{{1, 2}, 200}}), 200, {}},
        {"threshold 255 trims everything away", opaque(3, 2), 255, {}},
        {"threshold above 255, compared unsigned", opaque(3, 2), 300, {}},
        {"fully opaque keeps the whole image", opaque(5, 3), 0, Rect{0, 0, 4, 2}},
        {"32 bits with every alpha 0", alphas(3, 3, {}), 0, {}},
        {"rectangle spans pixels that do not count", alphas(6, 4, {{{0, 3}, 9}, {{5, 0}, 9}}), 0,
         Rect{0, 0, 5, 3}},
        {"below 32 bits never trimmed", PixelImage::create(5, 2, 24), 255, Rect{0, 0, 4, 1}},
    };
    for (const Row& c : rows) {
        SCOPED_TRACE(c.name);
        Rect slot{7, 7, 7, 7};
        EXPECT_EQ(findTrimRect(c.image.get(), c.cropAlpha, &slot), c.expected.has_value());
        EXPECT_EQ(slot, c.expected.value_or(Rect{-1, -1, -1, -1}));
    }
}

// Destination 10 x 10 in white, source selfNamed(). Pixels past the source
// copy as transparent black, as getPixel reads them.
TEST(Blit, BlitImage) {
    struct Row {
        const char* name;
        std::int32_t x, y;
        std::optional<Rect> sourceRect;
        // The block written at (x, y), its size and where it comes from in the
        // source; none, and blitImage fails, when width is 0.
        std::int32_t width = 0, height = 0, sx = 0, sy = 0;
    };
    const Row rows[] = {
        {"whole source", 2, 3, std::nullopt, 6, 5, 0, 0},
        {"clipped at the right and bottom edges", 8, 9, std::nullopt, 2, 1, 0, 0},
        {"x at the destination width", 10, 0, std::nullopt},
        {"negative x", -1, 0, std::nullopt},
        {"source rectangle", 1, 1, Rect{2, 1, 4, 3}, 3, 3, 2, 1},
        {"rectangle left of the source shrinks", 0, 0, Rect{-1, 0, 1, 0}, 2, 1, 0, 0},
        {"rectangle wider than the source is clamped", 0, 0, Rect{3, 0, 40, 0}, 6, 1, 3, 0},
        {"rectangle starting past the source", 0, 0, Rect{6, 0, 7, 1}},
        {"empty rectangle", 0, 0, Rect{3, 3, 2, 3}},
        // Clamped to the source width first, then shrunk by 2^31 columns: nothing left.
        {"rectangle from INT32_MIN to INT32_MAX", 0, 0, Rect{-kMax - 1, 0, kMax, 0}},
        {"rectangle reaching INT32_MAX", 4, 0, Rect{1, 4, kMax, kMax}, 6, 5, 1, 4},
    };
    const ImagePtr source = selfNamed();
    for (const Row& c : rows) {
        SCOPED_TRACE(c.name);
        const ImagePtr dest = drawn(10, 10, [](auto, auto) { return kWhite; });
        const Rect* rect = c.sourceRect ? &*c.sourceRect : nullptr;
        EXPECT_EQ(blitImage(dest.get(), source.get(), c.x, c.y, rect), c.width > 0);
        for (std::int32_t y = 0; y < 10; ++y) {
            for (std::int32_t x = 0; x < 10; ++x) {
                const bool inside = x >= c.x && y >= c.y && x < c.x + c.width && y < c.y + c.height;
                ASSERT_EQ(getPixel(*dest, x, y),
                          inside ? getPixel(*source, c.sx + x - c.x, c.sy + y - c.y) : kWhite)
                    << x << ", " << y;
            }
        }
    }
    // A source below 32 bits has no pixels to copy: it writes transparent black.
    const ImagePtr shallow = PixelImage::create(2, 2, 24);
    std::fill(shallow->bits(), shallow->bits() + shallow->byteSize(), 0x77);
    const ImagePtr dest = drawn(4, 4, [](auto, auto) { return kWhite; });
    EXPECT_TRUE(blitImage(dest.get(), shallow.get(), 1, 1, nullptr));
    EXPECT_EQ(getPixel(*dest, 2, 2), 0u);
    for (const auto& [x, y] : {std::pair{0, 0}, {3, 1}, {1, 3}}) {
        EXPECT_EQ(getPixel(*dest, x, y), kWhite) << x << ", " << y;
    }
}

// A turned block: clockwise the source's top-left pixel lands at the block's
// top-right corner, counter-clockwise at its bottom-left (the JSON readers'
// and libGDX's readings); a block that leaves either image draws nothing.
TEST(Blit, BlitTurned) {
    // Name, where, the source rectangle, clockwise, drawn.
    const std::tuple<const char*, std::int32_t, std::int32_t, Rect, bool, bool> rows[] = {
        {"clockwise", 1, 2, Rect{1, 1, 4, 2}, true, true},
        {"counter-clockwise", 0, 0, Rect{0, 0, 5, 4}, false, true},
        {"block reaching the corner", 8, 6, Rect{2, 1, 5, 2}, true, true},
        {"block one row too tall", 8, 7, Rect{2, 1, 5, 2}, true, false},
        {"rectangle past the source", 0, 0, Rect{3, 0, 6, 1}, false, false},
    };
    const ImagePtr source = selfNamed();
    for (const auto& [name, left, top, rect, clockwise, drawnAny] : rows) {
        SCOPED_TRACE(name);
        const ImagePtr dest = drawn(10, 10, [](auto, auto) { return kWhite; });
        EXPECT_EQ(blitTurned(dest.get(), source.get(), left, top, rect, clockwise), drawnAny);
        const std::int32_t w = rect.width(), h = rect.height();
        for (std::int32_t v = 0; drawnAny && v < h; ++v) {
            for (std::int32_t u = 0; u < w; ++u) {
                const std::int32_t x = left + (clockwise ? h - 1 - v : v);
                const std::int32_t y = top + (clockwise ? u : w - 1 - u);
                ASSERT_EQ(getPixel(*dest, x, y), getPixel(*source, rect.left + u, rect.top + v))
                    << u << ", " << v;
            }
        }
        std::int32_t white = 0;
        for (std::int32_t i = 0; i < 100; ++i) white += getPixel(*dest, i % 10, i / 10) == kWhite;
        EXPECT_EQ(white, 100 - (drawnAny ? w * h : 0));
    }
}

std::uint8_t alphaOf(PixelValue v) {
    return static_cast<std::uint8_t>(v >> 24);
}

// Every colour at every alpha, against the rounding done in floating point;
// pixels outside the rectangle stay.
TEST(AlphaPasses, PremultiplyRoundsEachChannelToTheNearest) {
    const auto colour = [](std::int32_t x, std::int32_t y) {
        return packPixel(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(255 - x),
                         static_cast<std::uint8_t>(x / 2), static_cast<std::uint8_t>(y));
    };
    const ImagePtr image = drawn(258, 257, colour);
    premultiplyAlpha(*image, {1, 1, 256, 256});
    for (std::int32_t y = 0; y < 257; ++y) {
        for (std::int32_t x = 0; x < 258; ++x) {
            const PixelValue given = colour(x, y), got = getPixel(*image, x, y);
            const bool inside = x >= 1 && y >= 1 && x <= 256;
            const double alpha = alphaOf(given) / 255.0;
            for (int c = 0; c < 3; ++c) {
                const int value = given >> (8 * c) & 0xFF;
                const long want = inside ? std::lround(value * alpha) : value;
                ASSERT_EQ(got >> (8 * c) & 0xFF, static_cast<PixelValue>(want)) << x << ", " << y;
            }
            ASSERT_EQ(alphaOf(got), alphaOf(given));
        }
    }
}

// Sprites of scattered non-transparent pixels (never black) bled inside a
// rectangle: alphas and those pixels stay, every transparent pixel takes the
// colour of one of the nearest of them (found by brute force), nothing outside
// the rectangle changes, and a rectangle with none of them is left alone.
TEST(AlphaPasses, BleedGivesEachClearPixelItsNearestColour) {
    // Name, size, rectangle, percent of pixels not transparent (at random), seed.
    const std::tuple<const char*, std::int32_t, std::int32_t, Rect, int, unsigned> rows[] = {
        {"sparse, whole image", 23, 17, {0, 0, 22, 16}, 3, 1},
        {"dense, whole image", 16, 16, {0, 0, 15, 15}, 60, 2},
        {"a rectangle inside the image", 30, 20, {4, 3, 21, 15}, 2, 3},
        {"one row", 40, 1, {0, 0, 39, 0}, 5, 4},
        {"one pixel", 3, 3, {1, 1, 1, 1}, 50, 5},
        {"all transparent", 12, 9, {0, 0, 11, 8}, 0, 6},
        {"rectangle past the image", 8, 8, {2, 2, 8, 7}, 20, 7},
    };
    for (const auto& [name, width, height, r, percent, seed] : rows) {
        SCOPED_TRACE(name);
        std::srand(seed);
        const ImagePtr given = drawn(width, height, [&](auto, auto) -> PixelValue {
            const int draw = std::rand();
            if (draw % 100 >= percent) return draw & 0x00FFFFFF;  // any colour, alpha 0
            return packPixel(static_cast<std::uint8_t>(1 + draw % 255),
                             static_cast<std::uint8_t>(draw >> 8),
                             static_cast<std::uint8_t>(draw >> 16),
                             static_cast<std::uint8_t>(1 + (draw >> 4) % 255));
        });
        const ImagePtr image =
            drawn(width, height, [&](auto x, auto y) { return getPixel(*given, x, y); });
        ASSERT_TRUE(bleedTransparent(*image, r));
        const bool inImage = r.right < width && r.bottom < height;
        bool anySource = false;
        for (std::int32_t y = r.top; inImage && y <= r.bottom; ++y)
            for (std::int32_t x = r.left; x <= r.right; ++x)
                anySource |= alphaOf(getPixel(*given, x, y)) != 0;
        for (std::int32_t y = 0; y < height; ++y) {
            for (std::int32_t x = 0; x < width; ++x) {
                const PixelValue before = getPixel(*given, x, y), after = getPixel(*image, x, y);
                const bool inside = x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
                if (!inside || !anySource || alphaOf(before) != 0) {
                    ASSERT_EQ(after, before) << x << ", " << y;
                    continue;
                }
                ASSERT_EQ(alphaOf(after), 0) << x << ", " << y;
                // The colours of the nearest pixels that are not transparent.
                int nearest = INT32_MAX;
                std::vector<PixelValue> colours;
                for (std::int32_t sy = r.top; sy <= r.bottom; ++sy) {
                    for (std::int32_t sx = r.left; sx <= r.right; ++sx) {
                        const PixelValue s = getPixel(*given, sx, sy);
                        if (alphaOf(s) == 0) continue;
                        const int d = std::max(std::abs(sx - x), std::abs(sy - y));
                        if (d < nearest) colours.clear();
                        if (d <= nearest) colours.push_back(s & 0xFFFFFF);
                        nearest = std::min(nearest, d);
                    }
                }
                ASSERT_NE(std::find(colours.begin(), colours.end(), after), colours.end())
                    << x << ", " << y << " took " << std::hex << after;
                // So filtering next to an edge never meets black.
                ASSERT_NE(after, 0u) << x << ", " << y;
            }
        }
    }
}

}  // namespace
}  // namespace tilvane
