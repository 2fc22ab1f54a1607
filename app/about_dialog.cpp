#include "app/about_dialog.h"

#include "app/app_icon.h"
#include "app/credits.h"
#include "app/dialog_units.h"
#include "ui_about_dialog.h"

namespace tilvane {

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::AboutDialog>()) {
    ui_->setupUi(this);
    applyDialogUnits(*this, {389, 242});
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    const QSize iconBox = ui_->iconLabel->size();
    const int side = std::min(iconBox.width(), iconBox.height());
    ui_->iconLabel->setPixmap(QPixmap::fromImage(drawAppIcon(side)));
    ui_->summaryLabel->setText(QString::fromStdString(aboutSummaryText()));
    setTexts(kVersionLine, aboutNoticeLine(), aboutCreditsText());
    connect(ui_->okButton, &QPushButton::clicked, this, &QDialog::accept);
}

AboutDialog::~AboutDialog() = default;

void AboutDialog::setTexts(const std::string& versionLine, const std::string& noticeLine,
                           const std::string& creditsText) {
    ui_->versionLabel->setText(QString::fromStdString(versionLine));
    ui_->noticeLabel->setText(QString::fromStdString(noticeLine));
    ui_->creditsLabel->setText(QString::fromStdString(creditsText));
}

}  // namespace tilvane
