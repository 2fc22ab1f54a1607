#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>

#include "image/image_formats.h"
#include "job/build.h"
#include "job/depfile.h"
#include "job/file_ordering.h"
#include "job/file_scan.h"
#include "job/folder_search.h"
#include "job/output_paths.h"
#include "job/pages.h"
#include "job/sprite_data.h"
#include "job/tree_search.h"
#include "job/variants.h"
#include "model/path_helpers.h"
#include "textout/engine_data.h"

namespace tilvane {

namespace {

constexpr std::string_view kFailedToLoad = "failed to load";
constexpr std::string_view kCouldNotCrop = "could not crop it";
constexpr std::string_view kCouldNotList = "could not add to list, possibly out of memory";
constexpr std::string_view kCouldNotScale = "could not scale it";

// Releases everything prepared, tells the user and clears the status line.
void abandon(BuildJob& job, const std::string& message) {
    clearRun(job.run);
    job.events.message(message);
    job.events.status("");
}

// Reads --sprite-data into the run; false after the message when the file
// cannot be read or a value is refused.
bool loadSpriteData(BuildJob& job) {
    const std::string& path = job.jobSpec.extras.spriteDataFile;
    if (path.empty()) return true;
    // An output written over it would destroy what the run was given.
    struct stat data {};
    if (::stat(path.c_str(), &data) == 0) {
        const OutputSetPlan plan = jobOutputSet(job.jobSpec, job.jobSpec.sizing.pages ? 1 : 0);
        for (const PlannedOutput& output : plan.outputs) {
            struct stat st {};
            if (::stat(output.path.c_str(), &st) == 0 && st.st_dev == data.st_dev &&
                st.st_ino == data.st_ino) {
                job.events.message("The sprite data file " + path +
                                   " must not be an output: " + output.path);
                return false;
            }
        }
    }
    SpriteDataEntries entries;
    if (const std::optional<std::string> why = readSpriteData(path, entries)) {
        job.events.message("The sprite data file " + path + ": " + *why);
        return false;
    }
    for (auto& [key, values] : entries) job.run.spriteData[key] = values;
    return true;
}

// Once the files are listed: the sprite data's keys that name no listed image
// are noted; borders wider or taller than their image refuse the build.
bool checkSpriteData(BuildJob& job) {
    BuildRun& run = job.run;
    if (run.spriteData.empty()) return true;
    std::unordered_map<std::string_view, std::int32_t> listed;
    for (const FileList::Entry& entry : run.fileList.entries())
        listed.emplace(entry.name, entry.value);
    // In name order, so the notes do not depend on the hash table's.
    std::vector<std::string_view> keys;
    for (const auto& [key, values] : run.spriteData) keys.push_back(key);
    std::sort(keys.begin(), keys.end());
    for (const std::string_view key : keys) {
        const auto found = listed.find(key);
        if (found == listed.end()) {
            run.notes.unknownSpriteKeys.emplace_back(key);
            continue;
        }
        const std::optional<Borders>& borders = run.spriteData.at(std::string(key)).borders;
        const auto index = static_cast<std::size_t>(found->second);
        if (!borders || index >= run.originalSizes.size()) continue;
        const Size size = run.originalSizes[index];
        // The sizes are those of the first atlas, at its scale.
        if (!bordersFit(scaledBorders(*borders, run.scale), static_cast<std::uint32_t>(size.width),
                        static_cast<std::uint32_t>(size.height))) {
            abandon(job, "The sprite data file " + job.jobSpec.extras.spriteDataFile + ": \"" +
                             std::string(key) + "\": the borders do not fit its image of " +
                             std::to_string(size.width) + "x" + std::to_string(size.height) +
                             " pixels.");
            return false;
        }
    }
    return true;
}

bool checkSettings(BuildJob& job) {
    const JobSettings& settings = job.jobSpec.settings;
    // The front end trims the path as it keeps it; a JobSpec made elsewhere is
    // judged as the dialog would judge it.
    if (trimWhiteSpace(settings.outputImageFile).empty()) {
        job.events.message("Invalid Output Image File name.");
        return false;
    }
    if (!isSupportedOutputImageFile(settings.outputImageFile)) {
        job.events.message("Unsupported Output Image File format.");
        return false;
    }
    // A job made elsewhere than tilvane-pack (which refuses these as usage
    // errors) is refused before any work.
    if (const std::optional<std::string> why = scaleVariantsRefusal(job.jobSpec.extras)) {
        job.events.message("The scales cannot be made: " + *why + ".");
        return false;
    }
    if (!checkOutputPaths(job)) return false;
    if (settings.textFormat < 0 || settings.textFormat >= static_cast<int>(kRectStyles.size())) {
        job.events.message("Unsupported Source Rects Output Format.");
        return false;
    }
    if (settings.cropMode < 0 || settings.cropMode >= static_cast<int>(kCropOptions.size())) {
        job.events.message("Unsupported Crop option.");
        return false;
    }
    if (const std::optional<std::string> why = packingRefusal(job.jobSpec)) {
        job.events.message(*why);
        return false;
    }
    // A JPEG atlas never holds the pixels it was given, nor a lossy WebP one,
    // so they cannot be checked.
    if (job.jobSpec.extras.verify) {
        const ImageFormatInfo* info = imageFormatOf(settings.outputImageFile);
        if (info && info->format == ImageFormat::jpeg) {
            job.events.message(
                "A JPEG atlas cannot be verified: JPEG does not keep the pixels it is given.");
            return false;
        }
        if (info && info->format == ImageFormat::webp && job.jobSpec.extras.webpQuality) {
            job.events.message(
                "A lossy WebP atlas cannot be verified: it does not keep the pixels it is given.");
            return false;
        }
    }
    // A job that plans its pages makes each atlas once its size is known.
    if (plansPages(job.jobSpec)) return true;
    // The stored sizes are unsigned; anything that does not fit a positive
    // signed 32-bit side is refused like a size the platform cannot create.
    constexpr std::uint32_t kMaxSide = std::numeric_limits<std::int32_t>::max();
    if (settings.outputWidth <= kMaxSide && settings.outputHeight <= kMaxSide) {
        job.run.outputImage = createPixelImage(static_cast<std::int32_t>(settings.outputWidth),
                                               static_cast<std::int32_t>(settings.outputHeight));
    }
    if (!job.run.outputImage) {
        job.events.message(outputImageFailure(settings.outputWidth, settings.outputHeight));
        // The status of an earlier build would pass for this one's.
        job.events.status("");
        return false;
    }
    return true;
}

// Lists one scanned file, or turns why it cannot be listed into a failure text.
void listFile(BuildJob& job, const std::string& name, ScannedFile& scanned,
              std::int32_t& nextFileIndex) {
    BuildRun& run = job.run;
    if (scanned.result == ScannedFile::Result::failedToLoad) {
        addFailure(run, name, kFailedToLoad);
        return;
    }
    if (scanned.result == ScannedFile::Result::couldNotCrop) {
        addFailure(run, name, kCouldNotCrop);
        return;
    }
    if (scanned.result == ScannedFile::Result::couldNotScale) {
        addFailure(run, name, kCouldNotScale);
        return;
    }

    FileList& list = run.fileList;
    const std::optional<int> position = list.add(name);
    if (!position || !list.setValue(*position, nextFileIndex)) {
        if (position) list.remove(*position);
        addFailure(run, name, kCouldNotList);
        return;
    }
    // Each atlas's lists, one entry per listed file.
    for (std::size_t v = 0; v < scanned.scales.size(); ++v) {
        ScannedFile::Scaled& scaled = scanned.scales[v];
        const VariantLists lists = variantLists(run, v);
        const Rect& trim = scaled.trim;
        lists.originalSizes.push_back(scaled.size);
        lists.cropRects.push_back(trim);
        lists.trimOffsets.push_back({trim.left, trim.top});
        lists.keptPixels.push_back(std::move(scaled.kept));
        if (job.jobSpec.extras.alias) lists.pixelHashes.push_back(scaled.pixelHash);
        if (job.jobSpec.extras.verify) lists.sourceDigests.push_back(scaled.pixelDigest);
        if (job.jobSpec.settings.sortOrder == kSortBySize) {
            const std::int64_t area =
                static_cast<std::int64_t>(trim.width()) * static_cast<std::int64_t>(trim.height());
            lists.sizeSortList.emplace_back(area, nextFileIndex);
        }
    }
    ++nextFileIndex;
}

// Decodes the folder's candidate files (every core at once) at every scale
// of the job and lists them in the folder's order; folders, empty files and
// other extensions are skipped, noted for a front end that lists them.
void listFiles(BuildJob& job, const std::vector<FolderEntry>& entries) {
    std::vector<std::string> names;
    for (const FolderEntry& entry : entries) {
        if (entry.size == 0) {
            if (entry.folder) {
                job.run.notes.skipped.push_back(entry.name + "/");
            } else if (isSupportedInputFile(entry.name)) {
                job.run.notes.emptyImages.push_back(entry.name);
            }
        } else if (!isSupportedInputFile(entry.name)) {
            job.run.notes.skipped.push_back(entry.name);
        } else {
            names.push_back(entry.name);
        }
    }
    const JobSettings& settings = job.jobSpec.settings;
    ScanRequest request{settings.inputFolder,     settings.cropMode,
                        settings.cropAlpha,       job.jobSpec.keptPixelBudget,
                        job.jobSpec.extras.alias, job.jobSpec.extras.verify};
    request.scales.clear();
    for (const ScaleVariant& variant : job.jobSpec.extras.atlasVariants()) {
        request.scales.push_back(variant.scale);
    }
    job.run.variantFiles.resize(request.scales.size());
    job.run.scale = request.scales.front();
    std::vector<ScannedFile> scanned = scanFiles(request, names);
    std::int32_t nextFileIndex = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        listFile(job, names[i], scanned[i], nextFileIndex);
    }
}

// Under "Crop all to same dimension" every file must have file 0's size; they
// then all share the union of their trim rectangles. False after telling the
// user when a size differs.
bool applyEqualSizeRule(BuildJob& job) {
    BuildRun& run = job.run;
    if (job.jobSpec.settings.cropMode != kCropToUnion || run.originalSizes.size() < 2) return true;
    Rect u = run.cropRects[0];
    for (std::size_t i = 1; i < run.originalSizes.size(); ++i) {
        if (run.originalSizes[i] != run.originalSizes[0]) {
            abandon(job,
                    "The images must all have the same dimensions in order to use \nthe "
                    "following crop setting:\n- " +
                        std::string(kCropOptions[2]));
            return false;
        }
        const Rect& r = run.cropRects[i];
        u.left = std::min(u.left, r.left);
        u.top = std::min(u.top, r.top);
        u.right = std::max(u.right, r.right);
        u.bottom = std::max(u.bottom, r.bottom);
    }
    for (Rect& r : run.cropRects) r = u;
    for (Point& p : run.trimOffsets) p = {u.left, u.top};
    return true;
}

void fixProcessOrder(BuildJob& job) {
    const FileList& list = job.run.fileList;
    std::vector<std::int32_t> alphabetical;
    alphabetical.reserve(static_cast<std::size_t>(list.count()));
    for (const FileList::Entry& entry : list.entries()) alphabetical.push_back(entry.value);
    job.run.processOrder =
        orderFiles(alphabetical, job.jobSpec.settings.sortOrder, job.jobSpec.settings.randomSeed,
                   job.run.sizeSortList, &job.run.randomOrderFellBack);
    job.run.sizeSortList.clear();
}

}  // namespace

