#include "app/done_dialog.h"

#include "app/desktop_open.h"
#include "app/dialog_units.h"
#include "app/message_box.h"
#include "ui_done_dialog.h"

namespace tilvane {

DoneDialog::DoneDialog(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::DoneDialog>()) {
    ui_->setupUi(this);
    applyDialogUnits(*this, {160, 126});
    ui_->addedTotalLabel->clear();
    connect(ui_->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->openImageFolderButton, &QPushButton::clicked, this, &DoneDialog::showImageFile);
    connect(ui_->openTextFolderButton, &QPushButton::clicked, this, &DoneDialog::showTextFile);
}

DoneDialog::~DoneDialog() = default;

void DoneDialog::setResult(const std::string& imagePath, const std::string& textPath, int added) {
    imagePath_ = imagePath;
    textPath_ = textPath;
    ui_->addedTotalLabel->setText(QStringLiteral("Total images added: %1").arg(added));
}

void DoneDialog::showImageFile() {
    showItem(this, imagePath_);
}
void DoneDialog::showTextFile() {
    showItem(this, textPath_);
}

}  // namespace tilvane
