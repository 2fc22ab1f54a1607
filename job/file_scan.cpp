#include "job/file_scan.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <system_error>
#include <thread>

#include "image/image_file.h"
#include "image/pixel_digest.h"
#include "image/resample.h"
#include "image/trim.h"
#include "job/aliases.h"
#include "model/choice_tables.h"

namespace tilvane {

namespace {

// Hands out the bytes of the kept-pixel budget to the scan's threads.
class BudgetMeter {
public:
    explicit BudgetMeter(std::size_t budget) : left_(budget) {}

    // Takes `bytes` from what is left; false (and nothing taken) when less is left.
    bool take(std::size_t bytes) {
        std::size_t left = left_.load(std::memory_order_relaxed);
        do {
            if (bytes > left) return false;
        } while (!left_.compare_exchange_weak(left, left - bytes, std::memory_order_relaxed));
        return true;
    }
    void giveBack(std::size_t bytes) { left_.fetch_add(bytes, std::memory_order_relaxed); }

private:
    std::atomic<std::size_t> left_;
};

// A 32-bit copy of `area` of a 32-bit image; null when memory runs out.
ImagePtr areaCopy(const PixelImage& image, const Rect& area) {
    const std::int32_t w = area.width();
    const std::int32_t h = area.height();
    ImagePtr copy = createPixelImage(w, h);
    if (!copy) return nullptr;
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(w);
    const std::size_t leftBytes = 4 * static_cast<std::size_t>(area.left);
    for (std::int32_t y = 0; y < h; ++y) {
        std::memcpy(copy->row(y), image.row(area.top + y) + leftBytes, rowBytes);
    }
    return copy;
}

// The 32-bit pixels of `area` of the image: when `consume`, the image itself
// if the area is all of it (the slot is then emptied), else a copy. Null when
// memory runs out.
ImagePtr pixelsOf(ImagePtr& image, const Rect& area, bool consume) {
    if (!ensure32Bit(image)) return nullptr;
    if (consume && area.width() == image->width() && area.height() == image->height()) {
        return std::move(image);
    }
    return areaCopy(*image, area);
}

FileStamp stampFrom(const struct stat& st) {
    const auto nanoseconds = [](const timespec& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
    };
    return FileStamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                     static_cast<std::int64_t>(st.st_size), nanoseconds(st.st_mtim),
                     nanoseconds(st.st_ctim)};
}

// One scale's measure of `pixels`, trimmed to `trim`: its hash and the
// pixels kept while the budget allows (consuming `pixels` when `consume`).
ScannedFile::Scaled measure(const ScanRequest& request, ImagePtr& pixels, const Rect& trim,
                            bool consume, BudgetMeter& budget) {
    ScannedFile::Scaled scaled;
    const std::int32_t w = imageWidth(pixels.get());
    const std::int32_t h = imageHeight(pixels.get());
    scaled.size = {w, h};
    scaled.trim = trim;
    if (request.hashPixels && ensure32Bit(pixels)) {
        // Cropping all to one size draws the union of the trim rectangles:
        // images equal as a whole are equal there too.
        scaled.pixelHash =
            pixelHash(*pixels, request.cropMode == kCropEach ? trim : Rect{0, 0, w - 1, h - 1});
    }
    // Cropping all to one size draws the union of every file's trim
    // rectangle, which is known only once the scan is over (a check decodes
    // the file again).
    if (request.digestPixels && request.cropMode != kCropToUnion && ensure32Bit(pixels)) {
        scaled.pixelDigest =
            pixelDigest(*pixels, request.cropMode == kCropEach ? trim : Rect{0, 0, w - 1, h - 1});
    }

    // Cropping all to one size draws the union of every file's trim
    // rectangle, which is known only once the scan is over: keep it all.
    const Rect area = request.cropMode == kCropEach ? trim : Rect{0, 0, w - 1, h - 1};
    const auto areaWidth = static_cast<std::size_t>(area.width());
    const auto areaHeight = static_cast<std::size_t>(area.height());
    if (areaWidth > std::numeric_limits<std::size_t>::max() / 4 / areaHeight) return scaled;
    const std::size_t bytes = 4 * areaWidth * areaHeight;
    if (!budget.take(bytes)) return scaled;
    scaled.kept.pixels = pixelsOf(pixels, area, consume);
    if (!scaled.kept.pixels) {
        budget.giveBack(bytes);
        return scaled;
    }
    scaled.kept.area = area;
    return scaled;
}

ScannedFile scanFile(const ScanRequest& request, const std::string& name, BudgetMeter& budget) {
    ScannedFile scanned;
    const std::string path = request.folder + name;
    const InputImageFile file(path);
    ImagePtr image = file.decode();
    if (!image) return scanned;
    const std::int32_t w = imageWidth(image.get());
    const std::int32_t h = imageHeight(image.get());
    Rect trim{0, 0, w - 1, h - 1};
    if (request.cropMode != kCropNone && !findTrimRect(image.get(), request.cropAlpha, &trim)) {
        scanned.result = ScannedFile::Result::couldNotCrop;
        return scanned;
    }
    const std::size_t count = request.scales.size();
    scanned.scales.reserve(count);
    for (std::size_t s = 0; s < count; ++s) {
        const double scale = request.scales[s];
        // The decoded image itself at scale 1, consumed by the last scale.
        ImagePtr resampled;
        if (scale != 1) {
            resampled = scaledImage(*image, scale);
            if (!resampled) {
                scanned.scales.clear();
                scanned.result = ScannedFile::Result::couldNotScale;
                return scanned;
            }
        }
        ImagePtr& pixels = scale != 1 ? resampled : image;
        const Size size{imageWidth(pixels.get()), imageHeight(pixels.get())};
        Rect scaledTrim = trim;
        if (scale != 1) {
            scaledTrim = {0, 0, size.width - 1, size.height - 1};
            if (request.cropMode != kCropNone &&
                !findTrimRect(pixels.get(), request.cropAlpha, &scaledTrim)) {
                scaledTrim = scaledOutward(trim, {w, h}, size);
            }
        }
        scanned.scales.push_back(
            measure(request, pixels, scaledTrim, scale != 1 || s + 1 == count, budget));
        // Stamped on opening, before reading: a write that lands after it changes it.
        scanned.scales.back().kept.path = path;
        scanned.scales.back().kept.stamp = stampFrom(*file.status());
    }
    scanned.result = ScannedFile::Result::measured;
    return scanned;
}

}  // namespace

