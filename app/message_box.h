#pragma once

#include <QString>
#include <string>

class QWidget;

namespace tilvane {

// A modal message box with one OK button and the application's name (the
// executable's name) as its caption; returns when it is closed.
void showMessageBox(QWidget* owner, const QString& text);

// Shows the file selected in the file manager; when the desktop has no
// launcher, a message box says so and names the file.
void showItem(QWidget* owner, const std::string& path);

}  // namespace tilvane
