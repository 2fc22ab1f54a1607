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
#include "job/job.h"
#include "model/path_helpers.h"
#include "tests/support/recording_events.h"
#include "tests/support/temp_dir.h"

namespace tilvane::testing {

// An input folder, an output folder and a job over them, driven headless. The
// settings and the JobSpec's options are read when the job starts.
struct BuildFixture {
    TempDir input, output;
    JobSettings settings = defaultJobSettings();
    JobSpec jobSpec;
    RecordingEvents window{settings};
    JobRunner runner{window};
    BuildRun& run = runner.run();

    BuildFixture() {
        settings.inputFolder = input.folder();
        settings.outputImageFile = output.file("atlas.png");
        settings.outputTextFile = output.file("atlas.txt");
        settings.sortOrder = 0;
    }

    // "GO!" with the settings as they are now, trimmed as the dialog trims them.
    BuildOutcome start() {
        settings.outputImageFile = trimWhiteSpace(settings.outputImageFile);
        jobSpec.settings = settings;
        return runner.start(jobSpec);
    }
    BuildOutcome tick(int timerId = kBuildTimerId) { return runner.tick(timerId); }
    // start, then ticks while a job is armed; answers how it ended.
    BuildOutcome runBuild() {
        const BuildOutcome outcome = start();
        return outcome == BuildOutcome::armed ? tickUntilIdle() : outcome;
    }
    BuildOutcome tickUntilIdle() {
        BuildOutcome outcome = BuildOutcome::idle;
        for (int i = 0; run.currentStep != -1 && i < 100000; ++i) outcome = tick();
        return outcome;
    }

    // The names in the output folder, sorted, each followed by a blank.
    std::string outputFiles() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(output.path()))
            names.insert(e.path().filename().string());
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
    for (int y = v.top; y <= v.bottom; ++y)
        for (int x = v.left; x <= v.right; ++x) setPixel(*image, x, y, spritePixel(x, y));
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
