#include <gtest/gtest.h>

#include <filesystem>

#include "model/classic_random.h"
#include "tests/cli/cli_support.h"

namespace tilvane::testing {
namespace {

// Warnings go to standard error whatever the options; --strict makes them fail
// the run, --verbose adds what was left out.
TEST(PackExtras, WarningsStrictAndVerbose) {
    TempDir input;
    TempDir output;
    std::filesystem::create_directory(input.path() / "sub");
    for (const char* name : {"x-1.png", "x_1.png", "bad\xFF.png", "sub/y.png", "sub_y.png"}) {
        writeSprite(input.file(name), 3, 3);
    }
    writeFile(input.file("notes.txt"), "not an image");
    struct Row {
        const char* what;
        std::vector<std::string> more;
        int status;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const std::string collision =
        "tilvane-pack: warning: x-1.png and x_1.png both get the name \"x_1\"\n";
    const std::string notUtf8 = "tilvane-pack: warning: bad\xFF.png is not valid UTF-8";
    const std::vector<Row> rows = {
        {"described names collide", {}, 0, {collision}, {notUtf8, "skipped"}},
        {"strict", {"--strict"}, 1, {collision, "tilvane-pack: --strict: 1 warning, so"}, {}},
        {"verbose",
         {"--verbose"},
         0,
         {"tilvane-pack: skipped notes.txt (not a supported image extension)\n",
          "tilvane-pack: skipped sub/ (folder not searched)\n"},
         {}},
        {"hash keys keep the names apart", {"--format", "hash"}, 0, {notUtf8}, {collision}},
        {"recursive array, strict",
         {"--recursive", "--format", "array", "--strict"},
         1,
         {notUtf8},
         {collision, "skipped sub/"}},
        {"recursive, atlas in a sub-folder",
         {"--recursive", "--image", input.file("sub/a.png")},
         2,
         {"must not be in a sub-folder of the Input Folder"},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<std::string> more = {"--width", "64", "--height", "64", "--sort", "name"};
        more.insert(more.end(), row.more.begin(), row.more.end());
        const PackResult r = pack(packArgs(input.folder(), output, more));
        EXPECT_EQ(r.status, row.status);
        for (const std::string& text : row.present)
            EXPECT_NE(r.err.find(text), std::string::npos) << text;
        for (const std::string& text : row.absent)
            EXPECT_EQ(r.err.find(text), std::string::npos) << text;
    }
}

// Sixty sprites of many sizes, with broken files, a transparent one and one
// too large for the atlas among them: keeping the pixels (the default) and
// decoding again (--memory-budget 0) give the same bytes, messages, failure
// order and exit status.
TEST(MemoryBudget, KeptPixelsPackLikeDecodingAgain) {
    TempDir input;
    ClassicRandom random(7);
    for (int i = 0; i < 60; ++i) {
        const int w = 1 + random.next() % 40, h = 1 + random.next() % 40;
        writeSprite(input.file("s" + std::to_string(i) + ".png"), w, h, random.next() % 4);
    }
    writeFile(input.file("s17.png"), "broken");
    writeFile(input.file("s5.tga"), "also broken");
    writeSprite(input.file("s33.png"), 9, 9, 5);
    writeSprite(input.file("s40.bmp"), 300, 2);

    const std::vector<std::vector<std::string>> rows = {
        {"--width", "256", "--height", "256", "--crop", "1", "--sort", "size", "--spacing", "1"},
        {"--width", "200", "--height", "300", "--crop", "0", "--sort", "name", "--mask"},
        {"--width", "256", "--height", "256", "--crop", "1", "--sort", "random", "--seed", "3"},
    };
    for (const std::vector<std::string>& row : rows) {
        SCOPED_TRACE(row[5] + " " + row[7]);
        // The default keeps the pixels; a budget of 0 decodes again.
        PackResult results[2];
        std::string outputs[2];
        for (const int i : {0, 1}) {
            TempDir output;
            std::vector<std::string> args = packArgs(input.folder(), output, row);
            if (i == 1) args.insert(args.end(), {"--memory-budget", "0"});
            results[i] = pack(args);
            for (const char* name : {"atlas.png", "atlas_mask.png", "atlas.txt"})
                outputs[i] += readFile(output.file(name)) + '\0';
        }
        EXPECT_EQ(results[0].status, kPackDoneWithFailures);
        EXPECT_NE(results[0].err.find("s17.png          (failed to load)"), std::string::npos);
        EXPECT_EQ(results[0].status, results[1].status);
        EXPECT_EQ(results[0].out, results[1].out);
        EXPECT_EQ(results[0].err, results[1].err);
        EXPECT_EQ(outputs[0], outputs[1]);
    }
}

}  // namespace
}  // namespace tilvane::testing
