#pragma once

// The pictures behind the PNG, JPEG, TIFF and GIF fixtures
// (tests/data/make_library_fixtures.sh draws them with the same rules), and the
// table-driven check that a fixture decodes to them and to what ImageMagick
// decodes.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "image/codecs/codecs.h"
#include "image/pixel_image.h"
#include "tests/support/temp_dir.h"

namespace tilvane::testing::library {

struct Rgba {
    int r = 0, g = 0, b = 0, a = 255;
};

inline constexpr int kFixtureWidth = 16;
inline constexpr int kFixtureHeight = 12;

inline Rgba drawnRgb(int x, int y) {
    return {(x * 16) % 256, (y * 20) % 256, ((x + y) * 8) % 256, 255};
}
inline int drawnAlpha(int x, int y) {
    return (x + y) % 5 == 0 ? 0 : ((x * y) % 3 ? 255 : 128);
}
inline Rgba drawnRgba(int x, int y) {
    Rgba c = drawnRgb(x, y);
    c.a = drawnAlpha(x, y);
    return c;
}
inline Rgba grey(int v, int a = 255) {
    return {v, v, v, a};
}
inline Rgba drawnPalette(int x, int y) {
    static constexpr std::array<std::array<int, 3>, 12> kColours{{{255, 0, 0},
                                                                  {0, 255, 0},
                                                                  {0, 0, 255},
                                                                  {255, 255, 0},
                                                                  {0, 255, 255},
                                                                  {255, 0, 255},
                                                                  {255, 255, 255},
                                                                  {0, 0, 0},
                                                                  {128, 0, 0},
                                                                  {0, 128, 0},
                                                                  {0, 0, 128},
                                                                  {128, 128, 0}}};
    const auto& c = kColours[(x + 2 * y) % 12];
    return {c[0], c[1], c[2], 255};
}
// The palette picture with its black made transparent.
inline Rgba drawnPaletteTransparent(int x, int y) {
    Rgba c = drawnPalette(x, y);
    if (c.r == 0 && c.g == 0 && c.b == 0) c.a = 0;
    return c;
}

// The fixtures live in tests/data/, beside the script that makes them.
inline std::string dataFolder() {
    return std::string(TILVANE_SOURCE_DIR) + "/tests/data";
}

inline std::string fixturePath(const std::string& name) {
    return dataFolder() + "/" + name;
}

inline std::vector<std::uint8_t> fileBytes(const std::string& path) {
    const std::string text = readFile(path);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

inline bool haveImageMagick() {
    return std::system("test -x /usr/bin/convert") == 0;
}

// ImageMagick's decoding of a file as 8-bit RGBA, top row first; empty when
// it fails. Paths are our own fixture and temporary names, free of quotes.
inline std::vector<std::uint8_t> magickRgba(const std::string& path, int width, int height) {
    const std::string command =
        "/usr/bin/convert '" + path + "[0]' -auto-orient -depth 8 rgba:- 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {};
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    const std::size_t got = std::fread(pixels.data(), 1, pixels.size(), pipe);
    char extra = 0;
    const bool more = std::fread(&extra, 1, 1, pipe) == 1;
    ::pclose(pipe);
    if (got != pixels.size() || more) return {};
    return pixels;
}

// Pixel (x, y) of a loaded image of any depth, through the 32-bit conversion
// that the build applies.
inline Rgba pixelOf(const PixelImage& image32, int x, int y) {
    const PixelValue v = getPixel(image32, x, y);
    return {static_cast<int>(v & 0xFF), static_cast<int>(v >> 8 & 0xFF),
            static_cast<int>(v >> 16 & 0xFF), static_cast<int>(v >> 24)};
}

inline ImagePtr as32Bit(ImagePtr image) {
    if (image && image->bitDepth() != 32) image = convertTo32Bit(*image);
    return image;
}

inline bool near(const Rgba& a, const Rgba& b, int tolerance, bool colourMatters) {
    auto close = [&](int p, int q) { return std::abs(p - q) <= tolerance; };
    return a.a == b.a &&
           (!colourMatters || (close(a.r, b.r) && close(a.g, b.g) && close(a.b, b.b)));
}

inline std::string describe(const Rgba& c) {
    return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + "," +
           std::to_string(c.a) + ")";
}

// One fixture: what it must decode to.
struct FixtureCase {
    std::string file;
    int depth;
    std::function<Rgba(int, int)> expected;
    // Largest channel difference to the drawn picture (lossy formats and
    // premultiplied storage); ImageMagick's decoding must agree within
    // magickTolerance.
    int tolerance = 0;
    int magickTolerance = 0;
};

inline void checkFixture(const FixtureCase& row, ImagePtr (*reader)(codecs::ByteSpan)) {
    SCOPED_TRACE(row.file);
    const std::vector<std::uint8_t> bytes = fileBytes(fixturePath(row.file));
    ASSERT_FALSE(bytes.empty());
    ImagePtr image = reader(codecs::ByteSpan(bytes.data(), bytes.size()));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), kFixtureWidth);
    EXPECT_EQ(image->height(), kFixtureHeight);
    EXPECT_EQ(image->bitDepth(), row.depth);
    ImagePtr image32 = as32Bit(std::move(image));
    ASSERT_TRUE(image32);

