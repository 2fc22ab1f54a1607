#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "job/build.h"
#include "layout/size_search.h"

namespace tilvane {

// How a build chooses its atlas sizes beyond the settings' fixed one.
struct SizingRequest {
    // Size each atlas with findAtlasSize, within limits (whose maxima then
    // stand for the settings' width and height).
    bool fit = false;
    // When the images do not all fit the maximum size, the rest go to further
    // atlases.
    bool pages = false;
    // The maxima are the atlas size without fit.
    FitLimits limits;
    // The searches' replays run on this many threads (budgetFor).
    int threads = 1;
    // The extrusion ring every sprite takes room for.
    std::uint32_t extrude = 0;
};

// One atlas of a build: its size and the files it places, as file indices in
// the run's process order.
struct PagePlan {
    AtlasSize size;
    std::vector<std::int32_t> order;
};

// What planPages decided.
struct SizingPlan {
    std::vector<PagePlan> pages;
    // fit was asked and some page's images found no size within the limits (a
    // coarse scan can miss every one): that page has the maximum size.
    bool fitFailed = false;
};

// The images of each file of the armed run's process order, as the steps will
// place them: trimmed sizes when cropping, else the sizes as loaded.
std::vector<Size> placedSizes(const JobSettings& settings, const BuildRun& run,
                              const std::vector<std::int32_t>& order);

// The pages of the armed run. Without pages, one page with every file. With
// pages, each page holds the files that the maximum size places, in order,
// from those the pages before it left; each page is then laid out exactly as a
// build of its files alone would lay it out, since a file that finds no place
// leaves the others where they were. A file that fits no atlas of the maximum
// size by itself stays on the first page, where it fails as it would in any
// build. With fit, each page gets the size findAtlasSize gives for its files
// (those that fit alone), or the maximum when there is none.
SizingPlan planPages(const JobSettings& settings, const BuildRun& run,
                     const SizingRequest& request);

// path with "-N" before the extension of its file name for page N >= 1; page 0
// keeps path. "out/atlas.png" gives "out/atlas-2.png" for page 2.
std::string pagePath(const std::string& path, std::size_t page);

// Arms the build for one page of a plan made for the armed run: the page's
// size into the settings, its paths (pagePath of the given first page's image
// and text paths), a new empty atlas, the placed lists emptied (the failures
// kept, so the last page reports every page's), and the page's files as the
// process order. False, after showing the message, when the outputs would
// replace another file or the atlas cannot be made; the build is then idle.
bool armPage(BuildJob& job, const SizingPlan& plan, std::size_t page,
             const std::string& firstImageFile, const std::string& firstTextFile);

}  // namespace tilvane
