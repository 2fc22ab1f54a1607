#include "job/variants.h"

#include <algorithm>
#include <set>
#include <utility>

#include "image/resample.h"
#include "job/page_files.h"
#include "model/number_text.h"
#include "model/path_helpers.h"

namespace tilvane {

std::string variantFilePath(const std::string& path, std::string_view suffix) {
    if (suffix.empty() || path.empty()) return path;
    const PathParts parts = splitPath(path);
    return parts.folder + parts.baseName + std::string(suffix) + parts.extension;
}

std::optional<std::string> scaleRefusal(double scale) {
    if (scale > 0 && scale <= kMaxScale) return std::nullopt;
    return "a scale is above 0 and at most " + decimalText(kMaxScale);
}

std::optional<std::string> suffixRefusal(std::string_view suffix) {
    if (suffix.find('/') != std::string_view::npos) {
        return std::string("a suffix must not hold a \"/\": the files stay in the folders given");
    }
    for (const char c : suffix) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return std::string("a suffix must not hold a control character");
        }
    }
    return std::nullopt;
}

std::optional<std::string> scaleVariantsRefusal(const BuildExtras& extras) {
    if (const auto why = scaleRefusal(extras.scale)) return "--scale: " + *why;
    if (extras.variants.empty()) return std::nullopt;
    if (extras.scale != 1) {
        return std::string("--scale and --variant do not go together: each variant has its scale");
    }
    std::set<std::string> suffixes;
    for (const ScaleVariant& variant : extras.variants) {
        if (const auto why = scaleRefusal(variant.scale)) return "--variant: " + *why;
        if (const auto why = suffixRefusal(variant.suffix)) return "--variant: " + *why;
        if (!suffixes.insert(variant.suffix).second) {
            return "--variant: the suffix \"" + variant.suffix + "\" is given twice";
        }
    }
    return std::nullopt;
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

OutputSetPlan jobOutputSet(const JobSpec& jobSpec, const std::vector<std::size_t>& pageCounts) {
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
                          jobSpec.extras.recursive, v == 0 ? jobSpec.saveSettingsFile : "");
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
        return {run.originalSizes, run.cropRects,    run.trimOffsets,  run.keptPixels,
                run.pixelHashes,   run.sizeSortList, run.processOrder, run.pages};
    }
    BuildRun::VariantFiles& f = run.variantFiles.at(variant);
    return {f.originalSizes, f.cropRects,    f.trimOffsets,  f.keptPixels,
            f.pixelHashes,   f.sizeSortList, f.processOrder, f.pages};
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

std::vector<std::size_t> variantPageCounts(const BuildRun& run) {
    std::vector<std::size_t> counts;
    const std::size_t count = std::max<std::size_t>(run.variantFiles.size(), run.variant + 1);
    for (std::size_t v = 0; v < count; ++v) {
        counts.push_back(v == run.variant ? run.pages.size() : run.variantFiles[v].pages.size());
    }
    return counts;
}

}  // namespace tilvane
