#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/pack_run.h"
#include "image/image_file.h"
#include "tests/support/temp_dir.h"

namespace tilvane {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::TempDir;

const std::string kSprites = std::string(TILVANE_SOURCE_DIR) + "/examples/sprites/";

struct Packed {
    int status = -1;
    std::string err;
};

// Packs the example sprites whole (no trimming) in name order into image,
// the plain-text rectangles into text.
Packed packSprites(const std::string& image, const std::string& text,
                   std::vector<std::string> more) {
    std::vector<std::string> args = {"--input", kSprites, "--image",   image,
                                     "--text",  text,     "--crop",    "0",
                                     "--sort",  "name",   "--no-mask", "--quiet"};
    args.insert(args.end(), more.begin(), more.end());
    std::ostringstream out, err;
    PackConsole console{out, err, false, {}};
    Packed packed;
    packed.status = runPack(args, console);
    packed.err = err.str();
    return packed;
}

// At quality 100 the atlas keeps every opaque pixel of every sprite within 4
// levels per channel: chroma is not subsampled at high quality.
TEST(PackImageFormats, JpegAtQuality100KeepsOpaquePixelsWithin4) {
    TempDir output;
    const Packed packed =
        packSprites(output.file("atlas.jpg"), output.file("atlas.txt"), {"--jpeg-quality", "100"});
    ASSERT_EQ(packed.status, 0) << packed.err;
    ImagePtr atlas = CreateBitmapFromFile(output.file("atlas.jpg"));
    ASSERT_TRUE(atlas && ensure32Bit(atlas));

    std::istringstream lines(readFile(output.file("atlas.txt")));
    int compared = 0;
    for (std::string line; std::getline(lines, line);) {
        // name = "x y width height"
        const std::size_t quote = line.find('"');
        if (line.rfind("//", 0) == 0 || quote == std::string::npos) continue;
        const std::string name = line.substr(0, line.find(' '));
        std::istringstream numbers(line.substr(quote + 1));
        int left = 0, top = 0, width = 0, height = 0;
        numbers >> left >> top >> width >> height;
        ImagePtr sprite;
        for (const auto& entry : fs::directory_iterator(kSprites)) {
            if (entry.path().stem() == name) sprite = CreateBitmapFromFile(entry.path().string());
        }
        ASSERT_TRUE(sprite && ensure32Bit(sprite)) << name;
        ASSERT_EQ(sprite->width(), width) << name;
        ASSERT_EQ(sprite->height(), height) << name;
        int worst = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const PixelValue want = getPixel(*sprite, x, y);
                if (want >> 24 != 255) continue;
                const PixelValue got = getPixel(*atlas, left + x, top + y);
                for (int shift = 0; shift < 24; shift += 8) {
                    const int diff = static_cast<int>(want >> shift & 0xFF) -
                                     static_cast<int>(got >> shift & 0xFF);
                    worst = std::max(worst, std::abs(diff));
                }
                ++compared;
            }
        }
        EXPECT_LE(worst, 4) << name;
    }
    EXPECT_GT(compared, 10000);
}

// Every --png-compression gives the pixels of the default atlas; small gives
// the smallest file of the three. A value outside the list is a usage error.
TEST(PackImageFormats, PngCompressionChangesTheFileNotThePixels) {
    TempDir output;
    const std::string text = output.file("atlas.txt");
    ASSERT_EQ(packSprites(output.file("plain.png"), text, {}).status, 0);
    const ImagePtr reference = CreateBitmapFromFile(output.file("plain.png"));
    ASSERT_TRUE(reference);
    const std::uintmax_t defaultSize = fs::file_size(output.file("plain.png"));
    std::uintmax_t smallSize = 0;
    for (const char* choice : {"fast", "default", "small"}) {
        const std::string image = output.file(std::string(choice) + ".png");
        const Packed packed = packSprites(image, text, {"--png-compression", choice});
        ASSERT_EQ(packed.status, 0) << choice << packed.err;
        const ImagePtr decoded = CreateBitmapFromFile(image);
        ASSERT_TRUE(decoded && decoded->bitDepth() == 32) << choice;
        EXPECT_EQ(decoded->byteSize(), reference->byteSize()) << choice;
        EXPECT_TRUE(std::equal(reference->bits(), reference->bits() + reference->byteSize(),
                               decoded->bits()))
            << choice;
        if (std::string(choice) == "default") {
            EXPECT_EQ(readFile(image), readFile(output.file("plain.png")));
        } else if (std::string(choice) == "small") {
            smallSize = fs::file_size(image);
        }
    }
    EXPECT_LT(smallSize, defaultSize);

    const Packed refused = packSprites(output.file("x.png"), text, {"--png-compression", "best"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("invalid value \"best\" for --png-compression fast|default|small"),
              std::string::npos)
        << refused.err;
    EXPECT_FALSE(fs::exists(output.file("x.png")));
}

}  // namespace
}  // namespace tilvane
