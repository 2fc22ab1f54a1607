#include "image/codecs/png_encoder.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "image/codecs/codecs.h"

namespace tilvane {
namespace {

enum class Fill { noise, transparent, sprites };

// noise: every byte random; sprites: a noisy 24 x 20 block stamped again and
// again on a transparent sheet, so matches reach back across rows and bands.
ImagePtr makeImage(std::int32_t width, std::int32_t height, Fill fill) {
    ImagePtr image = createPixelImage(width, height);
    if (!image || fill == Fill::transparent) return image;
    std::uint32_t state = static_cast<std::uint32_t>(width * 31 + height);
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (std::int32_t y = 0; y < height; ++y) {
        std::uint8_t* row = image->row(y);
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint32_t v = next();
            if (fill == Fill::sprites) {
                const std::int32_t bx = x % 40, by = y % 30;
                std::uint32_t s = static_cast<std::uint32_t>(bx * 977 + by * 131);
                v = bx < 24 && by < 20 ? (s * 2654435761u) | 0xFF000000u : 0;
            }
            std::memcpy(row + 4 * x, &v, 4);
        }
    }
    return image;
}

std::vector<std::uint8_t> encode(const PixelImage& image, PngCompression compression,
                                 unsigned threads) {
    std::vector<std::uint8_t> bytes;
    const bool ok = codecs::encodePng(
        image, compression,
        [&bytes](std::span<const std::uint8_t> piece) {
            bytes.insert(bytes.end(), piece.begin(), piece.end());
            return true;
        },
        threads);
    if (!ok) bytes.clear();
    return bytes;
}

// libpng's own reading of the file (not our reader, which refuses sides above
// 32768): the pixels top-down as BGRA, or empty when libpng refuses the file.
std::vector<std::uint8_t> decodeWithLibpng(const std::vector<std::uint8_t>& bytes,
                                           std::int32_t width, std::int32_t height) {
    png_image info{};
    info.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&info, bytes.data(), bytes.size())) return {};
    std::vector<std::uint8_t> pixels;
    if (info.width == static_cast<png_uint_32>(width) &&
        info.height == static_cast<png_uint_32>(height) && info.format == PNG_FORMAT_RGBA) {
        info.format = PNG_FORMAT_BGRA;
        pixels.resize(PNG_IMAGE_SIZE(info));
        if (!png_image_finish_read(&info, nullptr, pixels.data(), 0, nullptr)) pixels.clear();
    }
    png_image_free(&info);
    return pixels;
}

// The image's rows top-down, as libpng hands them out.
std::vector<std::uint8_t> topDownPixels(const PixelImage& image) {
    std::vector<std::uint8_t> pixels;
    for (std::int32_t y = 0; y < image.height(); ++y) {
        pixels.insert(pixels.end(), image.row(y), image.row(y) + 4 * image.width());
    }
    return pixels;
}

// libpng (which inflates with zlib and checks every CRC and the Adler-32)
// and our reader read back the very pixels of our 8-bit RGBA file, whatever
// the compression (small uses all five filters);
// and the bytes do not depend on how many threads made them. The sizes are at
// the edges of the row and band arithmetic: single pixels, one column of many
// bands, one row wider than a band, rows wider than a band (a band per row),
// odd sizes, and images of several bands.
TEST(PngEncoder, DecodesToTheSamePixels) {
    const std::tuple<const char*, std::int32_t, std::int32_t, Fill> rows[] = {
        {"OnePixel", 1, 1, Fill::noise},
        {"OneColumnOfManyBands", 1, 250001, Fill::noise},
        {"OneWideRow", 70001, 1, Fill::noise},
        {"RowsWiderThanABand", 300001, 3, Fill::sprites},
        {"OddNoise", 333, 517, Fill::noise},
        {"OddSprites", 517, 333, Fill::sprites},
        {"TransparentManyBands", 1000, 1100, Fill::transparent},
        {"SpritesManyBands", 1000, 1100, Fill::sprites},
    };
    for (const auto& [name, width, height, fill] : rows) {
        const ImagePtr image = makeImage(width, height, fill);
        ASSERT_TRUE(image) << name;
        for (const PngCompression compression :
             {PngCompression::fast, PngCompression::standard, PngCompression::small}) {
            SCOPED_TRACE(name + (" " + std::to_string(int(compression))));
            const std::vector<std::uint8_t> bytes = encode(*image, compression, 2);
            ASSERT_FALSE(bytes.empty());
            EXPECT_EQ(decodeWithLibpng(bytes, width, height), topDownPixels(*image));
            // Our reader inflates such files in one call and unfilters them itself.
            if (width <= 32768 && height <= 32768) {
                const ImagePtr back = codecs::readPng({bytes.data(), bytes.size()});
                ASSERT_TRUE(back);
                EXPECT_EQ(topDownPixels(*back), topDownPixels(*image));
            }
            if (height > 1000 || width > 300000) {
                EXPECT_EQ(encode(*image, compression, 1), bytes);
                EXPECT_EQ(encode(*image, compression, 3), bytes);
            }
        }
    }
}

