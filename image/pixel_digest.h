#pragma once

#include <cstdint>

#include "image/pixel_image.h"
#include "layout/geometry.h"

namespace tilvane {

// A 64-bit digest of the stored bytes of a rectangle (inclusive) of a 32-bit
// image, its size included: two rectangles of equal pixels, in any images,
// give equal digests, and a change of any pixel changes it but with a chance
// of about 2^-64. 0 stands for "no digest": it is never the answer, nor for a
// rectangle outside the image or an image that is not 32 bits deep (those
// give 0). Reads a few bytes per cycle, so that checking a whole atlas costs
// a fraction of decoding it.
std::uint64_t pixelDigest(const PixelImage& image, const Rect& rect);

}  // namespace tilvane
