#pragma once

#include <cstdint>

#include "image/pixel_image.h"
#include "layout/geometry.h"

namespace tilvane {

// The smallest rectangle holding every pixel whose alpha is above cropAlpha
// (unsigned comparison). An image shallower than 32 bits has no alpha and gives
// its whole rectangle. False when there is no image or slot (slot untouched),
// when a side is not positive, or when no pixel counts (slot then -1, -1, -1, -1).
bool findTrimRect(const PixelImage* image, std::uint32_t cropAlpha, Rect* slot);

}  // namespace tilvane
