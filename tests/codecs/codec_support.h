#pragma once

// Shared by the codec tests: the pictures the fixtures show (the same rules as
// tests/data/make_own_fixtures.py and make_library_fixtures.sh), reading
// fixtures, and an image for the writers to round-trip.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "image/codecs/codecs.h"
#include "image/pixel_image.h"
#include "tests/support/temp_dir.h"

namespace tilvane::testing {

using Reader = ImagePtr (*)(codecs::ByteSpan);
using Picture = std::function<PixelValue(int, int)>;

inline PixelValue withAlpha(PixelValue v, int alpha) {
    return (v & 0xFFFFFFu) | static_cast<PixelValue>(alpha) << 24;
}
inline PixelValue grey(int v) {
    const auto g = static_cast<std::uint8_t>(v);
    return packPixel(g, g, g, 255);
}

// The hand-written codecs' fixtures are 7 x 5 and use these pictures.
inline int ownAlpha(int x, int y) {
    return 20 + 30 * x + 9 * y;
}
inline PixelValue ownColour(int x, int y) {
    static constexpr std::uint8_t kRgb[8][3] = {{0, 0, 0},     {255, 0, 0},    {0, 255, 0},
                                                {0, 0, 255},   {255, 255, 0},  {0, 255, 255},
                                                {255, 0, 255}, {255, 255, 255}};
    const auto* c = kRgb[(x + 2 * y) % 8];
    return packPixel(c[0], c[1], c[2], 255);
}
inline PixelValue ownColourAlpha(int x, int y) {
    return withAlpha(ownColour(x, y), ownAlpha(x, y));
}
inline PixelValue ownGrey(int x, int y) {
    return grey(36 * x + 5 * y);
}
inline PixelValue ownMono(int x, int y) {
    return (x + y) % 3 == 0 ? 0xFFFFFFFFu : 0xFF000000u;
}

// The library codecs' fixtures are 16 x 12 and use these.
inline PixelValue drawnRgb(int x, int y) {
    return packPixel(static_cast<std::uint8_t>(x * 16), static_cast<std::uint8_t>(y * 20),
                     static_cast<std::uint8_t>((x + y) * 8), 255);
}
inline int drawnAlpha(int x, int y) {
    return (x + y) % 5 == 0 ? 0 : ((x * y) % 3 ? 255 : 128);
}
inline PixelValue drawnGrey(int x, int y) {
    return grey(x * 16 + y);
}
inline PixelValue drawnPalette(int x, int y) {
    static constexpr std::uint8_t kRgb[12][3] = {
        {255, 0, 0},     {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {0, 255, 255}, {255, 0, 255},
        {255, 255, 255}, {0, 0, 0},   {128, 0, 0}, {0, 128, 0},   {0, 0, 128},   {128, 128, 0}};
    const auto* c = kRgb[(x + 2 * y) % 12];
    return packPixel(c[0], c[1], c[2], 255);
}
// The palette picture with its black made transparent.
inline PixelValue drawnPaletteClear(int x, int y) {
    const PixelValue v = drawnPalette(x, y);
    return v == 0xFF000000u ? 0u : v;
}

inline std::string fixturePath(const std::string& relative) {
    return std::string(TILVANE_SOURCE_DIR) + "/tests/data/" + relative;
}

// Each reader by the start of its fixtures' paths (relative to tests/data): our
// own codecs' folders, the libraries' file name prefixes. The fuzz corpus has
// a folder for each.
inline const std::pair<std::string, Reader> kReaders[] = {
    {"bmp/", codecs::readBmp},   {"tga/", codecs::readTga}, {"sgi/", codecs::readSgi},
    {"psd/", codecs::readPsd},   {"pcx/", codecs::readPcx}, {"iff/", codecs::readIff},
    {"cel/", codecs::readCel},   {"png_", codecs::readPng}, {"jpeg_", codecs::readJpeg},
    {"tiff_", codecs::readTiff}, {"gif_", codecs::readGif}, {"webp_", codecs::readWebp}};
inline Reader readerFor(const std::string& file) {
    for (const auto& [start, reader] : kReaders)
        if (file.rfind(start, 0) == 0) return reader;
    return nullptr;
}

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
    const std::string text = readFile(path);
    return {text.begin(), text.end()};
}

inline ImagePtr load(Reader reader, const std::vector<std::uint8_t>& bytes) {
    return reader(codecs::ByteSpan(bytes.data(), bytes.size()));
}

// A 32-bit image whose pixels differ in every channel, alpha included, with
// an odd width so that any row padding shows.
inline ImagePtr makeRoundTripImage(int width = 37, int height = 23) {
    ImagePtr image = createPixelImage(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            setPixel(*image, x, y,
                     packPixel(static_cast<std::uint8_t>(x * 7), static_cast<std::uint8_t>(y * 11),
                               static_cast<std::uint8_t>(x * y),
                               static_cast<std::uint8_t>(x * 5 + y * 3)));
        }
    }
    return image;
}

inline bool samePixels(const PixelImage& a, const PixelImage& b) {
    return a.width() == b.width() && a.height() == b.height() && a.bitDepth() == b.bitDepth() &&
           std::equal(a.bits(), a.bits() + a.byteSize(), b.bits());
}

}  // namespace tilvane::testing
