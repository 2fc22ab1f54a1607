#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "tests/build/build_fixture.h"

namespace tilvane {
namespace {

using testing::BuildFixture;
using testing::writeFile;
using testing::writeOpaqueSprite;
using testing::writeSprite;

void expectIdle(const BuildFixture& b) {
    EXPECT_EQ(b.run.currentStep, -1);
    EXPECT_FALSE(b.run.outputImage);
    EXPECT_TRUE(b.run.processOrder.empty());
    EXPECT_TRUE(b.run.originalSizes.empty());
}

// Settings errors stop before anything is prepared and leave the status line
// as it was.
TEST(StartBuild, RefusesBadSettingsWithTheirMessage) {
    struct Case {
        const char* name;
        std::function<void(BuildFixture&)> change;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"blank image file", [](BuildFixture& b) { b.settings.outputImageFile = " \t "; },
         "Invalid Output Image File name."},
        {"gif output",
         [](BuildFixture& b) { b.settings.outputImageFile = b.output.file("atlas.gif"); },
         "Unsupported Output Image File format."},
        {"no extension",
         [](BuildFixture& b) { b.settings.outputImageFile = b.output.file("atlas"); },
         "Unsupported Output Image File format."},
        {"image folder missing",
         [](BuildFixture& b) { b.settings.outputImageFile = b.output.file("gone/atlas.png"); },
         "The Output Image File folder does not exist."},
        {"text folder missing",
         [](BuildFixture& b) { b.settings.outputTextFile = b.output.file("gone/rects.txt"); },
         "The Output Text File folder does not exist."},
        {"text format 5", [](BuildFixture& b) { b.settings.textFormat = 5; },
         "Unsupported Source Rects Output Format."},
        {"text format -1", [](BuildFixture& b) { b.settings.textFormat = -1; },
         "Unsupported Source Rects Output Format."},
        {"crop mode 3", [](BuildFixture& b) { b.settings.cropMode = 3; },
         "Unsupported Crop option."},
        {"crop mode -1", [](BuildFixture& b) { b.settings.cropMode = -1; },
         "Unsupported Crop option."},
        {"width 0", [](BuildFixture& b) { b.settings.outputWidth = 0; },
         "Failed to create the output image."},
        {"height 0", [](BuildFixture& b) { b.settings.outputHeight = 0; },
         "Failed to create the output image."},
        {"width 2^31", [](BuildFixture& b) { b.settings.outputWidth = 0x80000000u; },
         "Failed to create the output image."},
        {"storage above 2^31 bytes",
         [](BuildFixture& b) {
             b.settings.outputWidth = 65536;
             b.settings.outputHeight = 65536;
         },
         "Failed to create the output image."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildFixture b;
        writeFile(b.input.file("a.png"), "not looked at");
        b.window.setStatusText("before");
        c.change(b);
        EXPECT_EQ(startBuild(b.job), BuildOutcome::refused);
        expectIdle(b);
        EXPECT_EQ(b.window.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(b.window.statusText(), "before");
        EXPECT_EQ(b.window.fileList().count(), 0);
        EXPECT_TRUE(b.window.reports.empty());
        EXPECT_TRUE(b.outputFiles().empty());
    }
}

TEST(StartBuild, TrimsTheOutputImageFileAndKeepsIt) {
    BuildFixture b;
    b.settings.outputImageFile = "  " + b.output.file("atlas.png") + "\t";
    startBuild(b.job);
    EXPECT_EQ(b.settings.outputImageFile, b.output.file("atlas.png"));
}

// Past the settings checks, a folder that gives nothing to build stops the
// build with the outcome, message, status and report that say why.
TEST(StartBuild, FolderWithNothingToBuildSaysWhy) {
    struct Case {
        const char* name;
        std::function<void(BuildFixture&)> setUp;
        BuildOutcome outcome;
        std::vector<std::string> messages;
        // The status each message was shown under, and the last status.
        std::vector<std::string> statusAtMessage;
        const char* status;
        std::vector<std::string> reportLines;
        std::vector<std::string> listed;
        // Whether the atlas and the per-file lists were released.
        bool released;
    };
    const std::string searching = "Searching for files...";
    const std::vector<Case> cases = {
        {"input folder missing",
         [](BuildFixture& b) { b.settings.inputFolder = b.input.folder() + "gone/"; },
         BuildOutcome::noInputFolder,
         {"Failed to find the Input Folder, or the folder is empty."},
         {searching},
         "",
         {},
         {},
         true},
        {"nothing usable",
         [](BuildFixture& b) {
             writeFile(b.input.file("notes.txt"), "text");
             writeFile(b.input.file("empty.png"), "");
             std::filesystem::create_directory(b.input.path() / "folder.png");
             writeFile(b.input.file("photo.jpeg"), "unsupported extension");
         },
         BuildOutcome::noFiles,
         {"No files found."},
         {"No files found."},
         "No files found.",
         {},
         {},
         false},
        {"every file fails",
         [](BuildFixture& b) {
             writeFile(b.input.file("b.png"), "not a png");
             writeFile(b.input.file("A.jpg"), "not a jpeg");
         },
         BuildOutcome::nothingListed,
         {},
         {},
         "Failed to load/add some files.",
         {"A.jpg          (failed to load)", "b.png          (failed to load)"},
         {},
         false},
        {"crop all to same dimension, sizes differ",
         [](BuildFixture& b) {
             b.settings.cropMode = 2;
             writeOpaqueSprite(b.input.file("a.png"), 32, 32);
             writeOpaqueSprite(b.input.file("b.png"), 32, 16);
         },
         BuildOutcome::unequalSizes,
         {"The images must all have the same dimensions in order to use \nthe following crop "
          "setting:\n- Crop all to same dimension"},
         {searching},
         "",
         {},
         {"a.png", "b.png"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildFixture b;
        b.window.setStatusText("before");
        c.setUp(b);
        EXPECT_EQ(startBuild(b.job), c.outcome);
        if (c.released) expectIdle(b);
        EXPECT_EQ(b.run.currentStep, -1);
        EXPECT_EQ(b.window.messages, c.messages);
        EXPECT_EQ(b.window.statusAtMessage, c.statusAtMessage);
        EXPECT_EQ(b.window.statusText(), c.status);
        EXPECT_EQ(b.listedNames(), c.listed);
        EXPECT_TRUE(b.outputFiles().empty());
        if (c.reportLines.empty()) {
            EXPECT_TRUE(b.window.reports.empty());
            continue;
        }
        ASSERT_EQ(b.window.reports.size(), 1u);
        const auto& report = b.window.reports[0];
        EXPECT_EQ(report.lines, c.reportLines);
        EXPECT_EQ(report.added, 0);
        EXPECT_EQ(report.failed, static_cast<int>(c.reportLines.size()));
        EXPECT_EQ(report.imagePath, b.settings.outputImageFile);
        EXPECT_EQ(report.textPath, b.settings.outputTextFile);
    }
}

TEST(StartBuild, FullyTransparent32BitImageCannotBeCropped) {
    struct Case {
        const char* name;
        std::int32_t cropMode;
        bool cropFails;
    };
    for (const Case& c : std::vector<Case>{{"crop", 1, true}, {"no crop", 0, false}}) {
        SCOPED_TRACE(c.name);
        BuildFixture b;
        b.settings.cropMode = c.cropMode;
        writeSprite(b.input.file("ghost.png"), 8, 8, {0, 0, -1, -1});
        writeOpaqueSprite(b.input.file("solid.png"), 4, 4);
        startBuild(b.job);
        EXPECT_EQ(b.run.currentStep, 0);
        if (c.cropFails) {
            EXPECT_EQ(b.run.failures,
                      std::vector<std::string>{"ghost.png          (could not crop it)"});
            EXPECT_EQ(b.listedNames(), std::vector<std::string>{"solid.png"});
        } else {
            EXPECT_TRUE(b.run.failures.empty());
            EXPECT_EQ(b.listedNames(), (std::vector<std::string>{"ghost.png", "solid.png"}));
        }
    }
}

TEST(StartBuild, RecordsSizesTrimRectsAndFileIndices) {
    BuildFixture b;
    b.settings.cropMode = 1;
    writeSprite(b.input.file("b.png"), 40, 20, {3, 2, 34, 17});
    writeOpaqueSprite(b.input.file("a.png"), 5, 6);
    // No alpha: never trimmed, whatever the pixels.
    writeOpaqueSprite(b.input.file("C.jpg"), 9, 7);
    startBuild(b.job);
    ASSERT_EQ(b.run.currentStep, 0);
    EXPECT_EQ(b.listedNames(), (std::vector<std::string>{"a.png", "b.png", "C.jpg"}));
    EXPECT_EQ(b.run.originalSizes, (std::vector<Size>{{5, 6}, {40, 20}, {9, 7}}));
    EXPECT_EQ(b.run.cropRects, (std::vector<Rect>{{0, 0, 4, 5}, {3, 2, 34, 17}, {0, 0, 8, 6}}));
    EXPECT_EQ(b.run.trimOffsets, (std::vector<Point>{{0, 0}, {3, 2}, {0, 0}}));
    for (int i = 0; i < b.window.fileList().count(); ++i) {
        EXPECT_EQ(b.window.fileList().value(i), i);
    }
    EXPECT_EQ(b.run.textFileType, 0);
}

TEST(StartBuild, CropAllToSameDimensionUsesTheUnion) {
    BuildFixture b;
    b.settings.cropMode = 2;
    writeSprite(b.input.file("a.png"), 32, 32, {4, 10, 9, 20});
    writeSprite(b.input.file("b.png"), 32, 32, {2, 12, 6, 25});
    startBuild(b.job);
    ASSERT_EQ(b.run.currentStep, 0);
    EXPECT_EQ(b.run.cropRects, (std::vector<Rect>{{2, 10, 9, 25}, {2, 10, 9, 25}}));
    EXPECT_EQ(b.run.trimOffsets, (std::vector<Point>{{2, 10}, {2, 10}}));
}

TEST(StartBuild, CropAllToSameDimensionWithOneFileKeepsItsOwnRect) {
    BuildFixture b;
    b.settings.cropMode = 2;
    writeSprite(b.input.file("a.png"), 32, 16, {4, 10, 9, 12});
    startBuild(b.job);
    ASSERT_EQ(b.run.currentStep, 0);
    EXPECT_EQ(b.run.cropRects, (std::vector<Rect>{{4, 10, 9, 12}}));
}

TEST(StartBuild, SizeOrderPutsLargestFirstAndKeepsFolderOrderForEqualAreas) {
    BuildFixture b;
    b.settings.sortOrder = 1;
    // Folder order: a (0), M (1), z (2); a and z have equal areas.
    writeOpaqueSprite(b.input.file("z.png"), 10, 20);
    writeOpaqueSprite(b.input.file("a.png"), 20, 10);
    writeOpaqueSprite(b.input.file("M.png"), 30, 30);
    startBuild(b.job);
    ASSERT_EQ(b.run.currentStep, 0);
    EXPECT_EQ(b.run.processOrder, (std::vector<std::int32_t>{1, 0, 2}));
    EXPECT_TRUE(b.run.sizeSortList.empty());
}

TEST(StartBuild, GoDuringABuildStartsOverAndARefusalLeavesNoBuild) {
    BuildFixture b;
    writeOpaqueSprite(b.input.file("a.png"), 4, 4);
    writeOpaqueSprite(b.input.file("b.png"), 4, 4);
    startBuild(b.job);
    EXPECT_EQ(onTimerTick(b.job, kBuildTimerId), BuildOutcome::stepDone);
    ASSERT_EQ(b.run.placedNames.size(), 1u);
    EXPECT_EQ(startBuild(b.job), BuildOutcome::armed);
    EXPECT_EQ(b.run.currentStep, 0);
    EXPECT_TRUE(b.run.placedNames.empty());
    EXPECT_EQ(b.run.occupancy.size(), 0u);
    EXPECT_EQ(b.window.fileList().count(), 2);

    b.settings.cropMode = 9;
    EXPECT_EQ(startBuild(b.job), BuildOutcome::refused);
    expectIdle(b);
    EXPECT_EQ(b.window.fileList().count(), 0);
}

}  // namespace
}  // namespace tilvane
