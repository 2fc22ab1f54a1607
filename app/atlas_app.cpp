#include "app/atlas_app.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>

#include "app/app_icon.h"
#include "app/main_dialog.h"
#include "app/startup_paths.h"

namespace tilvane {

namespace {

// The write end of the self-pipe through which a signal reaches the event loop.
int signalPipe[2] = {-1, -1};

extern "C" void forwardSignal(int signalNumber) {
    const char byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void installSignalForwarding() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    struct sigaction action {};
    action.sa_handler = forwardSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signalNumber, &action, nullptr);
    }
}

// Ends the innermost dialogs first, so each modal loop unwinds in turn and the
// main window's run returns last.
void closeEveryDialog(QDialog& mainWindow) {
    while (QWidget* modal = QApplication::activeModalWidget()) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!dialog || dialog == &mainWindow) break;
        dialog->reject();
        if (QApplication::activeModalWidget() == modal) break;
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog && dialog != &mainWindow && dialog->isVisible()) dialog->reject();
    }
    mainWindow.reject();
}

}  // namespace

AtlasApp::AtlasApp(int argc, char** argv) {
    // Only the program's own name goes on, so no argument has an effect.
    argv_[0] = argc > 0 && argv ? argv[0] : const_cast<char*>("tilvane");
    installSignalForwarding();
    app_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(appIcon());
    // Lets the desktop match the window to tilvane.desktop and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("tilvane"));
}

AtlasApp::~AtlasApp() = default;

int AtlasApp::run() {
    MainDialog window(startupPaths());
    std::unique_ptr<QSocketNotifier> notifier;
    if (signalPipe[0] >= 0) {
        notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, &window, [&window] {
            char bytes[16];
            while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
            }
            closeEveryDialog(window);
        });
    }
    window.exec();
    return 0;
}

}  // namespace tilvane
