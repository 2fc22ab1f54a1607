#pragma once

#include <QString>

class QWidget;

namespace tilvane {

// A modal message box with one OK button and the application's name (the
// executable's name) as its caption; returns when it is closed.
void showMessageBox(QWidget* owner, const QString& text);

}  // namespace tilvane