std::string outputImageFailure(std::uint64_t width, std::uint64_t height) {
    std::string text = "Failed to create the output image.\n";
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    constexpr std::uint64_t kMaxSide = std::numeric_limits<std::int32_t>::max();
    if (width == 0 || height == 0) {
        return text + "The Output Width and Output Height must be at least 1.";
    }
    if (width > kMaxSide || height > kMaxSide) {
        return text + "A side may be at most " + std::to_string(kMaxSide) + " pixels; the atlas " +
               "would be " + size + ".";
    }
    // Both sides are below 2^31, so four bytes a pixel cannot overflow.
    const std::uint64_t bytes = width * height * 4;
    if (bytes > kMaxImageBytes) {
        return text + "An atlas may take at most " + std::to_string(kMaxImageBytes) +
               " bytes (4 a pixel); " + size + " would take " + std::to_string(bytes) + ".";
    }
    return text + "There is not enough memory for an atlas of " + size + " pixels.";
}

void clearRun(BuildRun& run) {
    run.outputImage.reset();
    run.failures.clear();
    run.failedFiles.clear();
    run.placedRects.clear();
    run.occupiedRects.clear();
    run.occupancy.clear();
    run.followsPlan = false;
    run.cropRects.clear();
    run.trimOffsets.clear();
    run.keptPixels.clear();
    run.placedNames.clear();
    run.placedFileIndices.clear();
    run.placedTurns.clear();
    run.processOrder.clear();
    run.randomOrderFellBack = false;
    run.sizeSortList.clear();
    run.originalSizes.clear();
    run.outputFailures.clear();
    run.pages.clear();
    run.page = 0;
    run.addedOnEarlierPages = 0;
    run.handledOnEarlierPages = 0;
    run.drawnPages.clear();
    run.pixelHashes.clear();
    run.sourceDigests.clear();
    run.placingSeconds = 0;
    run.footprintArea = 0;
    run.variant = 0;
    run.scale = 1;
    run.variantFiles.clear();
    run.notes = {};
    run.spriteData.clear();
    run.textureEntries.clear();
}

