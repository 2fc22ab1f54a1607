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

// Copies the source rectangle (inclusive, inside the source) turned a quarter
// turn, clockwise or counter-clockwise, into the destination with the turned
// block's top-left corner at (x, y): a w x h rectangle becomes h x w.
// Clockwise, the source's top row becomes the block's right column, read
// downwards; counter-clockwise, its left column, read upwards. Every channel
// is replaced. False, nothing drawn, when the rectangle leaves the source or
// the block leaves the destination.
bool blitTurned(PixelImage* destination, const PixelImage* source, std::int32_t x, std::int32_t y,
                const Rect& sourceRect, bool clockwise);

}  // namespace tilvane
