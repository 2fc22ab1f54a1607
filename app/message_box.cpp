#include "app/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace tilvane {

void showMessageBox(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok,
                    owner);
    box.exec();
}

}  // namespace tilvane
