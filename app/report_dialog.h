#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class ReportDialog;
}

namespace tilvane {

// Lists the files a build could not use, with the totals, and buttons that show
// the outputs.
class ReportDialog : public QDialog {
    Q_OBJECT

public:
    explicit ReportDialog(QWidget* parent = nullptr);
    ~ReportDialog() override;

    // The failure lines are shown sorted by name (ASCII case ignored, byte order
    // breaking ties), whatever their order here; failed is their number.
    void setReport(const std::vector<std::string>& failureLines, const std::string& imagePath,
                   const std::string& textPath, int added, int failed);

private slots:
    void showImageFile();
    void showTextFile();

private:
    std::unique_ptr<Ui::ReportDialog> ui_;
    std::string imagePath_;
    std::string textPath_;
};

}  // namespace tilvane
