#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "model/save_options.h"

namespace Ui {
class ImageOptionsDialog;
}

namespace tilvane {

// The save options of JPEG (quality) and TIFF (compression) output. The
// slider, the spin button and the number field stay in step through the
// quality value: every action on any of them (the slider however it moves)
// changes it, and each refresh writes it back, clamped, to all three.
class ImageOptionsDialog : public QDialog {
    Q_OBJECT

public:
    explicit ImageOptionsDialog(QWidget* parent = nullptr);
    ~ImageOptionsDialog() override;

    // Fills the dialog; a null slot disables its half. Compression names are
    // listed sorted, each item carrying its code; a code that is not in the
    // table leaves nothing selected.
    void setUp(const std::string& title, const std::int32_t* quality, std::int32_t qualityMin,
               std::int32_t qualityMax, const std::int32_t* compression,
               std::span<const CompressionChoice> choices);

    std::int32_t quality() const { return quality_; }
    std::int32_t compression() const { return compression_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void takeSliderValue(int value);
    void stepQuality(int delta);
    void takeCompression();
    void confirm();

private:
    void refresh(bool firstTime);
    // Number field into quality; false (quality kept) after telling the user.
    bool pullQuality();
    void clampQuality();

    std::unique_ptr<Ui::ImageOptionsDialog> ui_;
    QString title_;
    bool hasQuality_ = false;
    bool hasCompression_ = false;
    std::int32_t quality_ = 0;
    std::int32_t qualityMin_ = 0;
    std::int32_t qualityMax_ = 0;
    std::int32_t compression_ = -1;
    std::vector<CompressionChoice> choices_;
    QString qualityLabel_;
    bool pulling_ = false;
};

// Runs the dialog modally. True on OK: the given slots receive the chosen
// values. False on cancel or close: the slots are left as they were.
bool runImageOptionsDialog(QWidget* owner, const std::string& title, std::int32_t* quality,
                           std::int32_t qualityMin, std::int32_t qualityMax,
                           std::int32_t* compression, std::span<const CompressionChoice> choices);

}  // namespace tilvane
