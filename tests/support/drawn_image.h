#pragma once

#include <cstdint>
#include <functional>

#include "image/pixel_image.h"

namespace tilvane::testing {

using Drawing = std::function<PixelValue(std::int32_t x, std::int32_t y)>;

// A 32-bit image whose pixel (x, y) is at(x, y).
inline ImagePtr drawn(std::int32_t width, std::int32_t height, const Drawing& at) {
    ImagePtr image = createPixelImage(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) setPixel(*image, x, y, at(x, y));
    return image;
}

}  // namespace tilvane::testing
