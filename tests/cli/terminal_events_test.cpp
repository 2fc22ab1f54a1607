#include "cli/terminal_events.h"

#include <gtest/gtest.h>

#include <sstream>
#include <tuple>

namespace tilvane {
namespace {

// Names reach the terminal in the progress line and in messages too (the
// report is checked on the real program); neither may break a line or carry
// an escape sequence. A message clears the progress line first.
TEST(TerminalEvents, ProgressAndMessagesAreOneLineEach) {
    for (const bool progress : {true, false}) {
        SCOPED_TRACE(progress);
        std::ostringstream out, err;
        TerminalEvents w(out, err, progress);
        w.progress(JobPhase::placing, 2, 4, {});
        w.clearProgress();
        err.str("");
        w.status("Adding: evil\n\x1b[31m.png");
        // Control bytes are written as C escapes; a backslash and UTF-8 stay.
        const std::string escaped =
            "Cannot read evil\\t\\x1b[2J\\x7f\\x01 back\\slash \xc3\xa9.png\n";
        w.message("Cannot read\nevil\t\x1b[2J\x7f\x01 back\\slash \xc3\xa9.png");
        EXPECT_EQ(err.str(), progress ? "\r[###############...............] 2/4 Adding: "
                                        "evil\\n\\x1b[31m.png\x1b[K\r\x1b[K" +
                                            escaped
                                      : escaped);
        EXPECT_EQ(out.str(), "");
        // The save-options question is answered with the stored values, clamped.
        for (const auto& [stored, answered] : {std::pair{150, 100}, {-5, 0}, {42, 42}}) {
            SaveOptionsQuestion q{"JPEG Options", true, stored, 0, 100, {}};
            EXPECT_TRUE(w.askSaveOptions(q));
            EXPECT_EQ(q.value, answered);
        }
        SaveOptionsQuestion tiff{"TIFF Options", false, 7, 0, 0, kTiffCompressionChoices};
        EXPECT_TRUE(w.askSaveOptions(tiff) && tiff.value == 7);
    }
}

TEST(ProgressLine, FitsTheWidthWithTheEllipsisInTheName) {
    const std::string longName = "Adding: sprite_" + std::string(60, 'x') + "_frame_0042.png";
    // done, total, status, columns and the line.
    const std::vector<std::tuple<int, int, std::string, int, std::string>> cases = {
        {2, 4, "Adding: c.png", 80, "[###############...............] 2/4 Adding: c.png"},
        {3, 10, longName, 100,
         "[#########.....................] 3/10 Adding: sprite_" + std::string(18, 'x') + "..." +
             std::string(10, 'x') + "_frame_0042.png"},
        {3, 10, longName, 50, "[###........] 3/10 Adding: sprite_xx...e_0042.png"},
        {3, 10, longName, 36, "3/10 Adding: sprite_xx...e_0042.png"},
        {-1, 10, "Searching for files...", 80, "Searching for files..."},
        {-1, 0, "Searching for files...", 12, "Sear...s..."},
        // Wide characters count two; the counts give way.
        {0, 1, "Adding: \xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.png", 17,
         "Adding: \xe6\x97\xa5...png"},
    };
    for (const auto& [done, total, status, columns, line] : cases)
        EXPECT_EQ(progressLine(done, total, status, columns), line) << columns;
    // Never the last column, whatever the width.
    for (int columns = 1; columns <= 130; ++columns) {
        const std::string line = progressLine(7, 300, longName, columns);
        EXPECT_LE(static_cast<int>(line.size()), std::max(columns - 1, 0)) << columns;
    }
}

}  // namespace
}  // namespace tilvane
