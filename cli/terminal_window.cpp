#include "cli/terminal_window.h"

#include <algorithm>

namespace tilvane {

namespace {

constexpr int kBarWidth = 30;
// A terminal need not be redrawn for every one of ten thousand steps.
constexpr auto kRedrawInterval = std::chrono::milliseconds(50);

}  // namespace

std::string oneLine(const std::string& text) {
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') {
            line += text[i];
            continue;
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        while (i + 1 < text.size() && text[i + 1] == ' ') ++i;
        if (!line.empty()) line += ' ';
    }
    return line;
}

TerminalWindow::TerminalWindow(JobSettings& settings, BuildRun& run, std::ostream& out,
                               std::ostream& err, bool progress)
    : settings_(settings), run_(run), out_(out), err_(err), progress_(progress) {}

TerminalWindow::~TerminalWindow() {
    clearProgress();
}

void TerminalWindow::setStatusText(std::string text) {
    status_ = std::move(text);
    if (onStatus) onStatus(status_);
}

void TerminalWindow::refreshControls(bool refill) {
    applyRefreshRules(settings_, run_, list_, refill);
    // Steps refresh twice each; only a new kind of work forces a redraw.
    drawProgress(status_.rfind("Adding: ", 0) != 0);
}

void TerminalWindow::drawProgress(bool force) {
    if (!progress_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && progressShown_ && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    const int total = list_.count();
    std::string line = "\r";
    if (run_.currentStep >= 0 && total > 0) {
        const int done = std::min(run_.currentStep, total);
        const int filled = static_cast<int>(static_cast<long long>(done) * kBarWidth / total);
        line.push_back('[');
        line.append(static_cast<std::size_t>(filled), '#');
        line.append(static_cast<std::size_t>(kBarWidth - filled), '.');
        line.append("] ");
        line.append(std::to_string(done));
        line.push_back('/');
        line.append(std::to_string(total));
        line.push_back(' ');
    }
    line += status_;
    line += "\x1b[K";
    err_ << line << std::flush;
    progressShown_ = true;
}

void TerminalWindow::clearProgress() {
    if (!progressShown_) return;
    err_ << "\r\x1b[K" << std::flush;
    progressShown_ = false;
}

void TerminalWindow::showMessage(const std::string& text) {
    clearProgress();
    messages_.push_back(text);
    err_ << oneLine(text) << '\n' << std::flush;
}

void TerminalWindow::showReport(const std::vector<std::string>& failureLines, const std::string&,
                                const std::string&, int added, int failed) {
    clearProgress();
    reportShown_ = true;
    err_ << "Failed to load/add the following files:\n";
    for (const std::string& line : sortedAsListBox(failureLines)) err_ << line << '\n';
    err_ << "Total images added: " << added << '\n'
         << "Total images failed: " << failed << '\n'
         << "Grand total: " << static_cast<long long>(added) + failed << '\n'
         << std::flush;
}

void TerminalWindow::showDone(const std::string&, const std::string&, int added) {
    clearProgress();
    doneShown_ = true;
    out_ << "Total images added: " << added << '\n' << std::flush;
}

std::optional<std::string> TerminalWindow::chooseFile(bool, const std::string&, std::string&,
                                                      const std::string&, int*) {
    return std::nullopt;
}

void TerminalWindow::openInExplorer(const std::string&, bool) {}

bool TerminalWindow::runImageOptionsDialog(const std::string&, std::int32_t* quality,
                                           std::int32_t qualityMin, std::int32_t qualityMax,
                                           std::int32_t*, std::span<const CompressionChoice>) {
    // The dialog opens clamped and OK hands back what it shows; the compression
    // comes back as stored, whether or not the list holds it.
    if (quality) *quality = std::clamp(*quality, qualityMin, std::max(qualityMin, qualityMax));
    return true;
}

}  // namespace tilvane
