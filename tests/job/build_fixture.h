#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "image/image_file.h"
#include "image/pixel_image.h"
#include "job/build.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_dir.h"

namespace tilvane::testing {

// An input folder, an output folder and a build over them, driven headless.
struct BuildFixture {
    TempDir input;
    TempDir output;
    JobSettings settings = defaultJobSettings();
    BuildRun run;
    RecordingWindow window{settings, run};
    BuildJob job{settings, run, window};

    BuildFixture() {
        settings.inputFolder = input.folder();
        settings.outputImageFile = output.file("atlas.png");
        settings.outputTextFile = output.file("atlas.txt");
        settings.sortOrder = 0;
    }

    // startBuild, then ticks while a build is armed; answers how it ended.
    BuildOutcome runBuild() {
        const BuildOutcome outcome = startBuild(job);
        return outcome == BuildOutcome::armed ? tickUntilIdle() : outcome;
    }
    BuildOutcome tickUntilIdle() {
        BuildOutcome outcome = BuildOutcome::idle;
        for (int i = 0; run.currentStep != -1 && i < 100000; ++i) {
            outcome = onTimerTick(job, kBuildTimerId);
        }
        return outcome;
    }

    // The names in the output folder, sorted, each followed by a blank.
    std::string outputFiles() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(output.path())) {
            names.insert(e.path().filename().string());
        }
        std::string joined;
        for (const auto& name : names) joined += name + " ";
        return joined;
    }
};

// A sprite's pixel (x, y): its position in its colour.
inline std::uint32_t spritePixel(int x, int y) {
    return packPixel(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 200, 255);
}

// A w x h 32-bit image, transparent but for the opaque block `visible` (all
// of it when not given; none when its right is below its left) of
// spritePixel, so that a copy can be traced back to its source.
inline ImagePtr makeSprite(int w, int h, std::optional<Rect> visible = std::nullopt) {
    const Rect v = visible.value_or(Rect{0, 0, w - 1, h - 1});
    ImagePtr image = createPixelImage(w, h);
    if (!image) return image;
    for (int y = v.top; y <= v.bottom; ++y) {
        for (int x = v.left; x <= v.right; ++x) setPixel(*image, x, y, spritePixel(x, y));
    }
    return image;
}

// makeSprite written through the image library.
inline void writeSprite(const std::string& path, int w, int h,
                        std::optional<Rect> visible = std::nullopt) {
    const ImagePtr image = makeSprite(w, h, visible);
    ASSERT_TRUE(image) << path;
    ASSERT_EQ(SaveBitmapToFile(image.get(), path), 0) << path;
}

}  // namespace tilvane::testing
