#include "image/pixel_digest.h"

#include <cstring>

namespace tilvane {

namespace {

constexpr std::uint64_t kMul1 = 0x9E3779B97F4A7C15ull;
constexpr std::uint64_t kMul2 = 0xC2B2AE3D27D4EB4Full;

std::uint64_t rotl(std::uint64_t v, int r) {
    return v << r | v >> (64 - r);
}

// One round of a lane: the word spread over all of the lane's bits.
std::uint64_t round(std::uint64_t lane, std::uint64_t word) {
    return rotl(lane ^ word * kMul2, 31) * kMul1;
}

std::uint64_t load(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The final mix: every input bit reaches every output bit.
std::uint64_t avalanche(std::uint64_t h) {
    h ^= h >> 33;
    h *= kMul2;
    h ^= h >> 29;
    h *= kMul1;
    return h ^ h >> 32;
}

}  // namespace

std::uint64_t pixelDigest(const PixelImage& image, const Rect& rect) {
    if (image.bitDepth() != 32 || rect.left < 0 || rect.top < 0 || rect.right < rect.left ||
        rect.bottom < rect.top || rect.right >= image.width() || rect.bottom >= image.height()) {
        return 0;
    }
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(rect.width());
    // Four independent lanes keep the multipliers busy; each row feeds them
    // 32 bytes at a time, then the row's tail by words of 8 and 4 bytes.
    std::uint64_t lanes[4] = {kMul1, kMul2, ~kMul1, ~kMul2};
    for (std::int32_t y = rect.top; y <= rect.bottom; ++y) {
        const std::uint8_t* p = image.row(y) + 4 * static_cast<std::size_t>(rect.left);
        std::size_t i = 0;
        for (; i + 32 <= rowBytes; i += 32) {
            lanes[0] = round(lanes[0], load(p + i));
            lanes[1] = round(lanes[1], load(p + i + 8));
            lanes[2] = round(lanes[2], load(p + i + 16));
            lanes[3] = round(lanes[3], load(p + i + 24));
        }
        for (; i + 8 <= rowBytes; i += 8) lanes[0] = round(lanes[0], load(p + i));
        if (i < rowBytes) {
            std::uint32_t last;
            std::memcpy(&last, p + i, sizeof last);
            lanes[1] = round(lanes[1], last | std::uint64_t{1} << 32);
        }
        // Where a row ends matters: rows 2 + 3 pixels are not 3 + 2.
        lanes[3] = round(lanes[3], static_cast<std::uint64_t>(y - rect.top));
    }
    std::uint64_t h =
        static_cast<std::uint64_t>(rect.width()) << 32 | static_cast<std::uint32_t>(rect.height());
    for (const std::uint64_t lane : lanes) h = round(h, lane);
    h = avalanche(h);
    return h == 0 ? 1 : h;
}

}  // namespace tilvane
