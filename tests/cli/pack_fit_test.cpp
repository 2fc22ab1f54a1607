// Runs whose outputs must equal those of another build: a fitted size, or a
// page, built again at a fixed size.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "tests/cli/cli_support.h"

namespace tilvane::testing {
namespace {

// Arguments that pack input into output's atlas.png, atlas_mask.png and
// atlas.txt, largest sprites first, then more.
std::vector<std::string> fitArgs(const std::string& input, const TempDir& output,
                                 const std::vector<std::string>& more) {
    std::vector<std::string> args = {"--input", input,
                                     "--image", output.file("atlas.png"),
                                     "--text",  output.file("atlas.txt"),
                                     "--mask",  "--sort",
                                     "size"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// The sizes "WxH" on the first line of text.
std::vector<std::pair<int, int>> sizesIn(const std::string& text) {
    std::istringstream words(text.substr(0, text.find('\n')));
    std::vector<std::pair<int, int>> sizes;
    int w = 0, h = 0;
    for (std::string word; words >> word;) {
        if (std::sscanf(word.c_str(), "%dx%d", &w, &h) == 2) sizes.emplace_back(w, h);
    }
    return sizes;
}

// The atlas, mask and text file of page pageA in a hold the same bytes as
// those of the build in b.
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
        writeSprite(input.file("s" + std::to_string(i).append(".png")), sides[i][0], sides[i][1]);
    }
    struct Case {
        std::vector<std::string> options;
        bool pot;
        bool square;
        int minWidth, minHeight;
    };
    const std::vector<Case> cases = {
        {{"--fit", "any"}, false, false, 1, 1},
        {{"--fit", "pot"}, true, false, 1, 1},
        {{"--fit", "square", "--spacing", "0", "--border", "0"}, false, true, 1, 1},
        {{"--fit", "pot-square"}, true, true, 1, 1},
        {{"--fit", "any", "--min-width", "150", "--min-height", "40"}, false, false, 150, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options[1] + (c.minWidth > 1 ? " with minimum" : ""));
        TempDir fitted, fixed;
        const PackResult r = pack(fitArgs(input.folder(), fitted, c.options));
        EXPECT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(r.err.rfind("tilvane-pack: atlas size ", 0), 0u) << r.err;
        const auto [w, h] = sizesIn(r.err).at(0);
        EXPECT_GE(w, c.minWidth);
        EXPECT_GE(h, c.minHeight);
        EXPECT_TRUE(!c.pot ||
                    (std::has_single_bit(unsigned(w)) && std::has_single_bit(unsigned(h))));
        EXPECT_TRUE(!c.square || w == h);

        std::vector<std::string> again(c.options.begin() + 2, c.options.end());
        if (c.minWidth > 1) again.clear();
        again.insert(again.end(), {"--width", std::to_string(w), "--height", std::to_string(h)});
        EXPECT_EQ(pack(fitArgs(input.folder(), fixed, again)).status, 0);
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
    const std::vector<std::string> pages = {"--width", "256", "--height", "256", "--pages"};
    for (const bool fit : {false, true}) {
        SCOPED_TRACE(fit ? "fit" : "fixed size");
        TempDir output;
        std::vector<std::string> options = pages;
        if (fit) options.insert(options.end(), {"--fit", "any"});
        const PackResult r = pack(fitArgs(input.folder(), output, options));
        EXPECT_EQ(r.status, 1);
        ASSERT_EQ(r.err.rfind("tilvane-pack: 3 pages: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("wide.png          (no space left on output image)\n"
                             "Total images added: 12\nTotal images failed: 1\n"),
                  std::string::npos)
            << r.err;
        const std::vector<std::pair<int, int>> sizes = sizesIn(r.err);
        ASSERT_EQ(sizes.size(), 3u);
        if (!fit) {
            EXPECT_EQ(sizes, decltype(sizes)(3, {256, 256}));
        }

        std::map<std::string, int> seen;
        for (std::size_t page = 0; page < 3; ++page) {
            SCOPED_TRACE("page " + std::to_string(page));
            // Pages are numbered from 1.
            const std::string name = "atlas-" + std::to_string(page + 1);
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
            const PackResult f = pack(fitArgs(alone.folder(), rebuilt,
                                              {"--width", std::to_string(sizes[page].first),
                                               "--height", std::to_string(sizes[page].second)}));
            EXPECT_EQ(f.status, 0) << f.err;
            expectSameOutputs(output, name, rebuilt);
        }
        EXPECT_EQ(seen.size(), 12u);
        for (const auto& [sprite, count] : seen) EXPECT_EQ(count, 1) << sprite;
    }

    // A later run of fewer pages leaves none of the earlier run's behind when
    // its text files name their images (the JSON hash does); a plain text
    // file does not, so those pages stay, and the run says so.
    for (const bool hash : {true, false}) {
        SCOPED_TRACE(hash ? "hash" : "plain text");
        TempDir output;
        std::vector<std::string> options = pages;
        if (hash) options.insert(options.end(), {"--format", "hash"});
        ASSERT_EQ(pack(fitArgs(input.folder(), output, options)).status, 1);
        ASSERT_TRUE(std::filesystem::exists(output.file("atlas-3.png")));
        options[1] = options[3] = "512";
        const PackResult fewer = pack(fitArgs(input.folder(), output, options));
        EXPECT_EQ(fewer.err.rfind("tilvane-pack: 1 page: 512x512\n", 0), 0u) << fewer.err;
        for (const char* name : {"atlas-3.png", "atlas-3_mask.png", "atlas-3.txt"}) {
            EXPECT_EQ(std::filesystem::exists(output.file(name)), !hash) << name;
        }
        EXPECT_EQ(fewer.err.find("looks like a page of an earlier run") != std::string::npos,
                  !hash);
    }
}

}  // namespace
}  // namespace tilvane::testing
