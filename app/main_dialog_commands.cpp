// The commands of the main window's buttons and context menu.
#include <QFileDialog>

#include "app/about_dialog.h"
#include "app/desktop_open.h"
#include "app/main_dialog.h"
#include "app/more_options_panel.h"
#include "app/type_filter.h"
#include "model/path_helpers.h"
#include "settings/settings_file.h"
#include "ui_main_dialog.h"

namespace tilvane {

void MainDialog::browseInputFolder() {
    if (!takeFocusedField()) return;
    // The chooser has no modality, so the window stays usable while it is
    // open; a second click brings the open one forward.
    if (folderChooser_) {
        folderChooser_->raise();
        folderChooser_->activateWindow();
        return;
    }
    auto* chooser = new QFileDialog(this, QStringLiteral("Input Folder"));
    chooser->setObjectName(QStringLiteral("inputFolderChooser"));
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    chooser->setWindowModality(Qt::NonModal);
    chooser->setFileMode(QFileDialog::Directory);
    chooser->setOption(QFileDialog::ShowDirsOnly);
    chooser->setOption(QFileDialog::DontUseNativeDialog);
    // It opens at the Input Folder when that exists, else at the home folder.
    const std::string current = trimWhiteSpace(settings_.inputFolder);
    chooser->setDirectory(folderExists(current) ? QString::fromStdString(current)
                                                : QDir::homePath());
    connect(chooser, &QFileDialog::finished, this, &MainDialog::takeInputFolder);
    folderChooser_ = chooser;
    chooser->show();
}

void MainDialog::takeInputFolder(int result) {
    const QFileDialog* chooser = folderChooser_;
    if (chooser && result == QDialog::Accepted && !chooser->selectedFiles().isEmpty()) {
        const QString folder = chooser->selectedFiles().constFirst();
        if (QFileInfo(folder).isDir()) {
            std::string path = folder.toStdString();
            if (path.size() > kPathLimit) path.resize(kPathLimit);
            settings_.inputFolder = ensureTrailingSlash(path);
        }
    }
    refreshControls(false);
}

void MainDialog::browseOutputImage() {
    browseOutput(OutputKind::Image);
}
void MainDialog::browseOutputText() {
    browseOutput(OutputKind::Text);
}

void MainDialog::browseOutput(OutputKind kind) {
    if (!takeFocusedField()) return;
    const bool image = kind == OutputKind::Image;
    const ChoiceTable extensions =
        image ? ChoiceTable(kOutputImageExtensions) : ChoiceTable(kTextFileExtensions);
    const ChoiceTable descriptions =
        image ? ChoiceTable(kOutputImageDescriptions) : ChoiceTable(kTextFileDescriptions);
    std::int32_t& typeIndex =
        image ? settings_.imageBrowseTypeIndex : settings_.textBrowseTypeIndex;
    std::string& browsePath = image ? settings_.imageBrowsePath : settings_.textBrowsePath;

    const TypeFilter filter = buildTypeFilter(extensions, descriptions, typeIndex);
    int filterIndex = 0;
    // The dialog starts at the file the field names, with its name.
    const std::string& current = image ? settings_.outputImageFile : settings_.outputTextFile;
    const auto chosen = chooseFileAt(true, image ? "Image File" : "Text File", browsePath,
                                     trimWhiteSpace(current), filter.filters, &filterIndex);
    if (chosen) {
        std::string path = *chosen;
        // Only a real type filter adds its extension, and only to a bare name.
        const int n = static_cast<int>(filter.extensions.size());
        if (filterIndex >= 1 && filterIndex <= n && splitPath(path).extension.empty()) {
            path += filter.extensions[static_cast<std::size_t>(filterIndex - 1)];
        }
        if (image) {
            settings_.outputImageFile = path;
            typeIndex = typeIndexOfPath(path, kOutputImageExtensions, 1);
        } else {
            settings_.outputTextFile = path;
            typeIndex = typeIndexOfPath(path, kTextFileExtensions, 0);
        }
    }
    refreshControls(false);
}

void MainDialog::openInputFolder() {
    if (takeFocusedField()) openInExplorer(settings_.inputFolder, false);
}
void MainDialog::showOutputImage() {
    if (takeFocusedField()) openInExplorer(settings_.outputImageFile, true);
}
void MainDialog::showOutputText() {
    if (takeFocusedField()) openInExplorer(settings_.outputTextFile, true);
}

void MainDialog::openHelp() {
    for (const std::string& path : paths_.helpDocuments) {
        if (fileExists(path)) {
            if (!openDocument(path)) {
                showMessage(desktopFailureText(DesktopRequest::OpenDocument, path));
            }
            return;
        }
    }
    const std::string first = paths_.helpDocuments.empty() ? paths_.programFolder + kHelpFileName
                                                           : paths_.helpDocuments.front();
    showMessage("Could not find the help file:\n" + first);
}

void MainDialog::saveSettings() {
    if (!takeFocusedField()) return;
    int filterIndex = 0;
    const auto chosen = chooseFile(true, "Save Settings", settings_.saveSettingsPath,
                                   settingsFileFilter(), &filterIndex);
    if (!chosen) return;
    std::string path = *chosen;
    if (filterIndex == 1 && splitPath(path).extension.empty()) path += ".cfg";
    saveSettingsFile(settings_, path, nullptr, moreOptions_->entries());
    statusText_ = "Saved file: " + path;
    refreshControls(true);
}

void MainDialog::loadSettings() {
    if (!takeFocusedField()) return;
    const std::string lastPath = settings_.loadSettingsPath;
    const auto chosen = chooseFile(false, "Load Settings", settings_.loadSettingsPath,
                                   settingsFileFilter(), nullptr);
    if (!chosen) return;
    // Any file could be picked; one that is not a settings file would blank
    // the fields it overlaps. A refused one changes nothing at all.
    if (const std::optional<std::string> why = notASettingsFile(*chosen)) {
        settings_.loadSettingsPath = lastPath;
        showMessage("This is not a settings file:\n" + *chosen + "\n(" + *why + ")");
        return;
    }
    SettingsExtensions extensions;
    loadSettingsFile(settings_, *chosen, &extensions);
    std::vector<std::string> problems = moreOptions_->setEntries(extensions.entries);
    if (!extensions.problem.empty()) problems.insert(problems.begin(), extensions.problem);
    statusText_ = "Loaded file: " + *chosen;
    // What could not be taken from the file is said after the described text.
    for (const std::string& problem : problems) statusText_ += "; " + problem;
    refreshControls(true);
}

void MainDialog::showAbout() {
    AboutDialog dialog(this);
    dialog.exec();
}

}  // namespace tilvane
