#pragma once
// The tray service on desktops whose panels host StatusNotifierItems: the icon is an
// org.kde.StatusNotifierItem object with a com.canonical.dbusmenu menu on the session bus,
// registered with org.kde.StatusNotifierWatcher. While no watcher runs the item waits on the
// bus; whenever a watcher appears (a panel started or restarted) it registers again.
//
// Why our own: Debian 12 ships no Qt 6 StatusNotifierItem library, and QSystemTrayIcon's item
// has neither the wheel nor a way to move back to an XEmbed tray while the program runs.

#include "TrayService.h"

#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>

#include <memory>

class DBusMenu;
class StatusNotifierItem;
class TrayMenu;

class SniTray : public QObject, public TrayService {
    Q_OBJECT

public:
    SniTray();
    ~SniTray() override;

    // One icon at a time: a second icon's NIM_ADD fails.
    bool Shell_NotifyIcon(uint32_t dwMessage, const NOTIFYICONDATA& data) override;

    // The menu the icon shows (it must outlive the tray); without one, the icon shows a menu
    // of the window's own commands.
    void setMenu(TrayMenu* menu) { model_ = menu; }

    // Whether a StatusNotifierWatcher is on the session bus now.
    bool watcherPresent() const;
    // The item's bus name, empty while no icon is shown. For tests.
    QString serviceName() const { return serviceName_; }

signals:
    // A watcher appeared or went away.
    void watcherChanged();

private:
    bool add(const NOTIFYICONDATA& data);
    bool remove(const NOTIFYICONDATA& data);
    void registerWithWatcher();

    QDBusServiceWatcher watcher_;
    HWND hWnd_ = nullptr;
    uint32_t uID_ = 0;
    QString serviceName_;
    int watcherTries_ = 0;  // refused registrations with the watcher in a row
    std::unique_ptr<StatusNotifierItem> item_;
    TrayMenu* model_ = nullptr;
    std::unique_ptr<TrayMenu> ownModel_;
    std::unique_ptr<DBusMenu> menu_;
};
