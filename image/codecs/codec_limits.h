#pragma once

#include <cstddef>
#include <cstdint>

namespace tilvane::codecs {

// No decoder makes an image wider or taller than this, or one whose decoded
// storage would exceed kMaxDecodedBytes; such files fail to load before any
// allocation.
inline constexpr std::int64_t kMaxImageSide = 32768;
inline constexpr std::size_t kMaxDecodedBytes = std::size_t{1} << 30;

// a * b into out; false on overflow.
inline bool checkedMultiply(std::size_t a, std::size_t b, std::size_t* out) {
    if (a != 0 && b > SIZE_MAX / a) return false;
    *out = a * b;
    return true;
}

// a + b into out; false on overflow.
inline bool checkedAdd(std::size_t a, std::size_t b, std::size_t* out) {
    if (b > SIZE_MAX - a) return false;
    *out = a + b;
    return true;
}

// Whether an image of width x height at bytesPerPixel (as decoded, including any
// intermediate buffer the decoder needs) is within the limits.
inline bool imageSizeAllowed(std::int64_t width, std::int64_t height, std::size_t bytesPerPixel) {
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return false;
    std::size_t pixels = 0, bytes = 0;
    return checkedMultiply(static_cast<std::size_t>(width), static_cast<std::size_t>(height),
                           &pixels) &&
           checkedMultiply(pixels, bytesPerPixel, &bytes) && bytes <= kMaxDecodedBytes;
}

}  // namespace tilvane::codecs
