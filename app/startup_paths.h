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

// The default settings file of a program in programFolder, from the
// environment at the time of the call; creates nothing. A portable install
// (a Settings.cfg already in programFolder, and programFolder writable) keeps
// its file there. Otherwise it is $XDG_CONFIG_HOME/tilvane/Settings.cfg, with
// $HOME/.config in place of $XDG_CONFIG_HOME when that is unset, empty or
// not an absolute path (which the XDG rules say to ignore).
std::string defaultSettingsFileFor(const std::string& programFolder);

// The paths of a program in programFolder: the folder, the settings file by
// the rule above, and the help document beside it, then in
// <prefix>/share/doc/tilvane/ for <prefix>/bin/.
StartupPaths startupPathsFor(const std::string& programFolder);

// startupPathsFor() the running executable's folder.
StartupPaths startupPaths();

// The paths of a program whose every file lives in one folder (the tests').
StartupPaths startupPathsIn(const std::string& folder);

}  // namespace tilvane
