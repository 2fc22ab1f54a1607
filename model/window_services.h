#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/file_list.h"
#include "model/save_options.h"

namespace tilvane {

struct JobSettings;
struct BuildRun;

// One choice of a file dialog's type list, shown as "PNG Images (*.png)".
struct FileFilter {
    std::string description;  // "PNG Images"
    std::string pattern;      // "*.png"; "*" for every file
};

// What the main window offers its commands and the job's events: the status
// line, a refresh, the file list, message boxes, the result dialogs, the file
// dialog and the save-options dialog. The job itself never calls a window: it
// tells its JobEvents, which the main window shows through these services.
class WindowServices {
public:
    virtual ~WindowServices() = default;

    // The status line. Callers set it and then refresh to make it visible.
    virtual const std::string& statusText() const = 0;
    virtual void setStatusText(std::string text) = 0;

    // Shows the current settings and status again. Implementations apply
    // applyRefreshRules() first; with refill set the file list is emptied and
    // the choice lists are filled again.
    virtual void refreshControls(bool refill) = 0;

    virtual FileList& fileList() = 0;

    // A modal message with one OK button; returns when it is closed.
    virtual void showMessage(const std::string& text) = 0;

    // The Report dialog: failure lines in their order, the two output paths for
    // its open-folder buttons, and the totals added, failed and added + failed.
    virtual void showReport(const std::vector<std::string>& failureLines,
                            const std::string& imagePath, const std::string& textPath, int added,
                            int failed) = 0;

    // The Done dialog with the two output paths and the number added.
    virtual void showDone(const std::string& imagePath, const std::string& textPath, int added) = 0;

    // A file dialog offering the filters in their order, the first preselected.
    // On confirmation: stores the 1-based index of the filter in use when asked
    // for, replaces initialPath with the chosen path and returns it (cut to
    // kPathLimit bytes, see path_helpers.h). On cancel: empty, nothing changed.
    virtual std::optional<std::string> chooseFile(bool save, const std::string& title,
                                                  std::string& initialPath,
                                                  const std::vector<FileFilter>& filters,
                                                  int* filterIndex) = 0;

    // Shows the path's folder in the file manager, the file selected when
    // select is set; nothing when the path is empty or its folder is missing.
    virtual void openInExplorer(const std::string& path, bool select) = 0;

    // The save-options dialog. A null slot hides that half. True on OK: the
    // given slots receive the chosen values; false on cancel, slots untouched.
    virtual bool runImageOptionsDialog(const std::string& title, std::int32_t* quality,
                                       std::int32_t qualityMin, std::int32_t qualityMax,
                                       std::int32_t* compression,
                                       std::span<const CompressionChoice> choices) = 0;
};

// What every refresh does to the data before it is shown: textFileType follows
// outputTextFile, refill empties the file list, cropAlpha above 255 becomes 255.
void applyRefreshRules(JobSettings& settings, BuildRun& run, FileList& fileList, bool refill);

}  // namespace tilvane
