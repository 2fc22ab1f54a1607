#pragma once

#include <png.h>
#include <zlib.h>

#include <cstdio>

#include "image/pixel_image.h"

namespace tilvane::codecs {

// How the PNG writer compresses: a zlib level and strategy, and the set of row
// filters (libpng's PNG_FILTER_* bits) it may choose from.
struct PngEncodeSettings {
    int level;
    int strategy;
    int filters;
};

// libpng with these settings wrote the atlases before png_encoder.h took
// over; the benchmarks keep it as the baseline. Offering libpng only the None
// and Sub filters keeps its per-row filter choice cheap and gives files no
// larger than libpng's defaults (level 6, all five filters) in a quarter of
// the time or less.
inline constexpr PngEncodeSettings kAtlasPngSettings{4, Z_DEFAULT_STRATEGY,
                                                     PNG_FILTER_NONE | PNG_FILTER_SUB};

// Writes through libpng with the given settings, or with libpng's own
// defaults when settings is null (for comparison).
bool writePngWith(const PixelImage& image, std::FILE* out, const PngEncodeSettings* settings);

}  // namespace tilvane::codecs
