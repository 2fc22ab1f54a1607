#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "image/pixel_image.h"
#include "image/staged_outputs.h"
#include "layout/geometry.h"
#include "layout/maxrects.h"
#include "layout/placement.h"
#include "model/build_extras.h"
#include "model/file_list.h"

namespace tilvane {

// Which file a path named, and in what state, when it was decoded: device and
// inode, size, and the times of the last write and the last change (nanoseconds).
// The change time moves on every write or rename and cannot be set back, so
// equal stamps are taken to mean the path still holds the bytes that were read.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// What the scan read of one listed file: its `path` and the `stamp` of the
// bytes it decoded (taken on the open file before reading), for every listed
// file, and the pixels it kept so that a step can draw them without decoding
// the file again: the 32-bit copy of `area` (inclusive, in the source image's
// coordinates). A step uses the pixels only while the file still has that path
// and stamp and its source rectangle lies inside `area`; otherwise it decodes
// the file again, and only while the stamp still matches: the size and trim
// found by the scan belong to those bytes alone. pixels is null when nothing is
// kept (or no longer: a step releases them once drawn).
struct KeptPixels {
    ImagePtr pixels;
    Rect area;
    std::string path;
    FileStamp stamp;
};

// The state of one build, reused by every build. Per-file lists are indexed by
// file index (the position among the listed files in folder-search order);
// the five placed lists always have equal lengths and grow in placement order.
struct BuildRun {
    // Index into processOrder of the next step; -1 while idle.
    std::int32_t currentStep = -1;
    ImagePtr outputImage;

    std::vector<Size> originalSizes;
    std::vector<Rect> cropRects;
    std::vector<Point> trimOffsets;
    // Per file, like the three lists above: what the scan read and kept of it.
    std::vector<KeptPixels> keptPixels;
    std::vector<std::int32_t> processOrder;
    // Whether the random order gave up and processOrder is the alphabetical one.
    bool randomOrderFellBack = false;
    // (trimmed area, file index), only while preparation orders by size.
    std::vector<std::pair<std::int64_t, std::int32_t>> sizeSortList;

    std::vector<Rect> placedRects;
    std::vector<Rect> occupiedRects;
    // Mirrors occupiedRects for placement's search: appended and cleared with
    // it. A page with a planned layout (the maxRects packer's, or a kept
    // layout's) holds every planned place from the start, so that an image
    // placed first-fit never takes a later one's.
    OccupancyIndex occupancy;
    std::vector<std::string> placedNames;
    std::vector<std::int32_t> placedFileIndices;
    // Per placed image, 1 when it was drawn a quarter turn from upright (its
    // placedRects entry is then the turned block), else 0.
    std::vector<std::uint8_t> placedTurns;
    // The steps' time in placement's search and index, in seconds, over every
    // page: measured as the steps run, for --timings.
    double placingSeconds = 0;
    // The area of the current page's occupied rectangles (aliases share theirs).
    std::int64_t footprintArea = 0;

    std::vector<std::string> failures;
    // The same failures as (name, reason), for a front end that words its own.
    std::vector<std::pair<std::string, std::string>> failedFiles;
    std::int32_t textFileType = 0;

    // Set by the completion, in the order it wrote: the image, then the mask,
    // then the text file. The dialog shows only what the messages say;
    // tilvane-pack names each path and cause.
    std::vector<OutputFailure> outputFailures;
    // The job's outputs, staged page by page until the last is complete, and
    // the save options asked for once for every page.
    StagedOutputs staged;
    SaveOptions saveOptions;

    // The files the build lists, by name, each with its file index; the
    // dialog's list box shows it.
    FileList fileList;

    // A job that sizes its atlases: each page's size and the file indices it
    // places, in order; empty for a build of one atlas of the settings' size.
    // page is the one being drawn, whose files processOrder then holds.
    struct Page {
        Size size;
        std::vector<std::int32_t> files;
        // Where each file goes (one per file, in order), as the plan placed
        // them: the maxRects packer's layout, or first-fit's when the plan has
        // placed the page (page_plan.h); empty when the steps place them.
        std::vector<SpriteSlot> places;
    };
    std::vector<Page> pages;
    std::size_t page = 0;
    // The current page's places are first-fit's, and the steps have placed
    // exactly the files they place, up to the current step, so the next one
    // is where the search would put it. Once false, the steps search, and
    // occupancy holds every occupied rectangle (it is left empty while true).
    bool followsPlan = false;
    // The images the pages before this one added, and the files they handled.
    std::int32_t addedOnEarlierPages = 0;
    std::size_t handledOnEarlierPages = 0;
    // Each page once drawn: its size, files, and what it placed where.
    struct DrawnPage {
        Size size;
        std::string imageFile;
        std::string textFile;
        std::vector<std::string> names;
        std::vector<Rect> rects;
        // Per entry, the rectangle of its source image the entry shows (the
        // trim rectangle, or the whole image), and the digest of those pixels
        // as the scan decoded them (image/pixel_digest.h; 0 when not taken).
        std::vector<Rect> sources;
        std::vector<std::uint64_t> sourceDigests;
        // The area the page's placements occupy (footprints with spacing and
        // grid; an alias adds none), against size.width * size.height.
        std::int64_t footprintArea = 0;
        // Per entry, 1 when it was drawn a quarter turn from upright (its
        // rectangle is then the turned block), and which way turned entries
        // were drawn.
        std::vector<std::uint8_t> turns;
        bool clockwise = true;
        // The scale its sources were resampled by; the rectangles are of the
        // resampled pictures.
        double scale = 1;
        // Per entry, what it occupies (its ring, spacing and grid extension).
        std::vector<Rect> occupied;
    };
    std::vector<DrawnPage> drawnPages;
    // The atlas, mask and text file the current page writes.
    std::string imageFile;
    std::string textFile;
    // With --alias: per file, a hash of the pixels the steps draw (0 when not hashed).
    std::vector<std::uint64_t> pixelHashes;
    // With verify: per file, the pixelDigest of the pixels the steps draw, as
    // the scan decoded them (0 when unknown: cropping all to one size draws a
    // rectangle known only after the scan).
    std::vector<std::uint64_t> sourceDigests;

    // The job's atlases at their scales (BuildExtras::atlasVariants): the
    // index of the one being drawn and its scale. The per-file lists
    // (originalSizes, cropRects, trimOffsets, keptPixels, pixelHashes,
    // sourceDigests), the size order, processOrder and pages above are that
    // atlas's; every other
    // atlas's wait in variantFiles, at its index (the drawn one's slot holds
    // nothing of use), and switchVariant exchanges them.
    std::size_t variant = 0;
    double scale = 1;
    struct VariantFiles {
        std::vector<Size> originalSizes;
        std::vector<Rect> cropRects;
        std::vector<Point> trimOffsets;
        std::vector<KeptPixels> keptPixels;
        std::vector<std::uint64_t> pixelHashes;
        std::vector<std::uint64_t> sourceDigests;
        std::vector<std::pair<std::int64_t, std::int32_t>> sizeSortList;
        std::vector<std::int32_t> processOrder;
        std::vector<Page> pages;
    };
    std::vector<VariantFiles> variantFiles;
    // Skipped files, name collisions and aliases, for a front end that reports them.
    BuildNotes notes;
    // The sprite data file's values by image key (the file name as listed).
    std::unordered_map<std::string, SpriteValues> spriteData;
    // With --format phaser-multi: each drawn page's "textures" entry, written
    // into the one text file once the last page is drawn.
    std::vector<std::string> textureEntries;
};

}  // namespace tilvane
