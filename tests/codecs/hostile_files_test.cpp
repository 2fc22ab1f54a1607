// Malformed input for the hand-written readers: every fixture cut short, sizes
// that are zero or far too large, runs and palette indices that overrun. Each
// must give null or an image that is sound (its storage matches its size);
// the asan build checks that nothing reads or writes out of bounds on the way.
// Last, corrupt JPEG data, which libjpeg only warns about.
#include <gtest/gtest.h>

#include <bit>
#include <filesystem>

#include "image/codecs/codecs.h"
#include "tests/codecs/codec_support.h"

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;

const std::vector<std::pair<std::string, Reader>> kOwnFormats = {
    {"bmp", codecs::readBmp}, {"tga", codecs::readTga}, {"sgi", codecs::readSgi},
    {"psd", codecs::readPsd}, {"pcx", codecs::readPcx}, {"iff", codecs::readIff},
    {"cel", codecs::readCel},
};
const std::vector<std::pair<std::string, Reader>> kLibraryFormats = {{"png", codecs::readPng},
                                                                     {"jpeg", codecs::readJpeg},
                                                                     {"tiff", codecs::readTiff},
                                                                     {"gif", codecs::readGif}};

// Sound: a depth the image type allows, storage of stride x height bytes, a
// colour table exactly where the depth needs one, and a 32-bit widening.
::testing::AssertionResult sound(const PixelImage& image) {
    const std::size_t table = image.bitDepth() <= 8 ? std::size_t{1} << image.bitDepth() : 0;
    if (image.width() <= 0 || image.height() <= 0 ||
        image.stride() != PixelImage::strideFor(image.width(), image.bitDepth()) ||
        image.byteSize() != image.stride() * static_cast<std::size_t>(image.height()) ||
        image.colorTable().size() != table) {
        return ::testing::AssertionFailure() << "inconsistent image";
    }
    if (!as32Bit(image)) return ::testing::AssertionFailure() << "cannot widen";
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
        const std::vector<std::uint8_t> whole = readBytes(entry.path().string());
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

void putField(std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t size, bool big,
              std::uint32_t value) {
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
        {"bmp/colour_24bit.bmp", codecs::readBmp, 18, 22, 4, false, 0x7FFFFFFF},
        {"bmp/colour_os2_24bit.bmp", codecs::readBmp, 18, 20, 2, false, 0xFFFF},
        {"tga/colour_24bit.tga", codecs::readTga, 12, 14, 2, false, 0xFFFF},
        {"tga/rgba_32bit_rle.tga", codecs::readTga, 12, 14, 2, false, 0xFFFF},
        {"sgi/colour_verbatim.rgb", codecs::readSgi, 6, 8, 2, true, 0xFFFF},
        {"sgi/rgba_rle.rgb", codecs::readSgi, 6, 8, 2, true, 0xFFFF},
        {"psd/colour_raw.psd", codecs::readPsd, 18, 14, 4, true, 0xFFFFFFFF},
        {"psd/rgba_rle.psd", codecs::readPsd, 18, 14, 4, true, 0xFFFFFFFF},
        {"pcx/colour_8bit.pcx", codecs::readPcx, 8, 10, 2, false, 0xFFFF},
        {"pcx/colour_24bit.pcx", codecs::readPcx, 8, 10, 2, false, 0xFFFF},
        {"iff/colour_3planes.iff", codecs::readIff, 20, 22, 2, true, 0xFFFF},
        {"iff/colour_24planes.iff", codecs::readIff, 20, 22, 2, true, 0xFFFF},
        {"cel/colour_8bit.cel", codecs::readCel, 2, 4, 2, false, 0xFFFF},
    };
    for (const Row& f : rows) {
        SCOPED_TRACE(f.file);
        const std::vector<std::uint8_t> original = readBytes(fixturePath(f.file));
        auto withSize = [&](std::uint32_t width, std::uint32_t height) {
            std::vector<std::uint8_t> bytes = original;
            putField(bytes, f.widthAt, f.fieldBytes, f.bigEndian, width);
            putField(bytes, f.heightAt, f.fieldBytes, f.bigEndian, height);
            return bytes;
        };
        // PCX stores the last column and row, so 0 there is one pixel; its
        // empty image has the first column after the last.
        const bool pcx = f.file.rfind("pcx/", 0) == 0;
        for (std::size_t side : {0, 1}) {
            std::vector<std::uint8_t> bytes = original;
            const std::size_t at = side ? f.heightAt : f.widthAt;
            if (pcx) putField(bytes, at - 4, 2, false, 5);
            putField(bytes, at, f.fieldBytes, f.bigEndian, pcx ? 4 : 0);
            EXPECT_EQ(load(f.reader, bytes), nullptr) << "empty side " << side;
        }
        // 65536 x 32768 where the fields are wide enough, else their largest.
        EXPECT_EQ(load(f.reader, withSize(std::min<std::uint32_t>(f.largest, 65536),
                                          std::min<std::uint32_t>(f.largest, 65535))),
                  nullptr);
        EXPECT_EQ(load(f.reader, withSize(f.largest, f.largest)), nullptr);
        EXPECT_EQ(load(f.reader, withSize(32767, 32767)), nullptr);
    }
}

