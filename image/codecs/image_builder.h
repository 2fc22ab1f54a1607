#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

#include "image/codecs/codec_limits.h"
#include "image/codecs/codecs.h"
#include "image/pixel_image.h"

namespace tilvane::codecs {

// Helpers the hand-written decoders share for building their result.

// A zero-filled image of the given depth, or null when the size is outside the
// decoder limits (checked before anything is allocated). extraBytesPerPixel
// accounts for any intermediate buffer the decoder keeps beside the image.
inline ImagePtr newImage(std::int64_t width, std::int64_t height, int bitDepth,
                         std::size_t extraBytesPerPixel = 0) {
    const std::size_t bytesPerPixel = static_cast<std::size_t>((bitDepth + 7) / 8);
    if (!imageSizeAllowed(width, height, bytesPerPixel + extraBytesPerPixel)) return nullptr;
    return PixelImage::create(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                              bitDepth);
}

// Whether `available` bytes of coded data could possibly decode to `needed`
// bytes when one byte of code yields at most maxExpansion bytes. A cheap early
// refusal of files whose header promises far more than their data can hold,
// before anything is allocated.
inline bool mayHold(std::size_t available, std::size_t needed, std::size_t maxExpansion) {
    return needed / maxExpansion <= available;
}

// Fills the colour table with a ramp from black to white over `levels` entries.
inline void setGreyRamp(PixelImage& image, int levels) {
    auto& table = image.colorTable();
    const int count = std::min<int>(levels, static_cast<int>(table.size()));
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<std::uint8_t>(count > 1 ? i * 255 / (count - 1) : 0);
        table[static_cast<std::size_t>(i)] = PaletteEntry{v, v, v, 0};
    }
}

// Stores pixel x of an 8-bit image row.
inline void putIndex8(std::uint8_t* row, std::int32_t x, std::uint8_t index) {
    row[x] = index;
}

// Stores pixel x of a 4-bit image row (high nibble first).
inline void putIndex4(std::uint8_t* row, std::int32_t x, std::uint8_t index) {
    std::uint8_t& byte = row[x / 2];
    if (x % 2 == 0) {
        byte = static_cast<std::uint8_t>((byte & 0x0F) | (index & 0x0F) << 4);
    } else {
        byte = static_cast<std::uint8_t>((byte & 0xF0) | (index & 0x0F));
    }
}

// Stores pixel x of a 1-bit image row (most significant bit first).
inline void putIndex1(std::uint8_t* row, std::int32_t x, bool set) {
    const auto mask = static_cast<std::uint8_t>(0x80 >> (x % 8));
    if (set) {
        row[x / 8] |= mask;
    } else {
        row[x / 8] &= static_cast<std::uint8_t>(~mask);
    }
}

// Stores a pixel of a 24- or 32-bit row in the bitmap's blue, green, red(, alpha) order.
inline void putBgr(std::uint8_t* row, std::int32_t x, std::uint8_t red, std::uint8_t green,
                   std::uint8_t blue) {
    std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
    p[0] = blue;
    p[1] = green;
    p[2] = red;
}
inline void putBgra(std::uint8_t* row, std::int32_t x, std::uint8_t red, std::uint8_t green,
                    std::uint8_t blue, std::uint8_t alpha) {
    std::uint8_t* p = row + 4 * static_cast<std::size_t>(x);
    p[0] = blue;
    p[1] = green;
    p[2] = red;
    p[3] = alpha;
}

}  // namespace tilvane::codecs
