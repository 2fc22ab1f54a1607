#include "job/variants.h"

#include <algorithm>
#include <utility>

#include "job/page_files.h"
#include "model/path_helpers.h"

namespace tilvane {

std::string variantFilePath(const std::string& path, std::string_view suffix) {
    if (suffix.empty() || path.empty()) return path;
    const PathParts parts = splitPath(path);
    return parts.folder + parts.baseName + std::string(suffix) + parts.extension;
}

namespace {

std::string suffixOf(const JobSpec& jobSpec, std::size_t variant) {
    const std::vector<ScaleVariant>& variants = jobSpec.extras.variants;
    return variant < variants.size() ? variants[variant].suffix : std::string();
}

}  // namespace

std::string variantImageFile(const JobSpec& jobSpec, std::size_t variant) {
    return variantFilePath(jobSpec.settings.outputImageFile, suffixOf(jobSpec, variant));
}

std::string variantTextFile(const JobSpec& jobSpec, std::size_t variant) {
    return variantFilePath(jobSpec.settings.outputTextFile, suffixOf(jobSpec, variant));
}

OutputSetPlan jobOutputSet(const JobSpec& jobSpec, const std::vector<std::size_t>& pageCounts,
                           bool withDepfile) {
    const std::size_t count = jobSpec.extras.atlasVariants().size();
    OutputSetPlan plan;
    for (std::size_t v = 0; v < count; ++v) {
        JobSettings settings = jobSpec.settings;
        // The image is trimmed as the plan trims it before its suffix goes in.
        settings.outputImageFile =
            variantFilePath(trimWhiteSpace(settings.outputImageFile), suffixOf(jobSpec, v));
        settings.outputTextFile = variantTextFile(jobSpec, v);
        OutputSetPlan one =
            planOutputSet(settings, v < pageCounts.size() ? pageCounts[v] : 0,
                          jobSpec.extras.recursive, v == 0 ? jobSpec.saveSettingsFile : "",
                          v == 0 && withDepfile ? jobSpec.depfile.path : std::string(),
                          v == 0 ? jobSpec.extras.keepLayoutFile : std::string(),
                          jobSpec.extras.format == DataFormat::phaserMulti);
        if (v == 0) {
            plan = std::move(one);
        } else {
            for (PlannedOutput& output : one.outputs) plan.outputs.push_back(std::move(output));
        }
    }
    return plan;
}

VariantLists variantLists(BuildRun& run, std::size_t variant) {
    if (variant == run.variant) {
        return {run.originalSizes, run.cropRects,    run.trimOffsets,
                run.keptPixels,    run.pixelHashes,  run.sourceDigests,
                run.sizeSortList,  run.processOrder, run.pages};
    }
    BuildRun::VariantFiles& f = run.variantFiles.at(variant);
    return {f.originalSizes, f.cropRects,    f.trimOffsets,  f.keptPixels, f.pixelHashes,
            f.sourceDigests, f.sizeSortList, f.processOrder, f.pages};
}

void switchVariant(BuildRun& run, std::size_t variant, double scale) {
    if (variant != run.variant) {
        const VariantLists drawn = variantLists(run, run.variant);
        const VariantLists next = variantLists(run, variant);
        std::swap(drawn.originalSizes, next.originalSizes);
        std::swap(drawn.cropRects, next.cropRects);
        std::swap(drawn.trimOffsets, next.trimOffsets);
        std::swap(drawn.keptPixels, next.keptPixels);
        std::swap(drawn.pixelHashes, next.pixelHashes);
        std::swap(drawn.sourceDigests, next.sourceDigests);
        std::swap(drawn.sizeSortList, next.sizeSortList);
        std::swap(drawn.processOrder, next.processOrder);
        std::swap(drawn.pages, next.pages);
        // The drawn atlas's lists now sit in the slot of `variant`; they move
        // to their own slot, whose old contents are of no use.
        std::swap(run.variantFiles.at(run.variant), run.variantFiles.at(variant));
        run.variant = variant;
    }
    run.scale = scale;
}

OutputSetPlan jobOutputSet(const JobSpec& jobSpec, std::size_t pageCount, bool withDepfile) {
    return jobOutputSet(jobSpec,
                        std::vector<std::size_t>(jobSpec.extras.atlasVariants().size(), pageCount),
                        withDepfile);
}

std::vector<std::size_t> variantPageCounts(const BuildRun& run) {
    std::vector<std::size_t> counts;
    const std::size_t count = std::max<std::size_t>(run.variantFiles.size(), run.variant + 1);
    for (std::size_t v = 0; v < count; ++v) {
        counts.push_back(v == run.variant ? run.pages.size() : run.variantFiles[v].pages.size());
    }
    return counts;
}

}  // namespace tilvane
