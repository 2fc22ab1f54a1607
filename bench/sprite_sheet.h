#pragma once

#include <algorithm>
#include <cstdint>

#include "image/pixel_image.h"
#include "model/classic_random.h"

namespace tilvane::bench {

// A deterministic picture like a packed atlas: a transparent sheet holding
// sprites of 16 to 128 pixels with soft-edged elliptic outlines, shaded fills
// and a little texture noise, laid out in shelves with gaps between them.
inline ImagePtr makeSpriteSheet(std::int32_t width, std::int32_t height) {
    ImagePtr image = createPixelImage(width, height);
    if (!image) return nullptr;
    ClassicRandom random(12345);
    auto next = [&random](std::uint32_t range) {
        return static_cast<std::uint32_t>(random.next()) % range;
    };
    std::int32_t x = 1, y = 1, shelf = 0;
    for (;;) {
        const auto w = static_cast<std::int32_t>(16 + next(113));
        const auto h = static_cast<std::int32_t>(16 + next(113));
        if (x + w >= width) {
            x = 1;
            y += shelf + 2;
            shelf = 0;
        }
        if (y + h >= height) break;
        const auto base = static_cast<int>(next(256)), hue = static_cast<int>(next(3));
        const double rx = w / 2.0, ry = h / 2.0;
        for (std::int32_t j = 0; j < h; ++j) {
            for (std::int32_t i = 0; i < w; ++i) {
                const double dx = (i + 0.5 - rx) / rx, dy = (j + 0.5 - ry) / ry;
                const double d = dx * dx + dy * dy;
                if (d > 1.0) continue;
                const int edge = d > 0.85 ? static_cast<int>((1.0 - d) / 0.15 * 255) : 255;
                const int shade = (base + i * 2 + j) % 256;
                const int noise = static_cast<int>(next(9)) - 4;
                auto c = [&](int v) {
                    return static_cast<std::uint8_t>(std::clamp(v + noise, 0, 255));
                };
                const int other = (shade * 3 / 4 + 40) % 256;
                setPixel(
                    *image, x + i, y + j,
                    packPixel(c(hue == 0 ? shade : other), c(hue == 1 ? shade : other / 2),
                              c(hue == 2 ? shade : other / 3), static_cast<std::uint8_t>(edge)));
            }
        }
        x += w + 2;
        if (h > shelf) shelf = h;
    }
    return image;
}

}  // namespace tilvane::bench
