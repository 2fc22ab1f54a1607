#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "image/image_file.h"
#include "image/image_formats.h"
#include "image/mask.h"
#include "job/build.h"
#include "job/depfile.h"
#include "job/engine_output.h"
#include "job/kept_layout.h"
#include "job/page_files.h"
#include "job/pages.h"
#include "job/variants.h"
#include "job/verify.h"
#include "model/path_helpers.h"
#include "model/save_options.h"
#include "settings/extension_options.h"
#include "settings/settings_file.h"
#include "textout/source_rects.h"
#include "textout/text_writers.h"

namespace tilvane {

namespace {

// Asks for the options of the output's format. False when the user cancelled;
// the options stay empty for a format that has none.
bool chooseSaveOptions(BuildJob& job, SaveOptions& options) {
    const JobSettings& settings = job.jobSpec.settings;
    const ImageFormatInfo* info = imageFormatOf(settings.outputImageFile);
    // Only TIFF and JPEG ask; the checks let no unknown extension get here.
    if (!info) return true;
    const ImageFormat format = info->format;
    if (format == ImageFormat::tiff) {
        SaveOptionsQuestion question{"TIFF Options",         false, settings.tiffCompression, 0, 0,
                                     kTiffCompressionChoices};
        if (!job.events.askSaveOptions(question)) return false;
        TiffOptions tiff;
        tiff.compression = question.value;
        options = tiff;
    } else if (format == ImageFormat::jpeg) {
        SaveOptionsQuestion question{"JPEG Options", true, settings.jpegQuality, 0, 100, {}};
        if (!job.events.askSaveOptions(question)) return false;
        options = JpegOptions{question.value};
    } else if (format == ImageFormat::png) {
        options = PngOptions{settings.pngCompression};
    } else if (format == ImageFormat::webp) {
        WebpOptions webp;
        if (const auto quality = job.jobSpec.extras.webpQuality) {
            webp.lossyQuality = static_cast<std::int32_t>(std::min<std::uint32_t>(*quality, 100));
        }
        options = webp;
    }
    return true;
}

// The document of the writer that the run's text-file type selects. Empty when
// the run's lists do not describe every entry or the writer refuses.
std::optional<std::string> sourceRectsDocument(const JobSettings& settings, const BuildRun& run) {
    const std::int32_t type = run.textFileType;
    const EntryUse use =
        type == kTextJson || type == kTextXml ? EntryUse::withFileValues : EntryUse::rectsOnly;
    const std::optional<std::vector<SourceRectEntry>> entries = sourceRectEntries(run, use);
    if (!entries) return std::nullopt;
    switch (type) {
        case kTextJson:
            return formatJsonRects(settings, *entries);
        case kTextXml:
            return formatXmlRects(settings, *entries);
        case kTextCss:
            return formatCssRects(settings, *entries);
        default:
            return formatPlainTextRects(settings, *entries);
    }
}

// Why a file that looks like an earlier run's page was left, in words.
std::string leftReason(const LeftPageFile& left) {
    switch (left.why) {
        case LeftPageFile::Why::textDoesNotNameImage:
            return "its page's text file does not name its image";
        case LeftPageFile::Why::notRegularFile:
            return "a file of its page is not a regular file";
        case LeftPageFile::Why::removeFailed:
            break;
    }
    return std::string("could not be removed: ") + std::strerror(left.error);
}

// The other pages' text files as this page's text file names them (all share
// one folder); none for an atlas of one page.
std::vector<std::string> otherPages(const BuildJob& job) {
    std::vector<std::string> names;
    const std::size_t count = job.run.pages.size();
    if (!job.jobSpec.sizing.pages || count < 2) return names;
    for (std::size_t p = 0; p < count; ++p) {
        if (p != job.run.page) {
            const PathParts parts =
                splitPath(pageFilePath(variantTextFile(job.jobSpec, job.run.variant), p + 1));
            names.push_back(parts.baseName + parts.extension);
        }
    }
    return names;
}

// Replaces outputTextFile with the run's source-rect document, in the
// platform's text-mode line endings ("\r\n" on Windows). The document is made
// before the file is opened, so a refused one leaves any previous file as it
// was; a failed write leaves it too (OutputFile commits by renaming). On false,
// *error holds the cause: EINVAL for a refused document, else the file's errno.
// A phaser-multi page keeps its entry; the last page writes the one file.
bool writeTextFile(BuildJob& job, Size atlas, StagedOutputs& outputs, int* error) {
    const DataFormat format = job.jobSpec.extras.format;
    std::optional<std::string> document =
        format == DataFormat::byExtension
            ? sourceRectsDocument(job.jobSpec.settings, job.run)
            : engineDocument(job.jobSpec.extras, job.run, atlas, otherPages(job));
    if (!document) {
        *error = EINVAL;
        return false;
    }
    if (format == DataFormat::phaserMulti) {
        // Each atlas (each --variant) has its own file.
        if (job.run.page == 0) job.run.textureEntries.clear();
        job.run.textureEntries.push_back(std::move(*document));
        if (job.run.page + 1 < job.run.pages.size()) return true;
        document = multiAtlasDocument(job.run);
    }
#ifdef _WIN32
    std::string text;
    text.reserve(document->size() + document->size() / 16);
    for (const char c : *document) {
        if (c == '\n') text.push_back('\r');
        text.push_back(c);
    }
#else
    const std::string& text = *document;
#endif
    *error = outputs.stageText(job.run.textFile, text);
    return *error == 0;
}

// The page as drawn: its outputs, and each entry with its place, the source
// rectangle it shows and that rectangle's digest when the scan took one.
BuildRun::DrawnPage drawnPage(const BuildJob& job, Size atlas) {
    const BuildRun& run = job.run;
    // libGDX reads turned regions counter-clockwise, the JSON formats clockwise.
    BuildRun::DrawnPage page{atlas,
                             run.imageFile,
                             run.textFile,
                             run.placedNames,
                             run.placedRects,
                             {},
                             {},
                             run.footprintArea,
                             run.placedTurns,
                             job.jobSpec.extras.format != DataFormat::gdx,
                             run.scale,
                             run.occupiedRects};
    const bool cropped = job.jobSpec.settings.cropMode != kCropNone;
    for (const std::int32_t f : run.placedFileIndices) {
        const auto index = static_cast<std::size_t>(f);
        const Size size = placedSizeOf(job.jobSpec.settings, run, f);
        const Point offset =
            cropped && index < run.trimOffsets.size() ? run.trimOffsets[index] : Point{};
        page.sources.push_back(
            {offset.x, offset.y, offset.x + size.width - 1, offset.y + size.height - 1});
        page.sourceDigests.push_back(index < run.sourceDigests.size() ? run.sourceDigests[index]
                                                                      : 0);
    }
    page.scale = run.scale;
    return page;
}

}  // namespace

BuildOutcome finishBuild(BuildJob& job) {
    const JobSettings& settings = job.jobSpec.settings;
    BuildRun& run = job.run;
    JobEvents& events = job.events;
    // The first page of the first atlas; every atlas's pages follow it.
    const bool firstPage = run.page == 0 && run.variant == 0;
    const bool lastPage = run.page + 1 >= run.pages.size();
    const bool lastVariant = run.variant + 1 >= run.variantFiles.size();
    if (firstPage && job.onPhase) job.onPhase(JobPhase::saving);
    run.currentStep = -1;
    if (firstPage) {
        run.outputFailures.clear();
        run.staged.discard();
        // One question for every page: they are one atlas in parts.
        if (!chooseSaveOptions(job, run.saveOptions)) {
            events.status("You cancelled.");
            return BuildOutcome::cancelled;
        }
        if (!job.jobSpec.saveSettingsFile.empty()) {
            const int error = run.staged.stageSettings(job.jobSpec.saveSettingsFile,
                                                       settingsFileBytes(job.jobSpec));
            if (error != 0) {
                run.outputFailures.push_back(
                    {OutputFailure::Output::settings, job.jobSpec.saveSettingsFile, error});
            }
        }
    }

    events.status("Saving...");
    const int saveError =
        run.staged.stageImage(run.outputImage.get(), run.imageFile, run.saveOptions);
    const bool saved = saveError == 0;
    const Size atlas{imageWidth(run.outputImage.get()), imageHeight(run.outputImage.get())};
    run.outputImage.reset();
    run.drawnPages.push_back(drawnPage(job, atlas));
    if (!saved) {
        run.outputFailures.push_back({OutputFailure::Output::image, run.imageFile, saveError});
    }

    bool maskWritten = true;
    if (settings.createMask != 0) {
        // The mask takes a while on a large atlas; say so before it starts.
        events.status("Creating mask...");
        const int maskError = run.staged.stageMask(run.imageFile, atlas, run.placedRects);
        maskWritten = maskError == 0;
        if (!maskWritten) {
            run.outputFailures.push_back(
                {OutputFailure::Output::mask, maskPathFor(run.imageFile), maskError});
        }
    }

    prepareDataNames(settings, job.jobSpec.extras, run);
    int textError = 0;
    const bool textWritten = saved && writeTextFile(job, atlas, run.staged, &textError);
    if (saved && !textWritten) {
        run.outputFailures.push_back({OutputFailure::Output::text, run.textFile, textError});
    }
    bool complete = saved && textWritten && maskWritten && run.outputFailures.empty();
    // The depfile names every page's outputs, of every atlas, so it is made
    // once they are all staged.
    if (complete && lastPage && lastVariant && !job.jobSpec.depfile.path.empty()) {
        const std::string& path = job.jobSpec.depfile.path;
        if (const int error = run.staged.stageDepfile(path, depfileText(job))) {
            run.outputFailures.push_back({OutputFailure::Output::depfile, path, error});
            complete = false;
        }
    }
    // The layout of every page, committed with them (a layout file holds
    // one atlas: it is refused with variants).
    const std::string& layoutFile = job.jobSpec.extras.keepLayoutFile;
    if (lastPage && lastVariant && complete && !layoutFile.empty()) {
        const int error =
            run.staged.stageLayout(layoutFile, formatLayout(layoutRecordOf(job.jobSpec, run)));
        if (error != 0) {
            run.outputFailures.push_back({OutputFailure::Output::layout, layoutFile, error});
            complete = false;
        }
    }
    if ((!lastPage || !lastVariant) && complete) {
        if (!lastPage ? armPage(job, run.page + 1) : armVariant(job, run.variant + 1)) {
            return BuildOutcome::stepDone;
        }
        // The next page's atlas could not be made (armPage said so): no page lands.
        run.staged.discard();
        return BuildOutcome::imageNotSaved;
    }
    // Every output of the job lands together, or none replaces its file.
    if (complete) {
        // An earlier run of more pages left pages that would pass for this
        // run's; they go while the folders are still locked.
        const auto removeStalePages = [&job, &run] {
            if (!job.jobSpec.sizing.pages) return;
            const std::vector<std::size_t> pageCounts = variantPageCounts(run);
            for (std::size_t v = 0; v < pageCounts.size(); ++v) {
                const StalePageCleanup cleanup =
                    removeStaleSiblingPages(variantImageFile(job.jobSpec, v),
                                            variantTextFile(job.jobSpec, v), pageCounts[v]);
                for (const std::string& removed : cleanup.removed) {
                    run.notes.stalePagesRemoved.push_back(removed);
                }
                for (const LeftPageFile& left : cleanup.left) {
                    run.notes.stalePagesLeft.push_back(left.path + " (" + leftReason(left) + ")");
                }
            }
        };
        for (OutputFailure& failure : run.staged.commitAll(removeStalePages)) {
            run.outputFailures.push_back(std::move(failure));
        }
        // What landed is read back, as a reader of the files would read it.
        if (job.jobSpec.extras.verify && run.outputFailures.empty()) {
            if (job.onPhase) job.onPhase(JobPhase::verifying);
            events.status("Verifying...");
            run.notes.verifyFailure =
                verifyWrittenPages(settings.inputFolder, job.jobSpec.extras.extrude, run.drawnPages,
                                   {job.jobSpec.extras.bleed, job.jobSpec.extras.premultiply})
                    .value_or("");
            run.notes.verified = true;
        }
    } else {
        run.staged.discard();
    }
    const auto failed = [&run](OutputFailure::Output which) {
        for (const OutputFailure& f : run.outputFailures) {
            if (f.output == which) return true;
        }
        return false;
    };

    const int added = static_cast<int>(run.placedNames.size()) + run.addedOnEarlierPages;
    BuildOutcome outcome = BuildOutcome::saved;
    // A mask that failed kept the atlas from its place too.
    if (failed(OutputFailure::Output::image) || failed(OutputFailure::Output::mask)) {
        events.status("Failed to save image.");
        events.message("Failed to save the image!");
        outcome = BuildOutcome::imageNotSaved;
    } else if (failed(OutputFailure::Output::text)) {
        events.status("Failed to save text file.");
        events.message("Failed to save the source rects text file!");
        outcome = BuildOutcome::textNotSaved;
    } else if (failed(OutputFailure::Output::settings) || failed(OutputFailure::Output::layout)) {
        outcome = BuildOutcome::settingsNotSaved;
    } else if (failed(OutputFailure::Output::depfile)) {
        outcome = BuildOutcome::depfileNotSaved;
    } else if (!run.failures.empty()) {
        events.report(run.failures, run.imageFile, run.textFile, added,
                      static_cast<int>(run.failures.size()));
        events.status("Failed to load/add some files.");
        outcome = BuildOutcome::savedWithFailures;
    } else {
        events.status("Done");
        events.done(run.imageFile, run.textFile, added);
    }
    return outcome;
}

}  // namespace tilvane
