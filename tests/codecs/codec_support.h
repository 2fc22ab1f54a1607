#pragma once

// Shared by the codec tests: the pictures the fixtures show (the same rules as
// tests/data/make_own_fixtures.py and make_library_fixtures.sh), the check of a
// fixture against its picture and an independent decoder, and writing with a
// codec writer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "image/codecs/codecs.h"
#include "image/pixel_image.h"
#include "tests/support/temp_dir.h"

namespace tilvane::testing {

using Reader = ImagePtr (*)(codecs::ByteSpan);
using Picture = std::function<PixelValue(int, int)>;

// The hand-written codecs' fixtures are 7 x 5 and use these pictures.
inline PixelValue colourOf(int index, int alpha) {
    static constexpr std::uint8_t kRgb[8][3] = {{0, 0, 0},     {255, 0, 0},    {0, 255, 0},
                                                {0, 0, 255},   {255, 255, 0},  {0, 255, 255},
                                                {255, 0, 255}, {255, 255, 255}};
    return packPixel(kRgb[index][0], kRgb[index][1], kRgb[index][2],
                     static_cast<std::uint8_t>(alpha));
}
inline int ownAlpha(int x, int y) {
    return 20 + 30 * x + 9 * y;
}
inline PixelValue ownColour(int x, int y) {
    return colourOf((x + 2 * y) % 8, 255);
}
inline PixelValue ownColourAlpha(int x, int y) {
    return colourOf((x + 2 * y) % 8, ownAlpha(x, y));
}
inline PixelValue ownGrey(int x, int y) {
    const auto v = static_cast<std::uint8_t>(36 * x + 5 * y);
    return packPixel(v, v, v, 255);
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
inline PixelValue withAlpha(PixelValue v, int alpha) {
    return (v & 0xFFFFFFu) | static_cast<PixelValue>(alpha) << 24;
}
inline PixelValue drawnGrey(int x, int y) {
    const auto v = static_cast<std::uint8_t>(x * 16 + y);
    return packPixel(v, v, v, 255);
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

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
    const std::string text = readFile(path);
    return {text.begin(), text.end()};
}

inline ImagePtr load(Reader reader, const std::vector<std::uint8_t>& bytes) {
    return reader(codecs::ByteSpan(bytes.data(), bytes.size()));
}

// The image as 32 bits (a copy for 32-bit images).
inline ImagePtr as32Bit(const PixelImage& image) {
    if (image.bitDepth() != 32) return convertTo32Bit(image);
    ImagePtr copy = PixelImage::create(image.width(), image.height(), 32);
    if (copy) std::copy_n(image.bits(), image.byteSize(), copy->bits());
    return copy;
}

// Channel c (0 red .. 3 alpha) of a pixel.
inline int channel(PixelValue v, int c) {
    return static_cast<int>(v >> (8 * c) & 0xFF);
}

// Pixels as red, green, blue bytes, top row first (grey repeated).
struct ToolImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

// What a command writes to its standard output.
inline std::string toolText(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>/dev/null").c_str(), "r"),
                                               ::pclose);
    std::string text;
    for (int c; pipe && (c = std::fgetc(pipe.get())) != EOF;) text.push_back(static_cast<char>(c));
    return text;
}

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
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(out.width) * out.height *
                                  (kind == "P6" ? 3 : 1));
    if (std::fread(raw.data(), 1, raw.size(), pipe.get()) != raw.size()) return std::nullopt;
    if (kind == "P6") {
        out.rgb = std::move(raw);
    } else {
        for (std::uint8_t g : raw) out.rgb.insert(out.rgb.end(), {g, g, g});
    }
    return out;
}

// Whether the image matches a tool's decoding: its colours, or with alpha its
// alpha against a grey decoding; pixels clear in the image are skipped when
// clearFree (their colour is whatever the encoder kept).
inline ::testing::AssertionResult matchesTool(const PixelImage& image, const ToolImage& tool,
                                              int tolerance = 0, bool alpha = false,
                                              bool clearFree = false) {
    if (tool.width != image.width() || tool.height != image.height()) {
        return ::testing::AssertionFailure() << "tool size " << tool.width << "x" << tool.height;
    }
    for (int y = 0; y < tool.height; ++y) {
        for (int x = 0; x < tool.width; ++x) {
            const std::uint8_t* t =
                tool.rgb.data() + 3 * (static_cast<std::size_t>(y) * tool.width + x);
            const PixelValue p = getPixel(image, x, y);
            if (clearFree && channel(p, 3) == 0) continue;
            for (int c = alpha ? 3 : 0; c < (alpha ? 4 : 3); ++c) {
                if (std::abs(channel(p, c) - t[alpha ? 0 : c]) > tolerance) {
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", " << y << ") channel " << c << " is "
                           << channel(p, c) << ", the tool says " << int(t[alpha ? 0 : c]);
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// One fixture: the file, what it must load as, and optionally a command (%s
// for the path) that decodes it independently to PPM.
struct FixtureCase {
    std::string file;  // relative to tests/data
    Reader reader;
    int depth;
    Picture picture;  // none: too lossy to predict (HAM)
    std::string toolCommand = {};
    int toolTolerance = 0;
    int tolerance = 0;       // against the picture (lossy or premultiplied storage)
    bool clearFree = false;  // clear pixels may have any colour
};

inline void checkFixture(const FixtureCase& c, int width, int height) {
    SCOPED_TRACE(c.file);
    const std::string path = fixturePath(c.file);
    const std::vector<std::uint8_t> bytes = readBytes(path);
    ASSERT_FALSE(bytes.empty());
    const ImagePtr image = load(c.reader, bytes);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width(), width);
    EXPECT_EQ(image->height(), height);
    EXPECT_EQ(image->bitDepth(), c.depth);
    const ImagePtr wide = as32Bit(*image);
    ASSERT_NE(wide, nullptr);
    for (int y = 0; c.picture && y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const PixelValue want = c.picture(x, y), got = getPixel(*wide, x, y);
            const bool colourMatters = !c.clearFree || channel(want, 3) != 0;
            for (int ch = colourMatters ? 0 : 3; ch < 4; ++ch) {
                ASSERT_LE(std::abs(channel(got, ch) - channel(want, ch)), ch == 3 ? 0 : c.tolerance)
                    << "pixel (" << x << ", " << y << ") is " << std::hex << got << ", drawn "
                    << want;
            }
        }
    }
    if (c.toolCommand.empty()) return;
    std::string command = c.toolCommand;
    command.replace(command.find("%s"), 2, "'" + path + "'");
    const std::optional<ToolImage> tool = decodeWithTool(command);
    ASSERT_TRUE(tool.has_value()) << command;
    EXPECT_TRUE(matchesTool(*wide, *tool, c.toolTolerance, false, c.clearFree)) << command;
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

// Writes with a codec writer into a new file; the path, empty on failure.
inline std::string writeWith(const std::string& path,
                             const std::function<bool(std::FILE*)>& write) {
    std::FILE* out = std::fopen(path.c_str(), "w+b");
    if (!out) return {};
    const bool ok = write(out);
    return std::fclose(out) == 0 && ok ? path : std::string();
}

inline bool samePixels(const PixelImage& a, const PixelImage& b) {
    return a.width() == b.width() && a.height() == b.height() && a.bitDepth() == b.bitDepth() &&
           std::equal(a.bits(), a.bits() + a.byteSize(), b.bits());
}

}  // namespace tilvane::testing
