#include <functional>
#include <memory>

#include "job/file_scan.h"
#include "job/pages.h"
#include "tests/job/build_fixture.h"
#include "tests/support/special_files.h"

namespace tilvane::testing {
namespace {

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
// step releases what it drew. A file that is no longer the one the scan
// measured fails in both rather than being drawn with the scan's size and trim
// (one removed after "GO!" is OnTimerTick's).
// (That kept pixels draw every frame as its source, in each crop mode, is
// tilvane-pack's property test's, whose folders fit the default budget.)
// A sized build draws where its plan placed each file only while the files
// placed are the plan's: after one that fails, the rest lie where first-fit
// places what is left.
TEST(KeptPixels, BuildMatchesOneThatDecodesAgain) {
    struct Case {
        const char* name;
        std::int32_t cropMode = kCropEach;
        std::function<void(BuildFixture&)> change = nullptr;
        std::string failure = {};    // one the change causes
        const char* fifo = nullptr;  // a file replaced by a FIFO after GO
        std::size_t budget = kDefaultKeptPixelBudget;
        int kept = -1;     // how many files the scan keeps; -1: not counted
        double scale = 1;  // a scaled file decoded again is resampled again
        bool fit = false;
        bool pages = false;
    };
    const auto changed = [](const char* name) {
        return std::string(name) + "          (changed since it was listed)";
    };
    const std::vector<Case> cases = {
        {"a file rewritten with other pixels", kCropEach,
         [](BuildFixture& b) {
             writeSprite(b.input.file("c.png"), 12, 10, Rect{1, 4, 11, 4});
         },
         changed("c.png")},
        {"a file rewritten in place at another size", kCropNone,
         [](BuildFixture& b) {
             writeSprite(b.output.file("wide.png"), 20, 10);
             writeFile(b.input.file("a.png"), readFile(b.output.file("wide.png")));
         },
         changed("a.png")},
        {"a file replaced by a FIFO", kCropEach, nullptr, changed("c.png"), "c.png"},
        {.name = "a file rewritten, sized",
         .change = [](BuildFixture& b) { writeSprite(b.input.file("a.png"), 12, 10); },
         .failure = changed("a.png"),
         .fit = true},
        {.name = "a file replaced by a FIFO, sized on pages",
         .cropMode = kCropNone,
         .failure = changed("c.png"),
         .fifo = "c.png",
         .fit = true,
         .pages = true},
        {.name = "budget one byte short of a", .budget = 255, .kept = 2},
        {.name = "budget one byte short of all", .budget = 463, .kept = 2},
        {.name = "budget for all", .budget = 464, .kept = 3},
        {.name = "scaled down, trimmed", .scale = 0.5},
        {.name = "scaled up, whole", .cropMode = kCropNone, .scale = 1.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::unique_ptr<BuildFixture>> builds;
        for (const std::size_t budget : {c.budget, std::size_t{0}}) {
            auto& b = *builds.emplace_back(std::make_unique<BuildFixture>());
            writeFolder(b.input.folder());
            b.settings.cropMode = c.cropMode;
            b.jobSpec.keptPixelBudget = budget;
            b.jobSpec.extras.scale = c.scale;
            if (c.fit) b.jobSpec.sizing.fit = FitShape::any;
            if (c.pages) {
                b.jobSpec.sizing.pages = true;
                b.settings.outputWidth = b.settings.outputHeight = 32;
            }
            ASSERT_EQ(b.start(), BuildOutcome::armed);
            const auto& held = b.run.keptPixels;
            if (c.kept >= 0 && budget == c.budget) {
                EXPECT_EQ(std::count_if(held.begin(), held.end(),
                                        [](const KeptPixels& k) { return k.pixels != nullptr; }),
                          c.kept);
            }
            if (c.change) c.change(b);
            std::unique_ptr<FifoGuard> fifo;
            if (c.fifo) {
                std::filesystem::remove(b.input.file(c.fifo));
                fifo = std::make_unique<FifoGuard>(b.input.file(c.fifo));
                ASSERT_TRUE(fifo->made());
            }
            b.tickUntilIdle();
            EXPECT_EQ(b.run.currentStep, -1);
            EXPECT_TRUE(!fifo || !fifo->release());
            for (const KeptPixels& k : held) EXPECT_FALSE(k.pixels);
            if (!c.failure.empty()) {
                EXPECT_EQ(std::count(b.run.failures.begin(), b.run.failures.end(), c.failure), 1);
            }
            // The last page: first-fit of its placed files alone, at its size.
            std::vector<Size> sizes;
            for (const Rect& r : b.run.placedRects) sizes.push_back({r.width(), r.height()});
            std::vector<Rect> expected;
            const Size atlas = b.run.pages.empty()
                                   ? Size{static_cast<std::int32_t>(b.settings.outputWidth),
                                          static_cast<std::int32_t>(b.settings.outputHeight)}
                                   : b.run.pages.back().size;
            firstFitPlaced(sizes, layoutRulesOf(b.jobSpec), atlas.width, atlas.height, &expected);
            EXPECT_EQ(b.run.occupiedRects, expected);
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
}  // namespace tilvane::testing
