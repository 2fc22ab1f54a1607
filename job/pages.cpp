#include "job/pages.h"

#include <filesystem>
#include <limits>
#include <thread>
#include <unordered_map>

#include "image/image_formats.h"
#include "image/mask.h"
#include "job/kept_layout.h"
#include "job/output_paths.h"
#include "job/page_files.h"
#include "job/variants.h"
#include "layout/page_plan.h"
#include "model/path_helpers.h"

namespace tilvane {

Size placedSizeOf(const JobSettings& settings, const BuildRun& run, std::int32_t f) {
    const auto i = static_cast<std::size_t>(f);
    if (f < 0 || i >= run.cropRects.size() || i >= run.originalSizes.size()) {
        return {std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max()};
    }
    return settings.cropMode != kCropNone
               ? Size{run.cropRects[i].width(), run.cropRects[i].height()}
               : run.originalSizes[i];
}

std::vector<Size> placedSizes(const JobSettings& settings, const BuildRun& run,
                              const std::vector<std::int32_t>& order) {
    std::vector<Size> sizes;
    sizes.reserve(order.size());
    for (const std::int32_t f : order) sizes.push_back(placedSizeOf(settings, run, f));
    return sizes;
}

LayoutRules layoutRulesOf(const JobSpec& jobSpec) {
    const JobSettings& s = jobSpec.settings;
    return LayoutRules{s.spacing,
                       jobSpec.extras.extrude,
                       {s.borderSize, s.gridAlignX, s.gridAlignY},
                       jobSpec.extras.packer,
                       jobSpec.extras.rotate};
}

FitLimits fitLimitsOf(const JobSpec& jobSpec) {
    const SizingSpec& sizing = jobSpec.sizing;
    const bool fit = sizing.fit.has_value();
    FitLimits limits;
    limits.shape = sizing.fit.value_or(FitShape::any);
    limits.maxWidth = fit && !sizing.widthGiven ? kFitMaximumSide : jobSpec.settings.outputWidth;
    limits.maxHeight = fit && !sizing.heightGiven ? kFitMaximumSide : jobSpec.settings.outputHeight;
    limits.minWidth = sizing.minWidth;
    limits.minHeight = sizing.minHeight;
    // Fit never chooses a size the atlas's format cannot store.
    if (const ImageFormatInfo* format = imageFormatOf(jobSpec.settings.outputImageFile);
        fit && format) {
        limits.maxWidth = std::min(limits.maxWidth, format->maxSide);
        limits.maxHeight = std::min(limits.maxHeight, format->maxSide);
    }
    return limits;
}

bool plansPages(const JobSpec& jobSpec) {
    return jobSpec.sizing.active() || jobSpec.extras.packer == Packer::maxRects ||
           !jobSpec.extras.keepLayoutFile.empty();
}

std::optional<std::string> packingRefusal(const JobSpec& jobSpec) {
    const BuildExtras& x = jobSpec.extras;
    if (!x.rotate) return std::nullopt;
    if (x.packer != Packer::maxRects) return "Turning images needs the maxrects packer.";
    if (x.format == DataFormat::byExtension) {
        return "Turned images need a text file that records them (JSON hash or array, or "
               "libGDX); the plain text, JSON, XML and CSS files cannot.";
    }
    return std::nullopt;
}

std::vector<std::size_t> aliasLeaders(const BuildJob& job, const std::vector<std::int32_t>& order,
                                      const std::vector<Size>& sizes) {
    const BuildRun& run = job.run;
    // An alias takes no room: the first earlier file of equal size and hash leads it.
    std::vector<std::size_t> leaders(order.size());
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> byHash;
    for (std::size_t k = 0; k < order.size(); ++k) {
        leaders[k] = k;
        const auto f = static_cast<std::size_t>(order[k]);
        if (!job.jobSpec.extras.alias || f >= run.pixelHashes.size() || k >= sizes.size()) continue;
        std::vector<std::size_t>& same = byHash[run.pixelHashes[f]];
        for (const std::size_t j : same) {
            if (sizes[j] == sizes[k]) {
                leaders[k] = j;
                break;
            }
        }
        if (leaders[k] == k) same.push_back(k);
    }
    return leaders;
}

PlanRequest planRequestOf(const JobSpec& jobSpec) {
    PlanRequest request;
    // Without sizing, one page of the settings' size (the maxRects packer
    // lays it out here too).
    request.fit = jobSpec.sizing.fit.has_value();
    request.pages = jobSpec.sizing.pages;
    request.limits = fitLimitsOf(jobSpec);
    // Replays are independent: one per core.
    request.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return request;
}

void usePagePlan(BuildRun& run, const SizingPlan& plan, const std::vector<std::int32_t>& order) {
    run.pages.clear();
    for (const PagePlan& p : plan.pages) {
        BuildRun::Page page{{p.size.width, p.size.height}, {}, p.places};
        for (const std::size_t k : p.sprites) page.files.push_back(order[k]);
        run.pages.push_back(std::move(page));
    }
    run.notes.fitFailed = plan.fitFailed;
}

void planPages(BuildJob& job) {
    if (planKeptLayout(job)) return;
    BuildRun& run = job.run;
    const std::vector<std::int32_t> order = run.processOrder;
    const std::vector<Size> sizes = placedSizes(job.jobSpec.settings, run, order);
    const std::vector<std::size_t> leaders = aliasLeaders(job, order, sizes);
    usePagePlan(run,
                planPages(sizes, leaders, layoutRulesOf(job.jobSpec), planRequestOf(job.jobSpec)),
                order);
}

std::optional<std::string> pageOutputsRefusal(const BuildJob& job) {
    if (!job.jobSpec.sizing.pages) return std::nullopt;
    // A device or FIFO takes no page number: atlas-1 beside /dev/null would
    // be a new regular file.
    const std::size_t count = job.jobSpec.extras.atlasVariants().size();
    for (std::size_t v = 0; v < count; ++v) {
        for (const std::string& path :
             {variantImageFile(job.jobSpec, v), variantTextFile(job.jobSpec, v)}) {
            std::error_code ec;
            const auto status = std::filesystem::status(path, ec);
            if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
                return "Pages cannot be named after " + path + ", which is not a regular file.";
            }
        }
    }
    return findOutputSetConflict(jobOutputSet(job.jobSpec, variantPageCounts(job.run)));
}

