#pragma once

#include <cstdint>

#include "image/pixel_image.h"
#include "layout/geometry.h"

namespace tilvane {

// Copies the source (or the given rectangle of it) into the destination with its
// top-left corner at (x, y), replacing every channel, alpha included; nothing is
// blended. The copy is clamped to both images. True when something was copied.
bool blitImage(PixelImage* destination, const PixelImage* source, std::int32_t x, std::int32_t y,
               const Rect* sourceRect);

}  // namespace tilvane