    const std::vector<std::uint8_t> magick =
        haveImageMagick() ? magickRgba(fixturePath(row.file), kFixtureWidth, kFixtureHeight)
                          : std::vector<std::uint8_t>{};
    int mismatches = 0;
    for (int y = 0; y < kFixtureHeight; ++y) {
        for (int x = 0; x < kFixtureWidth; ++x) {
            const Rgba want = row.expected(x, y);
            const Rgba got = pixelOf(*image32, x, y);
            // The colour of a fully transparent pixel is whatever the encoder kept.
            if (!near(got, want, row.tolerance, want.a != 0) && ++mismatches <= 5) {
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << describe(got) << ", drawn "
                              << describe(want);
            }
            if (magick.empty() || want.a == 0) continue;
            const std::uint8_t* m = &magick[4 * (static_cast<std::size_t>(y) * kFixtureWidth + x)];
            const Rgba theirs{m[0], m[1], m[2], m[3]};
            if (!near(got, theirs, row.magickTolerance, true) && ++mismatches <= 5) {
                ADD_FAILURE() << "pixel " << x << "," << y << " is " << describe(got)
                              << ", ImageMagick reads " << describe(theirs);
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// A top-down picture as a 32-bit image.
inline ImagePtr makeImage(int width, int height, const std::function<Rgba(int, int)>& colour) {
    ImagePtr image = createPixelImage(width, height);
    if (!image) return nullptr;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgba c = colour(x, y);
            setPixel(*image, x, y,
                     packPixel(static_cast<std::uint8_t>(c.r), static_cast<std::uint8_t>(c.g),
                               static_cast<std::uint8_t>(c.b), static_cast<std::uint8_t>(c.a)));
        }
    }
    return image;
}

// A picture with every alpha level and colours that do not follow the alpha,
// for round trips.
inline Rgba roundTripColour(int x, int y) {
    return {(x * 7 + y * 3) % 256, (x * 13 + 50) % 256, (y * 29 + x) % 256, (x * 11 + y * 5) % 256};
}

// Writes with a codec writer to a temporary file and returns its path (empty
// on failure).
template <typename Write>
std::string writeWith(const TempDir& dir, const std::string& name, Write write) {
    const std::string path = dir.file(name);
    std::FILE* f = std::fopen(path.c_str(), "w+b");
    if (!f) return {};
    const bool ok = write(f);
    const bool closed = std::fclose(f) == 0;
    return ok && closed ? path : std::string();
}

// Every pixel of a decoded image against ImageMagick's decoding of the file,
// within tolerance; alpha exact.
inline int countMagickDifferences(const PixelImage& image32, const std::string& path,
                                  int tolerance) {
    const std::vector<std::uint8_t> magick = magickRgba(path, image32.width(), image32.height());
    if (magick.empty()) return -1;
    int differences = 0;
    for (int y = 0; y < image32.height(); ++y) {
        for (int x = 0; x < image32.width(); ++x) {
            const std::uint8_t* m =
                &magick[4 * (static_cast<std::size_t>(y) * image32.width() + x)];
            if (!near(pixelOf(image32, x, y), Rgba{m[0], m[1], m[2], m[3]}, tolerance, m[3] != 0)) {
                ++differences;
            }
        }
    }
    return differences;
}

}  // namespace tilvane::testing::library
