#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <limits>

#include "build/footprint.h"
#include "image/image_file.h"
#include "tests/build/build_fixture.h"
#include "textout/source_rects.h"

namespace tilvane {
namespace {

using testing::BuildFixture;
using testing::readFile;
using testing::writeSprite;

namespace fs = std::filesystem;

TEST(FootprintSide, AddsSpacingUnlessOnlyTheImageFits) {
    struct Case {
        const char* name;
        std::int32_t side;
        std::uint32_t spacing;
        std::int32_t atlas;
        std::int32_t expected;
    };
    const std::vector<Case> cases = {
        {"fits only alone, wide spacing", 500, 100, 512, 500},
        {"too wide keeps spacing", 513, 1, 512, 514},
        {"no spacing", 512, 0, 512, 512},
        // The 32-bit sum would wrap to side - 1, a footprint smaller than the
        // image; unwrapped, the usual rule applies.
        {"spacing 2^32 - 1", 10, 0xFFFFFFFFu, 512, 10},
        {"spacing 2^32 - 1, too wide", 600, 0xFFFFFFFFu, 512,
         std::numeric_limits<std::int32_t>::max()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(footprintSide(c.side, c.spacing, c.atlas), c.expected);
    }
}

// The pixel writeSprite puts at (x, y).
std::uint32_t spritePixel(int x, int y) {
    return packPixel(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 200, 255);
}

// One sprite in a 512 x 512 atlas with spacing 1, trimmed: where it lands,
// what it occupies, and that the atlas holds its visible block there with the
// border and the spacing beside it empty.
TEST(BuildStep, PlacesOneSprite) {
    struct Case {
        const char* name;
        std::uint32_t border;
        int w;
        int h;
        std::optional<Rect> visible;
        std::vector<Rect> placed;
        std::vector<Rect> occupied;
    };
    const std::vector<Case> cases = {
        {"image fills the atlas", 0, 512, 512, {}, {{0, 0, 511, 511}}, {{0, 0, 511, 511}}},
        {"spacing fills the atlas", 0, 511, 511, {}, {{0, 0, 510, 510}}, {{0, 0, 511, 511}}},
        {"trimmed, border 2", 2, 64, 64, Rect{10, 20, 29, 49}, {{2, 2, 21, 31}}, {{2, 2, 22, 32}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildFixture b;
        b.settings.borderSize = c.border;
        b.settings.spacing = 1;
        b.settings.cropMode = 1;
        b.settings.createMask = 0;
        writeSprite(b.input.file("a.png"), c.w, c.h, c.visible);
        b.runBuild();
        EXPECT_EQ(b.run.placedRects, c.placed);
        EXPECT_EQ(b.run.occupiedRects, c.occupied);
        EXPECT_EQ(b.run.placedNames.size(), c.placed.size());
        ImagePtr atlas = CreateBitmapFromFile(b.settings.outputImageFile);
        ASSERT_TRUE(atlas);
        const Rect v = c.visible.value_or(Rect{0, 0, c.w - 1, c.h - 1});
        const Rect p = c.placed[0];
        EXPECT_EQ(getPixel(*atlas, p.left, p.top), spritePixel(v.left, v.top));
        EXPECT_EQ(getPixel(*atlas, p.right, p.bottom), spritePixel(v.right, v.bottom));
        EXPECT_EQ(p.right < 511 ? getPixel(*atlas, p.right + 1, p.top) : 0u, 0u);
        EXPECT_EQ(p.left > 0 ? getPixel(*atlas, p.left - 1, p.top - 1) : 0u, 0u);
    }
}

// A file that fails (deleted after "GO!", or too large) is reported at the end;
// the files after it keep their indices, and the atlas and text file are written.
TEST(BuildStep, FailedFilesAreReportedAndTheRestPlaced) {
    BuildFixture b;
    b.settings.outputWidth = b.settings.outputHeight = 16;
    b.settings.outputTextFile = b.output.file("atlas.XML");
    for (const char* name : {"a.png", "b.png", "c.png"}) writeSprite(b.input.file(name), 4, 4);
    writeSprite(b.input.file("d.png"), 17, 2);
    EXPECT_EQ(startBuild(b.job), BuildOutcome::armed);
    EXPECT_EQ(b.window.statusText(), "Searching for files...");
    fs::remove(b.input.file("b.png"));
    b.window.shownStatuses.clear();
    std::vector<BuildOutcome> outcomes;
    for (int i = 0; i < 4; ++i) outcomes.push_back(onTimerTick(b.job, kBuildTimerId));
    EXPECT_EQ(b.window.shownStatuses.at(0), "Adding: a.png");
    EXPECT_EQ(outcomes,
              (std::vector<BuildOutcome>{BuildOutcome::stepDone, BuildOutcome::stepDone,
                                         BuildOutcome::stepDone, BuildOutcome::savedWithFailures}));
    EXPECT_EQ(b.run.currentStep, -1);
    EXPECT_EQ(b.run.placedNames, (std::vector<std::string>{"a.png", "c.png"}));
    EXPECT_EQ(b.run.placedFileIndices, (std::vector<std::int32_t>{0, 2}));
    ASSERT_EQ(b.window.reports.size(), 1u);
    EXPECT_EQ(b.window.reports[0].lines,
              (std::vector<std::string>{"b.png          (failed to load)",
                                        "d.png          (no space left on output image)"}));
    EXPECT_EQ(b.window.reports[0].added, 2);
    EXPECT_EQ(b.window.reports[0].failed, 2);
    EXPECT_EQ(b.window.statusText(), "Failed to load/add some files.");
    EXPECT_TRUE(b.window.dones.empty());
    EXPECT_EQ(b.outputFiles(), "atlas.XML atlas.png atlas_mask.png ");
    EXPECT_EQ(readFile(b.settings.outputTextFile).substr(0, 1), "<");
}

// The timer runs one step a tick of an armed build, and nothing otherwise:
// without a build, for another timer, from a modal loop inside a step (which
// finds the guard set), or once the file list was emptied (Load Settings).
// "GO!" during a build starts over; a refusal leaves no build.
TEST(OnTimerTick, StepsOnlyAnArmedBuild) {
    BuildFixture b;
    b.settings.outputImageFile = "  " + b.output.file("atlas.png") + "\t";
    writeSprite(b.input.file("a.png"), 4, 4);
    writeSprite(b.input.file("b.png"), 4, 4);
    EXPECT_EQ(onTimerTick(b.job, kBuildTimerId), BuildOutcome::idle);
    EXPECT_TRUE(b.window.shownStatuses.empty());
    EXPECT_EQ(startBuild(b.job), BuildOutcome::armed);
    EXPECT_EQ(b.settings.outputImageFile, b.output.file("atlas.png")) << "trimmed and kept";
    EXPECT_EQ(onTimerTick(b.job, kBuildTimerId + 1), BuildOutcome::idle);
    int nestedTicks = 0;
    b.window.onRefresh = [&] {
        EXPECT_TRUE(stepGuardActive());
        EXPECT_EQ(onTimerTick(b.job, kBuildTimerId), BuildOutcome::idle);
        ++nestedTicks;
    };
    EXPECT_EQ(onTimerTick(b.job, kBuildTimerId), BuildOutcome::stepDone);
    b.window.onRefresh = nullptr;
    EXPECT_GT(nestedTicks, 0);
    EXPECT_FALSE(stepGuardActive());
    EXPECT_EQ(b.run.currentStep, 1);
    EXPECT_EQ(b.run.placedNames.size(), 1u);
    EXPECT_EQ(startBuild(b.job), BuildOutcome::armed);
    EXPECT_EQ(b.run.currentStep, 0);
    EXPECT_TRUE(b.run.placedNames.empty());
    EXPECT_EQ(b.run.occupancy.size(), 0u);
    EXPECT_EQ(b.window.fileList().count(), 2);
    b.window.fileList().reset();
    EXPECT_EQ(onTimerTick(b.job, kBuildTimerId), BuildOutcome::idle);
    EXPECT_EQ(b.run.currentStep, 0);
    EXPECT_TRUE(b.run.placedNames.empty());
    EXPECT_EQ(b.outputFiles(), "");
    b.settings.cropMode = 9;
    EXPECT_EQ(startBuild(b.job), BuildOutcome::refused);
    EXPECT_EQ(b.run.currentStep, -1);
    EXPECT_FALSE(b.run.outputImage);
    EXPECT_EQ(b.window.fileList().count(), 0);
}

// Only TIFF and JPEG ask for options: each request as the dialog is opened
// (-1 for a quality or compression not asked), and the answer is stored in the
// settings. A cancel writes nothing and keeps the atlas; otherwise all three
// files are written and "Done" is on show, after "Saving..." and "Creating
// mask...", when the done dialog opens.
TEST(FinishBuild, AsksForTheFormatsOptionsThenWritesAllThree) {
    struct Case {
        const char* file;
        bool ok;
        const char* request;
        std::int32_t tiffCompression;
        std::int32_t jpegQuality;
    };
    const char* tiff = "TIFF Options: quality -1 0..0, compression 9 of 3";
    const char* jpeg = "JPEG Options: quality 80 0..100, compression -1 of 0";
    const std::vector<Case> cases = {
        {"atlas.tif", true, tiff, 13, 80}, {"atlas.JPG", true, jpeg, 9, 55},
        {"atlas.png", true, "", 9, 80},    {"atlas.bmp", true, "", 9, 80},
        {"atlas.jpg", false, jpeg, 9, 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        BuildFixture b;
        b.settings.outputImageFile = b.output.file(c.file);
        b.settings.tiffCompression = 9;
        b.settings.jpegQuality = 80;
        b.window.answerOptionsOk = c.ok;
        b.window.answerCompression = 13;
        b.window.answerQuality = 55;
        writeSprite(b.input.file("a.png"), 4, 4);
        writeSprite(b.input.file("b.png"), 6, 3);
        std::vector<BuildPhase> phases;
        b.job.onPhase = [&](BuildPhase phase) { phases.push_back(phase); };
        EXPECT_EQ(b.runBuild(), c.ok ? BuildOutcome::saved : BuildOutcome::cancelled);
        std::string requests;
        for (const auto& r : b.window.optionRequests) {
            char text[200];
            std::snprintf(text, sizeof text, "%s: quality %d %d..%d, compression %d of %zu",
                          r.title.c_str(), r.hasQuality ? r.quality : -1, r.qualityMin,
                          r.qualityMax, r.hasCompression ? r.compression : -1, r.choiceCount);
            requests += text;
        }
        EXPECT_EQ(requests, c.request);
        EXPECT_EQ(b.settings.tiffCompression, c.tiffCompression);
        EXPECT_EQ(b.settings.jpegQuality, c.jpegQuality);
        EXPECT_EQ(phases, (std::vector<BuildPhase>{BuildPhase::scanning, BuildPhase::placing,
                                                   BuildPhase::saving}));
        EXPECT_EQ(b.run.currentStep, -1);
        EXPECT_TRUE(b.window.messages.empty() && b.window.reports.empty());
        EXPECT_EQ(b.run.outputImage != nullptr, !c.ok);
        const std::string extension = std::string(c.file).substr(5);  // the mask takes it too
        EXPECT_EQ(b.outputFiles(),
                  c.ok ? "atlas" + extension + " atlas.txt atlas_mask" + extension + " " : "");
        if (!c.ok) {
            EXPECT_EQ(b.window.statusText(), "You cancelled.");
            EXPECT_TRUE(b.window.dones.empty());
            continue;
        }
        const auto& shown = b.window.shownStatuses;
        const auto saving = std::find(shown.begin(), shown.end(), "Saving...");
        EXPECT_LT(saving, std::find(saving, shown.end(), "Creating mask..."));
        ASSERT_EQ(b.window.dones.size(), 1u);
        EXPECT_EQ(b.window.dones[0].added, 2);
        EXPECT_EQ(b.window.dones[0].imagePath, b.settings.outputImageFile);
        EXPECT_EQ(b.window.dones[0].textPath, b.settings.outputTextFile);
        EXPECT_EQ(b.window.statusAtDone, "Done");
        EXPECT_TRUE(b.run.outputFailures.empty());
        EXPECT_TRUE(CreateBitmapFromFile(b.settings.outputImageFile));
    }
}

// An output that cannot be written is recorded with where and why: in turn
// each is a link into a missing folder, or the text document is one only the
// JSON writer refuses (made before the file is opened, so the old file stays). A failed
// atlas still gets its mask but no text file; the dialog says nothing of the
// mask.
TEST(FinishBuild, OutputsThatCannotBeWrittenAreRecorded) {
    using Output = OutputFailure::Output;
    struct Case {
        const char* file;
        BuildOutcome outcome;
        Output output;
        int error;
        const char* shown;  // "message | status"
        const char* files;
    };
    const char* text = "Failed to save the source rects text file! | Failed to save text file.";
    const char* all = "atlas.png atlas.txt atlas_mask.png ";
    const std::vector<Case> cases = {
        {"atlas.png", BuildOutcome::imageNotSaved, Output::image, ENOENT,
         "Failed to save the image! | Failed to save image.", "atlas.png atlas_mask.png "},
        {"atlas.txt", BuildOutcome::textNotSaved, Output::text, ENOENT, text, all},
        {"atlas_mask.png", BuildOutcome::maskNotSaved, Output::mask, ENOENT, " | Done", all},
        {"atlas.json", BuildOutcome::textNotSaved, Output::text, EINVAL, text,
         "atlas.json atlas.png atlas_mask.png "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + ", error " + std::to_string(c.error));
        BuildFixture b;
        const std::string path = b.output.file(c.file);
        if (c.error == EINVAL) {
            b.settings.convertTabs = 1;
            b.settings.tabSize = kMaxTabSize + 1;
            b.settings.outputTextFile = path;
            testing::writeFile(path, "old");
        } else {
            fs::create_symlink("missing/x", path);
        }
        writeSprite(b.input.file("a.png"), 4, 4);
        EXPECT_EQ(b.runBuild(), c.outcome);
        std::string shown;
        for (const auto& message : b.window.messages) shown += message;
        EXPECT_EQ(shown + " | " + b.window.statusText(), c.shown);
        EXPECT_EQ(b.outputFiles(), c.files);
        EXPECT_TRUE(c.error == EINVAL ? readFile(path) == "old" : fs::is_symlink(path));
        EXPECT_EQ(b.window.dones.size(), c.output == Output::mask ? 1u : 0u);
        EXPECT_FALSE(b.run.outputImage);
        ASSERT_EQ(b.run.outputFailures.size(), 1u);
        EXPECT_EQ(b.run.outputFailures[0].output, c.output);
        EXPECT_EQ(b.run.outputFailures[0].path, path);
        EXPECT_EQ(b.run.outputFailures[0].error, c.error);
    }
}

}  // namespace
}  // namespace tilvane
