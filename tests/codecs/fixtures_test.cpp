// Every fixture loads with its depth and the picture it was drawn from, and as
// an independent decoder (netpbm, ImageMagick) sees it; every writer's file
// loads back exactly and the independent decoders agree.
#include <gtest/gtest.h>

#include <cstdlib>

#include "image/codecs/codecs.h"
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

int channel(PixelValue v, int c) {
    return static_cast<int>(v >> (8 * c) & 0xFF);
}

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

// One fixture: the file, what it must load as, and optionally a command (%s
// for the path) that decodes it independently.
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

PixelValue colourMask(int x, int y) {
    return withAlpha(ownColour(x, y), ownAlpha(x, y) > 128 ? 255 : 0);
}
PixelValue colourKeyRed(int x, int y) {
    return withAlpha(ownColour(x, y), (x + 2 * y) % 8 == 1 ? 0 : 255);
}
PixelValue colourOddClear(int x, int y) {
    return withAlpha(ownColour(x, y), (x + 2 * y) % 2 ? 0 : 255);
}
PixelValue greyAlpha(int x, int y) {
    return withAlpha(ownGrey(x, y), ownAlpha(x, y));
}

// Our own codecs' fixtures (in folders) are 7 x 5, the libraries' 16 x 12.
TEST(Fixtures, LoadWithTheirDepthAndPixels) {
    const std::string magick = "/usr/bin/convert %s[0] -auto-orient -depth 8 ppm:-";
    auto levels = [](int count, int step) {
        return [=](int x, int y) { return grey(step * ((x + y) % count)); };
    };
    auto rgba = [](int x, int y) { return withAlpha(drawnRgb(x, y), drawnAlpha(x, y)); };
    auto greyAlphaDrawn = [](int x, int y) { return withAlpha(drawnGrey(x, y), drawnAlpha(x, y)); };
    const std::vector<FixtureCase> rows = {
        {"bmp/mono_1bit.bmp", readBmp, 1, ownMono, kBmp},
        {"bmp/colour_4bit.bmp", readBmp, 4, ownColour, kBmp},
        {"bmp/colour_8bit.bmp", readBmp, 8, ownColour, kBmp},
        {"bmp/colour_8bit_short_palette.bmp", readBmp, 8, ownColour, kBmp},
        {"bmp/colour_24bit.bmp", readBmp, 24, ownColour, kBmp},
        {"bmp/colour_os2_24bit.bmp", readBmp, 24, ownColour, kBmp},
        {"bmp/colour_os2_8bit.bmp", readBmp, 8, ownColour, kBmp},
        {"bmp/colour_rle8.bmp", readBmp, 8, ownColour, kMagick},
        {"bmp/colour_rle4.bmp", readBmp, 4, ownColour, kMagick},
        {"bmp/colour_topdown_24bit.bmp", readBmp, 24, ownColour, kBmp},
        {"bmp/colour_16bit_rgb.bmp", readBmp, 16, ownColour, kBmp},  // plain 16 bits are 5-5-5
        {"bmp/colour_16bit_555.bmp", readBmp, 16, ownColour},
        {"bmp/colour_16bit_565.bmp", readBmp, 24, ownColour},
        {"bmp/colour_32bit_fields.bmp", readBmp, 24, ownColour},  // no alpha mask
        {"bmp/rgba_32bit_rgb.bmp", readBmp, 32, ownColourAlpha},  // fourth byte is alpha
        {"bmp/rgba_32bit_v5.bmp", readBmp, 32, ownColourAlpha},
        // No Debian tool reads Animator cels; the picture is the only reference.
        {"cel/colour_8bit.cel", readCel, 8, ownColour},
        {"iff/colour_3planes.iff", readIff, 8, ownColour, kIlbm},
        {"iff/colour_3planes_raw.iff", readIff, 8, ownColour, kIlbm},
        {"iff/colour_8planes.iff", readIff, 8, ownColour, kIlbm},
        {"iff/grey_8planes.iff", readIff, 8, ownGrey, kIlbm},
        {"iff/colour_24planes.iff", readIff, 24, ownColour, kIlbm},
        {"iff/colour_mask.iff", readIff, 32, colourMask, kIlbm},
        {"iff/colour_transparent.iff", readIff, 32, colourKeyRed, kIlbm},
        // Hold-and-modify approximates colours, so netpbm is the reference.
        // ilbmtoppm widens a modified 4-bit value by keeping the old low bits,
        // we by repeating the value (15 gives 255, as the hardware shows it).
        {"iff/colour_ham6.iff", readIff, 24, nullptr, kIlbm, 15},
        {"pcx/mono_1bit.pcx", readPcx, 1, ownMono, kPcx},
        {"pcx/colour_4planes.pcx", readPcx, 4, ownColour, kPcx},
        {"pcx/colour_4bit_packed.pcx", readPcx, 4, ownColour, kPcx},
        {"pcx/colour_8bit.pcx", readPcx, 8, ownColour, kPcx},
        {"pcx/colour_24bit.pcx", readPcx, 24, ownColour, kPcx},
        {"psd/colour_raw.psd", readPsd, 24, ownColour, kPsd},
        {"psd/colour_rle.psd", readPsd, 24, ownColour, kPsd},
        {"psd/colour_16bit_rle.psd", readPsd, 24, ownColour, kPsd},
        {"psd/rgba_raw.psd", readPsd, 32, ownColourAlpha},
        {"psd/rgba_rle.psd", readPsd, 32, ownColourAlpha},
        {"psd/grey_rle.psd", readPsd, 8, ownGrey, kPsd},
        {"psd/colour_indexed.psd", readPsd, 8, ownColour},  // ImageMagick 6 cannot read it back
        {"psd/mono_bitmap.psd", readPsd, 1, ownMono},
        {"sgi/colour_verbatim.rgb", readSgi, 24, ownColour, kSgi},
        {"sgi/colour_rle.rgb", readSgi, 24, ownColour, kSgi},
        {"sgi/grey_verbatim.rgb", readSgi, 8, ownGrey, kSgi},
        {"sgi/grey_rle.rgb", readSgi, 8, ownGrey, kSgi},
        {"sgi/grey_alpha_verbatim.rgb", readSgi, 32, greyAlpha},
        {"sgi/rgba_verbatim.rgb", readSgi, 32, ownColourAlpha, kSgi},
        {"sgi/rgba_rle.rgb", readSgi, 32, ownColourAlpha, kSgi},
        {"sgi/colour_16bit.rgb", readSgi, 24, ownColour},
        {"sgi/rgba_16bit_rle.rgb", readSgi, 32, ownColourAlpha},
        {"tga/colour_24bit.tga", readTga, 24, ownColour, kTga},
        {"tga/colour_24bit_rle.tga", readTga, 24, ownColour, kTga},
        {"tga/colour_24bit_image_id.tga", readTga, 24, ownColour, kTga},
        {"tga/colour_cmap.tga", readTga, 8, ownColour, kTga},
        {"tga/colour_cmap_rle.tga", readTga, 8, ownColour, kTga},
        {"tga/colour_cmap16.tga", readTga, 8, ownColour},  // tgatoppm lacks 16-bit maps
        {"tga/colour_cmap32.tga", readTga, 32, colourOddClear},
        {"tga/grey_8bit.tga", readTga, 8, ownGrey, kTga},
        {"tga/grey_8bit_rle.tga", readTga, 8, ownGrey, kTga},
        {"tga/colour_16bit_rle.tga", readTga, 16, ownColour},
        {"tga/rgba_32bit.tga", readTga, 32, ownColourAlpha, kTga},
        {"tga/rgba_32bit_rle.tga", readTga, 32, ownColourAlpha, kTga},
        {"tga/rgba_32bit_top_left.tga", readTga, 32, ownColourAlpha, kTga},
        {"tga/rgba_32bit_top_right.tga", readTga, 32, ownColourAlpha},
        {"png_grey1.png", readPng, 1, levels(2, 255), magick},
        {"png_grey2.png", readPng, 8, levels(4, 85), magick},
        {"png_grey4.png", readPng, 4, levels(16, 17), magick},
        {"png_grey8.png", readPng, 8, drawnGrey, magick},
        {"png_grey16.png", readPng, 8, drawnGrey, magick},
        {"png_grey_alpha.png", readPng, 32, greyAlphaDrawn, magick, 0, 0, true},
        {"png_palette4.png", readPng, 4, drawnPalette, magick},
        {"png_palette8.png", readPng, 8, drawnPalette, magick},
        {"png_palette_trns.png", readPng, 32, drawnPaletteClear, magick, 0, 0, true},
        {"png_rgb8.png", readPng, 24, drawnRgb, magick},
        {"png_rgb16.png", readPng, 24, drawnRgb, magick},
        {"png_rgba8.png", readPng, 32, rgba, magick, 0, 0, true},
        {"png_rgba16.png", readPng, 32, rgba, magick, 0, 0, true},
        {"png_interlaced.png", readPng, 32, rgba, magick, 0, 0, true},
        // JPEG: quality 95 on steep gradients stays within 24 of the drawing;
        // ImageMagick decodes with the same library, so it agrees but for its own
        // CMYK rounding. TIFF with associated alpha comes back within 1.
        {"jpeg_grey.jpg", readJpeg, 8, drawnGrey, magick, 0, 24},
        {"jpeg_rgb.jpg", readJpeg, 24, drawnRgb, magick, 0, 24},
        {"jpeg_progressive.jpg", readJpeg, 24, drawnRgb, magick, 0, 24},
        {"jpeg_cmyk.jpg", readJpeg, 24, drawnRgb, magick, 1, 24},
        {"tiff_rgb_strips.tif", readTiff, 24, drawnRgb, magick},
        {"tiff_rgb_tiles.tif", readTiff, 24, drawnRgb, magick},
        {"tiff_rgb16.tif", readTiff, 24, drawnRgb, magick},
        {"tiff_orient_botleft.tif", readTiff, 24, drawnRgb, magick},
        {"tiff_rgba_unassoc.tif", readTiff, 32, rgba, magick, 0, 0, true},
        {"tiff_rgba_assoc.tif", readTiff, 32, rgba, magick, 1, 1, true},
        {"tiff_grey.tif", readTiff, 8, drawnGrey, magick},
        {"tiff_palette.tif", readTiff, 8, drawnPalette, magick},
        {"gif_opaque.gif", readGif, 8, drawnPalette, magick},
        {"gif_interlaced.gif", readGif, 8, drawnPalette, magick},
        {"gif_transparent.gif", readGif, 32, drawnPaletteClear, magick, 0, 0, true},
        // A 6 x 5 frame at (3, 2) on the 16 x 12 screen: transparent around it.
        {"gif_small_frame.gif", readGif, 32,
         [](int x, int y) { return x >= 3 && x < 9 && y >= 2 && y < 7 ? drawnPalette(x, y) : 0u; },
         "", 0, 0, true},
    };
    for (const FixtureCase& c : rows) {
        SCOPED_TRACE(c.file);
        const std::string path = fixturePath(c.file);
        ImagePtr image = load(c.reader, readBytes(path));
        ASSERT_NE(image, nullptr);
        const bool own = c.file.find('/') != std::string::npos;
        EXPECT_EQ(image->width(), own ? 7 : 16);
        EXPECT_EQ(image->height(), own ? 5 : 12);
        EXPECT_EQ(image->bitDepth(), c.depth);
        ASSERT_TRUE(ensure32Bit(image));
        if (c.picture) {
            EXPECT_TRUE(matches(*image, c.picture, c.tolerance, kAll, c.clearFree));
        }
        if (!c.toolCommand.empty()) {
            EXPECT_TRUE(
                agreesWithTool(*image, c.toolCommand, path, c.toolTolerance, kColour, c.clearFree));
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
        int setting;       // TIFF compression or JPEG quality
        Reader reader;
        int tolerance;  // -1: exact, bytes and all; else JPEG, 24 bits
        std::vector<std::string> colourTools;
        std::vector<std::string> alphaTools = {};
        std::string compression = {};  // as ImageMagick names what a TIFF records
    };
    auto write = [](const Row& row, const PixelImage& image, std::FILE* f) {
        const std::string ext = row.name.substr(row.name.find('.'));
        return ext == ".png"   ? writePng(image, f)
               : ext == ".tif" ? writeTiff(image, f, row.setting)
               : ext == ".jpg" ? writeJpeg(image, f, row.setting)
               : ext == ".bmp" ? writeBmp(image, f)
               : ext == ".rgb" ? writeSgi(image, f)
                               : writeTga(image, f);
    };
    const std::string magickColours = "/usr/bin/convert %s -depth 8 ppm:-";
    const std::string magickAlpha = "/usr/bin/convert %s -alpha extract -depth 8 pgm:-";
    const std::vector<std::string> sgiAlpha = {"sgitopnm -channel=3 %s",
                                               "/usr/bin/convert sgi:%s -alpha extract pgm:-"};
    const std::vector<Row> rows = {
        {"a.png", 0, readPng, -1, {magickColours}, {magickAlpha}},
        {"none.tif", 0, readTiff, -1, {magickColours}, {magickAlpha}, "None"},
        {"packbits.tif", 9, readTiff, -1, {magickColours}, {}, "RLE"},
        {"deflate.tif", 13, readTiff, -1, {magickColours}, {magickAlpha}, "Zip"},
        // 5 is not offered by the dialog but may come from a stored setting.
        {"other.tif", 5, readTiff, -1, {magickColours}, {}, "None"},
        {"q100.jpg", 100, readJpeg, 3, {magickColours}},
        {"q150.jpg", 150, readJpeg, 3, {magickColours}},
        {"q90.jpg", 90, readJpeg, 8, {magickColours}},
        // ImageMagick reads 32-bit bit-field bitmaps (its fault is with palettes).
        {"a.bmp", 0, readBmp, -1, {magickColours, "bmptopnm %s"}, {magickAlpha}},
        {"a.rgb", 0, readSgi, -1, {"sgitopnm %s"}, sgiAlpha},
        {"a.tga", 0, readTga, -1, {"tgatoppm %s"}, {"tgatoppm -alphaout=- %s"}},
    };
    TempDir dir;
    const ImagePtr shallow = PixelImage::create(4, 4, 24);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const bool exact = row.tolerance < 0;
        // JPEG gets smooth colours; the rest every channel varied. A fresh copy
        // to compare with shows a writer that changes its input.
        const ImagePtr given = exact ? makeRoundTripImage() : smoothImage();
        const ImagePtr image = exact ? makeRoundTripImage() : smoothImage();
        const std::string path = dir.file(row.name);
        std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(path.c_str(), "w+b"), std::fclose);
        ASSERT_TRUE(out);
        EXPECT_FALSE(write(row, *shallow, out.get()));  // only 32-bit images are written
        ASSERT_TRUE(write(row, *given, out.get()));
        out.reset();
        ImagePtr back = load(row.reader, readBytes(path));
        ASSERT_NE(back, nullptr);
        ASSERT_EQ(back->bitDepth(), exact ? 32 : 24);
        ASSERT_TRUE(ensure32Bit(back));
        if (exact) {
            EXPECT_TRUE(samePixels(*back, *image));
        } else {
            // Our decoding is ImageMagick's, and within the loss of the image.
            EXPECT_TRUE(agreesWithTool(*back, magickColours, path, 0, kColour));
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
