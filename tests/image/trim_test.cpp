#include "image/trim.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace tilvane {
namespace {

// A 32-bit image whose pixels are opaque-coloured with the given alphas; every
// other pixel is a colour with alpha 0.
ImagePtr withAlphas(std::int32_t width, std::int32_t height,
                    const std::vector<std::pair<Point, std::uint8_t>>& alphas) {
    ImagePtr image = createPixelImage(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) setPixel(*image, x, y, packPixel(90, 80, 70, 0));
    for (const auto& [p, alpha] : alphas) setPixel(*image, p.x, p.y, packPixel(1, 2, 3, alpha));
    return image;
}

ImagePtr opaque(std::int32_t width, std::int32_t height) {
    std::vector<std::pair<Point, std::uint8_t>> all;
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) all.push_back({Point{x, y}, 255});
    return withAlphas(width, height, all);
}

TEST(Trim, FindTrimRect) {
    struct Case {
        const char* name;
        ImagePtr image;
        std::uint32_t cropAlpha;
        std::optional<Rect> expected;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, ImagePtr image, std::uint32_t cropAlpha,
                   std::optional<Rect> expected) {
        cases.push_back(Case{name, std::move(image), cropAlpha, expected});
    };
    add("one pixel above threshold 0", withAlphas(4, 4, {{{1, 2}, 200}}), 0, Rect{1, 2, 1, 2});
    add("alpha equal to the threshold does not count", withAlphas(4, 4, {{{1, 2}, 200}}), 200,
        std::nullopt);
    add("alpha one above the threshold counts", withAlphas(4, 4, {{{1, 2}, 200}}), 199,
        Rect{1, 2, 1, 2});
    add("threshold 255 trims everything away", opaque(3, 2), 255, std::nullopt);
    add("threshold above 255, compared unsigned", opaque(3, 2), 300, std::nullopt);
    add("fully opaque keeps the whole image", opaque(5, 3), 0, Rect{0, 0, 4, 2});
    add("32 bits with every alpha 0", withAlphas(3, 3, {}), 0, std::nullopt);
    add("rectangle spans pixels that do not count", withAlphas(6, 4, {{{0, 3}, 9}, {{5, 0}, 9}}), 0,
        Rect{0, 0, 5, 3});
    add("24 bits are never trimmed", PixelImage::create(5, 2, 24), 255, Rect{0, 0, 4, 1});
    add("8 bits are never trimmed", PixelImage::create(3, 7, 8), 255, Rect{0, 0, 2, 6});
    add("1 bit is never trimmed", PixelImage::create(9, 1, 1), 0, Rect{0, 0, 8, 0});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(c.image, nullptr);
        Rect slot{7, 7, 7, 7};
        const bool found = findTrimRect(c.image.get(), c.cropAlpha, &slot);
        EXPECT_EQ(found, c.expected.has_value());
        EXPECT_EQ(slot, c.expected.value_or(Rect{-1, -1, -1, -1}));
    }
}

}  // namespace
}  // namespace tilvane
