#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFocusEvent>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace tilvane::testing {

// Runs the action on the first modal dialog of type T that opens within 15
// seconds, from inside that dialog's own event loop. Returns at once.
template <class T>
void whenModal(std::function<void(T*)> action) {
    QElapsedTimer clock;
    clock.start();
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [action, clock, poll] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog) action(dialog);
        if (dialog || clock.elapsed() > 15000) {
            *poll = nullptr;  // break the self-reference
        } else {
            QTimer::singleShot(5, *poll);
        }
    };
    QTimer::singleShot(0, *poll);
}

// The next file dialog: its filters go to *offered, its title and the path it
// opened with (folder and name) to *opened; filter 0 cancels it, any other
// picks that 1-based filter, types the path and confirms.
inline void answerFileDialog(int filter, const QString& path, QStringList* offered = nullptr,
                             QStringList* opened = nullptr) {
    whenModal<QFileDialog>([filter, path, offered, opened](QFileDialog* dialog) {
        if (offered) *offered = dialog->nameFilters();
        if (opened) *opened = QStringList{dialog->windowTitle(), dialog->selectedFiles().value(0)};
        if (filter == 0) return dialog->reject();
        dialog->selectNameFilter(dialog->nameFilters().at(filter - 1));
        dialog->selectFile(path);
        // QFileDialog hides accept(); through QDialog it still runs its own.
        static_cast<QDialog*>(dialog)->accept();
    });
}

// Records the text and caption of every message box that opens while it lives
// and closes each with OK, so that a box nobody expected is seen and cannot
// hold a test up.
class MessageBoxWatch : public QObject {
public:
    MessageBoxWatch() { qApp->installEventFilter(this); }
    ~MessageBoxWatch() override { qApp->removeEventFilter(this); }
    QStringList texts;
    QStringList captions;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* box = qobject_cast<QMessageBox*>(watched);
        if (box && event->type() == QEvent::Show) {
            texts << box->text();
            captions << box->windowTitle();
            QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Ok)->click(); });
        }
        return false;
    }
};

// One QtTest data row, on one line however long its texts.
template <class... T>
void row(const char* tag, const T&... values) {
    (QTest::newRow(tag) << ... << values);
}

// Shows the window and makes it the active one, so that focus and keys reach
// its controls as they would on a desktop.
inline bool showActive(QWidget& window) {
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

// The control loses the focus the way a Tab key takes it away.
inline void leave(QWidget* control) {
    QFocusEvent event(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(control, &event);
}

// What cleanup() checks: no top-level widget outlived its test.
inline QStringList leakedTopLevelWidgets() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList names;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        names << QString::fromLatin1(widget->metaObject()->className()) + widget->objectName();
    }
    return names;
}

}  // namespace tilvane::testing
