#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "job/job_events.h"

namespace tilvane {

// JobEvents for a terminal. Messages go to the error stream one line each, the
// report's lines (in the list's sorted order) and totals too, the done notice
// to the output stream. Status texts are drawn as a progress bar with counts
// on the error stream, only when progress is asked for (a terminal, not
// --quiet). The save-options question is answered with the stored values,
// clamped as the dialog clamps them.
class TerminalEvents : public JobEvents {
public:
    TerminalEvents(std::ostream& out, std::ostream& err, bool progress);
    ~TerminalEvents() override;

    void status(const std::string& text) override;
    void progress(JobPhase phase, std::size_t done, std::size_t total,
                  std::string_view name) override;
    void message(const std::string& text) override;
    void report(const std::vector<std::string>& failureLines, const std::string& imagePath,
                const std::string& textPath, int added, int failed) override;
    void done(const std::string& imagePath, const std::string& textPath, int added) override;
    bool askSaveOptions(SaveOptionsQuestion& question) override;

    // Called when the job has planned its pages (a front end prints them).
    std::function<void(const std::vector<std::pair<std::int32_t, std::int32_t>>&, bool)> onPlanned;
    void planned(const std::vector<std::pair<std::int32_t, std::int32_t>>& pageSizes,
                 bool fitFailed) override {
        if (onPlanned) onPlanned(pageSizes, fitFailed);
    }

    // The terminal's width in columns, asked at every redraw so that a resize
    // is followed; unset or 0 (unknown): 80.
    std::function<int()> columns;

    // Erases the progress line, if one is shown; whatever the caller prints
    // next starts on a line of its own. The next status or progress draws it again.
    void clearProgress();

private:
    void drawProgress(bool force);

    std::ostream& out_;
    std::ostream& err_;
    bool progress_;
    bool progressShown_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
    std::string status_;
    int done_ = -1;
    int total_ = 0;
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
