#include "job/pages.h"

#include <filesystem>
#include <limits>

#include "image/mask.h"
#include "job/output_paths.h"
#include "model/path_helpers.h"

namespace tilvane {

namespace {

LayoutRules rulesOf(const JobSettings& settings, std::uint32_t extrude) {
    return LayoutRules{
        settings.spacing, extrude, {settings.borderSize, settings.gridAlignX, settings.gridAlignY}};
}

AtlasSize maximumOf(const FitLimits& limits) {
    return AtlasSize{static_cast<std::int32_t>(limits.maxWidth),
                     static_cast<std::int32_t>(limits.maxHeight)};
}

// The outputs of one page as a write would reach them, for comparing pages.
std::vector<std::filesystem::path> pageOutputs(const JobSettings& settings) {
    std::vector<std::filesystem::path> outputs;
    auto add = [&outputs](const std::string& path) {
        std::error_code ec;
        std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
        outputs.push_back(ec ? std::filesystem::path(path).lexically_normal() : resolved);
    };
    add(settings.outputImageFile);
    if (settings.createMask != 0) add(maskPathFor(settings.outputImageFile));
    add(settings.outputTextFile);
    return outputs;
}

// Why page `page` (1 or more) may not be written, or nothing: its outputs
// would replace another file or an earlier page's output, or the first page's
// outputs are not files whose names can take a page number (a device or FIFO).
std::optional<std::string> pageRefusal(JobSettings settings, std::size_t page,
                                       const std::string& firstImageFile,
                                       const std::string& firstTextFile) {
    for (const std::string& first : {firstImageFile, firstTextFile}) {
        std::error_code ec;
        const auto status = std::filesystem::status(first, ec);
        if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
            return "Page " + std::to_string(page + 1) + " cannot be named after " + first +
                   ", which is not a regular file.";
        }
    }
    settings.outputImageFile = pagePath(firstImageFile, page);
    settings.outputTextFile = pagePath(firstTextFile, page);
    if (std::optional<std::string> conflict = findOutputConflict(settings)) return conflict;
    // A page's outputs must not be an earlier page's (a text file named like a
    // later page's image).
    const std::vector<std::filesystem::path> own = pageOutputs(settings);
    for (std::size_t q = 0; q < page; ++q) {
        JobSettings earlier = settings;
        earlier.outputImageFile = pagePath(firstImageFile, q);
        earlier.outputTextFile = pagePath(firstTextFile, q);
        for (const std::filesystem::path& theirs : pageOutputs(earlier)) {
            for (const std::filesystem::path& mine : own) {
                if (mine != theirs) continue;
                return "Page " + std::to_string(page + 1) + " would replace " + theirs.string() +
                       ", an output of page " + std::to_string(q + 1) + ".";
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::vector<Size> placedSizes(const JobSettings& settings, const BuildRun& run,
                              const std::vector<std::int32_t>& order) {
    std::vector<Size> sizes;
    sizes.reserve(order.size());
    const bool cropped = settings.cropMode != kCropNone;
    for (const std::int32_t f : order) {
        const auto i = static_cast<std::size_t>(f);
        // A file the lists do not describe fails its step; it takes no room.
        if (f < 0 || i >= run.cropRects.size() || i >= run.originalSizes.size()) {
            sizes.push_back({std::numeric_limits<std::int32_t>::max(),
                             std::numeric_limits<std::int32_t>::max()});
            continue;
        }
        const Rect& crop = run.cropRects[i];
        sizes.push_back(cropped ? Size{crop.right - crop.left + 1, crop.bottom - crop.top + 1}
                                : run.originalSizes[i]);
    }
    return sizes;
}

SizingPlan planPages(const JobSettings& settings, const BuildRun& run,
                     const SizingRequest& request) {
    const LayoutRules rules = rulesOf(settings, request.extrude);
    const AtlasSize maximum = maximumOf(request.limits);
    const std::vector<Size> sizes = placedSizes(settings, run, run.processOrder);

    // Files that no atlas of the maximum size holds fail wherever they go; on
    // the first page they fail where a build of every file would fail them.
    std::vector<bool> misfit(sizes.size(), false);
    std::vector<std::size_t> rest;
    for (std::size_t k = 0; k < sizes.size(); ++k) {
        misfit[k] = !placesAll({&sizes[k], 1}, rules, maximum.width, maximum.height);
        if (!misfit[k]) rest.push_back(k);
    }

    SizingPlan plan;
    for (bool first = true; first || !rest.empty(); first = false) {
        std::vector<std::size_t> page;
        std::vector<std::size_t> left;
        if (request.pages) {
            // The page takes what the maximum size places, in order; the others
            // wait for the next page.
            std::vector<Size> candidates;
            for (const std::size_t k : rest) candidates.push_back(sizes[k]);
            const std::vector<bool> placed =
                firstFitPlaced(candidates, rules, maximum.width, maximum.height);
            for (std::size_t j = 0; j < rest.size(); ++j)
                (placed[j] ? page : left).push_back(rest[j]);
        } else {
            page = rest;
        }

        PagePlan pagePlan{maximum, {}};
        if (request.fit && !page.empty()) {
            std::vector<Size> pageSizes;
            for (const std::size_t k : page) pageSizes.push_back(sizes[k]);
            const SearchBudget budget = budgetFor(pageSizes.size(), request.threads);
            if (const auto size = findAtlasSize(pageSizes, rules, request.limits, budget)) {
                pagePlan.size = *size;
            } else {
                plan.fitFailed = true;
            }
        }
        std::vector<bool> onPage(sizes.size(), false);
        for (const std::size_t k : page) onPage[k] = true;
        for (std::size_t k = 0; k < sizes.size(); ++k) {
            if (onPage[k] || (first && misfit[k])) pagePlan.order.push_back(run.processOrder[k]);
        }
        plan.pages.push_back(std::move(pagePlan));
        rest = std::move(left);
    }
    return plan;
}

std::string pagePath(const std::string& path, std::size_t page) {
    if (page == 0) return path;
    const PathParts parts = splitPath(path);
    return parts.folder + parts.baseName + "-" + std::to_string(page) + parts.extension;
}

bool armPage(BuildJob& job, const SizingPlan& plan, std::size_t page,
             const std::string& firstImageFile, const std::string& firstTextFile) {
    JobSettings& settings = job.settings;
    BuildRun& run = job.run;
    run.currentStep = -1;
    if (page >= plan.pages.size()) return false;
    const PagePlan& pagePlan = plan.pages[page];

    settings.outputWidth = static_cast<std::uint32_t>(pagePlan.size.width);
    settings.outputHeight = static_cast<std::uint32_t>(pagePlan.size.height);
    settings.outputImageFile = pagePath(firstImageFile, page);
    settings.outputTextFile = pagePath(firstTextFile, page);
    // Every later page's outputs are checked before the first page draws, so
    // a refusal never leaves half of the pages written.
    if (page == 0) {
        for (std::size_t later = 1; later < plan.pages.size(); ++later) {
            if (const std::optional<std::string> refusal =
                    pageRefusal(settings, later, firstImageFile, firstTextFile)) {
                job.window.showMessage(*refusal);
                return false;
            }
        }
    }

    run.addedOnEarlierPages += static_cast<std::int32_t>(run.placedNames.size());
    run.outputImage = createPixelImage(pagePlan.size.width, pagePlan.size.height);
    run.placedRects.clear();
    run.occupiedRects.clear();
    run.occupancy.clear();
    run.placedNames.clear();
    run.placedFileIndices.clear();
    if (!run.outputImage) {
        job.window.showMessage("Failed to create the output image.");
        return false;
    }
    run.processOrder = pagePlan.order;
    run.morePagesFollow = page + 1 < plan.pages.size();
    run.textFileType = textFileTypeOf(settings.outputTextFile);
    run.currentStep = pagePlan.order.empty() ? -1 : 0;
    return true;
}

}  // namespace tilvane
