#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "build/output_paths.h"
#include "image/mask.h"
#include "tests/build/build_fixture.h"

namespace tilvane {
namespace {

using testing::BuildFixture;
using testing::folderSnapshot;
using testing::writeOpaqueSprite;

namespace fs = std::filesystem;

// Every spelling of the input folder is the input folder; a folder whose name
// differs only in case is another folder where the file system says so.
TEST(StartBuild, ImageInTheInputFolderIsRefusedHoweverSpelt) {
    struct Case {
        const char* name;
        // Sets the paths; returns the image's path.
        std::function<std::string(BuildFixture&)> image;
        bool refused;
    };
    const std::vector<Case> cases = {
        {"same text", [](BuildFixture& b) { return b.input.folder() + "atlas.png"; }, true},
        {"dot", [](BuildFixture& b) { return b.input.folder() + "./atlas.png"; }, true},
        {"doubled separator",
         [](BuildFixture& b) { return b.input.path().string() + "//atlas.png"; }, true},
        {"dot dot",
         [](BuildFixture& b) {
             return b.input.folder() + "../" + b.input.path().filename().string() + "/atlas.png";
         },
         true},
        {"link to the folder",
         [](BuildFixture& b) {
             fs::create_directory_symlink(b.input.path(), b.output.path() / "sprites");
             return b.output.file("sprites/atlas.png");
         },
         true},
        {"input folder named through a link",
         [](BuildFixture& b) {
             fs::create_directory_symlink(b.input.path(), b.output.path() / "sprites");
             b.settings.inputFolder = b.output.file("sprites") + "/";
             return b.input.file("atlas.png");
         },
         true},
        {"IN7 next to in7",
         [](BuildFixture& b) {
             fs::create_directory(b.output.path() / "in7");
             fs::create_directory(b.output.path() / "IN7");
             writeOpaqueSprite(b.output.file("in7/a.png"), 4, 4);
             b.settings.inputFolder = b.output.file("in7") + "/";
             return b.output.file("IN7/atlas.png");
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildFixture b;
        writeOpaqueSprite(b.input.file("a.png"), 4, 4);
        b.settings.outputImageFile = c.image(b);
        const BuildOutcome outcome = startBuild(b.job);
        if (c.refused) {
            EXPECT_EQ(outcome, BuildOutcome::refused);
            EXPECT_EQ(b.run.currentStep, -1);
            EXPECT_EQ(b.window.messages,
                      std::vector<std::string>{std::string(kImageInInputFolder)});
        } else {
            EXPECT_EQ(outcome, BuildOutcome::armed);
            EXPECT_EQ(b.run.currentStep, 0);
            EXPECT_TRUE(b.window.messages.empty());
        }
    }
}

// The outputs are distinct files and none is an image the build reads; a
// refusal comes before any work and names both paths.
TEST(StartBuild, OutputsNeverReplaceEachOtherOrAnInput) {
    struct Case {
        const char* name;
        // Sets the paths; returns the expected message, empty when allowed.
        std::function<std::string(BuildFixture&)> setUp;
    };
    const std::vector<Case> cases = {
        {"text is the image, spelt otherwise",
         [](BuildFixture& b) {
             b.settings.outputTextFile = b.output.path().string() + "//atlas.png";
             return "The Output Text File\n" + b.settings.outputTextFile +
                    "\nmust not be the same file as the Output Image File\n" +
                    b.settings.outputImageFile;
         }},
        {"text is the mask",
         [](BuildFixture& b) {
             b.settings.outputTextFile = maskPathFor(b.settings.outputImageFile);
             return "The Output Text File\n" + b.settings.outputTextFile +
                    "\nmust not be the same file as the mask image\n" + b.settings.outputTextFile;
         }},
        {"text is the mask, no mask asked for",
         [](BuildFixture& b) {
             b.settings.createMask = 0;
             b.settings.outputTextFile = maskPathFor(b.settings.outputImageFile);
             return std::string();
         }},
        {"text is an input image",
         [](BuildFixture& b) {
             b.settings.outputTextFile = b.input.file("a.png");
             return "The Output Text File\n" + b.input.file("a.png") +
                    "\nmust not be an image of the Input Folder\n" + b.input.file("a.png");
         }},
        {"text would become an input image",
         [](BuildFixture& b) {
             b.settings.outputTextFile = b.input.file("rects.PNG");
             return "The Output Text File\n" + b.input.file("rects.PNG") +
                    "\nmust not be an image of the Input Folder\n" + b.input.file("rects.PNG");
         }},
        {"image is a hard link of an input",
         [](BuildFixture& b) {
             fs::create_hard_link(b.input.file("a.png"), b.settings.outputImageFile);
             return "The Output Image File\n" + b.settings.outputImageFile +
                    "\nmust not be an image of the Input Folder\n" + b.input.file("a.png");
         }},
        {"text links to an input",
         [](BuildFixture& b) {
             fs::create_symlink(b.input.file("a.png"), b.output.file("rects.txt"));
             b.settings.outputTextFile = b.output.file("rects.txt");
             return "The Output Text File\n" + b.output.file("rects.txt") +
                    "\nmust not be an image of the Input Folder\n" + b.input.file("a.png");
         }},
        {"text is a hard link of the last atlas",
         [](BuildFixture& b) {
             writeOpaqueSprite(b.settings.outputImageFile, 2, 2);
             fs::create_hard_link(b.settings.outputImageFile, b.output.file("rects.txt"));
             b.settings.outputTextFile = b.output.file("rects.txt");
             return "The Output Text File\n" + b.output.file("rects.txt") +
                    "\nmust not be the same file as the Output Image File\n" +
                    b.settings.outputImageFile;
         }},
        {"text links to the image not yet written",
         [](BuildFixture& b) {
             fs::create_symlink("atlas.png", b.output.file("rects.txt"));
             b.settings.outputTextFile = b.output.file("rects.txt");
             return "The Output Text File\n" + b.output.file("rects.txt") +
                    "\nmust not be the same file as the Output Image File\n" +
                    b.settings.outputImageFile;
         }},
        {"image is a folder",
         [](BuildFixture& b) {
             fs::create_directory(b.settings.outputImageFile);
             return "The Output Image File\n" + b.settings.outputImageFile + "\nis a folder.";
         }},
        {"mask is a folder",
         [](BuildFixture& b) {
             fs::create_directory(maskPathFor(b.settings.outputImageFile));
             return "The mask image\n" + maskPathFor(b.settings.outputImageFile) + "\nis a folder.";
         }},
        {"text is a folder",
         [](BuildFixture& b) {
             fs::create_directory(b.settings.outputTextFile);
             return "The Output Text File\n" + b.settings.outputTextFile + "\nis a folder.";
         }},
        {"text beside the sprites",
         [](BuildFixture& b) {
             b.settings.outputTextFile = b.input.file("atlas.txt");
             return std::string();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildFixture b;
        writeOpaqueSprite(b.input.file("a.png"), 4, 4);
        const std::string message = c.setUp(b);
        const auto inputBefore = folderSnapshot(b.input.path());
        const auto outputBefore = folderSnapshot(b.output.path());
        const BuildOutcome outcome = b.runBuild();
        if (!message.empty()) {
            EXPECT_EQ(outcome, BuildOutcome::refused);
            EXPECT_EQ(b.window.messages, std::vector<std::string>{message});
            EXPECT_EQ(folderSnapshot(b.input.path()), inputBefore);
            EXPECT_EQ(folderSnapshot(b.output.path()), outputBefore);
            continue;
        }
        // Allowed, and again on the next run over what the first one wrote.
        EXPECT_EQ(outcome, BuildOutcome::saved);
        for (int run = 0; run < 2; ++run) {
            if (run > 0) {
                b.window.dones.clear();
                b.runBuild();
            }
            EXPECT_TRUE(b.window.messages.empty());
            EXPECT_EQ(b.window.dones.size(), 1u);
            EXPECT_EQ(b.listedNames(), std::vector<std::string>{"a.png"});
        }
    }
}

// A device is written straight through and replaces nothing: several outputs
// may share one.
TEST(FindOutputConflict, OutputsMayShareADevice) {
    BuildFixture b;
    b.settings.outputTextFile = "/dev/null";
    EXPECT_EQ(findOutputConflict(b.settings, "/dev/null"), std::nullopt);
    b.settings.outputImageFile = b.settings.outputTextFile = "/dev/null.png";
    EXPECT_NE(findOutputConflict(b.settings), std::nullopt);
}

}  // namespace
}  // namespace tilvane
