#include "app/report_dialog.h"

#include "app/desktop_open.h"
#include "app/dialog_units.h"
#include "app/message_box.h"
#include "model/file_list.h"
#include "ui_report_dialog.h"

namespace tilvane {

ReportDialog::ReportDialog(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ReportDialog>()) {
    ui_->setupUi(this);
    applyDialogUnits(*this, {372, 209});
    connect(ui_->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->openImageFolderButton, &QPushButton::clicked, this, &ReportDialog::showImageFile);
    connect(ui_->openTextFolderButton, &QPushButton::clicked, this, &ReportDialog::showTextFile);
}

ReportDialog::~ReportDialog() = default;

void ReportDialog::setReport(const std::vector<std::string>& failureLines,
                             const std::string& imagePath, const std::string& textPath, int added,
                             int failed) {
    imagePath_ = imagePath;
    textPath_ = textPath;
    // A sorted list box: the order of the lines is its own, not the build's.
    ui_->failureList->clear();
    for (const std::string& line : sortedAsListBox(failureLines))
        ui_->failureList->addItem(QString::fromStdString(line));
    ui_->addedTotalLabel->setText(QStringLiteral("Total images added: %1").arg(added));
    ui_->failedTotalLabel->setText(QStringLiteral("Total images failed: %1").arg(failed));
    ui_->grandTotalLabel->setText(
        QStringLiteral("Grand total: %1").arg(static_cast<long long>(added) + failed));
}

void ReportDialog::showImageFile() {
    showItem(this, imagePath_);
}
void ReportDialog::showTextFile() {
    showItem(this, textPath_);
}

}  // namespace tilvane
