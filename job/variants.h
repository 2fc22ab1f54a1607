#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job/output_paths.h"
#include "model/build_run.h"
#include "model/jobspec.h"
#include "model/scale_variants.h"

namespace tilvane {

// The path with `suffix` before the extension of its file name
// ("out/atlas.png" and "@2x" give "out/atlas@2x.png"; "out/atlas" gives
// "out/atlas@2x"); the path itself for an empty suffix or path.
std::string variantFilePath(const std::string& path, std::string_view suffix);

// The image and the text file of the job's atlas `variant` (of
// BuildExtras::atlasVariants), before any page number.
std::string variantImageFile(const JobSpec& jobSpec, std::size_t variant);
std::string variantTextFile(const JobSpec& jobSpec, std::size_t variant);

// Every output of the job: each atlas's outputs as planOutputSet plans them
// under its names, with pageCounts[v] pages (0: one atlas without a page
// number; a missing count is 0), atlas after atlas, the settings file and
// (withDepfile) the depfile after the first atlas's first page. With one atlas
// of no suffix, planOutputSet's plan itself.
OutputSetPlan jobOutputSet(const JobSpec& jobSpec, const std::vector<std::size_t>& pageCounts,
                           bool withDepfile = true);
// The same with pageCount pages for every atlas.
OutputSetPlan jobOutputSet(const JobSpec& jobSpec, std::size_t pageCount, bool withDepfile = true);

// Atlas `variant`'s per-file lists, size order, process order and pages,
// wherever they are: the run's own for the atlas being drawn (run.variant),
// else its slot of run.variantFiles (which must exist).
struct VariantLists {
    std::vector<Size>& originalSizes;
    std::vector<Rect>& cropRects;
    std::vector<Point>& trimOffsets;
    std::vector<KeptPixels>& keptPixels;
    std::vector<std::uint64_t>& pixelHashes;
    std::vector<std::uint64_t>& sourceDigests;
    std::vector<std::pair<std::int64_t, std::int32_t>>& sizeSortList;
    std::vector<std::int32_t>& processOrder;
    std::vector<BuildRun::Page>& pages;
};
VariantLists variantLists(BuildRun& run, std::size_t variant);

// Makes atlas `variant` the one drawn: the drawn atlas's lists go to its slot
// and the variant's come out of theirs; run.variant and run.scale say which.
void switchVariant(BuildRun& run, std::size_t variant, double scale);

// Each atlas's page count, in order (0 for an atlas not planned in pages).
std::vector<std::size_t> variantPageCounts(const BuildRun& run);

}  // namespace tilvane
