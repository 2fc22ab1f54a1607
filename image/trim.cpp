#include "image/trim.h"

namespace tilvane {

bool findTrimRect(const PixelImage* image, std::uint32_t cropAlpha, Rect* slot) {
    if (image == nullptr || slot == nullptr) return false;
    const int depth = imageBitDepth(image);
    const std::int32_t width = imageWidth(image);
    const std::int32_t height = imageHeight(image);
    // Without an alpha channel there is nothing to trim.
    if (depth >= 1 && depth <= 31) {
        *slot = Rect{0, 0, width - 1, height - 1};
        return true;
    }
    *slot = Rect{-1, -1, -1, -1};
    if (width <= 0 || height <= 0) return false;
    Rect found{-1, -1, -1, -1};
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint32_t alpha = getPixel(*image, x, y) >> 24;
            if (alpha <= cropAlpha) continue;
            if (found.left == -1 || x < found.left) found.left = x;
            if (found.right == -1 || x > found.right) found.right = x;
            if (found.top == -1 || y < found.top) found.top = y;
            if (found.bottom == -1 || y > found.bottom) found.bottom = y;
        }
    }
    if (found.left == -1 || found.top == -1 || found.right == -1 || found.bottom == -1) {
        return false;
    }
    *slot = found;
    return true;
}

}  // namespace tilvane
