#include "cli/terminal_window.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tilvane {
namespace {

struct Terminal {
    JobSettings settings = defaultJobSettings();
    BuildRun run;
    std::ostringstream out;
    std::ostringstream err;
    TerminalWindow window;

    explicit Terminal(bool progress) : window(settings, run, out, err, progress) {}
};

TEST(TerminalWindow, ProgressShowsCountsAndIsClearedBeforeAMessage) {
    Terminal t(true);
    for (const char* name : {"a.png", "b.png", "c.png", "d.png"}) t.window.fileList().add(name);
    t.run.currentStep = 2;
    t.window.setStatusText("Adding: c.png");
    t.window.refreshControls(false);
    EXPECT_NE(t.err.str().find("[###############...............] 2/4 Adding: c.png"),
              std::string::npos)
        << t.err.str();
    t.window.showMessage("Failed to save the image!");
    const std::string err = t.err.str();
    EXPECT_EQ(err.substr(err.size() - 30), "\r\x1b[KFailed to save the image!\n");
    EXPECT_EQ(t.out.str(), "");
}

TEST(TerminalWindow, NoProgressWhenNotAsked) {
    Terminal t(false);
    t.window.setStatusText("Searching for files...");
    t.window.refreshControls(false);
    EXPECT_EQ(t.err.str(), "");
}

TEST(TerminalWindow, OptionsDialogAnswersTheStoredValuesClamped) {
    Terminal t(false);
    struct Case {
        std::int32_t stored;
        std::int32_t answered;
    };
    for (const Case& c : std::vector<Case>{{150, 100}, {-5, 0}, {42, 42}}) {
        std::int32_t quality = c.stored;
        EXPECT_TRUE(t.window.runImageOptionsDialog("JPEG Options", &quality, 0, 100, nullptr, {}));
        EXPECT_EQ(quality, c.answered);
    }
    std::int32_t compression = 7;
    EXPECT_TRUE(t.window.runImageOptionsDialog("TIFF Options", nullptr, 0, 0, &compression,
                                               kTiffCompressionChoices));
    EXPECT_EQ(compression, 7);
}

// Names reach the terminal in the progress line and in messages too (the
// report is checked on the real program); neither may break a line or carry
// an escape sequence.
TEST(TerminalWindow, ControlCharactersInProgressAndMessagesAreEscaped) {
    Terminal t(true);
    t.window.fileList().add("a.png");
    t.run.currentStep = 0;
    t.window.setStatusText("Adding: evil\n\x1b[31m.png");
    t.window.refreshControls(false);
    t.window.showMessage("Cannot read\nevil\t\x1b[2J.png");
    EXPECT_EQ(t.err.str(),
              "\r[..............................] 0/1 Adding: evil\\n\\x1b[31m.png\x1b[K"
              "\r\x1b[KCannot read evil\\t\\x1b[2J.png\n");
}

TEST(EscapeControls, WritesControlBytesAsCEscapes) {
    struct Case {
        const char* text;
        const char* escaped;
    };
    const std::vector<Case> cases = {
        {"plain name.png", "plain name.png"},
        {"a\nb\tc\rd", "a\\nb\\tc\\rd"},
        {"\x1b[31mred\x7f\x01", "\\x1b[31mred\\x7f\\x01"},
        {"back\\slash \xc3\xa9t\xc3\xa9", "back\\slash \xc3\xa9t\xc3\xa9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(escapeControls(c.text), c.escaped);
    }
    EXPECT_EQ(escapeControls(std::string("nul\0byte", 8)), "nul\\x00byte");
}

TEST(ProgressLine, FitsTheWidthWithTheEllipsisInTheName) {
    const std::string longName = "Adding: sprite_" + std::string(60, 'x') + "_frame_0042.png";
    struct Case {
        const char* name;
        int done;
        int total;
        std::string status;
        int columns;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"fits", 2, 4, "Adding: c.png", 80, "[###############...............] 2/4 Adding: c.png"},
        {"long name, 100 columns", 3, 10, longName, 100,
         "[#########.....................] 3/10 Adding: sprite_" + std::string(18, 'x') + "..." +
             std::string(10, 'x') + "_frame_0042.png"},
        {"narrower bar", 3, 10, longName, 50, "[###........] 3/10 Adding: sprite_xx...e_0042.png"},
        {"no bar", 3, 10, longName, 36, "3/10 Adding: sprite_xx...e_0042.png"},
        {"idle status", -1, 10, "Searching for files...", 80, "Searching for files..."},
        {"idle, too narrow", -1, 0, "Searching for files...", 12, "Sear...s..."},
        {"wide characters count two, the counts give way", 0, 1,
         "Adding: \xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.png", 17, "Adding: \xe6\x97\xa5...png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(progressLine(c.done, c.total, c.status, c.columns), c.line);
    }
    // Never the last column, whatever the width.
    for (int columns = 1; columns <= 130; ++columns) {
        const std::string line = progressLine(7, 300, longName, columns);
        EXPECT_LE(static_cast<int>(line.size()), std::max(columns - 1, 0)) << columns;
    }
}

TEST(OneLine, JoinsTheLinesOfAMessage) {
    EXPECT_EQ(oneLine("No files found."), "No files found.");
    EXPECT_EQ(oneLine("to \nthe setting:\n- Crop"), "to the setting: - Crop");
}

}  // namespace
}  // namespace tilvane
