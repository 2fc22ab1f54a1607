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

// The 32-bit pixels of `area` of the image, which the call consumes: the image
// itself when the area is all of it, else a copy. Null when memory runs out.
ImagePtr pixelsOf(ImagePtr image, const Rect& area) {
    if (!ensure32Bit(image)) return nullptr;
    const std::int32_t w = area.width();
    const std::int32_t h = area.height();
    if (w == image->width() && h == image->height()) return image;
    ImagePtr copy = createPixelImage(w, h);
    if (!copy) return nullptr;
    const std::size_t rowBytes = 4 * static_cast<std::size_t>(w);
    const std::size_t leftBytes = 4 * static_cast<std::size_t>(area.left);
    for (std::int32_t y = 0; y < h; ++y) {
        std::memcpy(copy->row(y), image->row(area.top + y) + leftBytes, rowBytes);
    }
    return copy;
}

FileStamp stampFrom(const struct stat& st) {
    const auto nanoseconds = [](const timespec& t) {
        return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
    };
    return FileStamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                     static_cast<std::int64_t>(st.st_size), nanoseconds(st.st_mtim),
                     nanoseconds(st.st_ctim)};
}

ScannedFile scanFile(const ScanRequest& request, const std::string& name, BudgetMeter& budget) {
    ScannedFile scanned;
    const std::string path = request.folder + name;
    const InputImageFile file(path);
    ImagePtr image = file.decode();
    if (!image) return scanned;
    // Stamped on opening, before reading: a write that lands after it changes it.
    scanned.kept.path = path;
    scanned.kept.stamp = stampFrom(*file.status());
    const std::int32_t w = imageWidth(image.get());
    const std::int32_t h = imageHeight(image.get());
    scanned.size = {w, h};
    scanned.trim = {0, 0, w - 1, h - 1};
    if (request.cropMode != kCropNone &&
        !findTrimRect(image.get(), request.cropAlpha, &scanned.trim)) {
        scanned.result = ScannedFile::Result::couldNotCrop;
        return scanned;
    }
    scanned.result = ScannedFile::Result::measured;
    if (request.hashPixels && ensure32Bit(image)) {
        // Cropping all to one size draws the union of the trim rectangles:
        // images equal as a whole are equal there too.
        scanned.pixelHash = pixelHash(
            *image, request.cropMode == kCropEach ? scanned.trim : Rect{0, 0, w - 1, h - 1});
    }

    // Cropping all to one size draws the union of every file's trim
    // rectangle, which is known only once the scan is over: keep it all (and
    // leave it to a check to decode the file again).
    if (request.digestPixels && request.cropMode != kCropToUnion && ensure32Bit(image)) {
        scanned.pixelDigest = pixelDigest(
            *image, request.cropMode == kCropEach ? scanned.trim : Rect{0, 0, w - 1, h - 1});
    }
    const Rect area = request.cropMode == kCropEach ? scanned.trim : Rect{0, 0, w - 1, h - 1};
    const auto areaWidth = static_cast<std::size_t>(area.width());
    const auto areaHeight = static_cast<std::size_t>(area.height());
    if (areaWidth > std::numeric_limits<std::size_t>::max() / 4 / areaHeight) return scanned;
    const std::size_t bytes = 4 * areaWidth * areaHeight;
    if (!budget.take(bytes)) return scanned;
    scanned.kept.pixels = pixelsOf(std::move(image), area);
    if (!scanned.kept.pixels) {
        budget.giveBack(bytes);
        return scanned;
    }
    scanned.kept.area = area;
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
