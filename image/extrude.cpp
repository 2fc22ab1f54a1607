#include "image/extrude.h"

#include <algorithm>

namespace tilvane {

void extrudeEdges(PixelImage& image, const Rect& rect, std::uint32_t n) {
    const std::int32_t w = image.width();
    const std::int32_t h = image.height();
    if (n == 0 || rect.left < 0 || rect.top < 0 || rect.right < rect.left ||
        rect.bottom < rect.top || rect.right >= w || rect.bottom >= h) {
        return;
    }
    // Within the image, so no sum below can wrap.
    const auto reach = static_cast<std::int32_t>(std::min<std::uint32_t>(n, 0x7FFFFFFFu));
    const std::int32_t x0 = std::max(0, rect.left - std::min(reach, rect.left));
    const std::int32_t y0 = std::max(0, rect.top - std::min(reach, rect.top));
    const std::int32_t x1 = rect.right + std::min(reach, w - 1 - rect.right);
    const std::int32_t y1 = rect.bottom + std::min(reach, h - 1 - rect.bottom);
    for (std::int32_t y = y0; y <= y1; ++y) {
        const std::int32_t sy = std::clamp(y, rect.top, rect.bottom);
        const bool inside = y == sy;
        for (std::int32_t x = x0; x <= x1; ++x) {
            // Rows through the rectangle only need the bands left and right of it.
            if (inside && x == rect.left) x = rect.right + 1;
            if (x > x1) break;
            const std::int32_t sx = std::clamp(x, rect.left, rect.right);
            setPixel(image, x, y, getPixel(image, sx, sy));
        }
    }
}

}  // namespace tilvane
