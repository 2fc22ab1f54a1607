#pragma once

#include "image/pixel_image.h"
#include "layout/geometry.h"

namespace tilvane {

// Pixel passes over one drawn sprite (a rectangle of a 32-bit atlas, inclusive,
// inside the image); nothing happens for another depth or a rectangle that is
// not inside. The job runs them on each sprite as it is drawn, bleeding first,
// then premultiplying, then extruding, so the ring repeats the finished edge.

// Each colour channel becomes channel x alpha / 255 rounded to the nearest
// integer, (c * a + 127) / 255 (never a tie, 255 being odd); alpha stays.
void premultiplyAlpha(PixelImage& image, const Rect& rect);

// Colour bleeding: every pixel of alpha 0 takes the colour of the nearest pixel
// of alpha above 0 within the rectangle, nearest counting steps to any of the
// eight neighbours (the larger of the horizontal and vertical distance), so a
// filter that samples next to an edge meets that edge's colour rather than
// black. Alphas and every pixel of alpha above 0 stay as they are; a rectangle
// without such a pixel is left alone. Of equally near pixels, the one the
// search reaches first wins: the search runs from every such pixel at once, in
// row order, so the result is the same on every run. Time and memory are
// linear in the rectangle's area. False when that memory could not be had
// (nothing changed then).
bool bleedTransparent(PixelImage& image, const Rect& rect);

// The passes a job asks for, in the one order the job draws with and a check of
// the written atlas expects.
struct PixelPasses {
    bool bleed = false;
    bool premultiply = false;
    bool any() const { return bleed || premultiply; }
};

// Bleeds (when asked), then premultiplies (when asked) the rectangle; false
// when bleeding found no memory.
bool finishPixels(PixelImage& image, const Rect& rect, PixelPasses passes);

}  // namespace tilvane
