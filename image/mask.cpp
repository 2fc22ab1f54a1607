#include "image/mask.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "image/image_file.h"
#include "image/output_file.h"
#include "image/pixel_image.h"

namespace tilvane {

std::string maskPathFor(const std::string& outputImageFile) {
    // The extension is looked for in the file name only: a dot in a folder's
    // name is not one.
    const std::size_t slash = outputImageFile.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = outputImageFile.rfind('.');
    const std::size_t split =
        dot == std::string::npos || dot < nameStart ? outputImageFile.size() : dot;
    return outputImageFile.substr(0, split) + "_mask" + outputImageFile.substr(split);
}

namespace {

// The mask's pixels; null, with *cause set, when they cannot be made.
ImagePtr drawMask(std::uint32_t outputWidth, std::uint32_t outputHeight,
                  const std::vector<Rect>& placedRects, int* cause) {
    if (outputWidth == 0 || outputHeight == 0 || outputWidth > INT32_MAX ||
        outputHeight > INT32_MAX) {
        *cause = EINVAL;
        return nullptr;
    }
    const auto width = static_cast<std::int32_t>(outputWidth);
    const auto height = static_cast<std::int32_t>(outputHeight);
    ImagePtr mask = createPixelImage(width, height);
    if (!mask) {
        *cause = ENOMEM;
        return nullptr;
    }

    for (const Rect& r : placedRects) {
        // Clipped to the image first, so that a rectangle of any extent costs
        // no more than the pixels it really covers.
        const std::int32_t left = std::max(r.left, 0);
        const std::int32_t top = std::max(r.top, 0);
        const std::int32_t right = std::min(r.right, width - 1);
        const std::int32_t bottom = std::min(r.bottom, height - 1);
        if (left > right || top > bottom) continue;
        const std::size_t bytes = 4 * static_cast<std::size_t>(right - left + 1);
        for (std::int32_t y = top; y <= bottom; ++y) {
            // All four bytes 255: opaque white.
            std::memset(mask->row(y) + 4 * static_cast<std::size_t>(left), 0xFF, bytes);
        }
    }
    return mask;
}

}  // namespace

bool createMaskImage(const std::string& outputImageFile, std::uint32_t outputWidth,
                     std::uint32_t outputHeight, const std::vector<Rect>& placedRects, int* error) {
    int cause = 0;
    const ImagePtr mask = drawMask(outputWidth, outputHeight, placedRects, &cause);
    if (mask) cause = SaveBitmapToFile(mask.get(), maskPathFor(outputImageFile));
    if (cause != 0 && error) *error = cause;
    return cause == 0;
}

int writeMaskImageTo(OutputFile& file, std::uint32_t outputWidth, std::uint32_t outputHeight,
                     const std::vector<Rect>& placedRects) {
    if (file.error() != 0) return file.error();
    int cause = 0;
    const ImagePtr mask = drawMask(outputWidth, outputHeight, placedRects, &cause);
    if (!mask) {
        file.fail(cause);
        return file.error();
    }
    return writeBitmapTo(file, mask.get());
}

}  // namespace tilvane
