#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numeric>

#include "build/file_ordering.h"
#include "build/output_paths.h"
#include "tests/build/build_fixture.h"

namespace tilvane {
namespace {

using testing::BuildFixture;
using testing::folderSnapshot;
using testing::writeFile;
using testing::writeSprite;

namespace fs = std::filesystem;

using Order = std::vector<std::int32_t>;

// The file list's order of file indices for n files whose names sort in the
// reverse of the folder order: unlike the identity, a fallback shows.
Order reversed(std::size_t n) {
    Order order(n);
    std::iota(order.rbegin(), order.rend(), 0);
    return order;
}

TEST(OrderFiles, FollowsTheSortOrder) {
    struct Case {
        const char* name;
        std::int32_t sortOrder;
        std::uint32_t seed;
        std::vector<std::pair<std::int64_t, std::int32_t>> areas;
        Order expected;
    };
    const std::int64_t g = 4294967296LL;
    const std::vector<std::pair<std::int64_t, std::int32_t>> areas = {
        {5, 0}, {9, 1}, {1, 2}, {7, 3}};
    const std::vector<Case> cases = {
        {"name", 0, 0, areas, {3, 2, 1, 0}},
        {"unknown -1 is by name", -1, 0, areas, {3, 2, 1, 0}},
        {"unknown 3 is by name", 3, 0, areas, {3, 2, 1, 0}},
        {"size, largest first", 1, 0, areas, {1, 3, 0, 2}},
        {"size, equal areas in folder order", 1, 0, {{4, 0}, {4, 1}, {4, 2}, {4, 3}}, {0, 1, 2, 3}},
        {"size, ties among others", 1, 0, {{4, 0}, {8, 1}, {4, 2}, {8, 3}}, {1, 3, 0, 2}},
        {"size, areas beyond 2^32", 1, 0, {{1, 0}, {3 * g, 1}, {g, 2}, {2, 3}}, {1, 2, 3, 0}},
        // A size list that disagrees with the file list still gives one entry per file.
        {"size, mismatched list", 1, 0, {{5, 0}}, {3, 2, 1, 0}},
        // Seed 0 draws 38, 7719, 21238, 2437, 8855, 11797, 8365, 32285, 10450,
        // 30612: mod 4, 2 3 (2) 1 (3 1 1 1 2) 0.
        {"random, seed 0", 2, 0, {}, {2, 3, 1, 0}},
        // Seed 1 draws 41, 18467, 6334, 26500: mod 4, 1 3 2 0.
        {"random, seed 1", 2, 1, {}, {1, 3, 2, 0}},
        {"random, no file", 2, 0, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(orderFiles(reversed(c.expected.size()), c.sortOrder, c.seed, c.areas),
                  c.expected);
    }
}

// A position that needs 1000 draws makes the whole order alphabetical, and
// says so. 197 files are the fewest with which seed 3 runs out; beyond 32768
// files the generator's values cannot cover the list at all.
TEST(OrderFiles, RandomIsAPermutationOrFallsBackToAlphabetical) {
    struct Case {
        std::size_t files;
        std::uint32_t seed;
        bool fellBack;
    };
    const std::vector<Case> cases = {
        {196, 3, false}, {197, 3, true}, {197, 0, false}, {32769, 5, true}, {40000, 5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.files) + " files, seed " + std::to_string(c.seed));
        const Order alphabetical = reversed(c.files);
        bool fellBack = !c.fellBack;
        Order order = orderFiles(alphabetical, 2, c.seed, {}, &fellBack);
        EXPECT_EQ(fellBack, c.fellBack);
        EXPECT_EQ(order == alphabetical, c.fellBack);
        std::sort(order.begin(), order.end());
        EXPECT_TRUE(std::equal(order.begin(), order.end(), alphabetical.rbegin()));
    }
    bool fellBack = true;
    orderFiles(reversed(40000), 0, 5, {}, &fellBack);
    EXPECT_FALSE(fellBack) << "only the random order falls back";
}

void expectIdle(const BuildFixture& b) {
    EXPECT_EQ(b.run.currentStep, -1);
    EXPECT_FALSE(b.run.outputImage);
    EXPECT_TRUE(b.run.processOrder.empty());
    EXPECT_TRUE(b.run.originalSizes.empty());
}

// "$I/" and "$O/" stand for the input and the output folder.
std::string expand(const BuildFixture& b, std::string text) {
    for (const auto& [token, folder] :
         {std::pair{"$I/", b.input.folder()}, std::pair{"$O/", b.output.folder()}}) {
        for (std::size_t at; (at = text.find(token)) != std::string::npos;) {
            text.replace(at, 3, folder);
        }
    }
    return text;
}

// A refusal comes before any work, writes nothing and leaves the status line
// as it was. The atlas lies outside the input folder however either is spelt
// (a folder whose name differs only in case is another folder where the file
// system says so); the outputs are distinct files, none is an image the build
// reads, and the messages name the paths as the settings spell them.
TEST(StartBuild, RefusesSettingsAndOutputsWithTheirMessage) {
    struct Case {
        const char* name;
        const char* image;  // nullptr: as the fixture sets it
        const char* text;
        std::function<void(BuildFixture&)> setUp;
        std::string message;  // empty when allowed, and again over what it wrote
    };
    using F = BuildFixture;
    const std::string inInput(kImageInInputFolder),
        type = "Unsupported Output Image File format.",
        textFormat = "Unsupported Source Rects Output Format.", crop = "Unsupported Crop option.",
        create = "Failed to create the output image.", text = "The Output Text File\n",
        image = "The Output Image File\n",
        sameImage = "\nmust not be the same file as the Output Image File\n$O/atlas.png",
        ofInput = "\nmust not be an image of the Input Folder\n";
    const auto linkInput = [](F& b) {
        fs::create_directory_symlink(b.input.path(), b.output.path() / "sprites");
    };
    const std::vector<Case> cases = {
        {"blank image file", " \t ", nullptr, nullptr, "Invalid Output Image File name."},
        {"gif output", "$O/atlas.gif", nullptr, nullptr, type},
        {"image folder missing", "$O/gone/atlas.png", nullptr, nullptr,
         "The Output Image File folder does not exist."},
        {"text folder missing", nullptr, "$O/gone/rects.txt", nullptr,
         "The Output Text File folder does not exist."},
        {"text format 5", nullptr, nullptr, [](F& b) { b.settings.textFormat = 5; }, textFormat},
        {"crop mode 3", nullptr, nullptr, [](F& b) { b.settings.cropMode = 3; }, crop},
        {"crop mode -1", nullptr, nullptr, [](F& b) { b.settings.cropMode = -1; }, crop},
        {"width 0", nullptr, nullptr, [](F& b) { b.settings.outputWidth = 0; }, create},
        {"height 2^31", nullptr, nullptr, [](F& b) { b.settings.outputHeight = 1u << 31; }, create},
        {"storage above 2^31 bytes", nullptr, nullptr,
         [](F& b) { b.settings.outputWidth = b.settings.outputHeight = 65536; }, create},
        {"image in the input folder", "$I/atlas.png", nullptr, nullptr, inInput},
        {"dot, dot dot, doubled separator", nullptr, nullptr,
         [](F& b) {
             b.settings.outputImageFile =
                 b.input.folder() + ".//../" + b.input.path().filename().string() + "/atlas.png";
         },
         inInput},
        {"link to the input folder", "$O/sprites/atlas.png", nullptr, linkInput, inInput},
        {"input folder named through a link", "$I/atlas.png", nullptr,
         [&](F& b) {
             linkInput(b);
             b.settings.inputFolder = b.output.file("sprites") + "/";
         },
         inInput},
        {"IN7 next to in7", "$O/IN7/atlas.png", nullptr,
         [](F& b) {
             fs::create_directories(b.output.path() / "IN7");
             fs::create_directories(b.output.path() / "in7");
             writeSprite(b.output.file("in7/a.png"), 4, 4);
             b.settings.inputFolder = b.output.file("in7") + "/";
         },
         ""},
        {"text is the mask", nullptr, "$O/atlas_mask.png", nullptr,
         text +
             "$O/atlas_mask.png\nmust not be the same file as the mask image\n$O/atlas_mask.png"},
        {"text is the mask, no mask asked for", nullptr, "$O/atlas_mask.png",
         [](F& b) { b.settings.createMask = 0; }, ""},
        {"text would become an input image", nullptr, "$I/rects.PNG", nullptr,
         text + "$I/rects.PNG" + ofInput + "$I/rects.PNG"},
        {"image is a hard link of an input", nullptr, nullptr,
         [](F& b) { fs::create_hard_link(b.input.file("a.png"), b.settings.outputImageFile); },
         image + "$O/atlas.png" + ofInput + "$I/a.png"},
        {"text links to an input", nullptr, "$O/rects.txt",
         [](F& b) { fs::create_symlink(b.input.file("a.png"), b.settings.outputTextFile); },
         text + "$O/rects.txt" + ofInput + "$I/a.png"},
        {"text links to the image not yet written", nullptr, "$O/rects.txt",
         [](F& b) { fs::create_symlink("atlas.png", b.settings.outputTextFile); },
         text + "$O/rects.txt" + sameImage},
        {"image is a folder", nullptr, nullptr,
         [](F& b) { fs::create_directory(b.settings.outputImageFile); },
         image + "$O/atlas.png\nis a folder."},
        {"mask is a folder", nullptr, nullptr,
         [](F& b) { fs::create_directory(b.output.file("atlas_mask.png")); },
         "The mask image\n$O/atlas_mask.png\nis a folder."},
        // A device replaces nothing: several outputs may share one.
        {"text on a device", nullptr, "/dev/null", nullptr, ""},
        {"text beside the sprites", nullptr, "$I/atlas.txt", nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildFixture b;
        writeSprite(b.input.file("a.png"), 4, 4);
        b.window.setStatusText("before");
        if (c.image) b.settings.outputImageFile = expand(b, c.image);
        if (c.text) b.settings.outputTextFile = expand(b, c.text);
        if (c.setUp) c.setUp(b);
        const auto inputBefore = folderSnapshot(b.input.path());
        const auto outputBefore = folderSnapshot(b.output.path());
        const BuildOutcome outcome = b.runBuild();
        if (c.message.empty()) {
            EXPECT_EQ(outcome, BuildOutcome::saved);
            EXPECT_EQ(b.runBuild(), BuildOutcome::saved);
            EXPECT_TRUE(b.window.messages.empty());
            EXPECT_EQ(b.window.dones.size(), 2u);
            EXPECT_EQ(b.listedNames(), "a.png ");
            continue;
        }
        EXPECT_EQ(outcome, BuildOutcome::refused);
        expectIdle(b);
        EXPECT_EQ(b.window.messages, std::vector<std::string>{expand(b, c.message)});
        EXPECT_EQ(b.window.statusText(), "before");
        EXPECT_EQ(b.window.fileList().count(), 0);
        EXPECT_TRUE(b.window.reports.empty());
        EXPECT_EQ(folderSnapshot(b.input.path()), inputBefore);
        EXPECT_EQ(folderSnapshot(b.output.path()), outputBefore);
    }
}

// Past the checks, a folder that gives nothing to build stops the build with
// the outcome, the message (after the status it was shown under) or the
// report, and the status that say why.
TEST(StartBuild, FolderWithNothingToBuildSaysWhy) {
    struct Case {
        const char* name;
        std::function<void(BuildFixture&)> setUp;
        BuildOutcome outcome;
        std::string shown;  // "status | message", or the report's lines
        const char* status;
        const char* listed;
        bool released;  // the atlas and the per-file lists
    };
    const std::vector<Case> cases = {
        {"input folder missing",
         [](BuildFixture& b) { b.settings.inputFolder = b.input.folder() + "gone/"; },
         BuildOutcome::noInputFolder,
         "Searching for files... | Failed to find the Input Folder, or the folder is empty.", "",
         "", true},
        {"nothing usable",
         [](BuildFixture& b) {
             writeFile(b.input.file("notes.txt"), "text");
             writeFile(b.input.file("empty.png"), "");
             fs::create_directory(b.input.path() / "folder.png");
         },
         BuildOutcome::noFiles, "No files found. | No files found.", "No files found.", "", false},
        {"every file fails",
         [](BuildFixture& b) {
             writeFile(b.input.file("b.png"), "not a png");
             writeFile(b.input.file("A.jpg"), "not a jpeg");
         },
         BuildOutcome::nothingListed,
         "A.jpg          (failed to load)\nb.png          (failed to load)\n",
         "Failed to load/add some files.", "", false},
        {"crop all to same dimension, sizes differ",
         [](BuildFixture& b) {
             b.settings.cropMode = 2;
             writeSprite(b.input.file("a.png"), 32, 32);
             writeSprite(b.input.file("b.png"), 32, 16);
         },
         BuildOutcome::unequalSizes,
         "Searching for files... | The images must all have the same dimensions in order to use "
         "\nthe following crop setting:\n- Crop all to same dimension",
         "", "a.png b.png ", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildFixture b;
        b.window.setStatusText("before");
        c.setUp(b);
        EXPECT_EQ(startBuild(b.job), c.outcome);
        if (c.released) expectIdle(b);
        EXPECT_EQ(b.run.currentStep, -1);
        std::string shown;
        for (std::size_t i = 0; i < b.window.messages.size(); ++i) {
            shown += b.window.statusAtMessage[i] + " | " + b.window.messages[i];
        }
        for (const auto& report : b.window.reports) {
            for (const auto& line : report.lines) shown += line + "\n";
            EXPECT_EQ(report.added, 0);
            EXPECT_EQ(report.failed, static_cast<int>(report.lines.size()));
        }
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(b.window.statusText(), c.status);
        EXPECT_EQ(b.listedNames(), c.listed);
        EXPECT_EQ(b.outputFiles(), "");
    }
}

// Trimming works per file (never on a file without alpha; a file with nothing
// visible cannot be cropped) or, for "Crop all to same dimension", to the
// union of every file's rectangle. The size order takes the trimmed areas.
TEST(StartBuild, PreparesEachFileForItsCropMode) {
    struct Sprite {
        const char* name;
        int w;
        int h;
        std::optional<Rect> visible;
    };
    struct Case {
        std::int32_t cropMode;
        std::int32_t sortOrder;
        std::vector<Sprite> sprites;
        std::vector<std::string> prepared;
    };
    const Sprite ghost = {"ghost.png", 8, 8, Rect{0, 0, -1, -1}};
    const Sprite b40 = {"b.png", 40, 20, Rect{3, 2, 34, 17}};
    const std::vector<Case> cases = {
        {1,
         1,
         {b40, {"a.png", 5, 6, {}}, {"C.jpg", 30, 20, {}}, ghost},
         {"C.jpg 30x20 [0,0 29,19] +0,0", "b.png 40x20 [3,2 34,17] +3,2",
          "a.png 5x6 [0,0 4,5] +0,0", "ghost.png          (could not crop it)"}},
        {0, 0, {b40, ghost}, {"b.png 40x20 [0,0 39,19] +0,0", "ghost.png 8x8 [0,0 7,7] +0,0"}},
        {2,
         0,
         {{"a.png", 32, 32, Rect{4, 10, 9, 20}}, {"b.png", 32, 32, Rect{2, 12, 6, 25}}},
         {"a.png 32x32 [2,10 9,25] +2,10", "b.png 32x32 [2,10 9,25] +2,10"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prepared[0]);
        BuildFixture b;
        b.settings.cropMode = c.cropMode;
        b.settings.sortOrder = c.sortOrder;
        for (const Sprite& s : c.sprites) writeSprite(b.input.file(s.name), s.w, s.h, s.visible);
        EXPECT_EQ(startBuild(b.job), BuildOutcome::armed);
        // Each listed file in process order, named through its file index: its
        // size, crop rectangle and trim offset; then the failures.
        std::vector<std::string> prepared;
        const FileList& list = b.window.fileList();
        for (const std::int32_t index : b.run.processOrder) {
            const auto i = static_cast<std::size_t>(index);
            const Size& s = b.run.originalSizes.at(i);
            const Rect& r = b.run.cropRects.at(i);
            const Point& o = b.run.trimOffsets.at(i);
            char line[200];
            std::snprintf(line, sizeof line, "%s %dx%d [%d,%d %d,%d] +%d,%d",
                          list.text(list.findValue(index).value_or(-1)).c_str(), s.width, s.height,
                          r.left, r.top, r.right, r.bottom, o.x, o.y);
            prepared.push_back(line);
        }
        prepared.insert(prepared.end(), b.run.failures.begin(), b.run.failures.end());
        EXPECT_EQ(prepared, c.prepared);
    }
}

}  // namespace
}  // namespace tilvane
