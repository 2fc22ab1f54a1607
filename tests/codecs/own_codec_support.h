#pragma once

// Shared by the tests of the hand-written codecs: the patterns the fixtures
// show (the same formulas as tests/data/make_own_fixtures.py), loading a
// fixture, and decoding a file with an independent tool.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/codecs/codecs.h"
#include "image/pixel_image.h"

namespace tilvane::testing {

inline constexpr int kFixtureWidth = 7;
inline constexpr int kFixtureHeight = 5;

enum class Pattern {
    kColour,          // eight saturated colours, index (x + 2y) mod 8, opaque
    kColourAlpha,     // the colours with alpha 20 + 30x + 9y
    kColourMask,      // the colours, opaque where that alpha exceeds 128, else clear
    kColourKeyRed,    // the colours, red fully transparent
    kColourOddClear,  // the colours, odd palette indices fully transparent
    kGrey,            // grey level 36x + 5y
    kGreyAlpha,       // the grey levels with the alpha of kColourAlpha
    kMono,            // white where (x + y) mod 3 = 0, black elsewhere
};

inline int colourIndex(int x, int y) {
    return (x + 2 * y) % 8;
}

inline PixelValue colourOf(int index, std::uint8_t alpha) {
    static constexpr std::uint8_t kRgb[8][3] = {{0, 0, 0},     {255, 0, 0},    {0, 255, 0},
                                                {0, 0, 255},   {255, 255, 0},  {0, 255, 255},
                                                {255, 0, 255}, {255, 255, 255}};
    return packPixel(kRgb[index][0], kRgb[index][1], kRgb[index][2], alpha);
}

inline PixelValue expectedPixel(Pattern pattern, int x, int y) {
    const auto alpha = static_cast<std::uint8_t>(20 + 30 * x + 9 * y);
    const auto grey = static_cast<std::uint8_t>(36 * x + 5 * y);
    const int index = colourIndex(x, y);
    switch (pattern) {
        case Pattern::kColour:
            return colourOf(index, 255);
        case Pattern::kColourAlpha:
            return colourOf(index, alpha);
        case Pattern::kColourMask:
            return colourOf(index, alpha > 128 ? 255 : 0);
        case Pattern::kColourKeyRed:
            return colourOf(index, index == 1 ? 0 : 255);
        case Pattern::kColourOddClear:
            return colourOf(index, index % 2 ? 0 : 255);
        case Pattern::kGrey:
            return packPixel(grey, grey, grey, 255);
        case Pattern::kGreyAlpha:
            return packPixel(grey, grey, grey, alpha);
        case Pattern::kMono:
            return (x + y) % 3 == 0 ? 0xFFFFFFFFu : 0xFF000000u;
    }
    return 0;
}

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline std::string fixturePath(const std::string& relative) {
    return std::string(TILVANE_SOURCE_DIR) + "/tests/data/" + relative;
}

// The image as 32 bits (a copy for shallower depths).
inline ImagePtr as32Bit(const PixelImage& image) {
    if (image.bitDepth() == 32) {
        ImagePtr copy = PixelImage::create(image.width(), image.height(), 32);
        if (copy) std::copy_n(image.bits(), image.byteSize(), copy->bits());
        return copy;
    }
    return convertTo32Bit(image);
}

// Pixels as red, green, blue (and alpha) bytes, top row first.
struct ToolImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

// Runs a command that writes a binary PPM (P6) or PGM (P5) of depth 255 to
// its standard output. Empty when the command fails or writes anything else.
inline std::optional<ToolImage> decodeWithTool(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>/dev/null").c_str(), "r"),
                                               ::pclose);
    if (!pipe) return std::nullopt;
    char magic[3] = {};
    int maxval = 0;
    ToolImage out;
    if (std::fscanf(pipe.get(), "%2s %d %d %d", magic, &out.width, &out.height, &maxval) != 4 ||
        maxval != 255 || std::fgetc(pipe.get()) == EOF) {
        return std::nullopt;
    }
    const std::string kind(magic);
    if (kind != "P6" && kind != "P5") return std::nullopt;
    const std::size_t count = static_cast<std::size_t>(out.width) * out.height;
    std::vector<std::uint8_t> raw(count * (kind == "P6" ? 3 : 1));
    if (std::fread(raw.data(), 1, raw.size(), pipe.get()) != raw.size()) return std::nullopt;
    if (kind == "P6") {
        out.rgb = std::move(raw);
    } else {
        for (std::uint8_t g : raw) out.rgb.insert(out.rgb.end(), {g, g, g});
    }
    return out;
}

