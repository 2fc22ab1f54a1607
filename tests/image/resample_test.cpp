// The resampler behind --scale and --variant: its sizes and refusals, an exact
// copy at scale 1, and what any good filter must keep: a flat colour flat, a
// ramp where the pixel centres say, and no colour of a transparent pixel.
#include "image/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/drawn_image.h"

namespace tilvane {
namespace {

using testing::Drawing;
using testing::drawn;

int channel(PixelValue p, int index) {
    return static_cast<int>(p >> (8 * index) & 0xFF);
}

TEST(Resample, SizesAndRefusals) {
    struct Row {
        const char* name;
        Size source;
        double scale;
        Size expected;  // 0 x 0: refused
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Row rows[] = {
        {"half, halves rounded up", {5, 3}, 0.5, {3, 2}},
        {"tiny scale keeps a pixel", {7, 1}, 0.01, {1, 1}},
        {"a third", {10, 7}, 0.3, {3, 2}},
        {"double", {10, 4}, 2, {20, 8}},
        {"largest scale", {3, 1}, kMaxScale, {48, 16}},
        {"zero", {4, 4}, 0, {0, 0}},
        {"negative", {4, 4}, -0.5, {0, 0}},
        {"not a number", {4, 4}, nan, {0, 0}},
        {"past the largest scale", {4, 4}, kMaxScale + 0.5, {0, 0}},
        {"source side past the limit", {kMaxResampledSide + 1, 1}, 0.5, {0, 0}},
        {"scaled side past the limit", {kMaxResampledSide / 2 + 1, 1}, 2, {0, 0}},
    };
    for (const Row& row : rows) {
        const ImagePtr source = createPixelImage(row.source.width, row.source.height);
        ASSERT_NE(source, nullptr) << row.name;
        const ImagePtr scaled = scaledImage(*source, row.scale);
        const Size got{imageWidth(scaled.get()), imageHeight(scaled.get())};
        EXPECT_EQ(got, row.expected) << row.name;
        if (row.expected.width > 0) {
            EXPECT_EQ(scaledSize(row.source, row.scale), row.expected) << row.name;
        }
    }
}

TEST(Resample, ScaleOneIsAnExactCopyOfAnyDepth) {
    const ImagePtr image = drawn(5, 3, [](auto x, auto y) {
        return packPixel(static_cast<std::uint8_t>(40 * x), static_cast<std::uint8_t>(y), 7,
                         static_cast<std::uint8_t>(50 * x + y));
    });
    const ImagePtr copy = scaledImage(*image, 1);
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(copy->byteSize(), image->byteSize());
    EXPECT_EQ(std::memcmp(copy->bits(), image->bits(), image->byteSize()), 0);

    ImagePtr grey = PixelImage::create(3, 2, 8);
    // The one pixel not of entry 0 (black) is grey.
    grey->colorTable()[200] = {200, 200, 200, 0};
    grey->row(1)[2] = 200;
    const ImagePtr greyCopy = scaledImage(*grey, 1), converted = convertTo32Bit(*grey);
    ASSERT_NE(greyCopy, nullptr);
    EXPECT_EQ(std::memcmp(greyCopy->bits(), converted->bits(), converted->byteSize()), 0);
}

// Each row scales one picture and checks every pixel of the result (but a
// margin along the edges, where the ramp meets the repeated edge) with `want`,
// given the source position its centre maps to.
TEST(Resample, FilteredPixelsKeepWhatTheSourceSays) {
    struct Row {
        const char* name;
        Size size;
        double scale;
        Drawing source;
        // The pixel wanted at source position (sx, sy) with the alpha the
        // filter gave it, and how far off each channel may be.
        std::function<PixelValue(double sx, double sy, int alpha)> want;
        int tolerance;
        int margin;  // output pixels left out along each edge
    };
    const auto opaque = [](int r, int g, int b) {
        return packPixel(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                         static_cast<std::uint8_t>(b), 255);
    };
    const PixelValue teal = opaque(20, 140, 160);
    const auto flat = [teal](auto, auto) { return teal; };
    const auto wantFlat = [teal](double, double, int) { return teal; };
    // Red rises 4 a pixel from left to right, green 3 a pixel downward: half a
    // pixel off is 2 off.
    const auto ramp = [opaque](auto x, auto y) { return opaque(10 + 4 * x, 20 + 3 * y, 99); };
    const auto wantRamp = [opaque](double sx, double sy, int) {
        return opaque(static_cast<int>(std::lround(10 + 4 * sx)),
                      static_cast<int>(std::lround(20 + 3 * sy)), 99);
    };
    // Opaque white and transparent green squares: filtered straight, the
    // green (or black) would tint every edge; premultiplied, only alpha mixes.
    const auto checks = [](auto x, auto y) {
        return (x / 2 + y / 2) % 2 == 0 ? 0xFFFFFFFFu : packPixel(0, 255, 0, 0);
    };
    const auto wantWhite = [](double, double, int) { return 0xFFFFFFFFu; };
    // Opaque red beside blue of alpha 64: a pixel of alpha a holds them in
    // shares w and 1 - w with a = 255 w + 64 (1 - w), so its red is 255 w 255 / a
    // (straight filtering would give 255 w).
    const auto redBlue = [](auto x, auto y) {
        return (x / 2 + y / 2) % 2 == 0 ? packPixel(255, 0, 0, 255) : packPixel(0, 0, 255, 64);
    };
    const auto wantRedBlue = [](double, double, int a) {
        const double w = (a - 64) / 191.0;
        const auto red = static_cast<int>(std::lround(255 * w * 255 / a));
        return packPixel(static_cast<std::uint8_t>(red), 0, static_cast<std::uint8_t>(255 - red),
                         static_cast<std::uint8_t>(a));
    };
    const Row rows[] = {
        {"flat, a half", {16, 12}, 0.5, flat, wantFlat, 0, 0},
        {"flat, an odd fraction", {17, 13}, 0.37, flat, wantFlat, 0, 0},
        {"flat, enlarged", {5, 4}, 2.5, flat, wantFlat, 0, 0},
        {"ramp, a half", {60, 40}, 0.5, ramp, wantRamp, 1, 3},
        {"ramp, a third", {60, 40}, 0.3, ramp, wantRamp, 1, 2},
        {"ramp, doubled", {30, 20}, 2, ramp, wantRamp, 1, 4},
        {"transparent colour never shows", {16, 16}, 0.5, checks, wantWhite, 1, 0},
        {"translucent colour weighs by its alpha", {16, 16}, 0.4, redBlue, wantRedBlue, 2, 0},
    };
    for (const Row& row : rows) {
        const ImagePtr source = drawn(row.size.width, row.size.height, row.source);
        const ImagePtr scaled = scaledImage(*source, row.scale);
        ASSERT_NE(scaled, nullptr) << row.name;
        const double stepX = static_cast<double>(row.size.width) / scaled->width();
        const double stepY = static_cast<double>(row.size.height) / scaled->height();
        int wrong = 0;
        for (std::int32_t y = row.margin; y < scaled->height() - row.margin; ++y)
            for (std::int32_t x = row.margin; x < scaled->width() - row.margin; ++x) {
                const PixelValue got = getPixel(*scaled, x, y);
                // Alpha is what mixes; a transparent pixel has no colour to check.
                if (got >> 24 == 0) continue;
                const PixelValue want = row.want((x + 0.5) * stepX - 0.5, (y + 0.5) * stepY - 0.5,
                                                 static_cast<int>(got >> 24));
                bool close = true;
                for (int c = 0; c < 3; ++c)
                    close = close && std::abs(channel(got, c) - channel(want, c)) <= row.tolerance;
                if (!close && wrong++ < 3)
                    ADD_FAILURE() << row.name << ": (" << x << ", " << y << ") is " << std::hex
                                  << got << ", not " << want;
            }
    }
}

}  // namespace
}  // namespace tilvane
