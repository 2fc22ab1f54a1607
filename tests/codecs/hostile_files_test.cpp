// Malformed input for the hand-written readers: every fixture cut short, sizes
// that are zero or far too large, runs and palette indices that overrun. Each
// must give null or an image that is sound (its storage matches its size);
// the asan build checks that nothing reads or writes out of bounds on the way.
// Last, corrupt JPEG data, which libjpeg only warns about.
#include <gtest/gtest.h>

#include <bit>
#include <filesystem>

#include "image/codecs/codecs.h"
#include "tests/codecs/own_codec_support.h"

namespace tilvane::testing {
namespace {

using Reader = ImagePtr (*)(codecs::ByteSpan);

struct Format {
    std::string folder;
    Reader reader;
};

const std::vector<Format>& formats() {
    static const std::vector<Format> kFormats = {
        {"bmp", codecs::readBmp}, {"tga", codecs::readTga}, {"sgi", codecs::readSgi},
        {"psd", codecs::readPsd}, {"pcx", codecs::readPcx}, {"iff", codecs::readIff},
        {"cel", codecs::readCel},
    };
    return kFormats;
}

ImagePtr load(Reader reader, const std::vector<std::uint8_t>& bytes) {
    return reader(codecs::ByteSpan(bytes.data(), bytes.size()));
}

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

std::vector<std::string> fixturesOf(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(fixturePath(folder))) {
        files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(OwnCodecHostileFiles, EveryFixtureCutShortFailsOrStaysSound) {
    for (const Format& format : formats()) {
        for (const std::string& path : fixturesOf(format.folder)) {
            const std::vector<std::uint8_t> whole = readBytes(path);
            const std::size_t n = whole.size();
            for (std::size_t length :
                 {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{13}, std::size_t{18},
                  std::size_t{31}, std::size_t{100}, n / 4, n / 2, n - n / 8, n - 2, n - 1}) {
                if (length >= n) continue;
                const std::vector<std::uint8_t> cut(
                    whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
                const ImagePtr image = load(format.reader, cut);
                if (image) {
                    // Only trailing extras (a footer, a palette) may go missing.
                    EXPECT_EQ(image->width(), kFixtureWidth) << path << " cut at " << length;
                    EXPECT_EQ(image->height(), kFixtureHeight) << path << " cut at " << length;
                    EXPECT_TRUE(sound(*image)) << path << " cut at " << length;
                }
            }
        }
    }
}

// Where a fixture keeps its width and height fields.
struct SizeFields {
    std::string name;
    std::string file;
    std::size_t widthOffset;
    std::size_t heightOffset;
    std::size_t fieldBytes;  // 2 or 4
    bool bigEndian;
    std::uint32_t largest;  // the largest value the field holds
};

const std::vector<SizeFields>& sizeFields() {
    static const std::vector<SizeFields> kFields = {
        {"Bmp", "bmp/colour_24bit.bmp", 18, 22, 4, false, 0x7FFFFFFF},
        {"BmpOs2", "bmp/colour_os2_24bit.bmp", 18, 20, 2, false, 0xFFFF},
        {"Tga", "tga/colour_24bit.tga", 12, 14, 2, false, 0xFFFF},
        {"TgaRle", "tga/rgba_32bit_rle.tga", 12, 14, 2, false, 0xFFFF},
        {"SgiVerbatim", "sgi/colour_verbatim.rgb", 6, 8, 2, true, 0xFFFF},
        {"SgiRle", "sgi/rgba_rle.rgb", 6, 8, 2, true, 0xFFFF},
        {"PsdRaw", "psd/colour_raw.psd", 18, 14, 4, true, 0xFFFFFFFF},
        {"PsdRle", "psd/rgba_rle.psd", 18, 14, 4, true, 0xFFFFFFFF},
        {"Pcx8Bit", "pcx/colour_8bit.pcx", 8, 10, 2, false, 0xFFFF},
        {"Pcx24Bit", "pcx/colour_24bit.pcx", 8, 10, 2, false, 0xFFFF},
        {"Iff", "iff/colour_3planes.iff", 20, 22, 2, true, 0xFFFF},
        {"Iff24", "iff/colour_24planes.iff", 20, 22, 2, true, 0xFFFF},
        {"Cel", "cel/colour_8bit.cel", 2, 4, 2, false, 0xFFFF},
    };
    return kFields;
}

Reader readerFor(const std::string& file) {
    for (const Format& format : formats()) {
        if (file.rfind(format.folder + "/", 0) == 0) return format.reader;
    }
    return nullptr;
}

void putField(std::vector<std::uint8_t>& bytes, const SizeFields& f, std::size_t offset,
              std::uint32_t value) {
    for (std::size_t i = 0; i < f.fieldBytes; ++i) {
        const std::size_t shift = 8 * (f.bigEndian ? f.fieldBytes - 1 - i : i);
        bytes[offset + i] = static_cast<std::uint8_t>(value >> shift);
    }
}

class HostileSize : public ::testing::TestWithParam<SizeFields> {};

TEST_P(HostileSize, ZeroWidthOrHeightFails) {
    const SizeFields& f = GetParam();
    const std::vector<std::uint8_t> original = readBytes(fixturePath(f.file));
    // PCX stores the last column and row, so zero there means one pixel;
    // its empty image is a last column before the first.
    const bool pcx = f.file.rfind("pcx/", 0) == 0;
    for (std::size_t offset : {f.widthOffset, f.heightOffset}) {
        std::vector<std::uint8_t> bytes = original;
        if (pcx) {
            putField(bytes, f, offset - 4, 5);  // first column / row after the last
            putField(bytes, f, offset, 4);
        } else {
            putField(bytes, f, offset, 0);
        }
        EXPECT_EQ(load(readerFor(f.file), bytes), nullptr) << "field at " << offset;
    }
}

TEST_P(HostileSize, TwoToTheThirtyOnePixelsAndMoreFail) {
    const SizeFields& f = GetParam();
    std::vector<std::uint8_t> bytes = readBytes(fixturePath(f.file));
    // 65536 x 32768 where the fields are wide enough, else the largest they hold.
    putField(bytes, f, f.widthOffset, std::min<std::uint32_t>(f.largest, 65536));
    putField(bytes, f, f.heightOffset, std::min<std::uint32_t>(f.largest, 65535));
    EXPECT_EQ(load(readerFor(f.file), bytes), nullptr);
    putField(bytes, f, f.widthOffset, f.largest);
    putField(bytes, f, f.heightOffset, f.largest);
    EXPECT_EQ(load(readerFor(f.file), bytes), nullptr);
}

TEST_P(HostileSize, LargestAllowedSizeWithoutTheDataFails) {
    const SizeFields& f = GetParam();
    std::vector<std::uint8_t> bytes = readBytes(fixturePath(f.file));
    putField(bytes, f, f.widthOffset, 32767);  // PCX: last column 32767 gives 32768
    putField(bytes, f, f.heightOffset, 32767);
    EXPECT_EQ(load(readerFor(f.file), bytes), nullptr);
}

INSTANTIATE_TEST_SUITE_P(OwnCodecs, HostileSize, ::testing::ValuesIn(sizeFields()),
                         [](const auto& row) { return row.param.name; });

TEST(OwnCodecHostileFiles, BmpNegativeHeightOfInt32MinFails) {
    std::vector<std::uint8_t> bytes = readBytes(fixturePath("bmp/colour_24bit.bmp"));
    bytes[22] = 0;
    bytes[23] = 0;
    bytes[24] = 0;
    bytes[25] = 0x80;
    EXPECT_EQ(codecs::readBmp(codecs::ByteSpan(bytes.data(), bytes.size())), nullptr);
}

// A minimal BMP file: info header, palette and pixel data as given.
std::vector<std::uint8_t> bmpFile(int width, int height, int bits, std::uint32_t compression,
                                  std::uint32_t coloursUsed,
                                  const std::vector<std::uint8_t>& palette,
                                  const std::vector<std::uint8_t>& pixels) {
    std::vector<std::uint8_t> out = {'B', 'M'};
    auto u32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    auto u16 = [&](std::uint32_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const auto offset = static_cast<std::uint32_t>(54 + palette.size());
    u32(offset + static_cast<std::uint32_t>(pixels.size()));
    u32(0);
    u32(offset);
    u32(40);
    u32(static_cast<std::uint32_t>(width));
    u32(static_cast<std::uint32_t>(height));
    u16(1);
    u16(static_cast<std::uint32_t>(bits));
    u32(compression);
    u32(0);
    u32(0);
    u32(0);
    u32(coloursUsed);
    u32(0);
    out.insert(out.end(), palette.begin(), palette.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

TEST(OwnCodecHostileFiles, BmpRunsOverrunningTheRowAndImageAreCut) {
    const std::vector<std::uint8_t> palette = {0, 0, 0, 0, 255, 255, 255, 0};
    // A run of 255 in a 3-pixel row, an absolute block of 200 in the next, a
    // delta far past the picture, then more runs: all must stay inside.
    std::vector<std::uint8_t> stream = {255, 1, 0, 0, 0, 200};
    stream.resize(stream.size() + 200, 1);
    stream.insert(stream.end(), {0, 0, 0, 2, 250, 250, 255, 1, 0, 1});
    const auto rle8 = bmpFile(3, 2, 8, 1, 2, palette, stream);
    const ImagePtr image = codecs::readBmp(codecs::ByteSpan(rle8.data(), rle8.size()));
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(sound(*image));
    const ImagePtr wide = as32Bit(*image);
    EXPECT_EQ(getPixel(*wide, 0, 1), 0xFFFFFFFFu);  // bottom row: the clamped run
    EXPECT_EQ(getPixel(*wide, 2, 0), 0xFFFFFFFFu);  // top row: the clamped block

    // The same stream as RLE4, and a stream that never ends its bitmap.
    const auto rle4 = bmpFile(3, 2, 4, 2, 2, palette, stream);
    const ImagePtr four = codecs::readBmp(codecs::ByteSpan(rle4.data(), rle4.size()));
    ASSERT_NE(four, nullptr);
    EXPECT_TRUE(sound(*four));
    const auto endless = bmpFile(3, 2, 8, 1, 2, palette, {3, 1, 3});
    EXPECT_EQ(codecs::readBmp(codecs::ByteSpan(endless.data(), endless.size())), nullptr);
}

TEST(OwnCodecHostileFiles, PaletteIndicesBeyondThePaletteReadAsBlack) {
    // BMP: two palette entries, indices 1 and 200.
    const std::vector<std::uint8_t> palette = {0, 0, 0, 0, 255, 255, 255, 0};
    const auto bmp = bmpFile(2, 1, 8, 0, 2, palette, {1, 200, 0, 0});
    const ImagePtr b = codecs::readBmp(codecs::ByteSpan(bmp.data(), bmp.size()));
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
        const ImagePtr t = codecs::readTga(codecs::ByteSpan(tga.data(), tga.size()));
        ASSERT_NE(t, nullptr) << entryBits;
        const ImagePtr wt = as32Bit(*t);
        EXPECT_EQ(getPixel(*wt, 0, 0) & 0xFFFFFF, 0u) << entryBits;
        EXPECT_EQ(getPixel(*wt, 1, 0) & 0xFFFFFF, 0xFFFFFFu) << entryBits;
        EXPECT_EQ(getPixel(*wt, 2, 0) & 0xFFFFFF, 0u) << entryBits;
    }
}

TEST(OwnCodecHostileFiles, RunsPastTheImageEndAreCut) {
    // Targa RLE: one run packet of 128 pixels for a 3 x 2 image.
    std::vector<std::uint8_t> tga = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0};
    tga.insert(tga.end(), {0xFF, 1, 2, 3});
    const ImagePtr t = codecs::readTga(codecs::ByteSpan(tga.data(), tga.size()));
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
    const ImagePtr p = codecs::readPcx(codecs::ByteSpan(pcx.data(), pcx.size()));
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(sound(*p));
}

TEST(OwnCodecHostileFiles, SgiOffsetTablePointingOutsideTheFileFails) {
    std::vector<std::uint8_t> bytes = readBytes(fixturePath("sgi/colour_rle.rgb"));
    ASSERT_GT(bytes.size(), 520u);
    // The first scanline's offset, then its length, made to reach past the end.
    bytes[512] = 0x7F;
    EXPECT_EQ(codecs::readSgi(codecs::ByteSpan(bytes.data(), bytes.size())), nullptr);
    bytes = readBytes(fixturePath("sgi/colour_rle.rgb"));
    const std::size_t lengths = 512 + 4 * 3 * kFixtureHeight;
    bytes[lengths] = 0xFF;
    EXPECT_EQ(codecs::readSgi(codecs::ByteSpan(bytes.data(), bytes.size())), nullptr);
}

TEST(OwnCodecHostileFiles, PsdRowCountsPastTheFileFail) {
    std::vector<std::uint8_t> bytes = readBytes(fixturePath("psd/colour_rle.psd"));
    // The row byte counts sit just before the rows; find the compression word
    // through the three length-prefixed sections and inflate the first count.
    std::size_t at = 26;
    for (int section = 0; section < 3; ++section) {
        const std::size_t length = std::size_t{bytes[at]} << 24 | std::size_t{bytes[at + 1]} << 16 |
                                   std::size_t{bytes[at + 2]} << 8 | bytes[at + 3];
        at += 4 + length;
    }
    ASSERT_EQ(bytes[at + 1], 1);  // RLE
    bytes[at + 2] = 0xFF;
    bytes[at + 3] = 0xFF;
    EXPECT_EQ(codecs::readPsd(codecs::ByteSpan(bytes.data(), bytes.size())), nullptr);
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
TEST(JpegHostileFiles, CorruptDataFailsToLoadAndSoundFilesLoad) {
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
        const ImagePtr image =
            codecs::readJpeg(codecs::ByteSpan(row.bytes.data(), row.bytes.size()));
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
