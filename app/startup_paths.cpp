#include "app/startup_paths.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>

#include "model/path_helpers.h"
#include "settings/settings_file.h"

namespace tilvane {

std::string runningProgramFolder() {
    std::string folder = QCoreApplication::applicationDirPath().toStdString();
    if (folder.empty()) {
        folder = QDir::currentPath().toStdString();
    }
    return ensureTrailingSlash(folder);
}

std::string defaultSettingsFileFor(const std::string& programFolder) {
    // Only a file that is already there makes a portable install: a build
    // tree or <prefix>/bin that merely can be written is not one.
    const std::string beside = settingsFileIn(programFolder);
    if (fileExists(beside) && ::access(programFolder.c_str(), W_OK) == 0) return beside;
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config)) config = QDir::homePath() + QStringLiteral("/.config");
    return settingsFileIn(ensureTrailingSlash((config + QStringLiteral("/tilvane")).toStdString()));
}

StartupPaths startupPathsFor(const std::string& programFolder) {
    StartupPaths paths;
    paths.programFolder = ensureTrailingSlash(programFolder);
    paths.settingsFile = defaultSettingsFileFor(paths.programFolder);
    paths.helpDocuments.push_back(paths.programFolder + kHelpFileName);
    // <prefix>/bin/tilvane finds <prefix>/share/doc/tilvane/.
    const QString installed = QDir::cleanPath(QString::fromStdString(paths.programFolder) +
                                              QStringLiteral("../share/doc/tilvane/"));
    paths.helpDocuments.push_back(ensureTrailingSlash(installed.toStdString()) + kHelpFileName);
    return paths;
}

StartupPaths startupPaths() {
    return startupPathsFor(runningProgramFolder());
}

StartupPaths startupPathsIn(const std::string& folder) {
    StartupPaths paths;
    paths.programFolder = ensureTrailingSlash(folder);
    paths.settingsFile = settingsFileIn(paths.programFolder);
    paths.helpDocuments.push_back(paths.programFolder + kHelpFileName);
    return paths;
}

}  // namespace tilvane