// Whether every pixel's colour (alpha ignored) matches the tool's decoding,
// each channel within tolerance.
inline ::testing::AssertionResult sameColours(const PixelImage& image, const ToolImage& tool,
                                              int tolerance = 0) {
    if (tool.width != image.width() || tool.height != image.height()) {
        return ::testing::AssertionFailure() << "tool size " << tool.width << "x" << tool.height;
    }
    for (int y = 0; y < tool.height; ++y) {
        for (int x = 0; x < tool.width; ++x) {
            const std::uint8_t* t =
                tool.rgb.data() + 3 * (static_cast<std::size_t>(y) * tool.width + x);
            const PixelValue p = getPixel(image, x, y);
            for (int c = 0; c < 3; ++c) {
                const int ours = static_cast<int>(p >> (8 * c) & 0xFF);
                if (std::abs(ours - t[c]) > tolerance) {
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", " << y << ") channel " << c << " is " << ours
                           << ", the tool says " << int(t[c]);
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// One fixture: where it is, what it must load as, and optionally a command
// (with %s for the path) that decodes it independently to PPM.
struct FixtureCase {
    std::string name;
    std::string file;  // relative to tests/data
    int depth = 0;
    std::optional<Pattern> pattern;  // none: too lossy to predict (HAM)
    std::string toolCommand;
    int toolTolerance = 0;
};

inline void PrintTo(const FixtureCase& c, std::ostream* os) {
    *os << c.file;
}

inline std::string caseName(const ::testing::TestParamInfo<FixtureCase>& info) {
    return info.param.name;
}

// Loads a fixture with a reader and checks size, depth, every pixel against
// its pattern and, where a tool command is given, the tool's colours.
inline void checkFixture(const FixtureCase& c, ImagePtr (*reader)(codecs::ByteSpan)) {
    const std::string path = fixturePath(c.file);
    const std::vector<std::uint8_t> bytes = readBytes(path);
    ASSERT_FALSE(bytes.empty()) << path;
    const ImagePtr image = reader(codecs::ByteSpan(bytes.data(), bytes.size()));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width(), kFixtureWidth);
    EXPECT_EQ(image->height(), kFixtureHeight);
    EXPECT_EQ(image->bitDepth(), c.depth);
    const ImagePtr wide = as32Bit(*image);
    ASSERT_NE(wide, nullptr);
    if (c.pattern) {
        for (int y = 0; y < kFixtureHeight; ++y) {
            for (int x = 0; x < kFixtureWidth; ++x) {
                ASSERT_EQ(getPixel(*wide, x, y), expectedPixel(*c.pattern, x, y))
                    << "pixel (" << x << ", " << y << ")";
            }
        }
    }
    if (!c.toolCommand.empty()) {
        std::string command = c.toolCommand;
        command.replace(command.find("%s"), 2, "'" + path + "'");
        const std::optional<ToolImage> tool = decodeWithTool(command);
        ASSERT_TRUE(tool.has_value()) << command;
        EXPECT_TRUE(sameColours(*wide, *tool, c.toolTolerance)) << command;
    }
}

}  // namespace tilvane::testing

namespace tilvane::testing {

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

// Encodes with a writer into a new file at path.
inline bool writeWith(bool (*writer)(const PixelImage&, std::FILE*), const PixelImage& image,
                      const std::string& path) {
    std::FILE* out = std::fopen(path.c_str(), "w+b");
    if (!out) return false;
    const bool ok = writer(image, out);
    return std::fclose(out) == 0 && ok;
}

// Whether two 32-bit images have the same size and pixels.
inline ::testing::AssertionResult samePixels(const PixelImage& a, const PixelImage& b) {
    if (a.width() != b.width() || a.height() != b.height() || b.bitDepth() != 32) {
        return ::testing::AssertionFailure() << "size or depth differs";
    }
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (getPixel(a, x, y) != getPixel(b, x, y)) {
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") " << std::hex << getPixel(a, x, y)
                       << " != " << getPixel(b, x, y);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// Whether every pixel's alpha matches a tool's decoding of the alpha channel
// as a grey image.
inline ::testing::AssertionResult sameAlpha(const PixelImage& image, const ToolImage& alpha) {
    if (alpha.width != image.width() || alpha.height != image.height()) {
        return ::testing::AssertionFailure() << "alpha size differs";
    }
    for (int y = 0; y < alpha.height; ++y) {
        for (int x = 0; x < alpha.width; ++x) {
            const std::uint8_t a = alpha.rgb[3 * (static_cast<std::size_t>(y) * alpha.width + x)];
            if (getPixel(image, x, y) >> 24 != a) {
                return ::testing::AssertionFailure() << "alpha at (" << x << ", " << y << ")";
            }
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace tilvane::testing
