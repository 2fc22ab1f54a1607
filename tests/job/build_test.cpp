#include "job/build.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <numeric>
#include <string_view>
#include <tuple>

#include "job/file_ordering.h"
#include "job/output_paths.h"
#include "tests/job/build_fixture.h"
#include "tests/support/special_files.h"
#include "textout/source_rects.h"

namespace tilvane::testing {
namespace {

namespace fs = std::filesystem;

using Order = std::vector<std::int32_t>;
using Areas = std::vector<std::pair<std::int64_t, std::int32_t>>;

// A position of the random order that needs 1000 draws makes the whole order
// alphabetical, and says so. 197 files are the fewest with which seed 3 runs
// out; beyond 32768 files the generator's values cannot cover the list at all.
TEST(OrderFiles, FollowsTheSortOrderOrFallsBackToAlphabetical) {
    struct Case {
        const char* name;
        std::int32_t sortOrder;
        std::uint32_t seed;
        Areas areas;
        Order expected;
        std::size_t files = 0;  // when not 0, the random order of that many files
        bool fellBack = false;
    };
    const std::int64_t g = 4294967296LL;
    const Areas areas = {{5, 0}, {9, 1}, {1, 2}, {7, 3}};
    const std::vector<Case> cases = {
        {"name", 0, 0, areas, {3, 2, 1, 0}},
        {"unknown -1 is by name", -1, 0, areas, {3, 2, 1, 0}},
        {"size, largest first", 1, 0, areas, {1, 3, 0, 2}},
        {"size, ties among others", 1, 0, {{4, 0}, {8, 1}, {4, 2}, {8, 3}}, {1, 3, 0, 2}},
        {"size, areas beyond 2^32", 1, 0, {{1, 0}, {3 * g, 1}, {g, 2}, {2, 3}}, {1, 2, 3, 0}},
        // A size list that disagrees with the file list still gives one entry per file.
        {"size, mismatched list", 1, 0, {{5, 0}}, {3, 2, 1, 0}},
        // Seed 0 draws 38, 7719, 21238, 2437, 8855, 11797, 8365, 32285, 10450,
        // 30612: mod 4, 2 3 (2) 1 (3 1 1 1 2) 0.
        {"random, seed 0", 2, 0, {}, {2, 3, 1, 0}},
        // Seed 1 draws 41, 18467, 6334, 26500: mod 4, 1 3 2 0.
        {"random, seed 1", 2, 1, {}, {1, 3, 2, 0}},
        {"196 files, seed 3", 2, 3, {}, {}, 196},
        {"197 files, seed 3", 2, 3, {}, {}, 197, true},
        {"197 files, seed 0", 2, 0, {}, {}, 197},
        {"32769 files", 2, 5, {}, {}, 32769, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The file list's order for files whose names sort in the reverse of
        // the folder order: unlike the identity, a fallback shows.
        Order alphabetical(c.files ? c.files : c.expected.size());
        std::iota(alphabetical.rbegin(), alphabetical.rend(), 0);
        bool fellBack = !c.fellBack;
        Order order = orderFiles(alphabetical, c.sortOrder, c.seed, c.areas, &fellBack);
        EXPECT_EQ(fellBack, c.fellBack);
        if (!c.files) {
            EXPECT_EQ(order, c.expected);
            continue;
        }
        EXPECT_EQ(order == alphabetical, c.fellBack);
        std::sort(order.begin(), order.end());
        EXPECT_TRUE(std::equal(order.begin(), order.end(), alphabetical.rbegin()));
    }
}

// "$I/" and "$O/" stand for the input and the output folder, "$N" for the
// input folder's name.
std::string expand(const BuildFixture& b, std::string text) {
    for (const auto& [token, value] :
         {std::pair{"$I/", b.input.folder()}, std::pair{"$O/", b.output.folder()},
          std::pair{"$N", b.input.path().filename().string()}}) {
        for (std::size_t at; (at = text.find(token)) != std::string::npos;)
            text.replace(at, std::string_view(token).size(), value);
    }
    return text;
}

// A refusal comes before any work, writes nothing and leaves the status line
// as it was. The atlas lies outside the input folder however either is spelt;
// the outputs are distinct files, none is an image the build reads, and the
// messages name the paths as the settings spell them. Past the
// checks, a folder that gives nothing to build stops the build with the
// outcome, the message (after the status it was shown under) or the report,
// and the status that say why.
TEST(StartBuild, RefusesOrStopsWithTheirMessage) {
    struct Case {
        const char* name;
        const char* image;  // nullptr: as the fixture sets it
        const char* text;
        std::function<void(BuildFixture&)> setUp;
        std::string shown;  // "status | message" or the report's lines
        BuildOutcome outcome = BuildOutcome::refused;
        const char* status = "before";
        int listed = 0;        // how many files the list shows
        bool released = true;  // the atlas
    };
    using F = BuildFixture;
    const std::string inInput(kImageInInputFolder),
        textFormat = "Unsupported Source Rects Output Format.", crop = "Unsupported Crop option.",
        create = "Failed to create the output image.", text = "The Output Text File\n",
        image = "The Output Image File\n",
        sameImage = "\nmust not be the same file as the Output Image File\n$O/atlas.png",
        ofInput = "\nmust not be an image of the Input Folder\n";
    // A FIFO that a row puts in the input folder, and that nothing may wait on.
    std::unique_ptr<FifoGuard> fifo;
    const std::vector<Case> cases = {
        {"blank image file", " \t ", nullptr, nullptr, "Invalid Output Image File name."},
        {"image folder missing", "$O/gone/atlas.png", nullptr, nullptr,
         "The Output Image File folder does not exist."},
        {"text folder missing", nullptr, "$O/gone/rects.txt", nullptr,
         "The Output Text File folder does not exist."},
        {"text format 5", nullptr, nullptr, [](F& b) { b.settings.textFormat = 5; }, textFormat},
        {"crop mode -1", nullptr, nullptr, [](F& b) { b.settings.cropMode = -1; }, crop},
        {"storage above 2^31 bytes", nullptr, nullptr,
         [](F& b) { b.settings.outputWidth = b.settings.outputHeight = 65536; },
         create + "\nAn atlas may take at most 2147483647 bytes (4 a pixel); 65536 x 65536 " +
             "would take 17179869184.",
         BuildOutcome::refused, ""},
        {"width 0", nullptr, nullptr, [](F& b) { b.settings.outputWidth = 0; },
         create + "\nThe Output Width and Output Height must be at least 1.", BuildOutcome::refused,
         ""},
        {"image in the input folder", "$I/atlas.png", nullptr, nullptr, inInput},
        {"dot, dot dot, doubled separator", "$I/.//../$N/atlas.png", nullptr, nullptr, inInput},
        {"link to the input folder", "$O/sprites/atlas.png", nullptr,
         [](F& b) { fs::create_directory_symlink(b.input.path(), b.output.path() / "sprites"); },
         inInput},
        {"text is the mask", nullptr, "$O/atlas_mask.png", nullptr,
         text +
             "$O/atlas_mask.png\nmust not be the same file as the mask image\n$O/atlas_mask.png"},
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
        {"input folder missing", nullptr, nullptr,
         [](F& b) { b.settings.inputFolder = b.input.folder() + "gone/"; },
         "Searching for files... | Failed to find the Input Folder, or the folder is empty.",
         BuildOutcome::noInputFolder, ""},
        {"nothing usable", nullptr, nullptr,
         [&fifo](F& b) {
             fs::remove(b.input.file("a.png"));
             writeFile(b.input.file("notes.txt"), "text");
             writeFile(b.input.file("empty.png"), "");
             fs::create_directory(b.input.path() / "folder.png");
             fs::create_symlink("/dev/zero", b.input.path() / "zero.png");
             fifo = std::make_unique<FifoGuard>(b.input.file("pipe.png"));
         },
         "No files found. | No files found.", BuildOutcome::noFiles, "No files found.", 0, false},
        {"every file fails", nullptr, nullptr,
         [](F& b) {
             writeFile(b.input.file("a.png"), "not a png");
             writeFile(b.input.file("B.jpg"), "not a jpeg");
         },
         "a.png          (failed to load)\nB.jpg          (failed to load)\n",
         BuildOutcome::nothingListed, "Failed to load/add some files.", 0, false},
        {"crop all to same dimension, sizes differ", nullptr, nullptr,
         [](F& b) { b.settings.cropMode = 2, writeSprite(b.input.file("b.png"), 4, 3); },
         "Searching for files... | The images must all have the same dimensions in order to use "
         "\nthe following crop setting:\n- Crop all to same dimension",
         BuildOutcome::unequalSizes, "", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildFixture b;
        writeSprite(b.input.file("a.png"), 4, 4);
        b.window.setStatusText("before");
        if (c.image) b.settings.outputImageFile = expand(b, c.image);
        if (c.text) b.settings.outputTextFile = expand(b, c.text);
        if (c.setUp) c.setUp(b);
        // The check of a whole run, given one page, says what this one says.
        EXPECT_EQ(findOutputSetConflict(planOutputSet(b.settings, 0, false)),
                  findOutputConflict(b.settings));
        const auto inputBefore = folderSnapshot(b.input.path());
        const auto outputBefore = folderSnapshot(b.output.path());
        const BuildOutcome outcome = b.runBuild();
        if (fifo) {
            EXPECT_TRUE(fifo->made() && !fifo->release());
            fifo.reset();
        }
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(b.run.outputImage == nullptr, c.released);
        EXPECT_EQ(b.run.currentStep, -1);
        std::string shown;
        for (std::size_t i = 0; i < b.window.messages.size(); ++i)
            shown += b.window.statusAtMessage[i] + " | " + b.window.messages[i];
        for (const auto& report : b.window.reports)
            for (const auto& line : report.lines) shown += line + "\n";
        // A refusal shows its message under the status as it was.
        EXPECT_EQ(shown,
                  expand(b, (outcome == BuildOutcome::refused ? "before | " : "") + c.shown));
        EXPECT_EQ(b.window.statusText(), c.status);
        EXPECT_EQ(b.run.fileList.count(), c.listed);
        EXPECT_EQ(folderSnapshot(b.input.path()), inputBefore);
        EXPECT_EQ(folderSnapshot(b.output.path()), outputBefore);
    }
}

// Every output of a run is checked at once, before anything is written:
// against each file the search reads (in the sub-folders it enters too when
// recursive, whatever the spelling or link that leads there), against the
// outputs before it on any page and the settings file, and for a name the
// kernel takes. With more than one page the message names the page. A folder
// whose name differs only in case is another folder where the file system
// says so; the mask is no output when none is asked for; a device may be
// shared.
TEST(FindOutputSetConflict, RefusesAnOutputThatWouldReplaceAnother) {
    struct Case {
        const char* name;
        std::size_t pages;
        bool recursive;
        std::string image;  // empty: as the fixture sets it
        std::string text;
        std::string settingsFile;
        std::function<void(BuildFixture&)> setUp;
        std::string refusal;  // empty when every output may be written
    };
    using F = BuildFixture;
    const std::string ofInput = "\nmust not be an image of the Input Folder\n",
                      same = "\nmust not be the same file as the ", image = "The Output Image File",
                      text = "The Output Text File\n", longName = std::string(251, 'n'),
                      deepPath = "$O/" + std::string(4200, '/');
    const auto link = [](std::string to, std::string from) {
        return [=](F& b) { fs::create_symlink(expand(b, to), expand(b, from)); };
    };
    const std::vector<Case> cases = {
        {"text replaces an image of a sub-folder", 0, true, "", "$I/sub/b1.png", "", nullptr,
         text + "$I/sub/b1.png" + ofInput + "$I/sub/b1.png"},
        {"sub-folders not searched", 0, false, "", "$I/sub/b1.png", "", nullptr, ""},
        {"text beside the sprites of a sub-folder", 0, true, "", "$I/sub/atlas.txt", "", nullptr,
         ""},
        {"settings file would be read from a sub-folder", 0, true, "", "", "$I/sub/x.png", nullptr,
         "The settings file\n$I/sub/x.png" + ofInput + "$I/sub/x.png"},
        {"image is a hard link two folders down", 0, true, "", "", "",
         [](F& b) {
             fs::create_directory(b.input.path() / "sub" / "deep");
             writeFile(b.input.file("sub/deep/c.png"), "c");
             fs::create_hard_link(b.input.file("sub/deep/c.png"), b.settings.outputImageFile);
         },
         image + "\n$O/atlas.png" + ofInput + "$I/sub/deep/c.png"},
        {"page 2 links into a sub-folder", 2, true, "", "", "",
         link("$I/sub/new.png", "$O/atlas-2.png"),
         image + " of page 2\n$O/atlas-2.png" + ofInput + "$I/sub/new.png"},
        {"a linked folder is not searched", 0, true, "", "", "", link("$O/.", "$I/linked"), ""},
        {"an input's dangling link leads to the image", 0, false, "", "", "",
         link("$O/atlas.png", "$I/c.png"), image + "\n$O/atlas.png" + ofInput + "$I/c.png"},
        {"page 2's image is the settings file", 2, false, "", "", "$O/atlas-2.png", nullptr,
         image + " of page 2\n$O/atlas-2.png" + same + "settings file\n$O/atlas-2.png"},
        // Numbered alike, pages can only meet their own outputs.
        {"each page's text is its image", 3, false, "", "$O/atlas.png", "", nullptr,
         "The Output Text File of page 1\n$O/atlas-1.png" + same +
             "Output Image File of page 1\n$O/atlas-1.png"},
        {"a page's name is too long", 2, false, "$O/" + longName + ".png", "", "",
         [](F& b) { b.settings.createMask = 0; },
         image + " of page 1\n$O/" + longName + "-1.png\nhas a file name longer than 255 bytes."},
        {"a path too long", 0, false, deepPath + "atlas.png", "", "", nullptr,
         image + "\n" + deepPath + "atlas.png\nis a path longer than 4095 bytes."},
        {"three pages apart", 3, true, "", "", "$O/atlas.cfg", nullptr, ""},
        {"IN7 next to in7", 0, false, "$O/IN7/atlas.png", "", "",
         [](F& b) {
             fs::create_directories(b.output.path() / "IN7");
             fs::create_directories(b.output.path() / "in7");
             b.settings.inputFolder = b.output.file("in7") + "/";
         },
         ""},
        {"text is the mask, no mask asked for", 0, false, "", "$O/atlas_mask.png", "",
         [](F& b) { b.settings.createMask = 0; }, ""},
        // A device replaces nothing: several outputs may share one. Root,
        // who could replace the system's /dev/null, gets a device of its own.
        {"text on a device", 0, false, "", "/dev/null", "",
         [](F& b) {
             if (::geteuid() != 0) return;
             b.settings.outputTextFile = b.output.file("null");
             ::mknod(b.output.file("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3));
         },
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildFixture b;
        fs::create_directory(b.input.path() / "sub");
        writeFile(b.input.file("a.png"), "a");
        writeFile(b.input.file("sub/b1.png"), "b");
        if (!c.image.empty()) b.settings.outputImageFile = expand(b, c.image);
        if (!c.text.empty()) b.settings.outputTextFile = expand(b, c.text);
        if (c.setUp) c.setUp(b);
        const auto inputBefore = folderSnapshot(b.input.path());
        const auto outputBefore = folderSnapshot(b.output.path());
        const OutputSetPlan plan =
            planOutputSet(b.settings, c.pages, c.recursive, expand(b, c.settingsFile));
        EXPECT_EQ(findOutputSetConflict(plan).value_or(""), expand(b, c.refusal));
        EXPECT_EQ(folderSnapshot(b.input.path()), inputBefore);
        EXPECT_EQ(folderSnapshot(b.output.path()), outputBefore);
    }
}

// Trimming works per file, never on a file without alpha; a file with nothing
// visible cannot be cropped. The size order takes the trimmed areas. (Whole
// images and "Crop all to same dimension" are checked, frame by frame, by
// tilvane-pack's property test.)
TEST(StartBuild, TrimsEachFileAndOrdersByTrimmedSize) {
    BuildFixture b;
    b.settings.cropMode = kCropEach;
    b.settings.sortOrder = 1;
    writeSprite(b.input.file("b.png"), 40, 20, Rect{3, 2, 34, 17});
    writeSprite(b.input.file("a.png"), 5, 6);
    writeSprite(b.input.file("C.jpg"), 30, 20);
    writeSprite(b.input.file("ghost.png"), 8, 8, Rect{0, 0, -1, -1});
    EXPECT_EQ(b.start(), BuildOutcome::armed);
    // Each listed file in process order, named through its file index, with
    // its crop rectangle; then the failures.
    std::vector<std::string> prepared;
    const FileList& list = b.run.fileList;
    for (const std::int32_t index : b.run.processOrder) {
        const Rect& r = b.run.cropRects.at(static_cast<std::size_t>(index));
        char line[200];
        std::snprintf(line, sizeof line, "%s [%d,%d %d,%d]",
                      list.text(list.findValue(index).value_or(-1)).c_str(), r.left, r.top, r.right,
                      r.bottom);
        prepared.push_back(line);
    }
    prepared.insert(prepared.end(), b.run.failures.begin(), b.run.failures.end());
    EXPECT_EQ(prepared,
              (std::vector<std::string>{"C.jpg [0,0 29,19]", "b.png [3,2 34,17]", "a.png [0,0 4,5]",
                                        "ghost.png          (could not crop it)"}));
}

// The timer runs one step a tick of an armed build, and nothing otherwise:
// without a build, for another timer, from a modal loop inside a step (which
// finds the guard set), or once the file list was emptied (Load Settings).
// "GO!" during a build starts over. A file that
// fails (deleted after "GO!", or too large) is reported at the end; the files
// after it keep their indices, and the atlas and text file are written. (The
// Report's totals and the status are the window's: tests/app pins them.)
TEST(OnTimerTick, StepsOnlyAnArmedBuildAndReportsFailedFilesAtTheEnd) {
    BuildFixture b;
    b.settings.outputWidth = b.settings.outputHeight = 16;
    for (const char* name : {"a.png", "b.png", "c.png"}) writeSprite(b.input.file(name), 4, 4);
    writeSprite(b.input.file("d.png"), 17, 2);
    EXPECT_EQ(b.tick(kBuildTimerId), BuildOutcome::idle);
    EXPECT_EQ(b.start(), BuildOutcome::armed);
    EXPECT_EQ(b.tick(kBuildTimerId + 1), BuildOutcome::idle);
    int nestedTicks = 0;
    b.window.onRefresh = [&] {
        EXPECT_TRUE(stepGuardActive());
        EXPECT_EQ(b.tick(kBuildTimerId), BuildOutcome::idle);
        ++nestedTicks;
    };
    EXPECT_EQ(b.tick(kBuildTimerId), BuildOutcome::stepDone);
    b.window.onRefresh = nullptr;
    EXPECT_GT(nestedTicks, 0);
    EXPECT_FALSE(stepGuardActive());
    EXPECT_EQ(b.run.currentStep, 1);
    EXPECT_EQ(b.run.placedNames.size(), 1u);
    EXPECT_EQ(b.start(), BuildOutcome::armed);
    EXPECT_EQ(b.run.currentStep, 0);
    EXPECT_TRUE(b.run.placedNames.empty());
    b.run.fileList.reset();
    EXPECT_EQ(b.tick(kBuildTimerId), BuildOutcome::idle);
    EXPECT_EQ(b.run.currentStep, 0);
    EXPECT_EQ(b.outputFiles(), "");

    EXPECT_EQ(b.start(), BuildOutcome::armed);
    fs::remove(b.input.file("b.png"));
    for (BuildOutcome outcome : {BuildOutcome::stepDone, BuildOutcome::stepDone,
                                 BuildOutcome::stepDone, BuildOutcome::savedWithFailures}) {
        EXPECT_EQ(b.tick(kBuildTimerId), outcome);
    }
    EXPECT_EQ(b.run.placedNames, (std::vector<std::string>{"a.png", "c.png"}));
    EXPECT_EQ(b.run.placedFileIndices, (std::vector<std::int32_t>{0, 2}));
    ASSERT_EQ(b.window.reports.size(), 1u);
    EXPECT_EQ(b.window.reports[0].lines,
              (std::vector<std::string>{"b.png          (failed to load)",
                                        "d.png          (no space left on output image)"}));
    EXPECT_EQ(b.outputFiles(), "atlas.png atlas.txt atlas_mask.png ");
}

// A cancel is read before each file: the job stops there and replaces no
// output, not even the pages a paged job has finished already.
TEST(BuildStep, ACancelStopsBeforeTheNextFileAndWritesNothing) {
    // Name, paged, ticks before the cancel.
    const std::tuple<const char*, bool, int> rows[] = {
        {"one atlas, before the first file", false, 0},
        {"one atlas, after a file", false, 1},
        {"the second page, the first one staged", true, 1}};
    for (const auto& [name, pages, stepsFirst] : rows) {
        SCOPED_TRACE(name);
        BuildFixture b;
        // One sprite fills a page.
        b.settings.outputWidth = b.settings.outputHeight = 8;
        b.settings.borderSize = b.settings.spacing = 0;
        b.jobSpec.sizing.pages = pages;
        for (const char* file : {"a.png", "b.png", "c.png", "d.png"})
            writeSprite(b.input.file(file), 8, 8);
        ASSERT_EQ(b.start(), BuildOutcome::armed);
        for (int i = 0; i < stepsFirst; ++i) ASSERT_EQ(b.tick(), BuildOutcome::stepDone);
        EXPECT_EQ(b.run.page, pages ? 1u : 0u);
        b.window.cancel = true;
        EXPECT_EQ(b.tick(), BuildOutcome::cancelled);
        EXPECT_EQ(b.window.statusText(), "You cancelled.");
        EXPECT_EQ(b.run.currentStep, -1);
        EXPECT_EQ(b.run.outputImage, nullptr);
        EXPECT_EQ(b.tick(), BuildOutcome::idle);
        EXPECT_EQ(b.outputFiles(), "");
        EXPECT_TRUE(b.window.dones.empty() && b.window.reports.empty());
    }
}

// Only TIFF and JPEG ask for options: each request as the dialog is opened
// (-1 for a quality or compression not asked), and the answer is stored in the
// settings. A cancel writes nothing and keeps the atlas; otherwise all three
// files are written and "Done" is on show when the done dialog opens. An output that cannot be
// written is recorded with where and why: in turn each is a link into a missing folder, or the text
// document is one only the JSON writer refuses (made before the file is opened, so the old file
// stays). A failed atlas still gets its mask but no text file; the dialog says nothing of the mask.
TEST(FinishBuild, AsksForOptionsThenWritesAllThreeOrRecordsWhatFailed) {
    using Output = OutputFailure::Output;
    struct Case {
        const char* file;  // the output image, or the output that cannot be written
        BuildOutcome outcome;
        const char* shown;  // "messages | status"
        const char* files;
        int error = 0;  // of the output that cannot be written
        const char* request = nullptr;
        std::int32_t tiffCompression = 9, jpegQuality = 80;
    };
    const char* tiff = "TIFF Options: quality -1 0..0, compression 9 of 3";
    const char* jpeg = "JPEG Options: quality 80 0..100, compression -1 of 0";
    const char* image = "Failed to save the image! | Failed to save image.";
    const char* text = "Failed to save the source rects text file! | Failed to save text file.";
    const auto saved = BuildOutcome::saved;
    const std::vector<Case> cases = {
        {"atlas.tif", saved, " | Done", "atlas.tif atlas.txt atlas_mask.tif ", 0, tiff, 13},
        {"atlas.JPG", saved, " | Done", "atlas.JPG atlas.txt atlas_mask.JPG ", 0, jpeg, 9, 55},
        {"atlas.jpg", BuildOutcome::cancelled, " | You cancelled.", "", 0, jpeg},
        // Outputs commit together: whichever fails, no other replaces its file.
        {"atlas.png", BuildOutcome::imageNotSaved, image, "atlas.png ", ENOENT},
        {"atlas.txt", BuildOutcome::textNotSaved, text, "atlas.txt ", ENOENT},
        {"atlas_mask.png", BuildOutcome::imageNotSaved, image, "atlas_mask.png ", ENOENT},
        {"atlas.json", BuildOutcome::textNotSaved, text, "atlas.json ", EINVAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + ", error " + std::to_string(c.error));
        BuildFixture b;
        const std::string path = b.output.file(c.file);
        if (c.error == EINVAL) {
            b.settings.convertTabs = 1;
            b.settings.tabSize = kMaxTabSize + 1;
            b.settings.outputTextFile = path;
            writeFile(path, "old");
        } else if (c.error) {
            fs::create_symlink("missing/x", path);
        } else {
            b.settings.outputImageFile = path;
        }
        b.settings.tiffCompression = 9;
        b.settings.jpegQuality = 80;
        b.window.answerOptionsOk = c.outcome != BuildOutcome::cancelled;
        b.window.answerCompression = 13;
        b.window.answerQuality = 55;
        writeSprite(b.input.file("a.png"), 4, 4);
        writeSprite(b.input.file("b.png"), 6, 3);
        EXPECT_EQ(b.runBuild(), c.outcome);
        EXPECT_EQ(b.window.optionRequests,
                  c.request ? std::vector<std::string>{c.request} : std::vector<std::string>{});
        EXPECT_EQ(b.settings.tiffCompression, c.tiffCompression);
        EXPECT_EQ(b.settings.jpegQuality, c.jpegQuality);
        std::string shown;
        for (const auto& message : b.window.messages) shown += message;
        EXPECT_EQ(shown + " | " + b.window.statusText(), c.shown);
        EXPECT_EQ(b.outputFiles(), c.files);
        EXPECT_EQ(b.run.outputImage != nullptr, c.outcome == BuildOutcome::cancelled);
        const bool done = c.outcome == saved;
        ASSERT_EQ(b.window.dones.size(), done ? 1u : 0u);
        if (c.error) {
            EXPECT_TRUE(c.error == EINVAL ? readFile(path) == "old" : fs::is_symlink(path));
            ASSERT_EQ(b.run.outputFailures.size(), 1u);
            EXPECT_EQ(b.run.outputFailures[0].output,
                      c.outcome == BuildOutcome::textNotSaved              ? Output::text
                      : std::string_view(c.file).starts_with("atlas_mask") ? Output::mask
                                                                           : Output::image);
            EXPECT_EQ(b.run.outputFailures[0].path, path);
            EXPECT_EQ(b.run.outputFailures[0].error, c.error);
        } else if (done) {
            const auto& d = b.window.dones[0];
            EXPECT_EQ(
                std::tie(d.added, d.imagePath, d.textPath, d.status),
                std::make_tuple(2, b.settings.outputImageFile, b.settings.outputTextFile, "Done"));
        }
    }
}

}  // namespace
}  // namespace tilvane::testing
