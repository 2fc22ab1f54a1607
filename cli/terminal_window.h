#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model/build_run.h"
#include "model/job_settings.h"
#include "model/window_services.h"

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
                                          std::string& initialPath,
                                          const std::vector<FileFilter>& filters,
                                          int* filterIndex) override;
    void openInExplorer(const std::string& path, bool select) override;
    bool runImageOptionsDialog(const std::string& title, std::int32_t* quality,
                               std::int32_t qualityMin, std::int32_t qualityMax,
                               std::int32_t* compression,
                               std::span<const CompressionChoice> choices) override;

    // The terminal's width in columns, asked at every redraw so that a resize
    // is followed; unset or 0 (unknown): 80.
    std::function<int()> columns;

    // Erases the progress line, if one is shown; whatever the caller prints
    // next starts on a line of its own. The next refresh draws it again.
    void clearProgress();

private:
    void drawProgress(bool force);

    JobSettings& settings_;
    BuildRun& run_;
    std::ostream& out_;
    std::ostream& err_;
    bool progress_;
    bool progressShown_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
    FileList list_;
    std::string status_;
};

// A message box text as one line: each line break, with the blanks around it,
// becomes a single blank.
std::string oneLine(const std::string& text);

// The text with each control character (bytes below 0x20, and 0x7F) written
// as a C escape: \t, \n and \r by name, the others as \xHH. Everything else
// stays, the backslash and UTF-8 included. Every name and message reaches the
// terminal through this, so a file name can neither forge a line nor send a
// terminal command.
std::string escapeControls(std::string_view text);

// The progress line for a terminal of `columns` columns (without the carriage
// return and the erase that draw it): "[####......] done/total status" while a
// build runs (total > 0, done >= 0), the status alone otherwise. It takes at
// most columns - 1 columns, so it never wraps: a status that does not fit
// loses its middle to "..." (for "Adding: NAME", the middle of the name), and
// a narrow terminal gets a shorter bar or none. Columns are counted as a
// terminal shows UTF-8: a character of three or four bytes counts two, which
// may waste a column but never wraps. The status must already be escaped.
std::string progressLine(int done, int total, std::string_view status, int columns);

// The width of the terminal on fd, 0 when it is not a terminal or says none.
int terminalColumns(int fd);

}  // namespace tilvane
