#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "layout/geometry.h"
#include "model/build_run.h"

namespace tilvane {

// What the scan learned of one file: whether it loaded, trimmed and scaled,
// and at each scale of the request (in its order, when it did): the size of
// the image (as decoded at scale 1, else resampled), its trim rectangle there
// (the whole image when not trimmed), and in `kept` the path and stamp of the
// bytes it decoded and the pixels it kept for the file's step (none when the
// budget was spent).
struct ScannedFile {
    enum class Result { failedToLoad, couldNotCrop, couldNotScale, measured };
    struct Scaled {
        Size size;
        Rect trim;
        KeptPixels kept;
        // With hashPixels: pixelHash of the 32-bit pixels a step draws (the
        // trim rectangle when cropping each image, else the whole image).
        std::uint64_t pixelHash = 0;
        // With digestPixels and cropping each image or none: the pixelDigest
        // of the 32-bit pixels a step draws; else 0.
        std::uint64_t pixelDigest = 0;
    };
    Result result = Result::failedToLoad;
    std::vector<Scaled> scales;
};

// How to scan: the folder (ending in a separator) and the trim settings of the
// build, the bytes of pixels that may be kept in all, and the scales each
// file is measured at.
struct ScanRequest {
    std::string folder;
    std::int32_t cropMode = 0;
    std::uint32_t cropAlpha = 0;
    std::size_t keptPixelBudget = 0;
    // Hash each file's pixels, so that identical images are known before sizing.
    bool hashPixels = false;
    // Digest each file's drawn pixels, so that the written atlas can be checked.
    bool digestPixels = false;
    std::vector<double> scales = {1.0};
};

// Where the source's trim rectangle `trim` (of an image of size `from`) lies
// on the image scaled to `to`, rounded outward so that it holds every pixel
// the trimmed ones reach.
Rect scaledOutward(const Rect& trim, Size from, Size to);

// Decodes every named file of the folder once, on one thread per core, and
// answers one ScannedFile per name, in the order of the names.
// The file is trimmed (when cropping) as decoded: one that cannot be trimmed
// there cannot at any scale. At a scale other than 1 the whole image is
// resampled (scaledImage) and then trimmed; when nothing of it is left above
// the crop alpha, its trim is the source's, scaledOutward, so every scale has
// a frame for every file. A file that cannot be resampled (too large, or out
// of memory) could not be scaled.
// A trimmed build keeps each file's trim rectangle, any other build the whole
// image, at every scale, while the budget holds; the kept bytes never exceed
// it in total.
// Which files keep their pixels when the budget cannot hold them all depends
// on which thread gets there first; what a build draws does not. A file whose
// scan runs out of memory counts as failed to load.
std::vector<ScannedFile> scanFiles(const ScanRequest& request,
                                   const std::vector<std::string>& names);

// The stamp of the file at path (links followed); none when it cannot be had.
std::optional<FileStamp> stampOf(const std::string& path);

// Decodes again a file the scan listed with stamp `listed`, from the very
// descriptor whose stamp was compared, so that what is decoded is what was
// listed. Null when it cannot be: *changed then tells whether the path now
// holds something else (another stamp, or no longer a regular file, or a write
// during the read) rather than nothing that loads (missing, unreadable,
// malformed). Never blocks on what stands at the path.
ImagePtr reloadListed(const std::string& path, const FileStamp& listed, bool* changed);

}  // namespace tilvane