// A minimal BMP file: info header, palette and pixel data as given.
std::vector<std::uint8_t> bmpFile(int width, int height, int bits, std::uint32_t compression,
                                  std::uint32_t coloursUsed,
                                  const std::vector<std::uint8_t>& palette,
                                  const std::vector<std::uint8_t>& pixels) {
    std::vector<std::uint8_t> out = {'B', 'M'};
    const auto offset = static_cast<std::uint32_t>(54 + palette.size());
    // File size, reserved, data offset, header size, width, height, planes
    // and bits, compression, three unused fields, colours used, important.
    for (const std::uint32_t v :
         {offset + static_cast<std::uint32_t>(pixels.size()), 0u, offset, 40u,
          static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
          1u | static_cast<std::uint32_t>(bits) << 16, compression, 0u, 0u, 0u, coloursUsed, 0u}) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    out.insert(out.end(), palette.begin(), palette.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

TEST(HostileFiles, BmpRunsOverrunningTheRowAndImageAreCut) {
    const std::vector<std::uint8_t> palette = {0, 0, 0, 0, 255, 255, 255, 0};
    // A run of 255 in a 3-pixel row, an absolute block of 200 in the next, a
    // delta far past the picture, then more runs: all must stay inside.
    std::vector<std::uint8_t> stream = {255, 1, 0, 0, 0, 200};
    stream.resize(stream.size() + 200, 1);
    stream.insert(stream.end(), {0, 0, 0, 2, 250, 250, 255, 1, 0, 1});
    const auto rle8 = bmpFile(3, 2, 8, 1, 2, palette, stream);
    const ImagePtr image = load(codecs::readBmp, rle8);
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(sound(*image));
    const ImagePtr wide = as32Bit(*image);
    EXPECT_EQ(getPixel(*wide, 0, 1), 0xFFFFFFFFu);  // bottom row: the clamped run
    EXPECT_EQ(getPixel(*wide, 2, 0), 0xFFFFFFFFu);  // top row: the clamped block

    // The same stream as RLE4, and a stream that never ends its bitmap.
    const auto rle4 = bmpFile(3, 2, 4, 2, 2, palette, stream);
    const ImagePtr four = load(codecs::readBmp, rle4);
    ASSERT_NE(four, nullptr);
    EXPECT_TRUE(sound(*four));
    const auto endless = bmpFile(3, 2, 8, 1, 2, palette, {3, 1, 3});
    EXPECT_EQ(load(codecs::readBmp, endless), nullptr);
}

TEST(HostileFiles, PaletteIndicesBeyondThePaletteReadAsBlack) {
    // BMP: two palette entries, indices 1 and 200.
    const std::vector<std::uint8_t> palette = {0, 0, 0, 0, 255, 255, 255, 0};
    const auto bmp = bmpFile(2, 1, 8, 0, 2, palette, {1, 200, 0, 0});
    const ImagePtr b = load(codecs::readBmp, bmp);
    ASSERT_NE(b, nullptr);
    const ImagePtr wb = as32Bit(*b);
    EXPECT_EQ(getPixel(*wb, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(getPixel(*wb, 1, 0), 0xFF000000u);

    // Targa: a map of two entries starting at index 1, with 32-bit entries
    // (expanded while reading) and 24-bit ones (a colour table), pixels 0, 2, 255.
    for (int entryBits : {24, 32}) {
        const std::uint8_t entryBytes = static_cast<std::uint8_t>(entryBits / 8);
        std::vector<std::uint8_t> tga = {
            0, 1, 1, 1, 0, 2, 0,   static_cast<std::uint8_t>(entryBits), 0, 0, 0,
            0, 3, 0, 1, 0, 8, 0x20};
        for (int e = 0; e < 2; ++e) tga.insert(tga.end(), entryBytes, 255);
        tga.insert(tga.end(), {0, 2, 255});
        const ImagePtr t = load(codecs::readTga, tga);
        ASSERT_NE(t, nullptr) << entryBits;
        const ImagePtr wt = as32Bit(*t);
        EXPECT_EQ(getPixel(*wt, 0, 0) & 0xFFFFFF, 0u) << entryBits;
        EXPECT_EQ(getPixel(*wt, 1, 0) & 0xFFFFFF, 0xFFFFFFu) << entryBits;
        EXPECT_EQ(getPixel(*wt, 2, 0) & 0xFFFFFF, 0u) << entryBits;
    }
}

TEST(HostileFiles, RunsPastTheImageEndAreCut) {
    // Targa RLE: one run packet of 128 pixels for a 3 x 2 image.
    std::vector<std::uint8_t> tga = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0};
    tga.insert(tga.end(), {0xFF, 1, 2, 3});
    const ImagePtr t = load(codecs::readTga, tga);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(sound(*t));

    // PCX 8-bit: a run of 63 for a 3 x 2 image of 4-byte lines.
    std::vector<std::uint8_t> pcx(128, 0);
    pcx[0] = 0x0A;
    pcx[1] = 5;
    pcx[2] = 1;
    pcx[3] = 8;
    pcx[8] = 2;   // last column
    pcx[10] = 1;  // last row
    pcx[65] = 1;  // planes
    pcx[66] = 4;  // bytes per line
    pcx.insert(pcx.end(), {0xFF, 7});
    const ImagePtr p = load(codecs::readPcx, pcx);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(sound(*p));
}

// Offsets, row counts and sizes patched to reach past the file.
TEST(HostileFiles, PatchedFieldsReachingPastTheFileFail) {
    // PSD row byte counts sit after the compression word, which follows the
    // three length-prefixed sections.
    const std::vector<std::uint8_t> psd = readBytes(fixturePath("psd/colour_rle.psd"));
    std::size_t psdAt = 26;
    for (int section = 0; section < 3; ++section) {
        psdAt += 4 + (std::size_t{psd[psdAt]} << 24 | std::size_t{psd[psdAt + 1]} << 16 |
                      std::size_t{psd[psdAt + 2]} << 8 | psd[psdAt + 3]);
    }
    ASSERT_EQ(psd[psdAt + 1], 1);  // RLE
    struct Row {
        const char* file;
        Reader reader;
        std::size_t at;
        std::vector<std::uint8_t> patch;
    };
    const Row rows[] = {
        {"sgi/colour_rle.rgb", codecs::readSgi, 512, {0x7F}},              // first scanline offset
        {"sgi/colour_rle.rgb", codecs::readSgi, 512 + 60, {0xFF}},         // and its length
        {"psd/colour_rle.psd", codecs::readPsd, psdAt + 2, {0xFF, 0xFF}},  // first row count
        {"bmp/colour_24bit.bmp", codecs::readBmp, 22, {0, 0, 0, 0x80}},    // height INT32_MIN
    };
    for (const Row& row : rows) {
        std::vector<std::uint8_t> bytes = readBytes(fixturePath(row.file));
        std::copy(row.patch.begin(), row.patch.end(), bytes.begin() + row.at);
        EXPECT_EQ(load(row.reader, bytes), nullptr) << row.file << " at " << row.at;
    }
}

// A KiSS cel (its 32-byte header, 8-bit cell, 2 x 2, and four pixels) is
// another format under the same extension, and is refused.
TEST(HostileFiles, KissCelsAreRefused) {
    std::vector<std::uint8_t> kiss = {'K', 'i', 'S', 'S', 0x20, 8, 0, 0, 2, 0, 2, 0};
    kiss.resize(32, 0);
    kiss.insert(kiss.end(), {1, 2, 3, 4});
    EXPECT_EQ(load(codecs::readCel, kiss), nullptr);
}

// A GIF made by hand: 2 x 2 screen, a two-colour palette, one frame of
// 3-bit LZW codes with a clear before each pixel so the table never grows,
// and optionally a transparent index.
std::vector<std::uint8_t> handMadeGif(int second, int transparentIndex, int screenHeight = 2) {
    std::vector<std::uint8_t> g = {'G',
                                   'I',
                                   'F',
                                   '8',
                                   '9',
                                   'a',
                                   2,
                                   0,
                                   static_cast<std::uint8_t>(screenHeight),
                                   static_cast<std::uint8_t>(screenHeight >> 8),
                                   0x80,
                                   0,
                                   0,
                                   255,
                                   0,
                                   0,
                                   0,
                                   0,
                                   255};
    if (transparentIndex >= 0) {
        g.insert(g.end(), {0x21, 0xF9, 4, 1, 0, 0, static_cast<std::uint8_t>(transparentIndex), 0});
    }
    g.insert(g.end(), {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 2});
    std::vector<std::uint8_t> lzw;
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

TEST(HostileFiles, GifIndicesAndScreenAreChecked) {
    const PixelValue blue = packPixel(0, 0, 255, 255);
    struct Row {
        const char* name;
        std::vector<std::uint8_t> file;
        int depth;  // 0: must fail
        PixelValue second;
    };
    const std::vector<Row> rows = {
        {"valid", handMadeGif(1, -1), 8, blue},
        {"transparent index 1", handMadeGif(1, 1), 32, 0},
        {"pixel beyond the palette", handMadeGif(3, -1), 0, 0},
        // A transparent index beyond the palette names no colour: ignored.
        {"transparent index beyond the palette", handMadeGif(1, 7), 8, blue},
        // The frame on a screen of the largest height allowed, and one taller.
        {"screen 32768 high", handMadeGif(1, -1, 32768), 32, blue},
        {"screen 32769 high", handMadeGif(1, -1, 32769), 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ImagePtr image = load(codecs::readGif, row.file);
        ASSERT_EQ(image != nullptr, row.depth != 0);
        if (!image) continue;
        EXPECT_EQ(image->bitDepth(), row.depth);
        const ImagePtr wide = as32Bit(*image);
        EXPECT_EQ(getPixel(*wide, 0, 0), packPixel(255, 0, 0, 255));
        EXPECT_EQ(getPixel(*wide, 1, 0), row.second);
    }
}

// count zero bits of entropy-coded data, the last byte padded with ones as
// encoders pad it (never 0xFF, so nothing needs stuffing).
std::vector<std::uint8_t> zeroBits(std::size_t count) {
    std::vector<std::uint8_t> bytes(count / 8, 0);
    if (count % 8 != 0) bytes.push_back(static_cast<std::uint8_t>(0xFF >> (count % 8)));
    return bytes;
}

void appendSegment(std::vector<std::uint8_t>& out, std::uint8_t marker,
                   const std::vector<std::uint8_t>& body) {
    const std::size_t length = body.size() + 2;
    out.insert(out.end(), {0xFF, marker, static_cast<std::uint8_t>(length >> 8),
                           static_cast<std::uint8_t>(length)});
    out.insert(out.end(), body.begin(), body.end());
}

// The bytes of a Huffman table holding one one-bit code, for symbol.
std::vector<std::uint8_t> oneCodeTable(std::uint8_t tableClass, std::uint8_t symbol) {
    std::vector<std::uint8_t> body(18, 0);
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
std::vector<std::uint8_t> greyJpeg(int width, int height, bool progressive, int acScans = 1) {
    const auto blocks = static_cast<std::uint32_t>(((width + 7) / 8) * ((height + 7) / 8));
    const int runBits = std::bit_width(blocks) - 1;
    std::vector<std::uint8_t> out = {0xFF, 0xD8};
    appendSegment(out, 0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    std::vector<std::uint8_t> quant(65, 1);
    quant[0] = 0;
    appendSegment(out, 0xDB, quant);
    appendSegment(
        out, progressive ? 0xC2 : 0xC0,
        {8, static_cast<std::uint8_t>(height >> 8), static_cast<std::uint8_t>(height),
         static_cast<std::uint8_t>(width >> 8), static_cast<std::uint8_t>(width), 1, 1, 0x11, 0});
    appendSegment(out, 0xC4, oneCodeTable(0, 0));
    appendSegment(out, 0xC4,
                  oneCodeTable(1, progressive ? static_cast<std::uint8_t>(runBits << 4) : 0));
    auto scan = [&](std::uint8_t first, std::uint8_t last, const std::vector<std::uint8_t>& data) {
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

std::vector<std::uint8_t> withSize(std::vector<std::uint8_t> bytes, int width, int height) {
    bytes[kJpegHeightAt] = static_cast<std::uint8_t>(height >> 8);
    bytes[kJpegHeightAt + 1] = static_cast<std::uint8_t>(height);
    bytes[kJpegHeightAt + 2] = static_cast<std::uint8_t>(width >> 8);
    bytes[kJpegHeightAt + 3] = static_cast<std::uint8_t>(width);
    return bytes;
}

// The bytes with insert placed before the last `before` bytes.
std::vector<std::uint8_t> spliced(std::vector<std::uint8_t> bytes, std::size_t before,
                                  const std::vector<std::uint8_t>& insert) {
    bytes.insert(bytes.end() - static_cast<std::ptrdiff_t>(before), insert.begin(), insert.end());
    return bytes;
}

// libjpeg decodes all of these with at most a warning, making up what is
// missing; each must fail, and every file they are made from must load as
// the mid-grey image it codes.
TEST(HostileFiles, JpegCorruptDataFailsToLoadAndSoundFilesLoad) {
    const std::vector<std::uint8_t> small = greyJpeg(64, 64, false);
    std::vector<std::uint8_t> unknownRevision = small;
    unknownRevision[kJpegJfifMajorAt] = 2;
    std::vector<std::uint8_t> badCode = small;
    badCode[small.size() - 3] = 0x80;  // a one bit: no code starts with it
    struct Row {
        const char* name;
        std::vector<std::uint8_t> bytes;
        int width;  // 0: must fail
        int height;
    };
    const std::vector<Row> rows = {
        {"sequential", small, 64, 64},
        {"progressive", greyJpeg(64, 64, true), 64, 64},
        // At a bit a block, a progressive file holds the least data a
        // complete image can: the size bound must let it through.
        {"progressive of least data", greyJpeg(1024, 1024, true), 1024, 1024},
        {"unknown JFIF revision", unknownRevision, 64, 64},
        {"400 scans", greyJpeg(8, 8, true, 399), 8, 8},
        {"600 scans", greyJpeg(8, 8, true, 599), 0, 0},
        {"claims twice its height", withSize(small, 64, 128), 0, 0},
        {"claims 16384 x 16384", withSize(small, 16384, 16384), 0, 0},
        {"progressive claims 16384 x 16384", withSize(greyJpeg(64, 64, true), 16384, 16384), 0, 0},
        {"end marker missing", {small.begin(), small.end() - 2}, 0, 0},
        {"bad Huffman code", badCode, 0, 0},
        {"extraneous bytes before the end", spliced(small, 2, std::vector<std::uint8_t>(64, 7)), 0,
         0},
        {"marker inside the data", spliced(small, 6, {0xFF, 0xD0}), 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ImagePtr image = load(codecs::readJpeg, row.bytes);
        if (row.width == 0) {
            EXPECT_EQ(image, nullptr);
            continue;
        }
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->width(), row.width);
        EXPECT_EQ(image->height(), row.height);
        const ImagePtr wide = as32Bit(*image);
        ASSERT_NE(wide, nullptr);
        EXPECT_EQ(getPixel(*wide, row.width - 1, row.height - 1), packPixel(128, 128, 128, 255));
    }
}

}  // namespace
}  // namespace tilvane::testing
