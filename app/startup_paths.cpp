#include "app/startup_paths.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include "job/path_helpers.h"
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
    if (::access(programFolder.c_str(), W_OK) == 0) return settingsFileIn(programFolder);
    // An installed program's folder belongs to root: the user's settings go to
    // the configuration folder instead.
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
    const QString folder = config + QStringLiteral("/tilvane");
    QDir().mkpath(folder);
    return settingsFileIn(ensureTrailingSlash(folder.toStdString()));
}

StartupPaths startupPaths() {
    StartupPaths paths;
    paths.programFolder = runningProgramFolder();
    paths.settingsFile = defaultSettingsFileFor(paths.programFolder);
    paths.helpDocuments.push_back(paths.programFolder + kHelpFileName);
    // <prefix>/bin/tilvane finds <prefix>/share/doc/tilvane/.
    const QString installed = QDir::cleanPath(QString::fromStdString(paths.programFolder) +
                                              QStringLiteral("../share/doc/tilvane/"));
    paths.helpDocuments.push_back(ensureTrailingSlash(installed.toStdString()) + kHelpFileName);
    return paths;
}

StartupPaths startupPathsIn(const std::string& folder) {
    StartupPaths paths;
    paths.programFolder = ensureTrailingSlash(folder);
    paths.settingsFile = settingsFileIn(paths.programFolder);
    paths.helpDocuments.push_back(paths.programFolder + kHelpFileName);
    return paths;
}

}  // namespace tilvane
