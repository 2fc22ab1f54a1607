#pragma once

#include <cstdint>
#include <optional>

#include "image/pixel_image.h"
#include "layout/geometry.h"
#include "model/build_run.h"

namespace tilvane {

// A hash of the pixel values of the rectangle (inclusive, inside the image),
// size included. Equal pixels give equal hashes; the converse is not assumed.
std::uint64_t pixelHash(const PixelImage& image, const Rect& rect);

// The placed image (an index into the run's placed lists) whose pixels in the
// atlas equal the rectangle of `image`, or empty. The atlas is compared where
// each candidate was drawn, so no sprite is kept in memory; only candidates
// with the same hash are compared; one drawn turned (placedTurns) is turned
// back first, clockwise as the JSON formats draw it unless told otherwise.
std::optional<std::size_t> findIdenticalPlaced(const BuildRun& run, const PixelImage& image,
                                               const Rect& rect, std::uint64_t hash,
                                               bool clockwise = true);

// Records the last placed image under its hash for findIdenticalPlaced.
void rememberPlaced(BuildRun& run, std::uint64_t hash);

}  // namespace tilvane
