#include "job/aliases.h"

namespace tilvane {

namespace {

constexpr std::uint64_t kFnvOffset = 1469598103934665603ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;

void mix(std::uint64_t& h, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        h ^= (value >> (8 * i)) & 0xFFu;
        h *= kFnvPrime;
    }
}

bool samePixels(const PixelImage& a, const Rect& ra, const PixelImage& b, const Rect& rb) {
    if (ra.width() != rb.width() || ra.height() != rb.height()) return false;
    for (std::int32_t y = 0; y < ra.height(); ++y) {
        for (std::int32_t x = 0; x < ra.width(); ++x) {
            if (getPixel(a, ra.left + x, ra.top + y) != getPixel(b, rb.left + x, rb.top + y)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

std::uint64_t pixelHash(const PixelImage& image, const Rect& rect) {
    std::uint64_t h = kFnvOffset;
    mix(h, static_cast<std::uint32_t>(rect.width()));
    mix(h, static_cast<std::uint32_t>(rect.height()));
    for (std::int32_t y = rect.top; y <= rect.bottom; ++y) {
        for (std::int32_t x = rect.left; x <= rect.right; ++x) mix(h, getPixel(image, x, y));
    }
    return h;
}

std::optional<std::size_t> findIdenticalPlaced(const BuildRun& run, const PixelImage& image,
                                               const Rect& rect, std::uint64_t hash) {
    if (!run.outputImage) return std::nullopt;
    const auto [first, last] = run.notes.pixelHashes.equal_range(hash);
    for (auto it = first; it != last; ++it) {
        const std::size_t placed = it->second;
        if (placed < run.placedRects.size() &&
            samePixels(*run.outputImage, run.placedRects[placed], image, rect)) {
            return placed;
        }
    }
    return std::nullopt;
}

void rememberPlaced(BuildRun& run, std::uint64_t hash) {
    if (!run.placedRects.empty()) run.notes.pixelHashes.emplace(hash, run.placedRects.size() - 1);
}

}  // namespace tilvane
