#include "SessionPlatform.h"

#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>

#include <xcb/xcb.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

// The socket a Wayland client connects to: WAYLAND_DISPLAY as a full path, or that name
// (wayland-0 by default) in XDG_RUNTIME_DIR.
QByteArray waylandSocketPath() {
    QByteArray name = qgetenv("WAYLAND_DISPLAY");
    if (name.isEmpty()) {
        name = "wayland-0";
    }
    if (name.startsWith('/')) {
        return name;
    }
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QByteArray() : runtime + '/' + name;
}

bool canConnect(const QByteArray& path) {
    sockaddr_un address{};
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

// Qt's Wayland platform plugin in Qt's own plugin folder or one that QT_PLUGIN_PATH adds.
bool haveWaylandPlugin() {
    QStringList folders = QString::fromLocal8Bit(qgetenv("QT_PLUGIN_PATH"))
                              .split(QDir::listSeparator(), Qt::SkipEmptyParts);
    folders.append(QLibraryInfo::path(QLibraryInfo::PluginsPath));
    for (const QString& folder : folders) {
        if (QFileInfo::exists(folder + QStringLiteral("/platforms/libqwayland-generic.so"))) {
            return true;
        }
    }
    return false;
}

bool haveX11Display() {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        return false;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ok = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return ok;
}

}  // namespace

SessionPlatform::Probe SessionPlatform::probe() {
    Probe p;
    p.userChoice = qgetenv("QT_QPA_PLATFORM");
    p.waylandSession =
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland";
    if (p.userChoice.isEmpty() && p.waylandSession) {
        p.waylandReachable = canConnect(waylandSocketPath());
        p.waylandPlugin = haveWaylandPlugin();
    }
    // Only where Wayland will not do: connecting may start a compositor's Xwayland.
    if (p.userChoice.isEmpty() && choose(p).isEmpty()) {
        p.x11Reachable = haveX11Display();
    }
    return p;
}

QByteArray SessionPlatform::choose(const Probe& p) {
    if (!p.userChoice.isEmpty()) {
        return p.userChoice;
    }
    if (p.waylandSession && p.waylandReachable && p.waylandPlugin) {
        return "wayland";
    }
    return p.x11Reachable ? QByteArray("xcb") : QByteArray();
}
