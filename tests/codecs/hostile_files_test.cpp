// Malformed input for the readers: every fixture cut short, sizes that are
// zero or far too large, runs and palette indices that overrun. Each must give
// null or an image that is sound (its storage matches its size); the asan
// build checks that nothing reads or writes out of bounds on the way. Last,
// corrupt JPEG data, which libjpeg only warns about.
#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <tuple>

#include "image/codecs/codecs.h"
#include "tests/codecs/codec_support.h"

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace codecs;
using Bytes = std::vector<std::uint8_t>;

const std::vector<std::pair<std::string, Reader>> kOwnFormats = {
    {"bmp", readBmp}, {"tga", readTga}, {"sgi", readSgi}, {"psd", readPsd},
    {"pcx", readPcx}, {"iff", readIff}, {"cel", readCel},
};
const std::vector<std::pair<std::string, Reader>> kLibraryFormats = {
    {"png", readPng}, {"jpeg", readJpeg}, {"tiff", readTiff}, {"gif", readGif}};

// Sound: a depth the image type allows, storage of stride x height bytes, a
// colour table exactly where the depth needs one, and a 32-bit widening.
::testing::AssertionResult sound(const PixelImage& image) {
    const std::size_t table = image.bitDepth() <= 8 ? std::size_t{1} << image.bitDepth() : 0;
    if (image.width() <= 0 || image.height() <= 0 ||
        image.stride() != PixelImage::strideFor(image.width(), image.bitDepth()) ||
        image.byteSize() != image.stride() * static_cast<std::size_t>(image.height()) ||
        image.colorTable().size() != table || (image.bitDepth() != 32 && !convertTo32Bit(image))) {
        return ::testing::AssertionFailure() << "inconsistent image";
    }
    return ::testing::AssertionSuccess();
}

// Every fixture cut short: the library codecs' fail, ours fail or keep their
// size (only trailing extras, a footer or a palette, may go missing).
TEST(HostileFiles, EveryFixtureCutShortFailsOrStaysSound) {
    int checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(fixturePath(""))) {
        const std::string name = entry.path().filename().string();
        const std::string folder = entry.path().parent_path().filename().string();
        Reader reader = nullptr;
        bool library = false;
        for (const auto& [prefix, r] : kOwnFormats) reader = folder == prefix ? r : reader;
        for (const auto& [prefix, r] : kLibraryFormats) {
            if (name.rfind(prefix + "_", 0) == 0) reader = r, library = true;
        }
        if (!reader) continue;
        // An uncompressed bitmap ends in its pixels (the last row's padding
        // aside): cut short, it must fail.
        const bool mustFail = library || (folder == "bmp" && name.find("rle") == std::string::npos);
        const Bytes whole = readBytes(entry.path().string());
        const std::size_t n = whole.size();
        // A TIFF may end in tag values libtiff can do without.
        const std::size_t last = name.rfind("tiff_", 0) == 0 ? n / 2 : n - 16;
        for (std::size_t length :
             {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{13}, std::size_t{20},
              std::size_t{31}, n / 4, n / 2, n - n / 8, mustFail ? last : n - 1}) {
            if (length >= n || (mustFail && length > last)) continue;
            SCOPED_TRACE(entry.path().string() + " cut at " + std::to_string(length));
            const ImagePtr image = load(reader, {whole.begin(), whole.begin() + length});
            ++checked;
            if (!image) continue;
            EXPECT_FALSE(mustFail);
            EXPECT_EQ(image->width(), 7);
            EXPECT_EQ(image->height(), 5);
            EXPECT_TRUE(sound(*image));
        }
    }
    EXPECT_GT(checked, 800);
}

// The fuzz corpus's crafted files (headers claiming 2^31 pixels, zero sizes,
// indices beyond the palette) fail; its seeds are valid files to mutate.
TEST(HostileFiles, CraftedCorpusFilesFail) {
    int checked = 0;
    for (const auto& [codec, reader] : kLibraryFormats) {
        const fs::path folder = fs::path(TILVANE_SOURCE_DIR) / "fuzz" / "corpus" / codec;
        ASSERT_TRUE(fs::is_directory(folder)) << folder;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().filename().string().rfind("bad_", 0) != 0) continue;
            EXPECT_EQ(load(reader, readBytes(entry.path().string())), nullptr) << entry.path();
            ++checked;
        }
    }
    EXPECT_GT(checked, 20);
}

void putField(Bytes& bytes, std::size_t offset, std::size_t size, bool big, std::uint32_t value) {
    for (std::size_t i = 0; i < size; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(value >> 8 * (big ? size - 1 - i : i));
    }
}

