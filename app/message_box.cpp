#include "app/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>

#include "app/desktop_open.h"

namespace tilvane {

void showMessageBox(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok,
                    owner);
    box.exec();
}

void showItem(QWidget* owner, const std::string& path) {
    if (!openInFileManager(path, true)) {
        showMessageBox(owner,
                       QString::fromStdString(desktopFailureText(DesktopRequest::ShowItem, path)));
    }
}

}  // namespace tilvane
