#include "app/desktop_open.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#ifdef TILVANE_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#endif

#include "model/path_helpers.h"

namespace tilvane {

namespace {

DesktopHandler& handlerSlot() {
    static DesktopHandler handler;
    return handler;
}

QUrl localUrl(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
}

// The freedesktop file manager interface selects the item; without it (no
// session bus, no file manager running) the folder is opened instead.
bool showItemOverDBus([[maybe_unused]] const std::string& path) {
#ifdef TILVANE_HAVE_DBUS
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    const auto registered = bus.interface()->isServiceRegistered(service);
    if (!registered.isValid() || !registered.value()) {
        // A file manager may be activatable without running yet.
        const auto activatable = bus.interface()->activatableServiceNames();
        if (!activatable.isValid() || !activatable.value().contains(service)) return false;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                       service, QStringLiteral("ShowItems"));
    call << QStringList{localUrl(path).toString()} << QString();
    return bus.send(call);
#else
    return false;
#endif
}

}  // namespace

void setDesktopHandler(DesktopHandler handler) {
    handlerSlot() = std::move(handler);
}

bool openInFileManager(const std::string& path, bool select) {
    if (path.empty()) return true;
    const std::string folder = folderOfPath(path);
    if (!folderExists(folder)) return true;
    const DesktopRequest request = select ? DesktopRequest::ShowItem : DesktopRequest::OpenFolder;
    if (handlerSlot()) return handlerSlot()(request, select ? path : folder);
    if (select && showItemOverDBus(path)) return true;
    return QDesktopServices::openUrl(localUrl(folder));
}

bool openDocument(const std::string& path) {
    if (handlerSlot()) return handlerSlot()(DesktopRequest::OpenDocument, path);
    return QDesktopServices::openUrl(localUrl(path));
}

std::string desktopFailureText(DesktopRequest request, const std::string& path) {
    const char* what = request == DesktopRequest::OpenDocument ? "Could not open the file:\n"
                       : request == DesktopRequest::ShowItem   ? "Could not show the file:\n"
                                                               : "Could not open the folder:\n";
    return what + path +
           "\n\nNo program to open it was found (xdg-open, of the package xdg-utils).";
}

}  // namespace tilvane
