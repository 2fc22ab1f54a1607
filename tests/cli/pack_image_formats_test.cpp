#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <tuple>

#include "tests/cli/cli_support.h"

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

// Written as a PAM (RGB_ALPHA) for the tools, or read back from what a command
// prints; null when it printed no such image.
void writePam(const PixelImage& image, const std::string& path) {
    std::string text = "P7\nWIDTH " + std::to_string(image.width()) + "\nHEIGHT " +
                       std::to_string(image.height()) +
                       "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            for (int shift = 0; shift < 32; shift += 8)
                text.push_back(static_cast<char>(getPixel(image, x, y) >> shift & 0xFF));
    writeFile(path, text);
}
bool samePixels(const PixelImage& a, const PixelImage& b) {
    if (a.width() != b.width() || a.height() != b.height()) return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (getPixel(a, x, y) != getPixel(b, x, y)) return false;
    return true;
}

ImagePtr pamPrintedBy(const std::string& command) {
    const PackResult printed = run({"sh", "-c", command});
    const std::string& text = printed.out;
    int width = 0, height = 0, header = 0;
    if (std::sscanf(text.c_str(),
                    "P7 WIDTH %d HEIGHT %d DEPTH 4 MAXVAL 255 TUPLTYPE RGB_ALPHA ENDHDR%n", &width,
                    &height, &header) != 2 ||
        header == 0 || text.size() != static_cast<std::size_t>(header) + 1 + 4u * width * height)
        return nullptr;
    ImagePtr image = createPixelImage(width, height);
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data()) + header + 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x, p += 4)
            setPixel(*image, x, y, packPixel(p[0], p[1], p[2], p[3]));
    return image;
}

// The compression options reach the encoder (whose test pins that every level
// decodes to the same pixels): "default" is the default atlas's bytes and
// "small" makes a smaller file; JPEG at quality 100 keeps every opaque pixel within
// 4 levels per channel, as chroma is not subsampled at high quality. A WebP
// atlas is the PNG atlas's every pixel, as libwebp's own dwebp decodes it too;
// lossy, it keeps alpha, and its quality reaches the encoder; WebP sprites
// (made by cwebp) pack to the same atlas as the files they were made from.
TEST(PackImageFormats, CompressionKeepsThePixels) {
    TempDir output, webpInput;
    const std::string examples = std::string(TILVANE_SOURCE_DIR) + "/examples/sprites/";
    // The example sprites whole, in name order, saved as output's `name`.
    const auto packAs = [&](const std::string& name, std::vector<std::string> args,
                            const std::string& input = "") {
        args.insert(args.end(), {"--input", input.empty() ? examples : input, "--image",
                                 output.file(name), "--text", output.file("atlas.txt"), "--crop",
                                 "0", "--sort", "name", "--no-mask", "--quiet"});
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

    // The largest and the mean difference of a colour channel over the opaque
    // pixels, and how many pixels' alpha differs.
    const auto opaqueError = [&plain](const PixelImage& lossy) {
        int compared = 0, worst = 0, alphas = 0;
        double sum = 0;
        for (int y = 0; y < plain->height(); ++y) {
            for (int x = 0; x < plain->width(); ++x) {
                const PixelValue want = getPixel(*plain, x, y), got = getPixel(lossy, x, y);
                alphas += want >> 24 != got >> 24;
                if (want >> 24 != 255) continue;
                ++compared;
                for (int shift = 0; shift < 24; shift += 8) {
                    const int error = std::abs(static_cast<int>(want >> shift & 0xFF) -
                                               static_cast<int>(got >> shift & 0xFF));
                    worst = std::max(worst, error);
                    sum += error / 3.0;
                }
            }
        }
        EXPECT_GT(compared, 10000);
        return std::tuple{worst, sum / std::max(compared, 1), alphas};
    };
    const ImagePtr jpeg = packAs("atlas.jpg", {"--jpeg-quality", "100"});
    ASSERT_TRUE(jpeg);
    EXPECT_LE(std::get<0>(opaqueError(*jpeg)), 4);

    // Lossless (no quality) and lossy: dwebp decodes what we do; lossless is
    // the PNG atlas's every pixel, lossy keeps alpha whole.
    for (const std::string quality : {"", "90", "10"}) {
        const std::string name = "q" + quality + ".webp";
        const ImagePtr webp =
            packAs(name, quality.empty() ? std::vector<std::string>{}
                                         : std::vector{"--webp-quality"s, quality});
        ASSERT_TRUE(webp) << name;
        const ImagePtr theirs =
            pamPrintedBy("dwebp -quiet " + quoted(output.file(name)) + " -pam -o -");
        ASSERT_TRUE(theirs) << "dwebp (Debian's webp package) decodes no image";
        EXPECT_TRUE(samePixels(*webp, *theirs)) << name;
        EXPECT_TRUE(!quality.empty() || samePixels(*webp, *plain));
        EXPECT_EQ(std::get<2>(opaqueError(*webp)), 0) << name;
    }
    // Colour at half resolution moves a sharp edge's colour far, but little on average.
    EXPECT_LE(std::get<1>(opaqueError(*CreateBitmapFromFile(output.file("q90.webp")))), 8.0);
    EXPECT_LT(fs::file_size(output.file("q10.webp")), fs::file_size(output.file("q90.webp")));

    for (const auto& entry : fs::directory_iterator(examples)) {
        ImagePtr sprite = CreateBitmapFromFile(entry.path().string());
        ASSERT_TRUE(sprite && ensure32Bit(sprite)) << entry.path();
        const std::string pam = webpInput.file("sprite.pam");
        writePam(*sprite, pam);
        const std::string webpSprite = webpInput.file(entry.path().stem().string() + ".webp");
        ASSERT_EQ(run({"cwebp", "-quiet", "-lossless", "-exact", pam, "-o", webpSprite}).status, 0);
        fs::remove(pam);
    }
    const ImagePtr fromWebp = packAs("from_webp.png", {}, webpInput.folder());
    ASSERT_TRUE(fromWebp);
    EXPECT_TRUE(samePixels(*fromWebp, *plain));
}

}  // namespace
}  // namespace tilvane::testing
