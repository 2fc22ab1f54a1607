#pragma once

#include <cstdint>

#include "image/pixel_image.h"
#include "layout/geometry.h"

namespace tilvane {

// Repeats the edge pixels of the rectangle (inclusive, inside the image) by n
// pixels outward on each side: each pixel of the ring takes the value of the
// nearest pixel of the rectangle, so corners repeat the corner pixel. The
// ring is clamped to the image and the rectangle itself is left as it is; a
// texture filter that samples past a sprite's edge then meets the sprite's
// own colours, never a neighbour's. Nothing happens for n 0 or a rectangle
// not inside the image.
void extrudeEdges(PixelImage& image, const Rect& rect, std::uint32_t n);

}  // namespace tilvane
