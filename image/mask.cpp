#include "image/mask.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "image/image_file.h"
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

bool createMaskImage(const std::string& outputImageFile, std::uint32_t outputWidth,
                     std::uint32_t outputHeight, const std::vector<Rect>& placedRects, int* error) {
    const auto failWith = [error](int cause) {
        if (error) *error = cause;
        return false;
    };
    if (outputWidth == 0 || outputHeight == 0 || outputWidth > INT32_MAX ||
        outputHeight > INT32_MAX) {
        return failWith(EINVAL);
    }
    const auto width = static_cast<std::int32_t>(outputWidth);
    const auto height = static_cast<std::int32_t>(outputHeight);
    ImagePtr mask = createPixelImage(width, height);
    if (!mask) return failWith(ENOMEM);

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
    const int saved = SaveBitmapToFile(mask.get(), maskPathFor(outputImageFile));
    return saved == 0 || failWith(saved);
}

}  // namespace tilvane