// Sizes that are zero, 2^31 pixels and more, or the largest allowed without
// the data to fill them, written into each codec's size fields.
TEST(HostileFiles, SizesOutOfBoundsFail) {
    struct Row {
        std::string file;
        Reader reader;
        std::size_t widthAt, heightAt, fieldBytes;
        bool bigEndian;
        std::uint32_t largest;  // the largest value the field holds
    };
    const std::vector<Row> rows = {
        {"bmp/colour_24bit.bmp", readBmp, 18, 22, 4, false, 0x7FFFFFFF},
        {"bmp/colour_os2_24bit.bmp", readBmp, 18, 20, 2, false, 0xFFFF},
        {"tga/colour_24bit.tga", readTga, 12, 14, 2, false, 0xFFFF},
        {"tga/rgba_32bit_rle.tga", readTga, 12, 14, 2, false, 0xFFFF},
        {"sgi/colour_verbatim.rgb", readSgi, 6, 8, 2, true, 0xFFFF},
        {"sgi/rgba_rle.rgb", readSgi, 6, 8, 2, true, 0xFFFF},
        {"psd/colour_raw.psd", readPsd, 18, 14, 4, true, 0xFFFFFFFF},
        {"psd/rgba_rle.psd", readPsd, 18, 14, 4, true, 0xFFFFFFFF},
        {"pcx/colour_8bit.pcx", readPcx, 8, 10, 2, false, 0xFFFF},
        {"pcx/colour_24bit.pcx", readPcx, 8, 10, 2, false, 0xFFFF},
        {"iff/colour_3planes.iff", readIff, 20, 22, 2, true, 0xFFFF},
        {"iff/colour_24planes.iff", readIff, 20, 22, 2, true, 0xFFFF},
        {"cel/colour_8bit.cel", readCel, 2, 4, 2, false, 0xFFFF},
    };
    for (const Row& f : rows) {
        SCOPED_TRACE(f.file);
        const bool pcx = f.file.rfind("pcx/", 0) == 0;
        const std::int64_t wide = std::min<std::int64_t>(f.largest, 65536);
        // -1: an empty side; 0: the side the fixture has.
        const std::pair<std::int64_t, std::int64_t> sizes[] = {
            {-1, 0},
            {0, -1},
            {wide, std::min<std::int64_t>(wide, 65535)},
            {f.largest, f.largest},
            {32767, 32767}};
        for (const auto& [width, height] : sizes) {
            Bytes bytes = readBytes(fixturePath(f.file));
            for (const auto& [at, value] :
                 {std::pair{f.widthAt, width}, std::pair{f.heightAt, height}}) {
                // PCX stores the last column and row, so 0 there is one pixel;
                // its empty image has the first (4 bytes before) after the last.
                if (value < 0 && pcx) putField(bytes, at - 4, 2, false, 5);
                if (value != 0) {
                    putField(bytes, at, f.fieldBytes, f.bigEndian,
                             value < 0 ? (pcx ? 4u : 0u) : static_cast<std::uint32_t>(value));
                }
            }
            EXPECT_EQ(load(f.reader, bytes), nullptr) << width << " x " << height;
        }
    }
}

