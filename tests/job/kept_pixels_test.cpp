#include <functional>
#include <memory>

#include "tests/job/build_fixture.h"

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
// runs one build under the budget (which keeps a, c, d: 256, 192 and 16 bytes
// trimmed, until the next would pass it) and one that keeps nothing, with the
// same change between "GO!" and the steps, and compares every output. Each
// step releases what it drew.
TEST(KeptPixels, BuildMatchesOneThatDecodesAgain) {
    struct Case {
        const char* name;
        std::int32_t cropMode;
        std::function<void(BuildFixture&)> change;
        std::size_t budget = kDefaultKeptPixelBudget;
        int kept = -1;  // how many files the scan keeps; -1: not counted
    };
    const std::vector<Case> cases = {
        {"trimmed", kCropEach, nullptr},
        {"whole images", kCropNone, nullptr},
        {"all cropped to one size", kCropToUnion, nullptr},
        {"a file rewritten with other pixels", kCropEach,
         [](BuildFixture& b) {
             writeSprite(b.input.file("c.png"), 12, 10, Rect{1, 4, 11, 4});
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
        {"no budget", kCropEach, nullptr, 0, 0},
        {"budget one byte short of a", kCropEach, nullptr, 255, 2},
        {"budget one byte short of all", kCropEach, nullptr, 463, 2},
        {"budget for all", kCropEach, nullptr, 464, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::unique_ptr<BuildFixture>> builds;
        for (const std::size_t budget : {c.budget, std::size_t{0}}) {
            auto& b = *builds.emplace_back(std::make_unique<BuildFixture>());
            writeFolder(b.input.folder());
            b.settings.cropMode = c.cropMode;
            b.spec.keptPixelBudget = budget;
            ASSERT_EQ(b.start(), BuildOutcome::armed);
            const auto& held = b.run.keptPixels;
            const auto keptCount = std::count_if(
                held.begin(), held.end(), [](const KeptPixels& k) { return k.pixels != nullptr; });
            if (c.kept >= 0 && budget == c.budget) {
                EXPECT_EQ(keptCount, c.kept);
            }
            if (c.change) c.change(b);
            b.tickUntilIdle();
            for (const KeptPixels& k : held) EXPECT_FALSE(k.pixels);
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

}  // namespace
}  // namespace tilvane
