#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layout/geometry.h"

namespace tilvane {

// The mask's path: the output image's path with "_mask" before its extension.
std::string maskPathFor(const std::string& outputImageFile);

// Draws a width x height image, transparent black but for the placed rectangles
// in opaque white, and saves it (without options) at maskPathFor(outputImageFile).
// Silent: a mask that cannot be made or saved is simply missing. Returns
// whether it was written, for callers that care; on false, *error (when given)
// receives the cause as SaveBitmapToFile states it (ENOMEM when the image
// could not be made, EINVAL when a side exceeds 2^31 - 1 or is 0).
bool createMaskImage(const std::string& outputImageFile, std::uint32_t outputWidth,
                     std::uint32_t outputHeight, const std::vector<Rect>& placedRects,
                     int* error = nullptr);

class OutputFile;

// Draws the same mask into an open OutputFile (its target path's extension
// chooses the format) and leaves it uncommitted, for an OutputSet. 0, or the
// cause as createMaskImage gives it, and the file is then failed with it.
int writeMaskImageTo(OutputFile& file, std::uint32_t outputWidth, std::uint32_t outputHeight,
                     const std::vector<Rect>& placedRects);

}  // namespace tilvane
