// Malformed input for the readers: every fixture cut short, and the fuzz
// corpus's crafted files: sizes that are zero or far too large, runs and
// palette indices that overrun, corrupt JPEG data that libjpeg only warns
// about. Each must give null or an image that is sound (its storage matches
// its size); the asan build checks that nothing reads or writes out of bounds
// on the way.
#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "image/codecs/codecs.h"
#include "tests/codecs/codec_support.h"

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace codecs;
using Bytes = std::vector<std::uint8_t>;

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
        const std::string file = entry.path().lexically_relative(fixturePath("")).string();
        const std::string name = entry.path().filename().string();
        const Reader reader = readerFor(file);
        if (!reader) continue;
        const bool library = file.find('/') == std::string::npos;
        // An uncompressed bitmap ends in its pixels (the last row's padding
        // aside): cut short, it must fail.
        const bool mustFail =
            library || (file.rfind("bmp/", 0) == 0 && name.find("rle") == std::string::npos);
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

std::string corpusPath(const std::string& relative) {
    return std::string(TILVANE_SOURCE_DIR) + "/fuzz/corpus/" + relative;
}

// The fuzz corpus's crafted files fail (fuzz/make_crafted.py and
// make_hostile_corpus.py say what each exercises: headers claiming 2^31 pixels,
// zero sizes, runs and indices that overrun, JPEG data libjpeg only warns
// about); its seeds are valid files to mutate.
TEST(HostileFiles, CraftedCorpusFilesFail) {
    int checked = 0;
    for (const auto& [start, reader] : kReaders) {
        const fs::path folder = corpusPath(start.substr(0, start.size() - 1));
        ASSERT_TRUE(fs::is_directory(folder)) << folder;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().filename().string().rfind("bad_", 0) != 0) continue;
            EXPECT_EQ(load(reader, readBytes(entry.path().string())), nullptr) << entry.path();
            ++checked;
        }
    }
    EXPECT_GT(checked, 180);
}

// The crafted files that load: sound, with the depth (0: any) and pixels
// given. Most are the files the bad_* ones beside them are patched from, so
// those fail for what was done to them.
TEST(HostileFiles, CraftedCorpusFilesLoadWithTheirPixels) {
    constexpr PixelValue kRed = packPixel(255, 0, 0, 255), kBlue = packPixel(0, 0, 255, 255);
    constexpr PixelValue kWhite = 0xFFFFFFFFu;
    using Pixels = std::vector<std::tuple<int, int, PixelValue>>;
    const Pixels redBlue = {{0, 0, kRed}, {1, 0, kBlue}},
                 mapped = {{0, 0, 0}, {1, 0, kWhite}, {2, 0, 0}};
    // A mid-grey image's last pixel, and nothing past it.
    auto greyCorner = [](int side) {
        return Pixels{{side - 1, side - 1, packPixel(128, 128, 128, 255)},
                      {side, side - 1, 0},
                      {side - 1, side, 0}};
    };
    struct Row {
        const char* file;  // under fuzz/corpus
        Reader reader;
        int depth;
        Pixels pixels = {};
        PixelValue compared = 0xFFFFFFFFu;  // the bits of each pixel compared
    };
    const std::vector<Row> rows = {
        // The clamped run in the bottom row, the clamped block in the top one.
        {"bmp/crafted_rle8_overrun.bmp", readBmp, 8, {{0, 1, kWhite}, {2, 0, kWhite}}},
        {"bmp/crafted_rle4_overrun.bmp", readBmp, 0},
        {"bmp/crafted_index_beyond_palette.bmp", readBmp, 8, {{0, 0, kWhite}, {1, 0, 0xFF000000u}}},
        {"tga/crafted_map24.tga", readTga, 0, mapped, 0xFFFFFF},
        {"tga/crafted_map32.tga", readTga, 0, mapped, 0xFFFFFF},
        {"tga/crafted_run_past_image.tga", readTga, 0},
        {"pcx/crafted_run_past_image.pcx", readPcx, 0},
        {"gif/crafted_red_blue.gif", readGif, 8, redBlue},
        {"gif/crafted_transparent_index1.gif", readGif, 32, {{0, 0, kRed}, {1, 0, 0}}},
        {"gif/crafted_transparent_beyond_palette.gif", readGif, 8, redBlue},
        {"gif/crafted_screen_32768_high.gif", readGif, 32, redBlue},
        {"jpeg/crafted_grey_64.jpg", readJpeg, 8, greyCorner(64)},
        {"jpeg/crafted_grey_1024_progressive.jpg", readJpeg, 8, greyCorner(1024)},
        {"jpeg/crafted_jfif_revision_2.jpg", readJpeg, 8, greyCorner(64)},
        {"jpeg/crafted_400_scans.jpg", readJpeg, 8, greyCorner(8)},
        // The lossless fixture behind an extended header naming its own size.
        {"webp/crafted_extended_header.webp",
         readWebp,
         32,
         {{1, 1, drawnRgb(1, 1)}, {3, 1, withAlpha(drawnRgb(3, 1), 128)}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        ImagePtr image = load(row.reader, readBytes(corpusPath(row.file)));
        ASSERT_NE(image, nullptr);
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
