#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class DoneDialog;
}

namespace tilvane {

// Confirms a build that added every file, with buttons that show the outputs.
class DoneDialog : public QDialog {
    Q_OBJECT

public:
    explicit DoneDialog(QWidget* parent = nullptr);
    ~DoneDialog() override;

    // The output paths for the two buttons and the number of images added.
    void setResult(const std::string& imagePath, const std::string& textPath, int added);

private slots:
    void showImageFile();
    void showTextFile();

private:
    std::unique_ptr<Ui::DoneDialog> ui_;
    std::string imagePath_;
    std::string textPath_;
};

}  // namespace tilvane
