#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "layout/geometry.h"
#include "model/build_run.h"
#include "model/job_settings.h"

namespace tilvane {

// What every writer emits for one placed image.
struct SourceRectEntry {
    // The image's file name; each writer turns it into the entry name.
    std::string name;
    // The inclusive rectangle the image covers in the output image.
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    // right - left + 1 and bottom - top + 1; 64 bits so that no rectangle,
    // however wild, overflows them.
    std::int64_t width = 0;
    std::int64_t height = 0;
    // Where the kept pixels start inside the source image; 0, 0 untrimmed.
    Point drawOffset;
    // The source image's size before trimming.
    Size originalSize;
    // The image was drawn a quarter turn from upright: the rectangle above is
    // the turned block, h x w for a w x h image.
    bool rotated = false;

    // The image's own size, upright.
    std::int64_t uprightWidth() const { return rotated ? height : width; }
    std::int64_t uprightHeight() const { return rotated ? width : height; }
};

// Which lists of the run a writer reads.
enum class EntryUse {
    // Names and rectangles only (plain text, CSS).
    rectsOnly,
    // Also trimOffsets and originalSizes through placedFileIndices (JSON, XML).
    withFileValues,
};

// One entry per rectangle of placedRects, in placement order, named by
// placedNames; with withFileValues the per-file values are looked up through
// placedFileIndices (rectsOnly leaves them 0); rotated as placedTurns says
// (false where it says nothing). Empty when the run's lists do
// not describe every entry: a name missing for some rectangle or, for
// withFileValues, a file index missing or outside either per-file list. A
// writer would otherwise have to read past a list or invent values.
std::optional<std::vector<SourceRectEntry>> sourceRectEntries(const BuildRun& run, EntryUse use);

// The UV rect style: left, top, right and bottom (inclusive) divided by the
// output size, in double precision.
struct UvRect {
    double u1 = 0;
    double v1 = 0;
    double u2 = 0;
    double v2 = 0;
};
UvRect uvRectOf(const SourceRectEntry& entry, std::uint32_t outputWidth,
                std::uint32_t outputHeight);

// False only when the rect style is kRectUv and the output width or height is
// 0: the values would be infinite or not numbers, which no format can carry.
bool rectStyleIsWritable(const JobSettings& settings);

// The largest tabSize whose indentation is built.
inline constexpr std::uint32_t kMaxTabSize = 65536;

// One level of indentation: a tab, or tabSize spaces when convertTabs is set
// (empty for 0). Empty optional when tabSize is above kMaxTabSize.
std::optional<std::string> indentUnit(std::int32_t convertTabs, std::uint32_t tabSize);

}  // namespace tilvane
