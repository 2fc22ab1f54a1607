#include "image/blit.h"

#include <algorithm>
#include <cstring>

namespace tilvane {

bool blitImage(PixelImage* destination, const PixelImage* source, std::int32_t x, std::int32_t y,
               const Rect* sourceRect) {
    if (destination == nullptr || source == nullptr || x < 0 || y < 0) return false;
    const std::int64_t destWidth = imageWidth(destination);
    const std::int64_t destHeight = imageHeight(destination);
    const std::int64_t srcWidth = imageWidth(source);
    const std::int64_t srcHeight = imageHeight(source);

    // 64-bit: right - left + 1 of a hostile rectangle does not fit 32 bits.
    std::int64_t sx = 0, sy = 0, cw = srcWidth, ch = srcHeight;
    if (sourceRect != nullptr) {
        sx = sourceRect->left;
        sy = sourceRect->top;
        cw = std::int64_t{sourceRect->right} - sourceRect->left + 1;
        ch = std::int64_t{sourceRect->bottom} - sourceRect->top + 1;
    }
    if (cw > srcWidth) cw = srcWidth;
    if (ch > srcHeight) ch = srcHeight;
    if (sx < 0) {
        cw += sx;
        sx = 0;
    }
    if (sy < 0) {
        ch += sy;
        sy = 0;
    }
    if (destWidth <= 0 || destHeight <= 0 || cw <= 0 || ch <= 0 || x >= destWidth ||
        y >= destHeight || sx >= srcWidth || sy >= srcHeight) {
        return false;
    }

    if (destination->bitDepth() == 32 && source->bitDepth() == 32 && destination->byteSize() != 0 &&
        source->byteSize() != 0) {
        // Both hold the same byte order: whole rows at once, with the columns
        // and rows past the source's edge cleared as the loop below clears them.
        const std::int64_t columns = std::min(cw, destWidth - x);
        const std::int64_t inside = std::clamp<std::int64_t>(srcWidth - sx, 0, columns);
        for (std::int64_t row = 0; row < ch && y + row < destHeight; ++row) {
            std::uint8_t* to = destination->row(static_cast<std::int32_t>(y + row)) + 4 * x;
            std::int64_t copied = 0;
            if (sy + row < srcHeight) {
                const std::uint8_t* from =
                    source->row(static_cast<std::int32_t>(sy + row)) + 4 * sx;
                std::memcpy(to, from, static_cast<std::size_t>(4 * inside));
                copied = inside;
            }
            std::memset(to + 4 * copied, 0, static_cast<std::size_t>(4 * (columns - copied)));
        }
        return true;
    }

    // Source coordinates past the source's edge read as 0, like getPixel outside
    // the image; they may even pass INT32_MAX, so they are checked here first.
    auto sourcePixel = [&](std::int64_t px, std::int64_t py) -> PixelValue {
        if (px >= srcWidth || py >= srcHeight) return 0;
        return getPixel(*source, static_cast<std::int32_t>(px), static_cast<std::int32_t>(py));
    };
    for (std::int64_t row = 0; row < ch && y + row < destHeight; ++row) {
        const auto destY = static_cast<std::int32_t>(y + row);
        for (std::int64_t col = 0; col < cw && x + col < destWidth; ++col) {
            setPixel(*destination, static_cast<std::int32_t>(x + col), destY,
                     sourcePixel(sx + col, sy + row));
        }
    }
    return true;
}

bool blitTurned(PixelImage* destination, const PixelImage* source, std::int32_t x, std::int32_t y,
                const Rect& sourceRect, bool clockwise) {
    if (destination == nullptr || source == nullptr || x < 0 || y < 0) return false;
    const std::int64_t w = std::int64_t{sourceRect.right} - sourceRect.left + 1;
    const std::int64_t h = std::int64_t{sourceRect.bottom} - sourceRect.top + 1;
    if (w <= 0 || h <= 0 || sourceRect.left < 0 || sourceRect.top < 0 ||
        sourceRect.right >= imageWidth(source) || sourceRect.bottom >= imageHeight(source) ||
        x + h > imageWidth(destination) || y + w > imageHeight(destination)) {
        return false;
    }
    const bool fast = destination->bitDepth() == 32 && source->bitDepth() == 32 &&
                      destination->byteSize() != 0 && source->byteSize() != 0;
    // Source row v goes to one destination column; its pixel u to one row.
    for (std::int64_t v = 0; v < h; ++v) {
        const auto sy = static_cast<std::int32_t>(sourceRect.top + v);
        const auto column = static_cast<std::int32_t>(x + (clockwise ? h - 1 - v : v));
        const std::uint8_t* from =
            fast ? source->row(sy) + 4 * std::int64_t{sourceRect.left} : nullptr;
        for (std::int64_t u = 0; u < w; ++u) {
            const auto row = static_cast<std::int32_t>(y + (clockwise ? u : w - 1 - u));
            if (fast) {
                std::memcpy(destination->row(row) + 4 * std::int64_t{column}, from + 4 * u, 4);
            } else {
                setPixel(*destination, column, row,
                         getPixel(*source, static_cast<std::int32_t>(sourceRect.left + u), sy));
            }
        }
    }
    return true;
}

}  // namespace tilvane
