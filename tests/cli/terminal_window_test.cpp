#include "cli/terminal_window.h"

#include <gtest/gtest.h>

#include <sstream>

#include "cli/option_table.h"

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

TEST(TerminalWindow, RefreshAppliesTheRefreshRules) {
    Terminal t(false);
    t.settings.cropAlpha = 300;
    t.settings.outputTextFile = "/x/rects.JSON";
    t.window.refreshControls(false);
    EXPECT_EQ(t.settings.cropAlpha, 255u);
    EXPECT_EQ(t.run.textFileType, 2);
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

TEST(OneLine, JoinsTheLinesOfAMessage) {
    EXPECT_EQ(oneLine("No files found."), "No files found.");
    EXPECT_EQ(oneLine("to \nthe setting:\n- Crop"), "to the setting: - Crop");
}

TEST(ParseUnsignedDecimal, AcceptsOnlyPlainUnsignedNumbers) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> value;
    };
    const std::vector<Case> cases = {
        {"0", 0u},          {"512", 512u}, {"4294967295", 4294967295u},
        {"4294967296", {}}, {"", {}},      {"-1", {}},
        {"+1", {}},         {" 1", {}},    {"1x", {}},
        {"0x10", {}},       {"007", 7u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseUnsignedDecimal(c.text), c.value);
    }
}

}  // namespace
}  // namespace tilvane
