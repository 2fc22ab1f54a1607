#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "image/pixel_image.h"
#include "image/png_compression.h"

namespace tilvane::codecs {

// Receives the encoded file piece by piece, in order; false stops the encoder.
using PngByteSink = std::function<bool(std::span<const std::uint8_t>)>;

// Encodes a 32-bit image as an 8-bit RGBA PNG (no interlace, no ancillary
// chunks) into sink. The rows are filtered and compressed in bands of one to
// four megabytes on up to `threads` threads (0: one per core, at most eight),
// so besides the image only a few bands are held at a time. The bytes depend on the image and the
// compression only, never on the number of threads. False when the image is
// not 32 bits deep, memory runs out or the sink refuses. Never throws.
bool encodePng(const PixelImage& image, PngCompression compression, const PngByteSink& sink,
               unsigned threads = 0);

}  // namespace tilvane::codecs