bool armPage(BuildJob& job, std::size_t index) {
    BuildRun& run = job.run;
    run.currentStep = -1;
    if (index >= run.pages.size()) return false;
    const BuildRun::Page& page = run.pages[index];
    const bool paged = job.jobSpec.sizing.pages;
    const std::string image = variantImageFile(job.jobSpec, run.variant);
    const std::string text = variantTextFile(job.jobSpec, run.variant);
    run.page = index;
    run.imageFile = paged ? pageFilePath(image, index + 1) : image;
    // A phaser-multi file is one for every page.
    const bool oneTextFile = job.jobSpec.extras.format == DataFormat::phaserMulti;
    run.textFile = paged && !oneTextFile ? pageFilePath(text, index + 1) : text;
    run.addedOnEarlierPages += static_cast<std::int32_t>(run.placedNames.size());
    if (index > 0) run.handledOnEarlierPages += run.pages[index - 1].files.size();
    run.outputImage = createPixelImage(page.size.width, page.size.height);
    run.placedRects.clear();
    run.occupiedRects.clear();
    run.occupancy.clear();
    // First-fit's places hold only while the steps place what the plan
    // placed (build_steps.cpp); the maxRects packer's are taken from the start.
    run.followsPlan = !page.places.empty() && layoutRulesOf(job.jobSpec).packer == Packer::firstFit;
    if (!run.followsPlan) {
        for (const SpriteSlot& slot : page.places) {
            if (slot.placed) run.occupancy.add(slot.occupied);
        }
    }
    run.footprintArea = 0;
    run.placedNames.clear();
    run.placedFileIndices.clear();
    run.placedTurns.clear();
    run.notes.pixelHashes.clear();
    if (!run.outputImage) {
        job.events.message(outputImageFailure(static_cast<std::uint64_t>(page.size.width),
                                              static_cast<std::uint64_t>(page.size.height)));
        job.events.status("");
        return false;
    }
    run.processOrder = page.files;
    run.textFileType = textFileTypeOf(run.textFile);
    run.currentStep = 0;
    return true;
}

bool armVariant(BuildJob& job, std::size_t variant) {
    BuildRun& run = job.run;
    run.currentStep = -1;
    const std::vector<ScaleVariant> variants = job.jobSpec.extras.atlasVariants();
    if (variant >= variants.size()) return false;
    // The files of the atlas just drawn count as handled.
    run.handledOnEarlierPages += run.processOrder.size();
    switchVariant(run, variant, variants[variant].scale);
    if (job.jobSpec.sizing.active()) return armPage(job, 0);

    // An atlas of the settings' size, as the first was made.
    const JobSettings& settings = job.jobSpec.settings;
    run.addedOnEarlierPages += static_cast<std::int32_t>(run.placedNames.size());
    run.imageFile = variantImageFile(job.jobSpec, variant);
    run.textFile = variantTextFile(job.jobSpec, variant);
    run.placedRects.clear();
    run.occupiedRects.clear();
    run.occupancy.clear();
    run.placedNames.clear();
    run.placedFileIndices.clear();
    run.notes.pixelHashes.clear();
    run.outputImage = createPixelImage(static_cast<std::int32_t>(settings.outputWidth),
                                       static_cast<std::int32_t>(settings.outputHeight));
    if (!run.outputImage) {
        job.events.message("Failed to create the output image.");
        return false;
    }
    run.currentStep = 0;
    return true;
}

}  // namespace tilvane
