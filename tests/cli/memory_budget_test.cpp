#include <gtest/gtest.h>

#include <sstream>

#include "cli/pack_run.h"
#include "image/image_file.h"
#include "model/classic_random.h"
#include "tests/support/temp_dir.h"

namespace tilvane {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

struct Packed {
    int status = -1;
    std::string out, err, image, mask, text;
};

Packed pack(const TempDir& input, std::vector<std::string> args) {
    TempDir output;
    const std::vector<std::string> paths = {"--input", input.folder(),
                                            "--image", output.file("atlas.png"),
                                            "--text",  output.file("atlas.json")};
    args.insert(args.begin(), paths.begin(), paths.end());
    std::ostringstream out, err;
    PackConsole console{out, err, false, nullptr};
    Packed p;
    p.status = runPack(args, console);
    p.out = out.str();
    p.err = err.str();
    p.image = readFile(output.file("atlas.png"));
    p.mask = readFile(output.file("atlas_mask.png"));
    p.text = readFile(output.file("atlas.json"));
    return p;
}

// Sixty sprites of many sizes scanned on every core, with broken files, a
// transparent one and one too large for the atlas among them: keeping the
// pixels (the default) and decoding again (--memory-budget 0) give the same
// bytes, messages, failure order and exit status.
TEST(MemoryBudget, KeptPixelsPackLikeDecodingAgain) {
    TempDir input;
    ClassicRandom random(7);
    for (int i = 0; i < 60; ++i) {
        const int w = 1 + random.next() % 40, h = 1 + random.next() % 40;
        ImagePtr image = createPixelImage(w, h);
        for (int y = h / 4; y < h; ++y) {
            for (int x = w / 3; x < w; ++x) {
                setPixel(*image, x, y, static_cast<PixelValue>(random.next()) << 12 | 0xFF000000u);
            }
        }
        ASSERT_EQ(SaveBitmapToFile(image.get(), input.file("s" + std::to_string(i) + ".png")), 0);
    }
    writeFile(input.file("s17.png"), "broken");
    writeFile(input.file("s5.tga"), "also broken");
    ImagePtr clear = createPixelImage(9, 9), large = createPixelImage(300, 2);
    setPixel(*large, 0, 0, 0xFF0000FFu);
    ASSERT_EQ(SaveBitmapToFile(clear.get(), input.file("s33.png")), 0);
    ASSERT_EQ(SaveBitmapToFile(large.get(), input.file("s40.bmp")), 0);

    const std::vector<std::vector<std::string>> rows = {
        {"--width", "256", "--height", "256", "--crop", "1", "--sort", "size", "--spacing", "1"},
        {"--width", "200", "--height", "300", "--crop", "0", "--sort", "name", "--mask"},
        {"--width", "256", "--height", "256", "--crop", "1", "--sort", "random", "--seed", "3"},
    };
    for (const std::vector<std::string>& row : rows) {
        SCOPED_TRACE(row[5] + " " + row[7]);
        const Packed kept = pack(input, row);
        std::vector<std::string> decodeAgain = row;
        decodeAgain.insert(decodeAgain.end(), {"--memory-budget", "0"});
        const Packed decoded = pack(input, decodeAgain);
        EXPECT_EQ(kept.status, kPackDoneWithFailures);
        EXPECT_NE(kept.err.find("s17.png          (failed to load)"), std::string::npos);
        EXPECT_EQ(kept.status, decoded.status);
        EXPECT_EQ(kept.out, decoded.out);
        EXPECT_EQ(kept.err, decoded.err);
        EXPECT_EQ(kept.image, decoded.image);
        EXPECT_EQ(kept.mask, decoded.mask);
        EXPECT_EQ(kept.text, decoded.text);
    }
}

}  // namespace
}  // namespace tilvane
