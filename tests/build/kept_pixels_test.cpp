#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "tests/build/build_fixture.h"

namespace tilvane {
namespace {

using testing::BuildFixture;
using testing::readFile;
using testing::writeFile;
using testing::writeSprite;

// Three 12 x 10 sprites, a file that is no image and a transparent one.
void writeFolder(const std::string& folder) {
    writeSprite(folder + "a.png", 12, 10, Rect{2, 1, 9, 8});
    writeFile(folder + "b.png", "not a PNG at all");
    writeSprite(folder + "c.png", 12, 10, Rect{0, 3, 11, 6});
    writeSprite(folder + "d.png", 12, 10, Rect{4, 4, 5, 5});
    writeSprite(folder + "e.png", 12, 10, Rect{0, 0, -1, -1});
}

// A build draws the same with or without the pixels its scan kept: each row
// runs one build that keeps everything and one that keeps nothing, with the
// same change between "GO!" and the steps, and compares every output.
TEST(KeptPixels, BuildMatchesOneThatDecodesAgain) {
    struct Case {
        const char* name;
        std::int32_t cropMode;
        std::function<void(BuildFixture&)> change;
    };
    const std::vector<Case> cases = {
        {"trimmed", kCropEach, nullptr},
        {"whole images", kCropNone, nullptr},
        {"all cropped to one size", kCropToUnion, nullptr},
        {"a file rewritten with other pixels", kCropEach,
         [](BuildFixture& b) {
             ImagePtr image = createPixelImage(12, 10);
             for (int x = 0; x < 12; ++x) setPixel(*image, x, 4, packPixel(9, 8, 7, 255));
             ASSERT_EQ(SaveBitmapToFile(image.get(), b.input.file("c.png")), 0);
         }},
        {"a file removed", kCropEach,
         [](BuildFixture& b) { std::filesystem::remove(b.input.file("a.png")); }},
        {"trimming turned off", kCropEach, [](BuildFixture& b) { b.settings.cropMode = 0; }},
        {"another input folder", kCropEach,
         [](BuildFixture& b) {
             std::filesystem::create_directory(b.output.file("other"));
             writeSprite(b.output.file("other/a.png"), 12, 10, Rect{0, 0, 11, 9});
             b.settings.inputFolder = b.output.file("other") + "/";
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::unique_ptr<BuildFixture>> builds;
        for (const std::size_t budget : {kDefaultKeptPixelBudget, std::size_t{0}}) {
            auto& b = *builds.emplace_back(std::make_unique<BuildFixture>());
            writeFolder(b.input.folder());
            b.settings.cropMode = c.cropMode;
            b.job.keptPixelBudget = budget;
            ASSERT_EQ(startBuild(b.job), BuildOutcome::armed);
            if (c.change) c.change(b);
            b.tickUntilIdle();
        }
        const BuildFixture& kept = *builds[0];
        const BuildFixture& decoded = *builds[1];
        EXPECT_EQ(kept.run.failures, decoded.run.failures);
        EXPECT_EQ(kept.run.placedRects, decoded.run.placedRects);
        EXPECT_EQ(kept.window.shownStatuses, decoded.window.shownStatuses);
        EXPECT_EQ(readFile(kept.settings.outputImageFile),
                  readFile(decoded.settings.outputImageFile));
        EXPECT_EQ(readFile(kept.settings.outputTextFile),
                  readFile(decoded.settings.outputTextFile));
    }
}

// The scan keeps trimmed pixels until the next one would pass the budget, and
// each step releases what it drew.
TEST(KeptPixels, BudgetBoundsTheScanAndStepsReleaseWhatTheyDraw) {
    const std::size_t block = 8 * 8 * 4;  // one trimmed sprite
    const std::vector<std::pair<std::size_t, std::size_t>> budgetsAndKept = {
        {0, 0}, {block - 1, 0}, {block, 1}, {2 * block + block / 2, 2}, {3 * block, 3}};
    for (const auto& [budget, expected] : budgetsAndKept) {
        SCOPED_TRACE(budget);
        BuildFixture b;
        for (const char* name : {"a.png", "b.png", "c.png"}) {
            writeSprite(b.input.file(name), 12, 10, Rect{2, 1, 9, 8});
        }
        b.settings.cropMode = kCropEach;
        b.job.keptPixelBudget = budget;
        ASSERT_EQ(startBuild(b.job), BuildOutcome::armed);
        std::size_t kept = 0;
        for (const KeptPixels& k : b.run.keptPixels) {
            if (!k.pixels) continue;
            ++kept;
            EXPECT_EQ(k.area, (Rect{2, 1, 9, 8}));
        }
        EXPECT_EQ(kept, expected);
        EXPECT_EQ(b.tickUntilIdle(), BuildOutcome::saved);
        for (const KeptPixels& k : b.run.keptPixels) EXPECT_FALSE(k.pixels);
    }
}

}  // namespace
}  // namespace tilvane
