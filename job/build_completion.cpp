#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "image/image_file.h"
#include "image/mask.h"
#include "image/output_file.h"
#include "job/build.h"
#include "job/engine_output.h"
#include "model/save_options.h"
#include "textout/source_rects.h"
#include "textout/text_writers.h"

namespace tilvane {

namespace {

// Asks for the options of the output's format. False when the user cancelled;
// the options stay empty for a format that has none.
bool chooseSaveOptions(BuildJob& job, SaveOptions& options) {
    JobSettings& settings = job.settings;
    const std::string extension = extensionOf(settings.outputImageFile);
    if (extension == ".tif" || extension == ".tiff") {
        std::int32_t compression = settings.tiffCompression;
        if (!job.window.runImageOptionsDialog("TIFF Options", nullptr, 0, 0, &compression,
                                              kTiffCompressionChoices)) {
            return false;
        }
        settings.tiffCompression = compression;
        TiffOptions tiff;
        tiff.compression = compression;
        options = tiff;
    } else if (extension == ".jpg" || extension == ".jpeg") {
        std::int32_t quality = settings.jpegQuality;
        if (!job.window.runImageOptionsDialog("JPEG Options", &quality, 0, 100, nullptr, {})) {
            return false;
        }
        settings.jpegQuality = quality;
        options = JpegOptions{quality};
    } else if (extension == ".png") {
        options = PngOptions{settings.pngCompression};
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

// Replaces outputTextFile with the run's source-rect document, in the
// platform's text-mode line endings ("\r\n" on Windows). The document is made
// before the file is opened, so a refused one leaves any previous file as it
// was; a failed write leaves it too (OutputFile commits by renaming). On false,
// *error holds the cause: EINVAL for a refused document, else the file's errno.
bool writeTextFile(const BuildJob& job, int* error) {
    const DataFormat format = job.extras.format;
    const std::optional<std::string> document = format == DataFormat::byExtension
                                                    ? sourceRectsDocument(job.settings, job.run)
                                                    : engineDocument(job.settings, format, job.run);
    if (!document) {
        *error = EINVAL;
        return false;
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
    OutputFile file(job.settings.outputTextFile);
    if (file.open() && file.write(text) && file.commit()) return true;
    *error = file.error();
    return false;
}

void showStatus(WindowServices& window, std::string text) {
    window.setStatusText(std::move(text));
    window.refreshControls(false);
}

}  // namespace

BuildOutcome finishBuild(BuildJob& job) {
    JobSettings& settings = job.settings;
    BuildRun& run = job.run;
    WindowServices& window = job.window;
    if (job.onPhase) job.onPhase(BuildPhase::saving);
    run.currentStep = -1;
    run.outputFailures.clear();

    SaveOptions options;
    if (!chooseSaveOptions(job, options)) {
        window.setStatusText("You cancelled.");
        window.refreshControls(false);
        return BuildOutcome::cancelled;
    }

    showStatus(window, "Saving...");
    const int saveError =
        SaveBitmapToFile(run.outputImage.get(), settings.outputImageFile, options);
    const bool saved = saveError == 0;
    run.outputImage.reset();
    if (!saved) {
        run.outputFailures.push_back(
            {OutputFailure::Output::image, settings.outputImageFile, saveError});
    }

    bool maskWritten = true;
    if (settings.createMask != 0) {
        // The mask takes a while on a large atlas; say so before it starts.
        showStatus(window, "Creating mask...");
        int maskError = 0;
        maskWritten = createMaskImage(settings.outputImageFile, settings.outputWidth,
                                      settings.outputHeight, run.placedRects, &maskError);
        if (!maskWritten) {
            run.outputFailures.push_back(
                {OutputFailure::Output::mask, maskPathFor(settings.outputImageFile), maskError});
        }
    }

    prepareDataNames(settings, job.extras.format, run);
    int textError = 0;
    const bool textWritten = saved && writeTextFile(job, &textError);
    if (saved && !textWritten) {
        run.outputFailures.push_back(
            {OutputFailure::Output::text, settings.outputTextFile, textError});
    }
    const int added = static_cast<int>(run.placedNames.size()) + run.addedOnEarlierPages;
    if (run.morePagesFollow && saved && textWritten) {
        // The last page tells the outcome of all.
        return maskWritten ? BuildOutcome::saved : BuildOutcome::maskNotSaved;
    }
    BuildOutcome outcome = BuildOutcome::saved;
    if (!saved) {
        showStatus(window, "Failed to save image.");
        window.showMessage("Failed to save the image!");
        outcome = BuildOutcome::imageNotSaved;
    } else if (!textWritten) {
        showStatus(window, "Failed to save text file.");
        window.showMessage("Failed to save the source rects text file!");
        outcome = BuildOutcome::textNotSaved;
    } else if (!run.failures.empty()) {
        window.showReport(run.failures, settings.outputImageFile, settings.outputTextFile, added,
                          static_cast<int>(run.failures.size()));
        showStatus(window, "Failed to load/add some files.");
        outcome = BuildOutcome::savedWithFailures;
    } else {
        showStatus(window, "Done");
        window.showDone(settings.outputImageFile, settings.outputTextFile, added);
    }
    window.refreshControls(false);
    // The window keeps a failed mask to itself; the outcome does not.
    if (!maskWritten && saved && textWritten) return BuildOutcome::maskNotSaved;
    return outcome;
}

}  // namespace tilvane
