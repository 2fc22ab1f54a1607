#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "cli/option_table.h"
#include "cli/pack_run.h"
#include "image/image_file.h"
#include "tests/support/temp_dir.h"

namespace tilvane {
namespace {

using testing::readFile;
using testing::TempDir;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

Result pack(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    PackConsole console{out, err, false, nullptr};
    const int status = runPack(args, console);
    return {status, out.str(), err.str()};
}

void writeSprite(const std::string& path, int w, int h) {
    ImagePtr image = createPixelImage(w, h);
    ASSERT_TRUE(image);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) setPixel(*image, x, y, packPixel(x * 7, y * 5, 90, 255));
    }
    ASSERT_EQ(SaveBitmapToFile(image.get(), path), 0) << path;
}

std::vector<std::string> packArgs(const std::string& input, const TempDir& output,
                                  std::vector<std::string> more) {
    std::vector<std::string> args = {"--input", input,
                                     "--image", output.file("atlas.png"),
                                     "--text",  output.file("atlas.txt"),
                                     "--mask",  "--sort",
                                     "size"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The sizes "WxH" in the line from position `at` on.
std::vector<std::pair<int, int>> sizesIn(const std::string& text, std::size_t at) {
    std::vector<std::pair<int, int>> sizes;
    int w = 0, h = 0, used = 0;
    while (at < text.size() && text[at] != '\n') {
        if (std::sscanf(text.c_str() + at, "%dx%d%n", &w, &h, &used) == 2) {
            sizes.emplace_back(w, h);
            at += static_cast<std::size_t>(used);
        } else {
            ++at;
        }
    }
    return sizes;
}

// The atlas, mask and text file of `a` and `b` hold the same bytes.
void expectSameOutputs(const TempDir& a, const std::string& pageA, const TempDir& b) {
    for (const char* ending : {".png", "_mask.png", ".txt"}) {
        EXPECT_EQ(readFile(a.file(pageA + ending)), readFile(b.file(std::string("atlas") + ending)))
            << pageA << ending;
    }
}

TEST(PackFit, FoundSizeHonoursTheShapeAndAFixedBuildOfItIsIdentical) {
    TempDir input;
    const int sides[][2] = {{40, 12}, {33, 33}, {8, 60}, {25, 17}, {17, 25}, {50, 9}, {12, 12}};
    for (int i = 0; i < 7; ++i) {
        writeSprite(input.file("s" + std::to_string(i) + ".png"), sides[i][0], sides[i][1]);
    }
    struct Case {
        std::vector<std::string> options;
        bool pot;
        bool square;
        int minWidth, minHeight;
    };
    const std::vector<Case> cases = {
        {{"--fit", "any", "--timings"}, false, false, 1, 1},
        {{"--fit", "pot"}, true, false, 1, 1},
        {{"--fit", "square", "--spacing", "0", "--border", "0"}, false, true, 1, 1},
        {{"--fit", "pot-square"}, true, true, 1, 1},
        {{"--fit", "any", "--min-width", "150", "--min-height", "40"}, false, false, 150, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options[1] + (c.minWidth > 1 ? " with minimum" : ""));
        TempDir fitted, fixed;
        const Result r = pack(packArgs(input.folder(), fitted, c.options));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "Total images added: 7\n");
        ASSERT_EQ(r.err.rfind("tilvane-pack: atlas size ", 0), 0u) << r.err;
        EXPECT_EQ(r.err.find("Timings: scanning ") != std::string::npos &&
                      r.err.find(" s, sizing ") != std::string::npos,
                  c.options.back() == "--timings");
        const auto [w, h] = sizesIn(r.err, 0).at(0);
        EXPECT_GE(w, c.minWidth);
        EXPECT_GE(h, c.minHeight);
        EXPECT_TRUE(!c.pot ||
                    (std::has_single_bit(unsigned(w)) && std::has_single_bit(unsigned(h))));
        EXPECT_TRUE(!c.square || w == h);

        std::vector<std::string> again(c.options.begin() + 2, c.options.end());
        if (c.minWidth > 1) again.clear();
        again.insert(again.end(), {"--width", std::to_string(w), "--height", std::to_string(h)});
        const Result f = pack(packArgs(input.folder(), fixed, again));
        EXPECT_EQ(f.status, 0) << f.err;
        expectSameOutputs(fitted, "atlas", fixed);
    }
}

// Nine 120-pixel sprites take four to a 256 x 256 page, three small ones
// wait for the last page; one wider than any page fails without stopping them.
TEST(PackFit, PagesPlaceEveryImageOnceEachAsABuildOfItsImages) {
    TempDir input;
    for (int i = 0; i < 9; ++i)
        writeSprite(input.file("big" + std::to_string(i) + ".png"), 120, 120);
    for (int i = 0; i < 3; ++i)
        writeSprite(input.file("small" + std::to_string(i) + ".png"), 30, 30);
    writeSprite(input.file("wide.png"), 300, 10);
    for (const bool fit : {false, true}) {
        SCOPED_TRACE(fit ? "fit" : "fixed size");
        TempDir output;
        std::vector<std::string> options = {"--width", "256", "--height", "256", "--pages"};
        if (fit) options.insert(options.end(), {"--fit", "any"});
        const Result r = pack(packArgs(input.folder(), output, options));
        EXPECT_EQ(r.status, 1);
        ASSERT_EQ(r.err.rfind("tilvane-pack: 3 pages: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("wide.png          (no space left on output image)\n"
                             "Total images added: 12\nTotal images failed: 1\n"),
                  std::string::npos)
            << r.err;
        const std::vector<std::pair<int, int>> sizes = sizesIn(r.err, 0);
        ASSERT_EQ(sizes.size(), 3u);
        const std::vector<std::pair<int, int>> maxima(3, {256, 256});
        if (!fit) {
            EXPECT_EQ(sizes, maxima);
        }

        std::map<std::string, int> seen;
        for (std::size_t page = 0; page < 3; ++page) {
            SCOPED_TRACE("page " + std::to_string(page));
            const std::string name = page == 0 ? "atlas" : "atlas-" + std::to_string(page);
            TempDir alone, rebuilt;
            std::istringstream lines(readFile(output.file(name + ".txt")));
            for (std::string line; std::getline(lines, line);) {
                const std::size_t eq = line.find(" = ");
                if (eq == std::string::npos) continue;
                const std::string sprite = line.substr(0, eq);
                ++seen[sprite];
                std::filesystem::copy_file(input.file(sprite + ".png"),
                                           alone.file(sprite + ".png"));
            }
            const Result f = pack(packArgs(alone.folder(), rebuilt,
                                           {"--width", std::to_string(sizes[page].first),
                                            "--height", std::to_string(sizes[page].second)}));
            EXPECT_EQ(f.status, 0) << f.err;
            expectSameOutputs(output, name, rebuilt);
        }
        EXPECT_EQ(seen.size(), 12u);
        for (const auto& [sprite, count] : seen) EXPECT_EQ(count, 1) << sprite;
    }
    // A FIFO's name cannot take a page number: refused before any page is drawn.
    TempDir output;
    ASSERT_EQ(::mkfifo(output.file("fifo").c_str(), 0600), 0);
    std::vector<std::string> args =
        packArgs(input.folder(), output, {"--width", "256", "--height", "256", "--pages"});
    args[5] = output.file("fifo");
    const Result r = pack(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Page 2 cannot be named after " + output.file("fifo") +
                         ", which is not a regular file."),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(std::filesystem::exists(output.file("atlas.png")));
}

TEST(PackFit, OptionsAreCheckedAndShownInTheHelp) {
    TempDir input, output;
    const std::vector<std::vector<std::string>> refused = {
        {"--fit", "round"},
        {"--min-width", "5"},
        {"--fit", "any", "--width", "500", "--min-width", "600"},
    };
    for (const auto& options : refused) {
        SCOPED_TRACE(options[1]);
        EXPECT_EQ(pack(packArgs(input.folder(), output, options)).status, 2);
    }
    const std::string help = packHelpText();
    for (const char* shown : {"--fit any|pot|square|pot-square", "--pages", "--min-width N=1",
                              "  tilvane-pack --input sprites/"}) {
        EXPECT_NE(help.find(shown), std::string::npos) << shown;
    }
    EXPECT_LT(help.find("--fit any --crop 1"), help.find("--settings FILE"));
}

}  // namespace
}  // namespace tilvane
