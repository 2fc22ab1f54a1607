#include "cli/terminal_events.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "model/file_list.h"

namespace tilvane {

namespace {

constexpr int kBarWidth = 30;
// Below this a bar says too little to be worth the room it takes from the name.
constexpr int kMinBarWidth = 10;
// The room a status keeps before the bar gives way.
constexpr int kMinStatusColumns = 30;
constexpr int kDefaultColumns = 80;
// A terminal need not be redrawn for every one of ten thousand steps.
constexpr auto kRedrawInterval = std::chrono::milliseconds(50);

// The length in bytes of the character that starts at text[i]: a UTF-8
// sequence whole, any other byte alone.
std::size_t characterBytes(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    std::size_t n = 1;
    while (n < length && i + n < text.size() &&
           (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) {
        ++n;
    }
    return n;
}

int columnsOf(std::string_view text) {
    int columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = characterBytes(text, i);
        columns += n >= 3 ? 2 : 1;
        i += n;
    }
    return columns;
}

// The longest start of text (whole characters) that takes at most columns.
std::string_view headOf(std::string_view text, int columns) {
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t n = characterBytes(text, i);
        const int width = n >= 3 ? 2 : 1;
        if (width > columns) break;
        columns -= width;
        i += n;
    }
    return text.substr(0, i);
}

// The longest end of text (whole characters) that takes at most columns.
std::string_view tailOf(std::string_view text, int columns) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); i += characterBytes(text, i)) starts.push_back(i);
    std::size_t start = text.size();
    for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
        const int width = columnsOf(text.substr(*it, start - *it));
        if (width > columns) break;
        columns -= width;
        start = *it;
    }
    return text.substr(start);
}

// text in at most columns, its middle replaced by "..." when it is too long.
std::string fitMiddle(std::string_view text, int columns) {
    if (columnsOf(text) <= columns) return std::string(text);
    if (columns < 5) return std::string(headOf(text, std::max(columns, 0)));
    const int kept = columns - 3;
    std::string fitted(headOf(text, kept / 2));
    fitted += "...";
    fitted += tailOf(text, kept - kept / 2);
    return fitted;
}

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

std::string escapeControls(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            escaped += c;
        } else if (c == '\t') {
            escaped += "\\t";
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\r') {
            escaped += "\\r";
        } else {
            escaped += "\\x";
            escaped += kHex[byte >> 4];
            escaped += kHex[byte & 0xF];
        }
    }
    return escaped;
}

std::string progressLine(int done, int total, std::string_view status, int columns) {
    int room = std::max(columns - 1, 0);
    std::string line;
    if (total > 0 && done >= 0) {
        done = std::min(done, total);
        const std::string counts = std::to_string(done) + '/' + std::to_string(total) + ' ';
        const int countsWidth = static_cast<int>(counts.size());
        const int statusWidth = std::min(columnsOf(status), kMinStatusColumns);
        const int bar = std::min(kBarWidth, room - countsWidth - statusWidth - 3);
        if (bar >= kMinBarWidth) {
            const int filled = static_cast<int>(static_cast<long long>(done) * bar / total);
            line.push_back('[');
            line.append(static_cast<std::size_t>(filled), '#');
            line.append(static_cast<std::size_t>(bar - filled), '.');
            line.append("] ");
        }
        if (countsWidth + statusWidth <= room - static_cast<int>(line.size())) line += counts;
    }
    room -= static_cast<int>(line.size());
    // "Adding: NAME" keeps its label and shortens the name.
    const std::size_t colon = status.find(": ");
    if (colon != std::string_view::npos) {
        const std::string_view label = status.substr(0, colon + 2);
        const int labelWidth = columnsOf(label);
        if (labelWidth + 5 <= room) {
            line += label;
            line += fitMiddle(status.substr(colon + 2), room - labelWidth);
            return line;
        }
    }
    line += fitMiddle(status, room);
    return line;
}

int terminalColumns(int fd) {
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

TerminalEvents::TerminalEvents(std::ostream& out, std::ostream& err, bool progress)
    : out_(out), err_(err), progress_(progress) {}

TerminalEvents::~TerminalEvents() {
    clearProgress();
}

void TerminalEvents::status(const std::string& text) {
    status_ = text;
    // A step's status comes with every file; only a new kind of work forces a redraw.
    drawProgress(status_.rfind("Adding: ", 0) != 0);
}

void TerminalEvents::progress(JobPhase phase, std::size_t done, std::size_t total,
                              std::string_view) {
    if (phase != JobPhase::placing) return;
    done_ = static_cast<int>(std::min<std::size_t>(done, INT32_MAX));
    total_ = static_cast<int>(std::min<std::size_t>(total, INT32_MAX));
    drawProgress(false);
}

void TerminalEvents::drawProgress(bool force) {
    if (!progress_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && progressShown_ && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    const int width = columns ? columns() : 0;
    std::string line = "\r";
    line +=
        progressLine(done_, total_, escapeControls(status_), width > 0 ? width : kDefaultColumns);
    line += "\x1b[K";
    err_ << line << std::flush;
    progressShown_ = true;
}

void TerminalEvents::clearProgress() {
    if (!progressShown_) return;
    err_ << "\r\x1b[K" << std::flush;
    progressShown_ = false;
}

void TerminalEvents::message(const std::string& text) {
    clearProgress();
    err_ << escapeControls(oneLine(text)) << '\n' << std::flush;
}

void TerminalEvents::report(const std::vector<std::string>& failureLines, const std::string&,
                            const std::string&, int added, int failed) {
    clearProgress();
    err_ << "Failed to load/add the following files:\n";
    for (const std::string& line : sortedAsListBox(failureLines)) {
        err_ << escapeControls(line) << '\n';
    }
    err_ << "Total images added: " << added << '\n'
         << "Total images failed: " << failed << '\n'
         << "Grand total: " << static_cast<long long>(added) + failed << '\n'
         << std::flush;
}

void TerminalEvents::done(const std::string&, const std::string&, int added) {
    clearProgress();
    out_ << "Total images added: " << added << '\n' << std::flush;
}

bool TerminalEvents::askSaveOptions(SaveOptionsQuestion& question) {
    // The dialog opens clamped and OK hands back what it shows; the compression
    // comes back as stored, whether or not the list holds it.
    if (question.quality) {
        question.value = std::clamp(question.value, question.minimum,
                                    std::max(question.minimum, question.maximum));
    }
    return true;
}

}  // namespace tilvane
