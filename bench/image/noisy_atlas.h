#pragma once

#include <algorithm>
#include <cstdint>

#include "image/pixel_image.h"
#include "model/classic_random.h"

namespace tilvane::bench {

// A deterministic stand-in for a packed atlas of many small noisy sprites
// (the kind a 10,000-sprite build makes): shelves of sprites of 8 to 128
// pixels a side and of nearly the shelf's height, one pixel apart, each a rough texture inside a
// transparent margin.
inline ImagePtr makeNoisyAtlas(std::int32_t width, std::int32_t height, int noise) {
    ImagePtr image = createPixelImage(width, height);
    if (!image) return nullptr;
    ClassicRandom random(2718281);
    auto next = [&random](std::uint32_t range) {
        return static_cast<std::uint32_t>(random.next()) % range;
    };
    auto shelfHeight = [&next] { return static_cast<std::int32_t>(8 + next(121)); };
    std::int32_t x = 1, y = 1, shelf = shelfHeight();
    for (;;) {
        const auto w = static_cast<std::int32_t>(8 + next(121));
        auto h = static_cast<std::int32_t>(
            shelf - static_cast<std::int32_t>(next(static_cast<std::uint32_t>(shelf / 4 + 1))));
        if (x + w >= width) {
            x = 1;
            y += shelf + 1;
            shelf = shelfHeight();
            h = shelf;
        }
        if (y + h >= height) break;
        const auto margin = static_cast<std::int32_t>(next(static_cast<std::uint32_t>(w / 32 + 1)));
        // Each channel wanders from its left and upper neighbours by up to
        // `noise` levels: rough textures, as drawn or photographed sprites have.
        const std::uint8_t base[3] = {static_cast<std::uint8_t>(next(256)),
                                      static_cast<std::uint8_t>(next(256)),
                                      static_cast<std::uint8_t>(next(256))};
        for (std::int32_t j = margin; j < h - margin; ++j) {
            for (std::int32_t i = margin; i < w - margin; ++i) {
                const PixelValue left = i > margin ? getPixel(*image, x + i - 1, y + j) : 0;
                const PixelValue up = j > margin ? getPixel(*image, x + i, y + j - 1) : 0;
                std::uint8_t c[3];
                for (int k = 0; k < 3; ++k) {
                    const int l = i > margin ? static_cast<int>(left >> (8 * k) & 0xFF) : base[k];
                    const int u = j > margin ? static_cast<int>(up >> (8 * k) & 0xFF) : l;
                    const int step =
                        static_cast<int>(next(static_cast<std::uint32_t>(2 * noise + 1))) - noise;
                    c[k] = static_cast<std::uint8_t>(std::clamp((l + u + 1) / 2 + step, 0, 255));
                }
                setPixel(*image, x + i, y + j, packPixel(c[0], c[1], c[2], 255));
            }
        }
        x += w + 1;
    }
    return image;
}

}  // namespace tilvane::bench
