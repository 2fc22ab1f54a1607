#pragma once

#include <cstdint>

namespace tilvane {

// The size offered to placement on one axis for an image side of `side` pixels
// in an atlas side of `atlasSide` pixels: the side plus the spacing, or the side
// alone when it fits the atlas by itself but not together with the spacing.
// Computed without wrapping: a sum beyond 2^31 - 1 is held at 2^31 - 1, which
// no atlas can take, so placement refuses it.
std::int32_t footprintSide(std::int32_t side, std::uint32_t spacing, std::int32_t atlasSide);

}  // namespace tilvane
