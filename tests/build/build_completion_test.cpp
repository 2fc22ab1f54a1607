#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "image/image_file.h"
#include "image/mask.h"
#include "tests/build/build_fixture.h"
#include "textout/source_rects.h"

namespace tilvane {
namespace {

using testing::BuildFixture;
using testing::readFile;
using testing::writeOpaqueSprite;

namespace fs = std::filesystem;

std::size_t lineCount(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// Only TIFF and JPEG ask for options: each request as the dialog is opened
// (quality and its range or "-", compression and the choice count or "-"),
// and the answer is stored in the settings.
TEST(FinishBuild, TiffAndJpegAskForTheirOptionsAndStoreTheAnswer) {
    struct Case {
        const char* file;
        std::vector<std::string> requests;
        std::int32_t tiffCompression;
        std::int32_t jpegQuality;
    };
    const std::vector<Case> cases = {
        {"atlas.tif", {"TIFF Options: quality - 0..0, compression 9 of 3"}, 13, 80},
        {"atlas.JPG", {"JPEG Options: quality 80 0..100, compression -"}, 9, 55},
        {"atlas.png", {}, 9, 80},
        {"atlas.bmp", {}, 9, 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        BuildFixture b;
        b.settings.outputImageFile = b.output.file(c.file);
        b.settings.tiffCompression = 9;
        b.settings.jpegQuality = 80;
        b.window.answerCompression = 13;
        b.window.answerQuality = 55;
        writeOpaqueSprite(b.input.file("a.png"), 4, 4);
        EXPECT_EQ(b.runBuild(), BuildOutcome::saved);
        std::vector<std::string> requests;
        for (const auto& r : b.window.optionRequests) {
            requests.push_back(
                r.title + ": quality " + (r.hasQuality ? std::to_string(r.quality) + " " : "- ") +
                std::to_string(r.qualityMin) + ".." + std::to_string(r.qualityMax) +
                ", compression " +
                (r.hasCompression
                     ? std::to_string(r.compression) + " of " + std::to_string(r.choiceCount)
                     : "-"));
        }
        EXPECT_EQ(requests, c.requests);
        EXPECT_EQ(b.settings.tiffCompression, c.tiffCompression);
        EXPECT_EQ(b.settings.jpegQuality, c.jpegQuality);
        EXPECT_TRUE(CreateBitmapFromFile(b.settings.outputImageFile));
    }
}

TEST(FinishBuild, CancelledOptionsWriteNothing) {
    BuildFixture b;
    b.settings.outputImageFile = b.output.file("atlas.jpg");
    b.settings.jpegQuality = 70;
    b.window.answerOptionsOk = false;
    writeOpaqueSprite(b.input.file("a.png"), 4, 4);
    EXPECT_EQ(b.runBuild(), BuildOutcome::cancelled);
    EXPECT_EQ(b.run.currentStep, -1);
    EXPECT_EQ(b.settings.jpegQuality, 70);
    EXPECT_EQ(b.window.statusText(), "You cancelled.");
    EXPECT_TRUE(b.outputFiles().empty());
    EXPECT_TRUE(b.window.messages.empty());
    EXPECT_TRUE(b.window.reports.empty());
    EXPECT_TRUE(b.window.dones.empty());
    EXPECT_TRUE(b.run.outputImage);
}

TEST(FinishBuild, DoneShowsTheStatusFirstAndWritesAllThree) {
    BuildFixture b;
    writeOpaqueSprite(b.input.file("a.png"), 4, 4);
    writeOpaqueSprite(b.input.file("b.png"), 6, 3);
    std::vector<BuildPhase> phases;
    b.job.onPhase = [&](BuildPhase phase) { phases.push_back(phase); };
    EXPECT_EQ(b.runBuild(), BuildOutcome::saved);
    EXPECT_EQ(phases, (std::vector<BuildPhase>{BuildPhase::scanning, BuildPhase::placing,
                                               BuildPhase::saving}));
    ASSERT_EQ(b.window.dones.size(), 1u);
    EXPECT_EQ(b.window.dones[0].added, 2);
    EXPECT_EQ(b.window.dones[0].imagePath, b.settings.outputImageFile);
    EXPECT_EQ(b.window.dones[0].textPath, b.settings.outputTextFile);
    EXPECT_EQ(b.window.statusAtDone, "Done");
    EXPECT_TRUE(b.window.reports.empty());
    EXPECT_FALSE(b.run.outputImage);
    EXPECT_TRUE(b.run.outputFailures.empty());
    EXPECT_EQ(b.outputFiles(),
              (std::vector<std::string>{"atlas.png", "atlas.txt", "atlas_mask.png"}));
    ImagePtr mask = CreateBitmapFromFile(maskPathFor(b.settings.outputImageFile));
    ASSERT_TRUE(mask);
    EXPECT_EQ(imageWidth(mask.get()), 512);
}

TEST(FinishBuild, MaskStatusIsShownBeforeTheMask) {
    BuildFixture b;
    writeOpaqueSprite(b.input.file("a.png"), 4, 4);
    b.runBuild();
    const auto& shown = b.window.shownStatuses;
    const auto saving = std::find(shown.begin(), shown.end(), "Saving...");
    const auto mask = std::find(shown.begin(), shown.end(), "Creating mask...");
    EXPECT_NE(saving, shown.end());
    EXPECT_NE(mask, shown.end());
    EXPECT_LT(saving, mask);
}

TEST(FinishBuild, TextFileTypeSelectsTheWriter) {
    struct Case {
        const char* file;
        char firstByte;
    };
    for (const Case& c : std::vector<Case>{{"rects.json", '['}, {"rects.XML", '<'}}) {
        SCOPED_TRACE(c.file);
        BuildFixture b;
        b.settings.outputTextFile = b.output.file(c.file);
        writeOpaqueSprite(b.input.file("a.png"), 4, 4);
        b.runBuild();
        const std::string text = readFile(b.settings.outputTextFile);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text[0], c.firstByte);
    }
}

// Each output in turn is a link into a missing folder. A failed atlas still
// gets its mask but no text file; the dialog says nothing of the mask; the
// outcome names the output and the run records where and why.
TEST(FinishBuild, OutputsThatCannotBeWrittenAreRecorded) {
    using Output = OutputFailure::Output;
    struct Case {
        const char* blocked;
        BuildOutcome outcome;
        Output output;
        std::vector<std::string> messages;
        const char* status;
        std::vector<std::string> files;
    };
    const std::vector<Case> cases = {
        {"atlas.png",
         BuildOutcome::imageNotSaved,
         Output::image,
         {"Failed to save the image!"},
         "Failed to save image.",
         {"atlas.png", "atlas_mask.png"}},
        {"atlas.txt",
         BuildOutcome::textNotSaved,
         Output::text,
         {"Failed to save the source rects text file!"},
         "Failed to save text file.",
         {"atlas.png", "atlas.txt", "atlas_mask.png"}},
        {"atlas_mask.png",
         BuildOutcome::maskNotSaved,
         Output::mask,
         {},
         "Done",
         {"atlas.png", "atlas.txt", "atlas_mask.png"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blocked);
        BuildFixture b;
        fs::create_symlink("missing/x", b.output.file(c.blocked));
        writeOpaqueSprite(b.input.file("a.png"), 4, 4);
        EXPECT_EQ(b.runBuild(), c.outcome);
        EXPECT_EQ(b.window.messages, c.messages);
        EXPECT_EQ(b.window.statusText(), c.status);
        EXPECT_EQ(b.outputFiles(), c.files);
        EXPECT_TRUE(fs::is_symlink(b.output.file(c.blocked)));
        EXPECT_EQ(b.window.dones.size(), c.output == Output::mask ? 1u : 0u);
        EXPECT_FALSE(b.run.outputImage);
        ASSERT_EQ(b.run.outputFailures.size(), 1u);
        EXPECT_EQ(b.run.outputFailures[0].output, c.output);
        EXPECT_EQ(b.run.outputFailures[0].path, b.output.file(c.blocked));
        EXPECT_EQ(b.run.outputFailures[0].error, ENOENT);
    }
}

// A document the writer refuses is made before the file is opened: the old
// text file stays as it was and the run records EINVAL for it.
TEST(FinishBuild, RefusedTextDocumentKeepsTheOldFile) {
    BuildFixture b;
    b.settings.outputTextFile = b.output.file("atlas.json");
    b.settings.convertTabs = 1;
    b.settings.tabSize = kMaxTabSize + 1;
    testing::writeFile(b.settings.outputTextFile, "old");
    writeOpaqueSprite(b.input.file("a.png"), 4, 4);
    b.runBuild();
    EXPECT_EQ(b.window.statusText(), "Failed to save text file.");
    EXPECT_EQ(readFile(b.settings.outputTextFile), "old");
    ASSERT_EQ(b.run.outputFailures.size(), 1u);
    EXPECT_EQ(b.run.outputFailures[0].output, OutputFailure::Output::text);
    EXPECT_EQ(b.run.outputFailures[0].error, EINVAL);
}

TEST(FinishBuild, BuildWhereEveryStepFailedWritesEmptyOutputsAndReports) {
    BuildFixture b;
    b.settings.outputWidth = 16;
    b.settings.outputHeight = 16;
    writeOpaqueSprite(b.input.file("a.png"), 32, 32);
    writeOpaqueSprite(b.input.file("b.png"), 17, 2);
    EXPECT_EQ(b.runBuild(), BuildOutcome::savedWithFailures);
    ASSERT_EQ(b.window.reports.size(), 1u);
    const auto& report = b.window.reports[0];
    EXPECT_EQ(report.lines,
              (std::vector<std::string>{"a.png          (no space left on output image)",
                                        "b.png          (no space left on output image)"}));
    EXPECT_EQ(report.added, 0);
    EXPECT_EQ(report.failed, 2);
    EXPECT_EQ(b.window.statusText(), "Failed to load/add some files.");
    EXPECT_TRUE(b.window.dones.empty());

    ImagePtr atlas = CreateBitmapFromFile(b.settings.outputImageFile);
    ASSERT_TRUE(atlas);
    EXPECT_EQ(imageWidth(atlas.get()), 16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) ASSERT_EQ(getPixel(*atlas, x, y) >> 24, 0u);
    }
    // The header line and the empty line, no entry.
    const std::string text = readFile(b.settings.outputTextFile);
    EXPECT_EQ(lineCount(text), 2u);
}

}  // namespace
}  // namespace tilvane
