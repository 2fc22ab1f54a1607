#pragma once

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

// What writePng uses. Atlases are mostly large runs of transparent pixels
// between sprites; measured on generated sprite sheets (bench/codec_benchmark),
// these settings encode well over 1.25 times as fast as libpng's defaults for a
// file at most a few percent larger.
inline constexpr PngEncodeSettings kAtlasPngSettings{3, Z_DEFAULT_STRATEGY, 0x08 | 0x10};

// writePng with the given settings, or with libpng's own defaults when settings
// is null (for comparison).
bool writePngWith(const PixelImage& image, std::FILE* out, const PngEncodeSettings* settings);

}  // namespace tilvane::codecs
