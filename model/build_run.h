#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "image/geometry.h"
#include "image/pixel_image.h"
#include "image/placement.h"
#include "model/build_extras.h"

namespace tilvane {

// An output file that the build's completion could not write: which one, the
// path it was written to, and the cause (an errno value, for strerror).
struct OutputFailure {
    enum class Output { image, mask, text };
    Output output = Output::image;
    std::string path;
    int error = 0;
};

// The state of one build, reused by every build. Per-file lists are indexed by
// file index (the position among the listed files in folder-search order);
// the four placed lists always have equal lengths and grow in placement order.
struct BuildRun {
    // Index into processOrder of the next step; -1 while idle.
    std::int32_t currentStep = -1;
    ImagePtr outputImage;

    std::vector<Size> originalSizes;
    std::vector<Rect> cropRects;
    std::vector<Point> trimOffsets;
    std::vector<std::int32_t> processOrder;
    // Whether the random order gave up and processOrder is the alphabetical one.
    bool randomOrderFellBack = false;
    // (trimmed area, file index), only while preparation orders by size.
    std::vector<std::pair<std::int64_t, std::int32_t>> sizeSortList;

    std::vector<Rect> placedRects;
    std::vector<Rect> occupiedRects;
    // Mirrors occupiedRects for placement's search: appended and cleared with it.
    OccupancyIndex occupancy;
    std::vector<std::string> placedNames;
    std::vector<std::int32_t> placedFileIndices;

    std::vector<std::string> failures;
    std::int32_t textFileType = 0;

    // Set by the completion, in the order it wrote: the image, then the mask,
    // then the text file. The dialog shows only what the messages say;
    // tilvane-pack names each path and cause.
    std::vector<OutputFailure> outputFailures;
    // Skipped files, name collisions and aliases, for a front end that reports them.
    BuildNotes notes;
};

}  // namespace tilvane
