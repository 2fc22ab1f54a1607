#pragma once

#include "image/pixel_image.h"
#include "layout/geometry.h"

namespace tilvane {

// The largest scale a sprite may be given.
inline constexpr double kMaxScale = 16;
// The longest side, before or after scaling, that the resampler takes: its
// library works in 16.16 fixed-point coordinates.
inline constexpr std::int32_t kMaxResampledSide = 16384;

// The size of an image of `size` scaled by `scale`: each side times the scale,
// rounded to the nearest whole pixel (halves up) and at least 1.
Size scaledSize(Size size, double scale);

// A 32-bit copy of the source (any depth) scaled by `scale`, of scaledSize:
// the picture stretched edge to edge, each pixel the source seen through a
// Mitchell cubic widened by a box over the pixel's footprint when shrinking
// (pixman's separable convolution). Filtered in premultiplied alpha, so a
// transparent pixel's colour never shows, then unpremultiplied; a pixel left
// with alpha 0 is transparent black. Beyond the source's edges its edge
// pixels are repeated, so an opaque image stays opaque. Scale 1 is an exact
// copy. Null when the scale is not above 0 or is above kMaxScale, a side
// before or after exceeds kMaxResampledSide (other than at scale 1), or memory
// runs out. Never throws.
ImagePtr scaledImage(const PixelImage& source, double scale);

}  // namespace tilvane
