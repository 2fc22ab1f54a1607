#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class AboutDialog;
}

namespace tilvane {

// The program's version, a notice and the credits of the libraries it uses.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

    // Texts shown when the dialog opens; the constructor sets the program's own.
    void setTexts(const std::string& versionLine, const std::string& noticeLine,
                  const std::string& creditsText);

private:
    std::unique_ptr<Ui::AboutDialog> ui_;
};

}  // namespace tilvane
