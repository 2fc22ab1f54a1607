// Every fixture loads with its depth and the picture it was drawn from, and as
// an independent decoder (netpbm, ImageMagick) sees it; every writer's file
// loads back exactly and the independent decoders agree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "image/codecs/codecs.h"
#include "image/image_file.h"
#include "tests/codecs/codec_support.h"

namespace tilvane::testing {
namespace {

using namespace codecs;

// What a command writes to its standard output.
std::string toolText(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>/dev/null").c_str(), "r"),
                                               ::pclose);
    std::string text;
    for (int c; pipe && (c = std::fgetc(pipe.get())) != EOF;) text.push_back(static_cast<char>(c));
    return text;
}

const auto channel = [](PixelValue v, int c) { return static_cast<int>(v >> (8 * c) & 0xFF); };

enum Channels { kColour = 1, kAlpha = 2, kAll = 3 };

// Whether the image's pixels are those of the picture in the channels named,
// colours within tolerance; clear pixels' colours are skipped when clearFree
// (they are whatever the encoder kept).
::testing::AssertionResult matches(const PixelImage& image, const Picture& want, int tolerance,
                                   int channels, bool clearFree) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const PixelValue got = getPixel(image, x, y), drawn = want(x, y);
            for (int c = 0; c < 4; ++c) {
                if (!(channels & (c == 3 ? kAlpha : kColour))) continue;
                if (c < 3 && clearFree && channel(got, 3) == 0) continue;
                if (std::abs(channel(got, c) - channel(drawn, c)) > (c == 3 ? 0 : tolerance)) {
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", " << y << ") is " << std::hex << got
                           << ", expected " << drawn;
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// Whether the image matches what a command (%s for the path) decodes the file
// to as a binary PPM or PGM of depth 255; a grey decoding is read as alpha too.
::testing::AssertionResult agreesWithTool(const PixelImage& image, std::string command,
                                          const std::string& path, int tolerance, int channels,
                                          bool clearFree = false) {
    command.replace(command.find("%s"), 2, "'" + path + "'");
    const std::string text = toolText(command);
    char magic[3] = {};
    int width = 0, height = 0, maxval = 0, header = 0;
    if (std::sscanf(text.c_str(), "%2s %d %d %d%n", magic, &width, &height, &maxval, &header) !=
            4 ||
        maxval != 255 || (magic != std::string("P6") && magic != std::string("P5"))) {
        return ::testing::AssertionFailure() << command << " wrote no image";
    }
    const std::size_t bytes = magic[1] == '6' ? 3 : 1;
    if (width != image.width() || height != image.height() ||
        text.size() != static_cast<std::size_t>(header) + 1 + bytes * width * height) {
        return ::testing::AssertionFailure() << command << " decodes " << width << "x" << height;
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(text.data()) + header + 1;
    return matches(
               image,
               [&](int x, int y) {
                   const std::uint8_t* t = data + bytes * (std::size_t(y) * width + x);
                   return packPixel(t[0], t[bytes / 2], t[bytes - 1], t[0]);
               },
               tolerance, channels, clearFree)
           << command;
}

// Fixtures that show one picture and decode alike: each file with the depth it
// loads with, and optionally a command (%s for the path) that decodes them
// independently.
struct FixtureGroup {
    Picture picture;  // none: too lossy to predict (HAM)
    std::string toolCommand;
    std::string files;  // "name:depth", space-separated, relative to tests/data
    int toolTolerance = 0;
    int tolerance = 0;       // against the picture (lossy or premultiplied storage)
    bool clearFree = false;  // clear pixels may have any colour
};

// ImageMagick 6's BMP reader takes the palette's reserved byte as alpha and
// its Targa coder ignores the origin bit, so netpbm decodes those. bmptopnm
// refuses RLE deltas and runs that overrun a row (which ImageMagick's own
// RLE8 writer emits), so RLE files are checked with ImageMagick's colours.
const std::string kBmp = "bmptopnm %s 2>/dev/null | ppmtoppm";
const std::string kMagick = "/usr/bin/convert %s -depth 8 ppm:-";
const std::string kIlbm = "ilbmtoppm %s";
const std::string kPcx = "pcxtoppm %s";
const std::string kPsd = "/usr/bin/convert %s[0] -depth 8 ppm:-";  // the merged image
const std::string kSgi = "sgitopnm %s 2>/dev/null | ppmtoppm";
const std::string kTga = "tgatoppm %s";
// libwebp's own decoder; its alpha as a grey image.
const std::string kDwebp = "dwebp %s -ppm -o -";
const std::string kDwebpAlpha =
    "dwebp %s -pam -o - | pamchannel -infile=- -tupletype=GRAYSCALE 3 | pamtopnm";

const auto colourMask = [](int x, int y) {
    return withAlpha(ownColour(x, y), ownAlpha(x, y) > 128 ? 255 : 0);
};
const auto colourKeyRed = [](int x, int y) {
    return withAlpha(ownColour(x, y), (x + 2 * y) % 8 == 1 ? 0 : 255);
};
const auto colourOddClear = [](int x, int y) {
    return withAlpha(ownColour(x, y), (x + 2 * y) % 2 ? 0 : 255);
};
const auto greyAlpha = [](int x, int y) { return withAlpha(ownGrey(x, y), ownAlpha(x, y)); };

// Our own codecs' fixtures (in folders) are 7 x 5, the libraries' 16 x 12.
TEST(Fixtures, LoadWithTheirDepthAndPixels) {
    const std::string magick = "/usr/bin/convert %s[0] -auto-orient -depth 8 ppm:-";
    auto levels = [](int count, int step) {
        return [=](int x, int y) { return grey(step * ((x + y) % count)); };
    };
    auto rgba = [](int x, int y) { return withAlpha(drawnRgb(x, y), drawnAlpha(x, y)); };
    auto greyAlphaDrawn = [](int x, int y) { return withAlpha(drawnGrey(x, y), drawnAlpha(x, y)); };
    // A 6 x 5 frame at (3, 2) on the 16 x 12 screen: transparent around it.
    auto smallFrame = [](int x, int y) {
        return x >= 3 && x < 9 && y >= 2 && y < 7 ? drawnPalette(x, y) : 0u;
    };
    // The WebP animation's first frame, at (4, 2); the file's white background
    // is only a hint.
    auto firstWebpFrame = [](int x, int y) {
        return x >= 4 && x < 10 && y >= 2 && y < 7 ? drawnPalette(x, y) : 0u;
    };
    const std::vector<FixtureGroup> groups = {
        // Plain 16 bits are 5-5-5.
        {ownColour, kBmp,
         "bmp/colour_4bit.bmp:4 bmp/colour_8bit.bmp:8 bmp/colour_8bit_short_palette.bmp:8 "
         "bmp/colour_24bit.bmp:24 bmp/colour_os2_24bit.bmp:24 bmp/colour_os2_8bit.bmp:8 "
         "bmp/colour_topdown_24bit.bmp:24 bmp/colour_16bit_rgb.bmp:16"},
        {ownMono, kBmp, "bmp/mono_1bit.bmp:1"},
        {ownColour, kMagick, "bmp/colour_rle8.bmp:8 bmp/colour_rle4.bmp:4"},
        // No Debian tool reads Animator cels, 16-bit Targa maps, our indexed
        // PSD (ImageMagick 6 cannot read it back) nor these bit-field bitmaps.
        {ownColour, "",
         "bmp/colour_16bit_555.bmp:16 bmp/colour_16bit_565.bmp:24 bmp/colour_32bit_fields.bmp:24 "
         "cel/colour_8bit.cel:8 psd/colour_indexed.psd:8 sgi/colour_16bit.rgb:24 "
         "tga/colour_cmap16.tga:8 tga/colour_16bit_rle.tga:16"},
        // A bitmap's fourth byte is alpha, with or without a mask for it.
        {ownColourAlpha, "",
         "bmp/rgba_32bit_rgb.bmp:32 bmp/rgba_32bit_v5.bmp:32 psd/rgba_raw.psd:32 "
         "psd/rgba_rle.psd:32 sgi/rgba_16bit_rle.rgb:32 tga/rgba_32bit_top_right.tga:32"},
        {ownColour, kIlbm,
         "iff/colour_3planes.iff:8 iff/colour_3planes_raw.iff:8 iff/colour_8planes.iff:8 "
         "iff/colour_24planes.iff:24"},
        {ownGrey, kIlbm, "iff/grey_8planes.iff:8"},
        {colourMask, kIlbm, "iff/colour_mask.iff:32"},
        {colourKeyRed, kIlbm, "iff/colour_transparent.iff:32"},
        // Hold-and-modify approximates colours, so netpbm is the reference.
        // ilbmtoppm widens a modified 4-bit value by keeping the old low bits,
        // we by repeating the value (15 gives 255, as the hardware shows it).
        {nullptr, kIlbm, "iff/colour_ham6.iff:24", 15},
        {ownMono, kPcx, "pcx/mono_1bit.pcx:1"},
        {ownColour, kPcx,
         "pcx/colour_4planes.pcx:4 pcx/colour_4bit_packed.pcx:4 pcx/colour_8bit.pcx:8 "
         "pcx/colour_24bit.pcx:24"},
        {ownColour, kPsd,
         "psd/colour_raw.psd:24 psd/colour_rle.psd:24 psd/colour_16bit_rle.psd:24"},
        {ownGrey, kPsd, "psd/grey_rle.psd:8"},
        {ownMono, "", "psd/mono_bitmap.psd:1"},
        {ownColour, kSgi, "sgi/colour_verbatim.rgb:24 sgi/colour_rle.rgb:24"},
        {ownGrey, kSgi, "sgi/grey_verbatim.rgb:8 sgi/grey_rle.rgb:8"},
        {greyAlpha, "", "sgi/grey_alpha_verbatim.rgb:32"},
        {ownColourAlpha, kSgi, "sgi/rgba_verbatim.rgb:32 sgi/rgba_rle.rgb:32"},
        {ownColour, kTga,
         "tga/colour_24bit.tga:24 tga/colour_24bit_rle.tga:24 tga/colour_24bit_image_id.tga:24 "
         "tga/colour_cmap.tga:8 tga/colour_cmap_rle.tga:8"},
        {colourOddClear, "", "tga/colour_cmap32.tga:32"},
        {ownGrey, kTga, "tga/grey_8bit.tga:8 tga/grey_8bit_rle.tga:8"},
        {ownColourAlpha, kTga,
         "tga/rgba_32bit.tga:32 tga/rgba_32bit_rle.tga:32 tga/rgba_32bit_top_left.tga:32"},
        {levels(2, 255), magick, "png_grey1.png:1"},
        {levels(4, 85), magick, "png_grey2.png:8"},
        {levels(16, 17), magick, "png_grey4.png:4"},
        {drawnGrey, magick, "png_grey8.png:8 png_grey16.png:8 tiff_grey.tif:8"},
        {drawnPalette, magick,
         "png_palette4.png:4 png_palette8.png:8 tiff_palette.tif:8 gif_opaque.gif:8 "
         "gif_interlaced.gif:8"},
        {drawnRgb, magick,
         "png_rgb8.png:24 png_rgb16.png:24 tiff_rgb_strips.tif:24 tiff_rgb_tiles.tif:24 "
         "tiff_rgb16.tif:24 tiff_orient_botleft.tif:24"},
        {greyAlphaDrawn, magick, "png_grey_alpha.png:32", 0, 0, true},
        {drawnPaletteClear, magick, "png_palette_trns.png:32 gif_transparent.gif:32", 0, 0, true},
        {rgba, magick,
         "png_rgba8.png:32 png_rgba16.png:32 png_interlaced.png:32 tiff_rgba_unassoc.tif:32", 0, 0,
         true},
        // JPEG: quality 95 on steep gradients stays within 24 of the drawing;
        // ImageMagick decodes with the same library, so it agrees but for its own
        // CMYK rounding. TIFF with associated alpha comes back within 1.
        {drawnGrey, magick, "jpeg_grey.jpg:8", 0, 24},
        {drawnRgb, magick, "jpeg_rgb.jpg:24 jpeg_progressive.jpg:24", 0, 24},
        {drawnRgb, magick, "jpeg_cmyk.jpg:24", 1, 24},
        {rgba, magick, "tiff_rgba_assoc.tif:32", 1, 1, true},
        {smallFrame, "", "gif_small_frame.gif:32", 0, 0, true},
        // Lossless WebP keeps every pixel, the colour of clear ones too
        // (written with -exact); lossy at quality 95 keeps colours within 12
        // of the steep gradients, alpha exactly (-alpha_q 100).
        {rgba, kDwebp, "webp_lossless_rgba.webp:32"},
        {drawnRgb, kDwebp, "webp_lossless_rgb.webp:24"},
        {drawnRgb, kDwebp, "webp_lossy_rgb.webp:24", 0, 12},
        {rgba, kDwebp, "webp_lossy_rgba.webp:32", 0, 12},
        {firstWebpFrame, "", "webp_animated.webp:32"},
    };
    for (const FixtureGroup& g : groups) {
        std::istringstream files(g.files);
        for (std::string file; std::getline(files >> std::ws, file, ':');) {
            int depth = 0;
            files >> depth;
            SCOPED_TRACE(file);
            const std::string path = fixturePath(file);
            ImagePtr image = load(readerFor(file), readBytes(path));
            ASSERT_NE(image, nullptr);
            const bool own = file.find('/') != std::string::npos;
            EXPECT_EQ(image->width(), own ? 7 : 16);
            EXPECT_EQ(image->height(), own ? 5 : 12);
            EXPECT_EQ(image->bitDepth(), depth);
            ASSERT_TRUE(ensure32Bit(image));
            if (g.picture) {
                EXPECT_TRUE(matches(*image, g.picture, g.tolerance, kAll, g.clearFree));
            }
            if (!g.toolCommand.empty()) {
                EXPECT_TRUE(agreesWithTool(*image, g.toolCommand, path, g.toolTolerance, kColour,
                                           g.clearFree));
            }
        }
    }
}

ImagePtr smoothImage() {
    ImagePtr image = createPixelImage(48, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x)
            setPixel(*image, x, y,
                     packPixel(static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(y * 4),
                               static_cast<std::uint8_t>(128 + x - y),
                               static_cast<std::uint8_t>(x * 11 + y * 5)));
    return image;
}

// Each writer's file loads back as the image it was given (JPEG within its
// loss, alpha dropped) and independent decoders see the same colours and alpha.
TEST(CodecWriters, RoundTripAndIndependentDecodersAgree) {
    struct Row {
        std::string name;  // the extension picks the writer
        SaveOptions options;
        Reader reader;
        int tolerance;  // -1: exact, bytes and all; else lossy, colours within this
        std::vector<std::string> colourTools;
        std::vector<std::string> alphaTools = {};
        std::string compression = {};  // as ImageMagick names what a TIFF records
    };
    const std::string magickColours = "/usr/bin/convert %s -depth 8 ppm:-";
    const std::string magickAlpha = "/usr/bin/convert %s -alpha extract -depth 8 pgm:-";
    const std::vector<std::string> sgiAlpha = {"sgitopnm -channel=3 %s",
                                               "/usr/bin/convert sgi:%s -alpha extract pgm:-"};
    const std::vector<Row> rows = {
        {"a.png", {}, readPng, -1, {magickColours}, {magickAlpha}},
        {"none.tif", TiffOptions{0}, readTiff, -1, {magickColours}, {magickAlpha}, "None"},
        {"packbits.tif", TiffOptions{9}, readTiff, -1, {magickColours}, {}, "RLE"},
        {"deflate.tif", TiffOptions{13}, readTiff, -1, {magickColours}, {magickAlpha}, "Zip"},
        // 5 is not offered by the dialog but may come from a stored setting.
        {"other.tif", TiffOptions{5}, readTiff, -1, {magickColours}, {}, "None"},
        {"q100.jpg", JpegOptions{100}, readJpeg, 3, {magickColours}},
        {"q150.jpg", JpegOptions{150}, readJpeg, 3, {magickColours}},
        {"q90.jpg", JpegOptions{90}, readJpeg, 8, {magickColours}},
        // ImageMagick reads 32-bit bit-field bitmaps (its fault is with palettes).
        {"a.bmp", {}, readBmp, -1, {magickColours, "bmptopnm %s"}, {magickAlpha}},
        {"a.rgb", {}, readSgi, -1, {"sgitopnm %s"}, sgiAlpha},
        {"a.tga", {}, readTga, -1, {"tgatoppm %s"}, {"tgatoppm -alphaout=- %s"}},
        {"lossless.webp", {}, readWebp, -1, {kDwebp}, {kDwebpAlpha}},
        {"lossless_record.webp", WebpOptions{}, readWebp, -1, {kDwebp}, {kDwebpAlpha}},
        // Lossy WebP stores alpha losslessly, and the colour of clear pixels too.
        {"q90.webp", WebpOptions{90}, readWebp, 8, {kDwebp}, {kDwebpAlpha}},
    };
    TempDir dir;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const bool exact = row.tolerance < 0;
        // JPEG gets smooth colours; the rest every channel varied. A fresh copy
        // to compare with shows a writer that changes its input.
        const ImagePtr given = exact ? makeRoundTripImage() : smoothImage();
        const ImagePtr image = exact ? makeRoundTripImage() : smoothImage();
        const std::string path = dir.file(row.name);
        ASSERT_EQ(SaveBitmapToFile(given.get(), path, row.options), 0);
        ImagePtr back = load(row.reader, readBytes(path));
        ASSERT_NE(back, nullptr);
        // JPEG drops alpha.
        ASSERT_EQ(back->bitDepth(), std::holds_alternative<JpegOptions>(row.options) ? 24 : 32);
        ASSERT_TRUE(ensure32Bit(back));
        if (exact) {
            EXPECT_TRUE(samePixels(*back, *image));
        } else {
            // Our decoding is the reference decoder's, and within the loss of the image.
            EXPECT_TRUE(agreesWithTool(*back, row.colourTools[0], path, 0, kColour));
        }
        if (!row.compression.empty()) {
            EXPECT_EQ(toolText("/usr/bin/identify -format %C '" + path + "'"), row.compression);
        }
        for (const std::string& command : row.colourTools) {
            EXPECT_TRUE(agreesWithTool(*image, command, path, exact ? 0 : row.tolerance, kColour));
        }
        for (const std::string& command : row.alphaTools) {
            EXPECT_TRUE(agreesWithTool(*image, command, path, 0, kAlpha));
        }
    }
}

}  // namespace
}  // namespace tilvane::testing
