// Encodes arbitrary pixels as PNG and aborts unless libpng reads back the
// same image. The first bytes choose the size (up to 512 x 128), the
// compression and the threads; the rest, repeated, are the pixels (so the
// matcher meets repeats as well as noise). The same bytes, taken as rows of
// scanlines, also go through our deflate in two bands joined at a seam the
// input chooses, which zlib must inflate back to them.
// Corpus: fuzz/corpus/png_encoder/.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/codecs/codecs.h"
#include "image/codecs/png_encoder.h"
#include "image/codecs/scanline_deflate.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

void roundTripPng(const std::uint8_t* data, std::size_t size) {
    const std::int32_t width = 1 + (data[0] | (data[1] & 1) << 8);
    const std::int32_t height = 1 + data[2] % 128;
    const auto compression = static_cast<tilvane::PngCompression>(data[3] % 3);
    const unsigned threads = 1 + (data[1] >> 1) % 3;
    tilvane::ImagePtr image = tilvane::createPixelImage(width, height);
    check(image != nullptr);
    const std::uint8_t* pixels = data + 4;
    const std::size_t count = size - 4;
    for (std::int32_t y = 0; y < height && count > 0; ++y) {
        std::uint8_t* row = image->row(y);
        for (std::size_t i = 0; i < static_cast<std::size_t>(width) * 4; ++i) {
            row[i] = pixels[(static_cast<std::size_t>(y) * width * 4 + i) % count];
        }
    }
    std::vector<std::uint8_t> bytes;
    check(tilvane::codecs::encodePng(
        *image, compression,
        [&bytes](std::span<const std::uint8_t> piece) {
            bytes.insert(bytes.end(), piece.begin(), piece.end());
            return true;
        },
        threads));
    const tilvane::ImagePtr back =
        tilvane::codecs::readPng(tilvane::codecs::ByteSpan(bytes.data(), bytes.size()));
    check(back && back->bitDepth() == 32 && back->width() == width && back->height() == height);
    check(std::memcmp(back->bits(), image->bits(), image->byteSize()) == 0);
}

void roundTripBands(const std::uint8_t* data, std::size_t size) {
    const std::size_t rowBytes = 1 + 4 * (1 + data[0] % 16);
    const std::size_t rows = (size - 4) / rowBytes;
    if (rows == 0) return;
    const std::size_t seam = data[2] % (rows + 1);
    const std::uint8_t* scanlines = data + 4;
    const std::size_t total = rows * rowBytes, seamBytes = seam * rowBytes;
    std::vector<std::uint8_t> stream;
    check(tilvane::codecs::deflateScanlines({scanlines, seamBytes}, 0, rowBytes, false, stream));
    check(tilvane::codecs::deflateScanlines({scanlines, total}, seamBytes, rowBytes, true, stream));
    std::vector<std::uint8_t> out(total + 1);
    z_stream z{};
    check(inflateInit2(&z, -15) == Z_OK);
    z.next_in = stream.data();
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    check(result == Z_STREAM_END && z.avail_in == 0 && z.total_out == total);
    check(std::memcmp(out.data(), scanlines, total) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    roundTripPng(data, size);
    roundTripBands(data, size);
    return 0;
}