void addFailure(BuildRun& run, std::string_view name, std::string_view reason) {
    std::string text(name);
    text += "          (";
    text += reason;
    text += ')';
    run.failures.push_back(std::move(text));
    run.failedFiles.emplace_back(std::string(name), std::string(reason));
}

bool checkOutputPaths(BuildJob& job) {
    const JobSettings& settings = job.jobSpec.settings;
    if (imageInInputFolder(settings)) {
        job.events.message(std::string(kImageInInputFolder));
        return false;
    }
    const std::string imageFolder = ensureTrailingSlash(folderOfPath(settings.outputImageFile));
    if (!folderExists(imageFolder)) {
        job.events.message("The Output Image File folder does not exist.");
        return false;
    }
    if (!folderExists(ensureTrailingSlash(folderOfPath(settings.outputTextFile)))) {
        job.events.message("The Output Text File folder does not exist.");
        return false;
    }
    // A recursive search would read the atlas (and its mask) on the next run.
    if (job.jobSpec.extras.recursive &&
        inSubFolderOf(settings.outputImageFile, settings.inputFolder)) {
        job.events.message(
            "The Output Image File must not be in a sub-folder of the Input Folder when "
            "sub-folders are packed too.");
        return false;
    }
    // Every output against every input and each other, names' lengths too;
    // pages are checked with their numbers once the plan has counted them.
    const std::vector<std::size_t> pageCounts(job.jobSpec.extras.atlasVariants().size(),
                                              job.jobSpec.sizing.pages ? 1 : 0);
    if (const std::optional<std::string> conflict =
            findOutputSetConflict(jobOutputSet(job.jobSpec, pageCounts))) {
        job.events.message(*conflict);
        return false;
    }
    return true;
}

