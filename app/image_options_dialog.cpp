#include "app/image_options_dialog.h"

#include <QFocusEvent>
#include <algorithm>

#include "app/dialog_units.h"
#include "app/message_box.h"
#include "model/number_text.h"
#include "model/path_helpers.h"
#include "ui_image_options_dialog.h"

namespace tilvane {

ImageOptionsDialog::ImageOptionsDialog(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::ImageOptionsDialog>()) {
    ui_->setupUi(this);
    applyDialogUnits(*this, {200, 100});
    ui_->qualityEdit->installEventFilter(this);
    // Every way the slider moves (drag, a click in the groove, keys, the
    // wheel) changes its value; refresh sets it with the signal blocked.
    connect(ui_->qualitySlider, &QSlider::valueChanged, this, &ImageOptionsDialog::takeSliderValue);
    connect(ui_->qualitySpinButton, &SpinButton::stepRequested, this,
            &ImageOptionsDialog::stepQuality);
    connect(ui_->compressionCombo, &QComboBox::activated, this,
            &ImageOptionsDialog::takeCompression);
    connect(ui_->okButton, &QPushButton::clicked, this, &ImageOptionsDialog::confirm);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

ImageOptionsDialog::~ImageOptionsDialog() = default;

void ImageOptionsDialog::setUp(const std::string& title, const std::int32_t* quality,
                               std::int32_t qualityMin, std::int32_t qualityMax,
                               const std::int32_t* compression,
                               std::span<const CompressionChoice> choices) {
    title_ = QString::fromStdString(title);
    hasQuality_ = quality != nullptr;
    hasCompression_ = compression != nullptr;
    quality_ = 0;
    compression_ = -1;
    if (quality) {
        quality_ = *quality;
        qualityMin_ = qualityMin;
        qualityMax_ = qualityMax;
    }
    choices_.clear();
    if (compression) {
        compression_ = *compression;
        choices_.assign(choices.begin(), choices.end());
    }
    refresh(true);
}

void ImageOptionsDialog::refresh(bool firstTime) {
    if (firstTime) {
        setWindowTitle(title_);
        qualityLabel_ = QStringLiteral("Image Quality:");
        if (hasQuality_) {
            ui_->qualitySlider->setRange(qualityMin_, qualityMax_);
            qualityLabel_ =
                QStringLiteral("Image Quality (%1 to %2):").arg(qualityMin_).arg(qualityMax_);
        }
        if (hasCompression_) {
            ui_->compressionCombo->clear();
            // A sorted combo box: each name goes to its place in the order, and
            // keeps its code, so every lookup goes by code.
            for (const CompressionChoice& choice : choices_) {
                const QString name = QString::fromUtf8(choice.name.data(),
                                                       static_cast<qsizetype>(choice.name.size()));
                int at = 0;
                while (at < ui_->compressionCombo->count() &&
                       compareNoCase(ui_->compressionCombo->itemText(at).toStdString(),
                                     name.toStdString()) <= 0) {
                    ++at;
                }
                ui_->compressionCombo->insertItem(at, name, choice.code);
            }
            ui_->compressionCombo->setCurrentIndex(ui_->compressionCombo->findData(compression_));
        }
    }
    if (hasQuality_) {
        clampQuality();
        const QSignalBlocker blocker(ui_->qualitySlider);
        ui_->qualitySlider->setValue(quality_);
    }
    ui_->qualityLabel->setEnabled(hasQuality_);
    ui_->qualitySlider->setEnabled(hasQuality_);
    ui_->qualityEdit->setEnabled(hasQuality_);
    ui_->qualitySpinButton->setEnabled(hasQuality_);
    ui_->compressionLabel->setEnabled(hasCompression_);
    ui_->compressionCombo->setEnabled(hasCompression_);
    ui_->qualityEdit->setText(QString::number(quality_));
    ui_->qualityLabel->setText(qualityLabel_);
}

void ImageOptionsDialog::clampQuality() {
    quality_ = std::clamp(quality_, qualityMin_, std::max(qualityMin_, qualityMax_));
}

bool ImageOptionsDialog::pullQuality() {
    const auto value = parseSignedDecimal(ui_->qualityEdit->text().toStdString());
    if (value) {
        quality_ = *value;
        return true;
    }
    pulling_ = true;
    showMessageBox(this, QStringLiteral("Please enter a whole number."));
    pulling_ = false;
    ui_->qualityEdit->setFocus();
    ui_->qualityEdit->selectAll();
    return false;
}

bool ImageOptionsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->qualityEdit && event->type() == QEvent::FocusOut && !pulling_ &&
        hasQuality_) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
            pullQuality();
            refresh(false);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ImageOptionsDialog::takeSliderValue(int value) {
    // The number field is not read first: the slider's value replaces it, and
    // text typed there was taken when the field lost the focus.
    quality_ = value;
    refresh(false);
}

void ImageOptionsDialog::stepQuality(int delta) {
    // The spin button has no buddy: the number field is not read first.
    quality_ += delta;
    if (delta == 0) showMessageBox(this, QStringLiteral("huh"));
    refresh(false);
}

void ImageOptionsDialog::takeCompression() {
    pullQuality();
    const int selected = ui_->compressionCombo->currentIndex();
    compression_ = selected < 0 ? -1 : ui_->compressionCombo->itemData(selected).toInt();
    refresh(false);
}

void ImageOptionsDialog::confirm() {
    if (hasQuality_) {
        if (!pullQuality()) return;
        // Clamped here as well, so a value typed and confirmed with Enter never
        // leaves the range the caller asked for.
        clampQuality();
    }
    accept();
}

bool runImageOptionsDialog(QWidget* owner, const std::string& title, std::int32_t* quality,
                           std::int32_t qualityMin, std::int32_t qualityMax,
                           std::int32_t* compression, std::span<const CompressionChoice> choices) {
    ImageOptionsDialog dialog(owner);
    dialog.setUp(title, quality, qualityMin, qualityMax, compression, choices);
    if (dialog.exec() != QDialog::Accepted) return false;
    if (quality) *quality = dialog.quality();
    if (compression) *compression = dialog.compression();
    return true;
}

}  // namespace tilvane
