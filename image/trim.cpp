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
    // Anything but a 32-bit image with pixels reads as transparent.
    if (depth != 32 || image->byteSize() == 0) return false;
    Rect found{-1, -1, -1, -1};
    const auto counts = [&](const std::uint8_t* row, std::int32_t x) {
        return std::uint32_t{row[4 * static_cast<std::size_t>(x) + 3]} > cropAlpha;
    };
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = image->row(y);
        std::int32_t first = 0;
        while (first < width && !counts(row, first)) ++first;
        if (first == width) continue;
        std::int32_t last = width - 1;
        while (!counts(row, last)) --last;
        if (found.left == -1 || first < found.left) found.left = first;
        if (last > found.right) found.right = last;
        if (found.top == -1) found.top = y;
        found.bottom = y;
    }
    if (found.left == -1) return false;
    *slot = found;
    return true;
}

}  // namespace tilvane
