#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "job/build_run.h"
#include "job/job_settings.h"
#include "job/window_services.h"

namespace tilvane {

// WindowServices for a terminal. Messages go to the error stream one line
// each, the report's lines (in the list's sorted order) and totals too, the
// done notice to the output stream. Status texts are drawn as a progress bar
// on the error stream, only when progress is asked for (a terminal, not
// --quiet). The save-options dialogs answer OK with the stored values,
// clamped as the dialog clamps them.
class TerminalWindow : public WindowServices {
public:
    TerminalWindow(JobSettings& settings, BuildRun& run, std::ostream& out, std::ostream& err,
                   bool progress);
    ~TerminalWindow() override;

    const std::string& statusText() const override { return status_; }
    void setStatusText(std::string text) override;
    void refreshControls(bool refill) override;
    FileList& fileList() override { return list_; }
    void showMessage(const std::string& text) override;
    void showReport(const std::vector<std::string>& failureLines, const std::string& imagePath,
                    const std::string& textPath, int added, int failed) override;
    void showDone(const std::string& imagePath, const std::string& textPath, int added) override;
    std::optional<std::string> chooseFile(bool save, const std::string& title,
                                          std::string& initialPath, const std::string& filterList,
                                          int* filterIndex) override;
    void openInExplorer(const std::string& path, bool select) override;
    bool runImageOptionsDialog(const std::string& title, std::int32_t* quality,
                               std::int32_t qualityMin, std::int32_t qualityMax,
                               std::int32_t* compression,
                               std::span<const CompressionChoice> choices) override;

    // What the build showed, from which the exit status follows.
    const std::vector<std::string>& messages() const { return messages_; }
    bool reportShown() const { return reportShown_; }
    bool doneShown() const { return doneShown_; }

    // Called with every status text as it is set; for the timings.
    std::function<void(const std::string&)> onStatus;

private:
    void drawProgress(bool force);
    void clearProgress();

    JobSettings& settings_;
    BuildRun& run_;
    std::ostream& out_;
    std::ostream& err_;
    bool progress_;
    bool progressShown_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
    FileList list_;
    std::string status_;
    std::vector<std::string> messages_;
    bool reportShown_ = false;
    bool doneShown_ = false;
};

// A message box text as one line: each line break, with the blanks around it,
// becomes a single blank.
std::string oneLine(const std::string& text);

}  // namespace tilvane
