// The window services the build and the settings commands use.
#include <QFileDialog>

#include "app/atlas_preview.h"
#include "app/desktop_open.h"
#include "app/done_dialog.h"
#include "app/image_options_dialog.h"
#include "app/main_dialog.h"
#include "app/message_box.h"
#include "app/report_dialog.h"
#include "app/type_filter.h"
#include "model/path_helpers.h"

namespace tilvane {

namespace {

QString qtNameFilter(const FileFilter& filter) {
    return QStringLiteral("%1 (%2)").arg(QString::fromStdString(filter.description),
                                         QString::fromStdString(filter.pattern));
}

// The folder a file dialog starts in: the initial path when it is a folder,
// else its folder part when that exists; empty lets Qt choose.
QString startFolder(const std::string& initialPath) {
    if (initialPath.empty()) return {};
    if (folderExists(initialPath)) return QString::fromStdString(initialPath);
    const std::string folder = folderOfPath(initialPath);
    return folderExists(folder) ? QString::fromStdString(folder) : QString();
}

}  // namespace

void MainDialog::BuildEvents::status(const std::string& text) {
    dialog_.setStatusText(text);
    // Thousands of files a second: the slice's end shows the latest name.
    if (text.starts_with("Adding: ")) return;
    dialog_.showProgress();
    dialog_.refreshControls(false);
}

namespace {

// The Report's line for an empty image file, in the build's own form.
std::vector<std::string> withEmptyImages(std::vector<std::string> lines,
                                         const std::vector<std::string>& emptyImages) {
    for (const std::string& name : emptyImages) lines.push_back(name + "          (empty file)");
    return lines;
}

}  // namespace

void MainDialog::BuildEvents::report(const std::vector<std::string>& failureLines,
                                     const std::string& imagePath, const std::string& textPath,
                                     int added, int failed) {
    const std::vector<std::string>& empty = dialog_.runner_.run().notes.emptyImages;
    // The status the build sets once the Report closes; the saving steps'
    // status would be stale while it is open.
    dialog_.setStatusText("Failed to load/add some files.");
    dialog_.refreshControls(false);
    dialog_.showReport(withEmptyImages(failureLines, empty), imagePath, textPath, added,
                       failed + static_cast<int>(empty.size()));
}

void MainDialog::BuildEvents::done(const std::string& imagePath, const std::string& textPath,
                                   int added) {
    const std::vector<std::string>& empty = dialog_.runner_.run().notes.emptyImages;
    if (empty.empty()) {
        dialog_.showDone(imagePath, textPath, added);
    } else {
        dialog_.showReport(withEmptyImages({}, empty), imagePath, textPath, added,
                           static_cast<int>(empty.size()));
    }
}

bool MainDialog::BuildEvents::askSaveOptions(SaveOptionsQuestion& question) {
    std::int32_t value = question.value;
    const bool ok = question.quality
                        ? dialog_.runImageOptionsDialog(question.title, &value, question.minimum,
                                                        question.maximum, nullptr, {})
                        : dialog_.runImageOptionsDialog(question.title, nullptr, 0, 0, &value,
                                                        question.choices);
    if (!ok) return false;
    // The choice is remembered as the settings' own, for the next build.
    (question.quality ? dialog_.settings_.jpegQuality : dialog_.settings_.tiffCompression) = value;
    question.value = value;
    return true;
}

void MainDialog::showMessage(const std::string& text) {
    showMessageBox(this, QString::fromStdString(text));
}

void MainDialog::showReport(const std::vector<std::string>& failureLines,
                            const std::string& imagePath, const std::string& textPath, int added,
                            int failed) {
    // The build wrote its files: the preview shows them behind the Report.
    preview_->showPages(runner_.run().drawnPages);
    ReportDialog dialog(this);
    dialog.setReport(failureLines, imagePath, textPath, added, failed);
    dialog.exec();
}

void MainDialog::showDone(const std::string& imagePath, const std::string& textPath, int added) {
    preview_->showPages(runner_.run().drawnPages);
    DoneDialog dialog(this);
    dialog.setResult(imagePath, textPath, added);
    dialog.exec();
}

std::optional<std::string> MainDialog::chooseFile(bool save, const std::string& title,
                                                  std::string& initialPath,
                                                  const std::vector<FileFilter>& filters,
                                                  int* filterIndex) {
    return chooseFileAt(save, title, initialPath, {}, filters, filterIndex);
}

std::optional<std::string> MainDialog::chooseFileAt(bool save, const std::string& title,
                                                    std::string& initialPath,
                                                    const std::string& currentFile,
                                                    const std::vector<FileFilter>& filters,
                                                    int* filterIndex) {
    QStringList nameFilters;
    for (const FileFilter& filter : filters) nameFilters << qtNameFilter(filter);
    // The current file when there is one, else the path remembered; a path
    // that names a file (not a folder) starts the dialog with its name.
    const std::string& start = currentFile.empty() ? initialPath : currentFile;
    QString folder = startFolder(start);
    if (folder.isEmpty() && &start != &initialPath) folder = startFolder(initialPath);
    QFileDialog dialog(this, QString::fromStdString(title), folder);
    dialog.setObjectName(QStringLiteral("fileDialog"));
    const PathParts parts = splitPath(start);
    const std::string name = parts.baseName + parts.extension;
    const bool startsWithName = !name.empty() && !folderExists(start);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!nameFilters.isEmpty()) {
        dialog.setNameFilters(nameFilters);
        dialog.selectNameFilter(nameFilters.constFirst());
    }
    if (startsWithName) dialog.selectFile(QString::fromStdString(name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;

    std::string chosen = dialog.selectedFiles().constFirst().toStdString();
    if (chosen.size() > kPathLimit) chosen.resize(kPathLimit);
    if (filterIndex)
        *filterIndex = static_cast<int>(nameFilters.indexOf(dialog.selectedNameFilter())) + 1;
    initialPath = chosen;
    return chosen;
}

void MainDialog::openInExplorer(const std::string& path, bool select) {
    openOrSay(path, select);
}

void MainDialog::openOrSay(const std::string& path, bool select) {
    if (openInFileManager(path, select)) return;
    const DesktopRequest request = select ? DesktopRequest::ShowItem : DesktopRequest::OpenFolder;
    showMessage(desktopFailureText(request, select ? path : folderOfPath(path)));
}

bool MainDialog::runImageOptionsDialog(const std::string& title, std::int32_t* quality,
                                       std::int32_t qualityMin, std::int32_t qualityMax,
                                       std::int32_t* compression,
                                       std::span<const CompressionChoice> choices) {
    return tilvane::runImageOptionsDialog(this, title, quality, qualityMin, qualityMax, compression,
                                          choices);
}

}  // namespace tilvane
