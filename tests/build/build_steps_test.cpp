#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <limits>

#include "build/footprint.h"
#include "image/image_file.h"
#include "tests/build/build_fixture.h"

namespace tilvane {
namespace {

using testing::BuildFixture;
using testing::writeOpaqueSprite;
using testing::writeSprite;

TEST(FootprintSide, AddsSpacingUnlessOnlyTheImageFits) {
    struct Case {
        const char* name;
        std::int32_t side;
        std::uint32_t spacing;
        std::int32_t atlas;
        std::int32_t expected;
    };
    const std::vector<Case> cases = {
        {"fits with spacing", 20, 1, 512, 21},
        {"exactly fills with spacing", 511, 1, 512, 512},
        {"fits only alone", 512, 1, 512, 512},
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

struct PlacedCase {
    const char* name;
    int w;
    int h;
    Rect visible;
    std::int32_t cropMode;
    std::vector<Rect> placed;
    std::vector<Rect> occupied;
    std::vector<std::string> failures;
};

TEST(BuildStep, FootprintExamples) {
    const std::vector<PlacedCase> cases = {
        {"image fills the atlas",
         512,
         512,
         {0, 0, 511, 511},
         0,
         {{0, 0, 511, 511}},
         {{0, 0, 511, 511}},
         {}},
        {"spacing fills the atlas",
         511,
         511,
         {0, 0, 510, 510},
         0,
         {{0, 0, 510, 510}},
         {{0, 0, 511, 511}},
         {}},
        {"wider than the atlas",
         513,
         4,
         {0, 0, 512, 3},
         0,
         {},
         {},
         {"a.png          (no space left on output image)"}},
        {"trimmed", 64, 64, {10, 20, 29, 49}, 1, {{0, 0, 19, 29}}, {{0, 0, 20, 30}}, {}},
    };
    for (const PlacedCase& c : cases) {
        SCOPED_TRACE(c.name);
        BuildFixture b;
        b.settings.borderSize = 0;
        b.settings.spacing = 1;
        b.settings.cropMode = c.cropMode;
        b.settings.createMask = 0;
        writeSprite(b.input.file("a.png"), c.w, c.h, c.visible);
        b.runBuild();
        EXPECT_EQ(b.run.placedRects, c.placed);
        EXPECT_EQ(b.run.occupiedRects, c.occupied);
        EXPECT_EQ(b.run.failures, c.failures);
        EXPECT_EQ(b.run.placedNames.size(), c.placed.size());
        EXPECT_EQ(b.run.placedFileIndices.size(), c.placed.size());
    }
}

// The trimmed block is what lands at the position: its first pixel is the
// source's (10, 20), and the spacing column beside it stays empty.
TEST(BuildStep, DrawsTheTrimmedBlock) {
    BuildFixture b;
    b.settings.borderSize = 2;
    b.settings.cropMode = 1;
    b.settings.createMask = 0;
    writeSprite(b.input.file("a.png"), 64, 64, {10, 20, 29, 49});
    b.runBuild();
    ASSERT_EQ(b.run.placedRects, (std::vector<Rect>{{2, 2, 21, 31}}));
    ImagePtr atlas = CreateBitmapFromFile(b.settings.outputImageFile);
    ASSERT_TRUE(atlas);
    EXPECT_EQ(getPixel(*atlas, 2, 2), packPixel(10, 20, 200, 255));
    EXPECT_EQ(getPixel(*atlas, 21, 31), packPixel(29, 49, 200, 255));
    EXPECT_EQ(getPixel(*atlas, 22, 2), 0u);
    EXPECT_EQ(getPixel(*atlas, 1, 1), 0u);
}

TEST(BuildStep, PlacesInProcessOrderWithoutOverlap) {
    BuildFixture b;
    b.settings.sortOrder = 1;
    b.settings.outputWidth = 64;
    b.settings.outputHeight = 64;
    writeOpaqueSprite(b.input.file("a.png"), 10, 10);
    writeOpaqueSprite(b.input.file("b.png"), 30, 20);
    writeOpaqueSprite(b.input.file("c.png"), 20, 20);
    b.runBuild();
    EXPECT_EQ(b.run.placedNames, (std::vector<std::string>{"b.png", "c.png", "a.png"}));
    EXPECT_EQ(b.run.placedFileIndices, (std::vector<std::int32_t>{1, 2, 0}));
    ASSERT_EQ(b.run.occupiedRects.size(), 3u);
    EXPECT_EQ(b.run.occupancy.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        for (std::size_t j = i + 1; j < 3; ++j) {
            const Rect& p = b.run.occupiedRects[i];
            const Rect& q = b.run.occupiedRects[j];
            EXPECT_TRUE(p.right < q.left || q.right < p.left || p.bottom < q.top ||
                        q.bottom < p.top);
        }
    }
}

TEST(BuildStep, FileDeletedAfterGoFailsAndLaterFilesKeepTheirIndices) {
    BuildFixture b;
    writeOpaqueSprite(b.input.file("a.png"), 4, 4);
    writeOpaqueSprite(b.input.file("b.png"), 4, 4);
    writeOpaqueSprite(b.input.file("c.png"), 4, 4);
    startBuild(b.job);
    ASSERT_EQ(b.run.currentStep, 0);
    std::filesystem::remove(b.input.file("b.png"));
    std::vector<BuildOutcome> outcomes;
    for (int i = 0; i < 3; ++i) outcomes.push_back(onTimerTick(b.job, kBuildTimerId));
    EXPECT_EQ(outcomes, (std::vector<BuildOutcome>{BuildOutcome::stepDone, BuildOutcome::stepDone,
                                                   BuildOutcome::savedWithFailures}));
    EXPECT_EQ(b.run.currentStep, -1);
    EXPECT_EQ(b.run.failures, std::vector<std::string>{"b.png          (failed to load)"});
    EXPECT_EQ(b.run.placedNames, (std::vector<std::string>{"a.png", "c.png"}));
    EXPECT_EQ(b.run.placedFileIndices, (std::vector<std::int32_t>{0, 2}));
}

TEST(BuildStep, StatusNamesTheFileBeingAdded) {
    BuildFixture b;
    writeOpaqueSprite(b.input.file("hero.png"), 4, 4);
    startBuild(b.job);
    EXPECT_EQ(b.window.statusText(), "Searching for files...");
    b.window.shownStatuses.clear();
    onTimerTick(b.job, kBuildTimerId);
    ASSERT_FALSE(b.window.shownStatuses.empty());
    EXPECT_EQ(b.window.shownStatuses[0], "Adding: hero.png");
}

TEST(OnTimerTick, DoesNothingForOtherTimersOrWhenIdle) {
    BuildFixture b;
    writeOpaqueSprite(b.input.file("a.png"), 4, 4);
    writeOpaqueSprite(b.input.file("b.png"), 4, 4);
    EXPECT_EQ(onTimerTick(b.job, kBuildTimerId), BuildOutcome::idle);
    EXPECT_EQ(b.run.currentStep, -1);
    EXPECT_TRUE(b.window.shownStatuses.empty());

    startBuild(b.job);
    EXPECT_EQ(onTimerTick(b.job, kBuildTimerId + 1), BuildOutcome::idle);
    EXPECT_EQ(b.run.currentStep, 0);
    EXPECT_TRUE(b.run.placedNames.empty());
}

// A modal loop inside a step delivers ticks; they must find the guard set.
TEST(OnTimerTick, TickDuringAStepChangesNothing) {
    BuildFixture b;
    writeOpaqueSprite(b.input.file("a.png"), 4, 4);
    writeOpaqueSprite(b.input.file("b.png"), 4, 4);
    startBuild(b.job);
    int nestedTicks = 0;
    b.window.onRefresh = [&] {
        EXPECT_TRUE(stepGuardActive());
        const std::int32_t step = b.run.currentStep;
        const std::size_t placed = b.run.placedNames.size();
        EXPECT_EQ(onTimerTick(b.job, kBuildTimerId), BuildOutcome::idle);
        EXPECT_EQ(b.run.currentStep, step);
        EXPECT_EQ(b.run.placedNames.size(), placed);
        ++nestedTicks;
    };
    onTimerTick(b.job, kBuildTimerId);
    b.window.onRefresh = nullptr;
    EXPECT_GT(nestedTicks, 0);
    EXPECT_FALSE(stepGuardActive());
    EXPECT_EQ(b.run.currentStep, 1);
    EXPECT_EQ(b.run.placedNames.size(), 1u);
}

// Emptying the file list during a build (Load Settings) leaves it armed but
// inert.
TEST(BuildStep, EmptiedFileListMakesStepsDoNothing) {
    BuildFixture b;
    writeOpaqueSprite(b.input.file("a.png"), 4, 4);
    startBuild(b.job);
    b.window.fileList().reset();
    EXPECT_EQ(onTimerTick(b.job, kBuildTimerId), BuildOutcome::idle);
    EXPECT_EQ(b.run.currentStep, 0);
    EXPECT_TRUE(b.run.placedNames.empty());
    EXPECT_TRUE(b.outputFiles().empty());
}

// processOrder or a file index that no longer matches the lists must never be
// read past; the build still ends.
TEST(BuildStep, InconsistentRunNeverReadsOutsideItsLists) {
    struct Case {
        const char* name;
        std::function<void(BuildRun&)> damage;
    };
    const std::vector<Case> cases = {
        {"processOrder shorter", [](BuildRun& run) { run.processOrder.resize(1); }},
        {"processOrder empty", [](BuildRun& run) { run.processOrder.clear(); }},
        {"per-file lists shorter",
         [](BuildRun& run) {
             run.cropRects.resize(1);
             run.trimOffsets.resize(1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildFixture b;
        b.settings.createMask = 0;
        writeOpaqueSprite(b.input.file("a.png"), 4, 4);
        writeOpaqueSprite(b.input.file("b.png"), 4, 4);
        startBuild(b.job);
        ASSERT_EQ(b.run.currentStep, 0);
        c.damage(b.run);
        for (int i = 0; i < 3; ++i) onTimerTick(b.job, kBuildTimerId);
        EXPECT_EQ(b.run.currentStep, -1);
        EXPECT_LE(b.run.placedNames.size(), 1u);
    }
}

}  // namespace
}  // namespace tilvane
