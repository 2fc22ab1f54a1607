#include "image/alpha_passes.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace tilvane {

namespace {

bool insideImage(const PixelImage& image, const Rect& rect) {
    return image.bitDepth() == 32 && rect.left >= 0 && rect.top >= 0 && rect.left <= rect.right &&
           rect.top <= rect.bottom && rect.right < image.width() && rect.bottom < image.height();
}

}  // namespace

void premultiplyAlpha(PixelImage& image, const Rect& rect) {
    if (!insideImage(image, rect)) return;
    for (std::int32_t y = rect.top; y <= rect.bottom; ++y) {
        std::uint8_t* p = image.row(y) + 4 * static_cast<std::size_t>(rect.left);
        for (std::int32_t x = rect.left; x <= rect.right; ++x, p += 4) {
            const unsigned alpha = p[3];
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<std::uint8_t>((p[c] * alpha + 127) / 255);
        }
    }
}

bool bleedTransparent(PixelImage& image, const Rect& rect) {
    if (!insideImage(image, rect)) return true;
    const std::int32_t w = rect.width(), h = rect.height();
    const std::size_t area = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    // Pixels of the rectangle by index y * w + x; each is queued at most once,
    // when it gets its colour (or from the start, when it has one).
    std::vector<std::uint32_t> queue;
    std::vector<std::uint8_t> coloured;
    try {
        queue.reserve(area);
        coloured.assign(area, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const auto pixel = [&](std::int32_t x, std::int32_t y) {
        return image.row(rect.top + y) + 4 * static_cast<std::size_t>(rect.left + x);
    };
    for (std::int32_t y = 0; y < h; ++y) {
        for (std::int32_t x = 0; x < w; ++x) {
            if (pixel(x, y)[3] != 0) {
                const std::size_t i = static_cast<std::size_t>(y) * w + x;
                coloured[i] = 1;
                queue.push_back(static_cast<std::uint32_t>(i));
            }
        }
    }
    // Breadth first over the eight neighbours: a pixel is reached at its
    // distance to the nearest source, through a chain from that source.
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::int32_t x =
            static_cast<std::int32_t>(queue[head] % static_cast<std::uint32_t>(w));
        const std::int32_t y =
            static_cast<std::int32_t>(queue[head] / static_cast<std::uint32_t>(w));
        const std::uint8_t* from = pixel(x, y);
        for (std::int32_t ny = y - 1; ny <= y + 1; ++ny) {
            if (ny < 0 || ny >= h) continue;
            for (std::int32_t nx = x - 1; nx <= x + 1; ++nx) {
                if (nx < 0 || nx >= w) continue;
                const std::size_t i = static_cast<std::size_t>(ny) * w + nx;
                if (coloured[i]) continue;
                coloured[i] = 1;
                std::uint8_t* to = pixel(nx, ny);
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
                queue.push_back(static_cast<std::uint32_t>(i));
            }
        }
    }
    return true;
}

bool finishPixels(PixelImage& image, const Rect& rect, PixelPasses passes) {
    if (passes.bleed && !bleedTransparent(image, rect)) return false;
    if (passes.premultiply) premultiplyAlpha(image, rect);
    return true;
}

}  // namespace tilvane
