#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "job/build.h"
#include "layout/page_plan.h"

namespace tilvane {

// The size file index f is placed at: its trim rectangle when cropping, else
// the image as loaded. A file the lists do not describe gets a size no atlas
// can take, so it takes no room.
Size placedSizeOf(const JobSettings& settings, const BuildRun& run, std::int32_t f);

// placedSizeOf for each file of the run's process order.
std::vector<Size> placedSizes(const JobSettings& settings, const BuildRun& run,
                              const std::vector<std::int32_t>& order);

// The layout rules of a job: its spacing, extrusion, border and grid.
LayoutRules layoutRulesOf(const JobSpec& jobSpec);

// The sizing limits of a job: the shape, the least size and the maximum (the
// settings' size, or kFitMaximumSide where fit was given no side).
FitLimits fitLimitsOf(const JobSpec& jobSpec);

// Whether the job plans its pages before the steps: it sizes its atlases,
// its packer lays out each page at once, or it keeps a layout.
bool plansPages(const JobSpec& jobSpec);

// Why the job's packing options cannot be built, in words, or nothing:
// turning needs the maxRects packer, and a text file that can say so (the
// engine formats; the dialog's formats cannot).
std::optional<std::string> packingRefusal(const JobSpec& jobSpec);

// Per file of `order` (whose placed sizes are `sizes`), the position of the
// file it shares its pixels with (equal hash and size, the first such) with
// --alias, or its own position.
std::vector<std::size_t> aliasLeaders(const BuildJob& job, const std::vector<std::int32_t>& order,
                                      const std::vector<Size>& sizes);

// What the job asks of the page plan: fit, pages, the limits.
PlanRequest planRequestOf(const JobSpec& jobSpec);

// Takes a plan of the sprites of `order` (by position) as the run's pages.
void usePagePlan(BuildRun& run, const SizingPlan& plan, const std::vector<std::int32_t>& order);

// Plans the pages of the armed run (its process order, listed files, alias
// hashes) into run.pages: around the kept layout when there is one to keep
// (planKeptLayout), else with the layout geometry's planPages (and with the
// maxRects packer each page's layout). Images with
// equal pixels (equal hashes and sizes) take room once when sizing.
void planPages(BuildJob& job);

// Why the planned pages' outputs may not be written, or nothing: each page's
// image, mask and text file, of every atlas the job makes at its scale, must
// be free to write as the first page's are.
std::optional<std::string> pageOutputsRefusal(const BuildJob& job);

// Arms the build for planned page `index`: its size, its paths, a new empty
// atlas, the placed lists emptied (the failures kept, so the last page reports
// every page's), and the page's files as the process order. False, after the
// message, when the atlas cannot be made; the build is then idle.
bool armPage(BuildJob& job, std::size_t index);

// Arms the build for the job's atlas `variant` (of BuildExtras::atlasVariants)
// once the one before it is drawn: its lists become the run's, then its first
// planned page is armed, or, for a job that does not size its atlases, an
// empty atlas of the settings' size under the variant's names. The placed
// images and handled files so far count as those of earlier pages. False,
// after the message, when the atlas cannot be made; the build is then idle.
bool armVariant(BuildJob& job, std::size_t variant);

}  // namespace tilvane
