#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/pack_run.h"
#include "tests/build/build_fixture.h"

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
    std::ofstream(input.file("notes.txt")) << "not an image";
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
        {"no new option: the dialog's messages only", {}, 0, {}, {collision, notUtf8, "skipped"}},
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
        std::vector<std::string> args = {"--input",  input.folder(),
                                         "--image",  output.file("atlas.png"),
                                         "--text",   output.file("atlas.txt"),
                                         "--width",  "64",
                                         "--height", "64",
                                         "--sort",   "name"};
        args.insert(args.end(), row.more.begin(), row.more.end());
        std::ostringstream out;
        std::ostringstream err;
        PackConsole console{out, err, false, nullptr};
        EXPECT_EQ(runPack(args, console), row.status);
        for (const std::string& text : row.present)
            EXPECT_NE(err.str().find(text), std::string::npos) << text;
        for (const std::string& text : row.absent)
            EXPECT_EQ(err.str().find(text), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace tilvane::testing
