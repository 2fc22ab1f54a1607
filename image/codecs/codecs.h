#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>

#include "image/pixel_image.h"
#include "image/png_compression.h"

namespace tilvane::codecs {

// Readers decode a whole file held in memory into an image of the depth the
// file holds (see the README's table). Null on anything malformed, truncated or
// over the limits of codec_limits.h; never crash, hang or throw.
using ByteSpan = std::span<const std::uint8_t>;

ImagePtr readTiff(ByteSpan data);
ImagePtr readPng(ByteSpan data);
ImagePtr readJpeg(ByteSpan data);
ImagePtr readGif(ByteSpan data);
ImagePtr readBmp(ByteSpan data);
ImagePtr readTga(ByteSpan data);
ImagePtr readSgi(ByteSpan data);
ImagePtr readPsd(ByteSpan data);
ImagePtr readPcx(ByteSpan data);
ImagePtr readIff(ByteSpan data);
ImagePtr readCel(ByteSpan data);
// WebP: 32 bits when the file has alpha, else 24; an animation gives its first
// frame on a transparent canvas of the animation's size.
ImagePtr readWebp(ByteSpan data);

// Writers encode a 32-bit image to an open binary stream positioned at its
// start (readable too, for libraries that seek back). False on any failure;
// the caller then discards the stream. JPEG at quality 90 and above keeps
// colour at full resolution (4:4:4); below, it halves it both ways (4:2:0).
bool writeTiff(const PixelImage& image, std::FILE* out, std::int32_t compression);
// PNG: 8-bit RGBA, compressed as asked (see png_encoder.h).
bool writePng(const PixelImage& image, std::FILE* out,
              PngCompression compression = PngCompression::standard);
bool writeJpeg(const PixelImage& image, std::FILE* out, int quality);
bool writeBmp(const PixelImage& image, std::FILE* out);
bool writeSgi(const PixelImage& image, std::FILE* out);
bool writeTga(const PixelImage& image, std::FILE* out);
// WebP: lossless without a quality (every pixel kept, the colour of transparent
// ones too); else lossy at that quality, 0..100 (held to that range).
bool writeWebp(const PixelImage& image, std::FILE* out, std::optional<int> lossyQuality);

}  // namespace tilvane::codecs