// A minimal BMP file: info header, palette and pixel data as given.
Bytes bmpFile(int width, int height, int bits, std::uint32_t compression, const Bytes& pixels) {
    const Bytes palette = {0, 0, 0, 0, 255, 255, 255, 0};
    Bytes out = {'B', 'M'};
    const auto offset = static_cast<std::uint32_t>(54 + palette.size());
    // File size, reserved, data offset, header size, width, height, planes
    // and bits, compression, three unused fields, colours used, important.
    for (const std::uint32_t v :
         {offset + static_cast<std::uint32_t>(pixels.size()), 0u, offset, 40u,
          static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
          1u | static_cast<std::uint32_t>(bits) << 16, compression, 0u, 0u, 0u, 2u, 0u}) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    out.insert(out.end(), palette.begin(), palette.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

// The bytes with those at an offset replaced.
Bytes patched(Bytes bytes, std::size_t at, const Bytes& patch) {
    std::copy(patch.begin(), patch.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

// A GIF made by hand: a 2 x 2 frame with a two-colour palette, red and blue,
// of 3-bit LZW codes with a clear before each pixel so the table never grows,
// and optionally a transparent index.
Bytes handMadeGif(int second, int transparentIndex, int screenHeight = 2) {
    const auto high = static_cast<std::uint8_t>(screenHeight >> 8);
    Bytes g = {'G', 'I', 'F', '8', '9', 'a', 2, 0, static_cast<std::uint8_t>(screenHeight), high};
    g.insert(g.end(), {0x80, 0, 0, 255, 0, 0, 0, 0, 255});
    if (transparentIndex >= 0) {
        g.insert(g.end(), {0x21, 0xF9, 4, 1, 0, 0, static_cast<std::uint8_t>(transparentIndex), 0});
    }
    g.insert(g.end(), {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 2});
    Bytes lzw;
    unsigned buffer = 0;
    int bits = 0;
    for (int code : {4, 0, 4, second, 4, 1, 4, 0, 5}) {
        buffer |= static_cast<unsigned>(code) << bits;
        for (bits += 3; bits >= 8; bits -= 8, buffer >>= 8) {
            lzw.push_back(static_cast<std::uint8_t>(buffer));
        }
    }
    if (bits > 0) lzw.push_back(static_cast<std::uint8_t>(buffer));
    g.push_back(static_cast<std::uint8_t>(lzw.size()));
    g.insert(g.end(), lzw.begin(), lzw.end());
    g.insert(g.end(), {0, 0x3B});
    return g;
}

// count zero bits of entropy-coded data, the last byte padded with ones as
// encoders pad it (never 0xFF, so nothing needs stuffing).
Bytes zeroBits(std::size_t count) {
    Bytes bytes(count / 8, 0);
    if (count % 8 != 0) bytes.push_back(static_cast<std::uint8_t>(0xFF >> (count % 8)));
    return bytes;
}

void appendSegment(Bytes& out, std::uint8_t marker, const Bytes& body) {
    const std::size_t length = body.size() + 2;
    out.insert(out.end(), {0xFF, marker, static_cast<std::uint8_t>(length >> 8),
                           static_cast<std::uint8_t>(length)});
    out.insert(out.end(), body.begin(), body.end());
}

// The bytes of a Huffman table holding one one-bit code, for symbol.
Bytes oneCodeTable(std::uint8_t tableClass, std::uint8_t symbol) {
    Bytes body(18, 0);
    body[0] = static_cast<std::uint8_t>(tableClass << 4);
    body[1] = 1;
    body[17] = symbol;
    return body;
}

// Where greyJpeg puts the frame's height, width and the JFIF major version.
constexpr std::size_t kJpegHeightAt = 94;
constexpr std::size_t kJpegJfifMajorAt = 11;

// A mid-grey JPEG made by hand: one component, every coefficient zero, and
// Huffman tables of a single one-bit code each. A block then costs one bit
// for its DC difference and, in a sequential file, one for its end of block;
// a progressive file codes each AC scan as one end-of-band run over all
// blocks, and repeats that scan acScans times (repeats libjpeg takes without
// a warning). The number of blocks must be a power of two up to 2^14, so the
// run's extra bits are all zero.
Bytes greyJpeg(int width, int height, bool progressive, int acScans = 1) {
    const auto blocks = static_cast<std::uint32_t>(((width + 7) / 8) * ((height + 7) / 8));
    const int runBits = std::bit_width(blocks) - 1;
    Bytes out = {0xFF, 0xD8};
    appendSegment(out, 0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    Bytes quant(65, 1);
    quant[0] = 0;
    appendSegment(out, 0xDB, quant);
    appendSegment(out, progressive ? 0xC2 : 0xC0, {8, 0, 0, 0, 0, 1, 1, 0x11, 0});
    putField(out, kJpegHeightAt, 2, true, static_cast<std::uint32_t>(height));
    putField(out, kJpegHeightAt + 2, 2, true, static_cast<std::uint32_t>(width));
    appendSegment(out, 0xC4, oneCodeTable(0, 0));
    appendSegment(out, 0xC4,
                  oneCodeTable(1, progressive ? static_cast<std::uint8_t>(runBits << 4) : 0));
    auto scan = [&](std::uint8_t first, std::uint8_t last, const Bytes& data) {
        appendSegment(out, 0xDA, {1, 1, 0, first, last, 0});
        out.insert(out.end(), data.begin(), data.end());
    };
    if (!progressive) {
        scan(0, 63, zeroBits(2 * blocks));
    } else {
        scan(0, 0, zeroBits(blocks));
        for (int i = 0; i < acScans; ++i) scan(1, 63, zeroBits(1 + runBits));
    }
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

// The bytes with insert placed before the last `before` bytes.
Bytes spliced(Bytes bytes, std::size_t before, const Bytes& insert) {
    bytes.insert(bytes.end() - static_cast<std::ptrdiff_t>(before), insert.begin(), insert.end());
    return bytes;
}

// Files made by hand or patched: each fails, or loads sound with the depth
// (0: any) and pixels given. libjpeg decodes every failing JPEG here with at
// most a warning, making up what is missing; the files they are made from
// must load as the mid-grey image they code.
TEST(HostileFiles, HandMadeFilesFailOrLoadSound) {
    constexpr int kFails = -1;
    constexpr PixelValue kRed = packPixel(255, 0, 0, 255), kBlue = packPixel(0, 0, 255, 255);
    constexpr PixelValue kWhite = 0xFFFFFFFFu;
    // A run of 255 in a 3-pixel row, an absolute block of 200 in the next, a
    // delta far past the picture, then more runs: all must stay inside.
    Bytes runs = {255, 1, 0, 0, 0, 200};
    runs.resize(runs.size() + 200, 1);
    runs.insert(runs.end(), {0, 0, 0, 2, 250, 250, 255, 1, 0, 1});
    // Targa: a map of two entries starting at index 1 (32-bit entries are
    // expanded while reading, 24-bit ones make a colour table), pixels 0, 2, 255.
    auto mappedTga = [](std::uint8_t entryBits) {
        Bytes tga = {0, 1, 1, 1, 0, 2, 0, entryBits, 0, 0, 0, 0, 3, 0, 1, 0, 8, 0x20};
        tga.insert(tga.end(), std::size_t{entryBits} / 4, 255);
        tga.insert(tga.end(), {0, 2, 255});
        return tga;
    };
    // Targa RLE: one run packet of 128 pixels for a 3 x 2 image.
    const Bytes tgaRun = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0, 0xFF, 1, 2, 3};
    // PCX 8-bit: a run of 63 for a 3 x 2 image of 4-byte lines.
    Bytes pcx(128, 0);
    // Last column 2, last row 1, one plane of 4 bytes a line.
    const std::pair<int, int> pcxFields[] = {{0, 0x0A}, {1, 5},  {2, 1},  {3, 8},
                                             {8, 2},    {10, 1}, {65, 1}, {66, 4}};
    for (const auto& [at, value] : pcxFields) pcx[at] = static_cast<std::uint8_t>(value);
    pcx.insert(pcx.end(), {0xFF, 7});
    // A KiSS cel (32-byte header, 8-bit cell, 2 x 2, four pixels) is another
    // format under the same extension.
    Bytes kiss = {'K', 'i', 'S', 'S', 0x20, 8, 0, 0, 2, 0, 2, 0};
    kiss.resize(32, 0);
    kiss.insert(kiss.end(), {1, 2, 3, 4});
    // PSD row byte counts sit after the compression word, which follows the
    // three length-prefixed sections.
    const Bytes psd = readBytes(fixturePath("psd/colour_rle.psd"));
    std::size_t psdAt = 26;
    for (int section = 0; section < 3; ++section) {
        psdAt += 4 + (std::size_t{psd[psdAt]} << 24 | std::size_t{psd[psdAt + 1]} << 16 |
                      std::size_t{psd[psdAt + 2]} << 8 | psd[psdAt + 3]);
    }
    ASSERT_EQ(psd[psdAt + 1], 1);  // RLE
    using Pixels = std::vector<std::tuple<int, int, PixelValue>>;
    // The clamped run in the bottom row, the clamped block in the top one.
    const Pixels clamped = {{0, 1, kWhite}, {2, 0, kWhite}};
    const Pixels whiteBlack = {{0, 0, kWhite}, {1, 0, 0xFF000000u}};
    const Pixels redBlue = {{0, 0, kRed}, {1, 0, kBlue}},
                 mapped = {{0, 0, 0}, {1, 0, kWhite}, {2, 0, 0}};
    struct Row {
        const char* name;
        Reader reader;
        Bytes bytes;
        int depth;
        Pixels pixels = {};
        PixelValue compared = 0xFFFFFFFFu;  // the bits of each pixel compared
    };
    // A mid-grey image's last pixel, and nothing past it.
    auto greyCorner = [](int width, int height) {
        return Pixels{{width - 1, height - 1, packPixel(128, 128, 128, 255)},
                      {width, height - 1, 0},
                      {width - 1, height, 0}};
    };
    const Bytes small = greyJpeg(64, 64, false);
    const std::vector<Row> rows = {
        {"BMP RLE8 runs overrun the row and image", readBmp, bmpFile(3, 2, 8, 1, runs), 8, clamped},
        {"BMP RLE4 runs overrun the row and image", readBmp, bmpFile(3, 2, 4, 2, runs), 0},
        {"BMP RLE that never ends", readBmp, bmpFile(3, 2, 8, 1, {3, 1, 3}), kFails},
        {"BMP index beyond the palette", readBmp, bmpFile(2, 1, 8, 0, {1, 200, 0, 0}), 8,
         whiteBlack},
        {"Targa 24-bit map", readTga, mappedTga(24), 0, mapped, 0xFFFFFF},
        {"Targa 32-bit map", readTga, mappedTga(32), 0, mapped, 0xFFFFFF},
        {"Targa run of 128 for 3 x 2", readTga, tgaRun, 0},
        {"PCX run past the image", readPcx, pcx, 0},
        {"KiSS cel", readCel, kiss, kFails},
        {"SGI first scanline offset", readSgi,
         patched(readBytes(fixturePath("sgi/colour_rle.rgb")), 512, {0x7F}), kFails},
        {"SGI first scanline length", readSgi,
         patched(readBytes(fixturePath("sgi/colour_rle.rgb")), 512 + 60, {0xFF}), kFails},
        {"PSD first row count", readPsd,
         patched(readBytes(fixturePath("psd/colour_rle.psd")), psdAt + 2, {0xFF, 0xFF}), kFails},
        {"BMP height INT32_MIN", readBmp,
         patched(readBytes(fixturePath("bmp/colour_24bit.bmp")), 22, {0, 0, 0, 0x80}), kFails},
        {"GIF", readGif, handMadeGif(1, -1), 8, redBlue},
        {"GIF transparent index 1", readGif, handMadeGif(1, 1), 32, {{0, 0, kRed}, {1, 0, 0}}},
        {"GIF pixel beyond the palette", readGif, handMadeGif(3, -1), kFails},
        // A transparent index beyond the palette names no colour: ignored.
        {"GIF transparent index beyond the palette", readGif, handMadeGif(1, 7), 8, redBlue},
        // The frame on a screen of the largest height allowed, and one taller.
        {"GIF screen 32768 high", readGif, handMadeGif(1, -1, 32768), 32, redBlue},
        {"GIF screen 32769 high", readGif, handMadeGif(1, -1, 32769), kFails},
        {"JPEG sequential", readJpeg, small, 8, greyCorner(64, 64)},
        {"JPEG progressive", readJpeg, greyJpeg(64, 64, true), 8, greyCorner(64, 64)},
        // At a bit a block, a progressive file holds the least data a
        // complete image can: the size bound must let it through.
        {"JPEG progressive of least data", readJpeg, greyJpeg(1024, 1024, true), 8,
         greyCorner(1024, 1024)},
        {"JPEG unknown JFIF revision", readJpeg, patched(small, kJpegJfifMajorAt, {2}), 8,
         greyCorner(64, 64)},
        {"JPEG 400 scans", readJpeg, greyJpeg(8, 8, true, 399), 8, greyCorner(8, 8)},
        {"JPEG 600 scans", readJpeg, greyJpeg(8, 8, true, 599), kFails},
        // Height and width as big-endian 16-bit fields.
        {"JPEG claims twice its height", readJpeg, patched(small, kJpegHeightAt, {0, 128, 0, 64}),
         kFails},
        {"JPEG claims 16384 x 16384", readJpeg, patched(small, kJpegHeightAt, {0x40, 0, 0x40, 0}),
         kFails},
        {"JPEG progressive claims 16384 x 16384", readJpeg,
         patched(greyJpeg(64, 64, true), kJpegHeightAt, {0x40, 0, 0x40, 0}), kFails},
        {"JPEG end marker missing", readJpeg, {small.begin(), small.end() - 2}, kFails},
        // A one bit: no code starts with it.
        {"JPEG bad Huffman code", readJpeg, patched(small, small.size() - 3, {0x80}), kFails},
        {"JPEG extraneous bytes before the end", readJpeg, spliced(small, 2, Bytes(64, 7)), kFails},
        {"JPEG marker inside the data", readJpeg, spliced(small, 6, {0xFF, 0xD0}), kFails},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ImagePtr image = load(row.reader, row.bytes);
        ASSERT_EQ(image != nullptr, row.depth != kFails);
        if (!image) continue;
        EXPECT_TRUE(sound(*image));
        EXPECT_EQ(image->bitDepth(), row.depth == 0 ? image->bitDepth() : row.depth);
        ASSERT_TRUE(ensure32Bit(image));
        for (const auto& [x, y, value] : row.pixels) {
            EXPECT_EQ(getPixel(*image, x, y) & row.compared, value & row.compared)
                << x << ", " << y;
        }
    }
}

}  // namespace
}  // namespace tilvane::testing
