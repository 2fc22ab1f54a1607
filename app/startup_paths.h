#pragma once

#include <string>
#include <vector>

namespace tilvane {

// Where the program finds its files, decided once at start-up.
struct StartupPaths {
    // The executable's folder with a trailing separator.
    std::string programFolder;
    // The default settings file, read at start and written at every exit.
    std::string settingsFile;
    // Where "Help!" looks for the help document, in order; the message for a
    // missing document names the first.
    std::vector<std::string> helpDocuments;
};

inline constexpr const char* kHelpFileName = "Tilvane_Help.pdf";

// The running executable's folder (the current folder when it cannot be read).
std::string runningProgramFolder();

// Settings.cfg beside the executable when that folder can be written, else in
// the per-user configuration folder (~/.config/tilvane/, which is made when
// missing).
std::string defaultSettingsFileFor(const std::string& programFolder);

// The paths for the running program: its folder, the settings file by the rule
// above, and the help document beside it, then in <prefix>/share/doc/tilvane/.
StartupPaths startupPaths();

// The paths of a program whose every file lives in one folder (the tests').
StartupPaths startupPathsIn(const std::string& folder);

}  // namespace tilvane