// An 8-bit RGBA PNG of the given raw rows (each a filter byte and the row),
// made by hand so that a row can carry any filter byte.
std::vector<std::uint8_t> pngOfRawRows(std::uint32_t width, std::uint32_t height,
                                       const std::vector<std::uint8_t>& raw) {
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto put32 = [](std::vector<std::uint8_t>& v, std::uint32_t x) {
        for (int shift = 24; shift >= 0; shift -= 8)
            v.push_back(static_cast<std::uint8_t>(x >> shift));
    };
    const auto chunk = [&](const char* type, const std::vector<std::uint8_t>& body) {
        put32(out, static_cast<std::uint32_t>(body.size()));
        const std::size_t start = out.size();
        out.insert(out.end(), type, type + 4);
        out.insert(out.end(), body.begin(), body.end());
        put32(out, static_cast<std::uint32_t>(
                       crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
    };
    std::vector<std::uint8_t> header;
    put32(header, width);
    put32(header, height);
    header.insert(header.end(), {8, 6, 0, 0, 0});
    chunk("IHDR", header);
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<std::uint8_t> packed(size);
    if (compress2(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 1) != Z_OK)
        return {};
    packed.resize(size);
    chunk("IDAT", packed);
    chunk("IEND", {});
    return out;
}

// Images large enough that a second thread copies the unfiltered rows behind
// the one unfiltering them: every row arrives, and a row with an unknown
// filter fails the read (libpng refuses it too) instead of leaving the copier
// waiting.
TEST(PngEncoder, LargeImagesReadBackWhole) {
    const ImagePtr image = makeImage(2048, 2100, Fill::sprites);
    ASSERT_TRUE(image);
    const std::vector<std::uint8_t> bytes = encode(*image, PngCompression::fast, 2);
    const ImagePtr back = codecs::readPng({bytes.data(), bytes.size()});
    ASSERT_TRUE(back);
    EXPECT_EQ(topDownPixels(*back), topDownPixels(*image));

    const std::uint32_t width = 2048, height = 2100;
    const std::size_t rowBytes = 4 * std::size_t{width} + 1;
    for (const std::uint32_t badRow : {0u, 1500u, height - 1}) {
        SCOPED_TRACE(badRow);
        std::vector<std::uint8_t> raw(rowBytes * height, 0);
        for (std::uint32_t y = 0; y < height; ++y)
            raw[y * rowBytes] = static_cast<std::uint8_t>(y % 5);
        raw[badRow * rowBytes] = 5;
        const std::vector<std::uint8_t> bad = pngOfRawRows(width, height, raw);
        ASSERT_FALSE(bad.empty());
        EXPECT_FALSE(codecs::readPng({bad.data(), bad.size()}));
        raw[badRow * rowBytes] = 0;
        const std::vector<std::uint8_t> good = pngOfRawRows(width, height, raw);
        const ImagePtr read = codecs::readPng({good.data(), good.size()});
        ASSERT_TRUE(read);
        EXPECT_EQ(read->width(), 2048);
        EXPECT_EQ(getPixel(*read, 2047, 2099), 0u);
    }
}

}  // namespace
}  // namespace tilvane
