#include <string>

#include "build/build.h"
#include "image/image_file.h"
#include "image/mask.h"
#include "model/save_options.h"
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
    }
    return true;
}

bool writeTextFile(BuildJob& job, int* error) {
    switch (job.run.textFileType) {
        case kTextJson:
            return writeJsonRects(job.settings, job.run, error);
        case kTextXml:
            return writeXmlRects(job.settings, job.run, error);
        case kTextCss:
            return writeCssRects(job.settings, job.run, error);
        default:
            return writePlainTextRects(job.settings, job.run, error);
    }
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

    int textError = 0;
    const bool textWritten = saved && writeTextFile(job, &textError);
    if (saved && !textWritten) {
        run.outputFailures.push_back(
            {OutputFailure::Output::text, settings.outputTextFile, textError});
    }
    const int added = static_cast<int>(run.placedNames.size());
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
