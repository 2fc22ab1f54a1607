#include "job/verify.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "image/blit.h"
#include "image/image_file.h"
#include "image/pixel_digest.h"
#include "image/resample.h"

namespace tilvane {

namespace {

std::string colour(PixelValue p) {
    char text[10];
    std::snprintf(text, sizeof text, "#%02x%02x%02x%02x", p & 0xFFu, p >> 8 & 0xFFu,
                  p >> 16 & 0xFFu, p >> 24);
    return text;
}

std::string point(std::int64_t x, std::int64_t y) {
    // Appended piece by piece: "(" + string trips GCC 12's -Wrestrict at -O3.
    std::string text(1, '(');
    text.append(std::to_string(x)).append(", ").append(std::to_string(y)).push_back(')');
    return text;
}

// The file name of a path, as a message names the atlas.
std::string baseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The pixel of the source rectangle that pixel (dx, dy) of an entry's atlas
// rectangle shows: the same offset, or for a turned entry the offset turned
// back (clockwise, the source's top row is the block's right column).
Point sourcePixel(const Rect& source, std::int32_t dx, std::int32_t dy, bool turned,
                  bool clockwise) {
    if (!turned) return {source.left + dx, source.top + dy};
    if (clockwise) return {source.left + dy, source.bottom - dx};
    return {source.right - dy, source.top + dx};
}

// The block of a turned entry turned back upright, as its source shows it.
ImagePtr turnedBack(const PixelImage& atlas, const Rect& block, const Rect& source,
                    bool clockwise) {
    ImagePtr upright = createPixelImage(source.width(), source.height());
    if (!upright) return upright;
    for (std::int32_t dy = 0; dy < block.height(); ++dy) {
        for (std::int32_t dx = 0; dx < block.width(); ++dx) {
            const Point s = sourcePixel(source, dx, dy, true, clockwise);
            setPixel(*upright, s.x - source.left, s.y - source.top,
                     getPixel(atlas, block.left + dx, block.top + dy));
        }
    }
    return upright;
}

// What is wrong with entry k of the page, or empty.
std::optional<std::string> checkEntry(const std::string& inputFolder, std::uint32_t extrude,
                                      PixelPasses passes, const BuildRun::DrawnPage& page,
                                      const PixelImage& atlas, std::size_t k) {
    const std::string& name = page.names[k];
    const Rect& rect = page.rects[k];
    const std::string where = name + " in " + baseName(page.imageFile) + ": ";
    if (k >= page.sources.size()) return where + "no source rectangle was recorded";
    const Rect& source = page.sources[k];
    const bool turned = k < page.turns.size() && page.turns[k] != 0;
    if (rect.left < 0 || rect.top < 0 || rect.right >= atlas.width() ||
        rect.bottom >= atlas.height() ||
        rect.width() != (turned ? source.height() : source.width()) ||
        rect.height() != (turned ? source.width() : source.height())) {
        return where + "its rectangle does not lie in the atlas or has not its source's size";
    }

    const std::uint64_t digest = k < page.sourceDigests.size() ? page.sourceDigests[k] : 0;
    // A turned block is compared turned back, as its source holds it.
    const auto shownDigest = [&] {
        if (!turned) return pixelDigest(atlas, rect);
        const ImagePtr upright = turnedBack(atlas, rect, source, page.clockwise);
        return upright ? pixelDigest(*upright, {0, 0, source.width() - 1, source.height() - 1})
                       : std::uint64_t{0};
    };
    // The digest is the source's as scanned, before any pixel pass.
    if (passes.any() || digest == 0 || shownDigest() != digest) {
        ImagePtr pixels = CreateBitmapFromFile(inputFolder + name);
        // A scaled atlas shows its source resampled as the build resampled it.
        if (pixels && page.scale != 1) pixels = scaledImage(*pixels, page.scale);
        if (!pixels || !ensure32Bit(pixels)) return where + "its source can no longer be read";
        if (source.left < 0 || source.top < 0 || source.right >= pixels->width() ||
            source.bottom >= pixels->height()) {
            return where + "its source no longer holds the rectangle " +
                   point(source.left, source.top) + " to " + point(source.right, source.bottom);
        }
        // The source rectangle as the job drew it: upright and alone, through
        // the same passes.
        ImagePtr finished;
        if (passes.any()) {
            finished = createPixelImage(source.width(), source.height());
            if (!finished || !blitImage(finished.get(), pixels.get(), 0, 0, &source) ||
                !finishPixels(*finished, {0, 0, source.width() - 1, source.height() - 1}, passes)) {
                return where + "out of memory while checking it";
            }
        }
        for (std::int32_t dy = 0; dy < rect.height(); ++dy) {
            for (std::int32_t dx = 0; dx < rect.width(); ++dx) {
                const Point s = sourcePixel(source, dx, dy, turned, page.clockwise);
                const PixelValue want =
                    finished ? getPixel(*finished, s.x - source.left, s.y - source.top)
                             : getPixel(*pixels, s.x, s.y);
                const PixelValue got = getPixel(atlas, rect.left + dx, rect.top + dy);
                if (got != want) {
                    return where + "pixel " + point(s.x, s.y) + " of its source, at " +
                           point(rect.left + dx, rect.top + dy) + " in the atlas, is " +
                           colour(got) + " where the source has " + colour(want);
                }
            }
        }
        // Equal to the source as it is now: the file changed since the scan
        // to what the atlas holds, which is still its source's pixels.
    }

    if (extrude == 0) return std::nullopt;
    const std::int64_t reach = extrude;
    const std::int64_t x0 = std::max<std::int64_t>(0, rect.left - reach);
    const std::int64_t y0 = std::max<std::int64_t>(0, rect.top - reach);
    const std::int64_t x1 = std::min<std::int64_t>(atlas.width() - 1, rect.right + reach);
    const std::int64_t y1 = std::min<std::int64_t>(atlas.height() - 1, rect.bottom + reach);
    for (std::int64_t y = y0; y <= y1; ++y) {
        const bool through = y >= rect.top && y <= rect.bottom;
        for (std::int64_t x = x0; x <= x1; ++x) {
            if (through && x == rect.left) x = rect.right + 1;
            if (x > x1) break;
            const auto ex =
                static_cast<std::int32_t>(std::clamp<std::int64_t>(x, rect.left, rect.right));
            const auto ey =
                static_cast<std::int32_t>(std::clamp<std::int64_t>(y, rect.top, rect.bottom));
            const PixelValue want = getPixel(atlas, ex, ey);
            const PixelValue got =
                getPixel(atlas, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y));
            if (got != want) {
                return where + "its extrusion ring at " + point(x, y) + " in the atlas is " +
                       colour(got) + " where its edge pixel " + point(ex, ey) + " is " +
                       colour(want);
            }
        }
    }
    return std::nullopt;
}

// The first failing entry of the page, in entry order, found on every core.
std::optional<std::string> checkPage(const std::string& inputFolder, std::uint32_t extrude,
                                     PixelPasses passes, const BuildRun::DrawnPage& page,
                                     const PixelImage& atlas) {
    const std::size_t count = std::min(page.names.size(), page.rects.size());
    std::atomic<std::size_t> next{0};
    // The least failing entry so far: entries past it need no check.
    std::atomic<std::size_t> firstBad{count};
    std::vector<std::optional<std::string>> found(count);
    const auto work = [&] {
        for (std::size_t k = next.fetch_add(1); k < count && k < firstBad.load();
             k = next.fetch_add(1)) {
            try {
                found[k] = checkEntry(inputFolder, extrude, passes, page, atlas, k);
            } catch (...) {
                found[k] = page.names[k] + " in " + baseName(page.imageFile) +
                           ": out of memory while checking it";
            }
            if (found[k]) {
                std::size_t bad = firstBad.load();
                while (k < bad && !firstBad.compare_exchange_weak(bad, k)) {
                }
            }
        }
    };
    const auto threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1,
                                                 std::max<std::size_t>(count, 1));
    {
        std::vector<std::jthread> helpers;
        try {
            for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
        } catch (...) {
            // Fewer threads only take longer.
        }
        work();
    }
    const std::size_t bad = firstBad.load();
    if (bad < count) return found[bad];
    return std::nullopt;
}

}  // namespace

std::optional<std::string> verifyWrittenPages(const std::string& inputFolder, std::uint32_t extrude,
                                              std::span<const BuildRun::DrawnPage> pages,
                                              PixelPasses passes) {
    try {
        for (const BuildRun::DrawnPage& page : pages) {
            ImagePtr atlas = CreateBitmapFromFile(page.imageFile);
            if (!atlas || !ensure32Bit(atlas)) {
                return baseName(page.imageFile) + " cannot be read back";
            }
            if (atlas->width() != page.size.width || atlas->height() != page.size.height) {
                return baseName(page.imageFile) + " reads back as " +
                       std::to_string(atlas->width()) + "x" + std::to_string(atlas->height()) +
                       ", not the " + std::to_string(page.size.width) + "x" +
                       std::to_string(page.size.height) + " written";
            }
            if (auto failure = checkPage(inputFolder, extrude, passes, page, *atlas)) {
                return failure;
            }
        }
    } catch (...) {
        return std::string("out of memory while reading the atlas back");
    }
    return std::nullopt;
}

}  // namespace tilvane