std::vector<ScannedFile> scanFiles(const ScanRequest& request,
                                   const std::vector<std::string>& names) {
    std::vector<ScannedFile> results(names.size());
    if (names.empty()) return results;
    std::atomic<std::size_t> next{0};
    BudgetMeter budget(request.keptPixelBudget);
    // Each thread takes the next unscanned name and writes only that name's
    // result; joining the threads publishes every result to the caller.
    const auto work = [&] {
        for (std::size_t i = next.fetch_add(1, std::memory_order_relaxed); i < names.size();
             i = next.fetch_add(1, std::memory_order_relaxed)) {
            try {
                results[i] = scanFile(request, names[i], budget);
            } catch (...) {
                // Only an allocation of ours can throw; the decoders never do.
                results[i] = ScannedFile{};
            }
        }
    };
    // hardware_concurrency answers 0 when it cannot tell.
    const auto threads = static_cast<unsigned>(
        std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, names.size()));
    std::vector<std::jthread> helpers;
    try {
        helpers.reserve(threads - 1);
        for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work);
    } catch (const std::exception&) {
        // Fewer threads (or none but this one) only make the scan slower.
    }
    work();
    for (std::jthread& helper : helpers) helper.join();
    return results;
}

Rect scaledOutward(const Rect& trim, Size from, Size to) {
    const auto low = [](std::int32_t at, std::int32_t fromSide, std::int32_t toSide) {
        return static_cast<std::int32_t>(std::int64_t{at} * toSide / fromSide);
    };
    const auto high = [](std::int32_t at, std::int32_t fromSide, std::int32_t toSide) {
        const std::int64_t end = (std::int64_t{at + 1} * toSide + fromSide - 1) / fromSide;
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(end - 1, 0, toSide - 1));
    };
    Rect r{low(trim.left, from.width, to.width), low(trim.top, from.height, to.height),
           high(trim.right, from.width, to.width), high(trim.bottom, from.height, to.height)};
    r.left = std::min(r.left, r.right);
    r.top = std::min(r.top, r.bottom);
    return r;
}

std::optional<FileStamp> stampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return stampFrom(st);
}

ImagePtr reloadListed(const std::string& path, const FileStamp& listed, bool* changed) {
    *changed = false;
    const InputImageFile file(path);
    if (!file.isOpen()) {
        // Every listed file was a regular one.
        *changed = file.notRegular();
        return nullptr;
    }
    if (stampFrom(*file.status()) != listed) {
        *changed = true;
        return nullptr;
    }
    ImagePtr image = file.decode();
    // A write while the bytes were read may have torn them.
    if (image && !file.unchangedSinceOpened()) {
        *changed = true;
        return nullptr;
    }
    return image;
}

}  // namespace tilvane
