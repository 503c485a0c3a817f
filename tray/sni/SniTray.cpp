#include "SniTray.h"

#include "DBusMenu.h"
#include "StatusNotifierItem.h"
#include "TrayMenu.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

const char kWatcher[] = "org.kde.StatusNotifierWatcher";
const char kWatcherPath[] = "/StatusNotifierWatcher";
const char kItemPath[] = "/StatusNotifierItem";
const char kMenuPath[] = "/MenuBar";
constexpr int kWatcherTries = 5;
constexpr int kWatcherRetryMs = 1000;

}  // namespace

SniTray::SniTray()
    : watcher_(QString::fromLatin1(kWatcher), QDBusConnection::sessionBus(),
               QDBusServiceWatcher::WatchForOwnerChange) {
    connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (!newOwner.isEmpty()) {
                    watcherTries_ = 0;
                    registerWithWatcher();
                }
                emit watcherChanged();
            });
}

SniTray::~SniTray() = default;

bool SniTray::watcherPresent() const {
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface()->isServiceRegistered(QString::fromLatin1(kWatcher));
}

bool SniTray::Shell_NotifyIcon(uint32_t dwMessage, const NOTIFYICONDATA& data) {
    if (!QDBusConnection::sessionBus().isConnected()) {
        return false;
    }
    const bool ours = item_ && data.hWnd == hWnd_ && data.uID == uID_;
    switch (dwMessage) {
        case NIM_ADD:
            return add(data);
        case NIM_MODIFY:
            if (!ours) {
                return false;
            }
            if (data.uFlags & NIF_ICON) {
                item_->setIcon(data.hIcon);
            }
            if (data.uFlags & NIF_TIP) {
                item_->setTip(tipText(data), data.tipLine);
            }
            menu_->refresh();  // the mute entry's tick follows the master
            return true;
        case NIM_DELETE:
            return ours && remove(data);
        default:
            return false;
    }
}

bool SniTray::add(const NOTIFYICONDATA& data) {
    if (item_) {
        return false;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    hWnd_ = data.hWnd;
    uID_ = data.uID;
    TrayMenu* model = model_;
    if (!model) {
        if (!ownModel_) {
            ownModel_ = std::make_unique<TrayMenu>(data.hWnd, nullptr);
        }
        model = ownModel_.get();
    }
    menu_ = std::make_unique<DBusMenu>(model);
    item_ = std::make_unique<StatusNotifierItem>(data.hWnd,
                                                 QDBusObjectPath(QString::fromLatin1(kMenuPath)));
    item_->setIcon(data.hIcon);
    item_->setTip(tipText(data), data.tipLine);
    // After every click the menu's mute tick may be out of date.
    DBusMenu* menu = menu_.get();
    HWND window = data.hWnd;
    item_->setCommandHandler([menu, window](TrayCommand command) {
        window->trayCommand(command);
        menu->refresh();
    });
    const auto exports = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                         QDBusConnection::ExportAllProperties;
    serviceName_ = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                       .arg(QCoreApplication::applicationPid())
                       .arg(data.uID);
    // An item the bus did not take is no icon: say so, and the caller keeps the icon elsewhere.
    if (!bus.registerObject(QString::fromLatin1(kItemPath), item_.get(), exports) ||
        !bus.registerObject(QString::fromLatin1(kMenuPath), menu_.get(), exports) ||
        !bus.registerService(serviceName_)) {
        std::fprintf(stderr, "Brennet: the session bus refused the tray item (%s)\n",
                     qUtf8Printable(bus.lastError().message()));
        remove(data);
        return false;
    }
    watcherTries_ = 0;
    registerWithWatcher();
    return true;
}

bool SniTray::remove(const NOTIFYICONDATA&) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The watcher drops the item when its name leaves the bus.
    bus.unregisterService(serviceName_);
    bus.unregisterObject(QString::fromLatin1(kItemPath));
    bus.unregisterObject(QString::fromLatin1(kMenuPath));
    serviceName_.clear();
    hWnd_ = nullptr;
    uID_ = 0;
    // This may run inside a call of the item or its menu: let them go once it has returned.
    item_.release()->deleteLater();
    menu_.release()->deleteLater();
    return true;
}

void SniTray::registerWithWatcher() {
    if (serviceName_.isEmpty()) {
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kWatcher), QString::fromLatin1(kWatcherPath),
        QString::fromLatin1(kWatcher), QStringLiteral("RegisterStatusNotifierItem"));
    // GNOME Shell's AppIndicator extension watches an item registered by its bus name, and that
    // watch may start after it has read the item's properties: it then forgets them and leaves
    // a dead icon. Registered by its object path (every watcher takes the sender's name with
    // it), the item is read once.
    const auto watcherPid = bus.interface()->servicePid(QString::fromLatin1(kWatcher));
    QFile comm(QStringLiteral("/proc/%1/comm").arg(watcherPid.value()));
    const bool gnome = watcherPid.isValid() && comm.open(QIODevice::ReadOnly) &&
                       comm.readAll().trimmed() == "gnome-shell";
    call << (gnome ? QString::fromLatin1(kItemPath) : serviceName_);
    // A watcher that refuses (busy starting, or it lost our name) is asked again a few times.
    auto* reply = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(reply, &QDBusPendingCallWatcher::finished, this, [this, reply] {
        reply->deleteLater();
        if (!reply->isError() || serviceName_.isEmpty() || !watcherPresent())
            return;
        if (++watcherTries_ > kWatcherTries) {
            std::fprintf(stderr, "Brennet: the tray host refused the icon (%s)\n",
                         qUtf8Printable(reply->error().message()));
            return;
        }
        QTimer::singleShot(kWatcherRetryMs, this, &SniTray::registerWithWatcher);
    });
}
