#include <algorithm>
#include <filesystem>

#include "tests/cli/cli_support.h"

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;

// The compression options reach the encoder (whose test pins that every level
// decodes to the same pixels): "default" is the default atlas's bytes and
// "small" makes a smaller file; JPEG at quality 100 keeps every opaque pixel within
// 4 levels per channel, as chroma is not subsampled at high quality.
TEST(PackImageFormats, CompressionKeepsThePixels) {
    TempDir output;
    // The example sprites whole, in name order, saved as output's `name`.
    const auto packAs = [&output](const std::string& name, std::vector<std::string> args) {
        args.insert(args.end(), {"--input", std::string(TILVANE_SOURCE_DIR) + "/examples/sprites/",
                                 "--image", output.file(name), "--text", output.file("atlas.txt"),
                                 "--crop", "0", "--sort", "name", "--no-mask", "--quiet"});
        const PackResult packed = pack(args);
        EXPECT_EQ(packed.status, 0) << name << packed.err;
        ImagePtr image = CreateBitmapFromFile(output.file(name));
        EXPECT_TRUE(image && ensure32Bit(image)) << name;
        return image;
    };
    const ImagePtr plain = packAs("plain.png", {});
    ASSERT_TRUE(plain);
    for (const std::string choice : {"fast", "default", "small"})
        EXPECT_TRUE(packAs(choice + ".png", {"--png-compression", choice})) << choice;
    EXPECT_EQ(readFile(output.file("default.png")), readFile(output.file("plain.png")));
    EXPECT_LT(fs::file_size(output.file("small.png")), fs::file_size(output.file("plain.png")));

    const ImagePtr jpeg = packAs("atlas.jpg", {"--jpeg-quality", "100"});
    ASSERT_TRUE(jpeg);
    int compared = 0, worst = 0;
    for (int y = 0; y < plain->height(); ++y) {
        for (int x = 0; x < plain->width(); ++x) {
            const PixelValue want = getPixel(*plain, x, y), got = getPixel(*jpeg, x, y);
            if (want >> 24 != 255) continue;
            ++compared;
            for (int shift = 0; shift < 24; shift += 8)
                worst = std::max(worst, std::abs(static_cast<int>(want >> shift & 0xFF) -
                                                 static_cast<int>(got >> shift & 0xFF)));
        }
    }
    EXPECT_LE(worst, 4);
    EXPECT_GT(compared, 10000);
}

}  // namespace
}  // namespace tilvane::testing
