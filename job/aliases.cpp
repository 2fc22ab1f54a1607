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

// Whether the block ra of a, turned back a quarter turn (the way the build
// turns: clockwise unless told otherwise), shows the pixels of rb in b.
bool sameTurnedPixels(const PixelImage& a, const Rect& ra, const PixelImage& b, const Rect& rb,
                      bool clockwise) {
    const std::int32_t w = rb.width(), h = rb.height();
    if (ra.width() != h || ra.height() != w) return false;
    for (std::int32_t v = 0; v < h; ++v) {
        for (std::int32_t u = 0; u < w; ++u) {
            const std::int32_t x = ra.left + (clockwise ? h - 1 - v : v);
            const std::int32_t y = ra.top + (clockwise ? u : w - 1 - u);
            if (getPixel(a, x, y) != getPixel(b, rb.left + u, rb.top + v)) return false;
        }
    }
    return true;
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
                                               const Rect& rect, std::uint64_t hash,
                                               bool clockwise) {
    if (!run.outputImage) return std::nullopt;
    const auto [first, last] = run.notes.pixelHashes.equal_range(hash);
    for (auto it = first; it != last; ++it) {
        const std::size_t placed = it->second;
        if (placed >= run.placedRects.size()) continue;
        const bool turned = placed < run.placedTurns.size() && run.placedTurns[placed] != 0;
        const Rect& block = run.placedRects[placed];
        if (turned ? sameTurnedPixels(*run.outputImage, block, image, rect, clockwise)
                   : samePixels(*run.outputImage, block, image, rect)) {
            return placed;
        }
    }
    return std::nullopt;
}

void rememberPlaced(BuildRun& run, std::uint64_t hash) {
    if (!run.placedRects.empty()) run.notes.pixelHashes.emplace(hash, run.placedRects.size() - 1);
}

}  // namespace tilvane
