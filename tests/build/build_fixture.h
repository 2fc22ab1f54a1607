#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "build/build.h"
#include "image/image_file.h"
#include "image/pixel_image.h"
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

    std::vector<std::string> listedNames() {
        std::vector<std::string> names;
        for (const auto& entry : window.fileList().entries()) names.push_back(entry.name);
        return names;
    }

    // startBuild, then ticks until the build is idle again; answers how the
    // build ended.
    BuildOutcome runBuild() {
        const BuildOutcome outcome = startBuild(job);
        return outcome == BuildOutcome::armed ? tickUntilIdle() : outcome;
    }
    BuildOutcome tickUntilIdle() {
        BuildOutcome outcome = BuildOutcome::idle;
        for (int ticks = 0; run.currentStep != -1 && ticks < 100000; ++ticks) {
            outcome = onTimerTick(job, kBuildTimerId);
        }
        return outcome;
    }

    std::vector<std::string> outputFiles() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(output.path())) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

// A w x h 32-bit image, transparent but for the opaque block `visible` (none
// when its right is below its left), whose pixel (x, y) encodes its position
// so that a copy can be traced back to its source.
inline ImagePtr makeSprite(int w, int h, Rect visible) {
    ImagePtr image = createPixelImage(w, h);
    if (!image) return image;
    for (int y = visible.top; y <= visible.bottom; ++y) {
        for (int x = visible.left; x <= visible.right; ++x) {
            setPixel(
                *image, x, y,
                packPixel(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 200, 255));
        }
    }
    return image;
}

// Writes a sprite through the image library; fails the test when it cannot.
inline void writeSprite(const std::string& path, int w, int h, Rect visible) {
    ImagePtr image = makeSprite(w, h, visible);
    ASSERT_TRUE(image) << path;
    ASSERT_EQ(SaveBitmapToFile(image.get(), path), 0) << path;
}

inline void writeOpaqueSprite(const std::string& path, int w, int h) {
    writeSprite(path, w, h, {0, 0, w - 1, h - 1});
}

}  // namespace tilvane::testing
