#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "image/image_file.h"
#include "model/classic_random.h"

namespace tilvane::bench {

// Writes `count` PNG sprites of 8 to 128 pixels a side into folder (ending in
// a separator), each a noisy opaque block inside transparent margins of up to
// a quarter of its side, the same every run. Answers the side of a square
// atlas that holds them with the given spacing (their footprints' area plus a
// packing allowance), or 0 when a file could not be written.
inline long writeNoisySprites(long count, const std::string& folder, long spacing) {
    const auto clampByte = [](int v) {
        return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    };
    ClassicRandom random(static_cast<std::uint32_t>(count));
    const auto between = [&](int lo, int hi) { return lo + random.next() % (hi - lo + 1); };
    double footprints = 0;
    for (long i = 0; i < count; ++i) {
        const int w = between(8, 128);
        const int h = between(8, 128);
        ImagePtr image = createPixelImage(w, h);
        if (!image) return 0;
        const int left = between(0, w / 4), right = w - 1 - between(0, w / 4);
        const int top = between(0, h / 4), bottom = h - 1 - between(0, h / 4);
        const int r = between(0, 255), g = between(0, 255), b = between(0, 255);
        for (int y = top; y <= bottom; ++y) {
            for (int x = left; x <= right; ++x) {
                // A gradient under noise, as drawn and shaded art compresses.
                const int shade = (x + y) * 64 / (w + h) + between(-24, 24);
                setPixel(*image, x, y,
                         packPixel(clampByte(r + shade), clampByte(g + shade / 2),
                                   clampByte(b - shade), 255));
            }
        }
        footprints += static_cast<double>(right - left + 1 + spacing) *
                      static_cast<double>(bottom - top + 1 + spacing);
        const std::string path = folder + "sprite_" + std::to_string(i) + ".png";
        if (SaveBitmapToFile(image.get(), path) != 0) return 0;
    }
    return static_cast<long>(std::ceil(std::sqrt(footprints * 1.12)));
}

}  // namespace tilvane::bench