BuildOutcome startBuild(BuildJob& job) {
    BuildRun& run = job.run;
    JobEvents& events = job.events;
    const JobSettings& settings = job.jobSpec.settings;
    if (job.onPhase) job.onPhase(JobPhase::scanning);
    run.currentStep = -1;
    clearRun(run);
    run.fileList.reset();

    if (!checkSettings(job)) return BuildOutcome::refused;
    if (!loadSpriteData(job)) {
        clearRun(run);
        return BuildOutcome::refused;
    }

    events.status("Searching for files...");

    const std::optional<std::vector<FolderEntry>> entries =
        job.jobSpec.extras.recursive
            ? searchFolderTree(settings.inputFolder, &run.notes.skipped, &run.notes.searchedFolders)
            : searchFolder(settings.inputFolder);
    if (!entries) {
        abandon(job, "Failed to find the Input Folder, or the folder is empty.");
        return BuildOutcome::noInputFolder;
    }
    // Refused before any file is decoded, like a conflict of the outputs.
    if (const std::optional<std::string> refusal = depfileRefusal(job, *entries)) {
        abandon(job, *refusal);
        return BuildOutcome::refused;
    }
    listFiles(job, *entries);
    if (!checkSpriteData(job)) return BuildOutcome::refused;

    // Each atlas at its scale is ordered as a build of its own would be.
    const std::vector<ScaleVariant> variants = job.jobSpec.extras.atlasVariants();
    for (std::size_t v = 0; v < variants.size(); ++v) {
        switchVariant(run, v, variants[v].scale);
        if (!applyEqualSizeRule(job)) return BuildOutcome::unequalSizes;
        fixProcessOrder(job);
    }
    switchVariant(run, 0, variants[0].scale);

    if (run.fileList.count() == 0) {
        if (!run.failures.empty()) {
            events.report(run.failures, settings.outputImageFile, settings.outputTextFile, 0,
                          static_cast<int>(run.failures.size()));
            events.status("Failed to load/add some files.");
            return BuildOutcome::nothingListed;
        }
        events.status("No files found.");
        events.message("No files found.");
        return BuildOutcome::noFiles;
    }
    run.textFileType = textFileTypeOf(settings.outputTextFile);
    run.imageFile = variantImageFile(job.jobSpec, 0);
    run.textFile = variantTextFile(job.jobSpec, 0);
    if (plansPages(job.jobSpec)) {
        const bool sizing = job.jobSpec.sizing.active();
        if (job.onPhase) job.onPhase(JobPhase::sizing);
        events.status(sizing ? "Sizing the atlas..." : "Packing the atlas...");
        // Each atlas is planned with its own sizes, and told in order.
        bool fitFailed = false;
        for (std::size_t v = 0; v < variants.size(); ++v) {
            switchVariant(run, v, variants[v].scale);
            run.notes.fitFailed = false;
            planPages(job);
            std::vector<std::pair<std::int32_t, std::int32_t>> sizes;
            for (const BuildRun::Page& page : run.pages) {
                sizes.emplace_back(page.size.width, page.size.height);
            }
            if (sizing) events.planned(sizes, run.notes.fitFailed);
            fitFailed = fitFailed || run.notes.fitFailed;
        }
        run.notes.fitFailed = fitFailed;
        switchVariant(run, 0, variants[0].scale);
        // Every page's outputs are checked before the first is drawn, so a
        // refusal never leaves some pages written.
        if (const std::optional<std::string> refusal = pageOutputsRefusal(job)) {
            clearRun(run);
            events.message(*refusal);
            return BuildOutcome::refused;
        }
        if (!armPage(job, 0)) return BuildOutcome::refused;
        return BuildOutcome::armed;
    }
    run.currentStep = 0;
    return BuildOutcome::armed;
}

}  // namespace tilvane
