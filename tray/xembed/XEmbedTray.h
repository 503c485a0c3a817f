#pragma once
// The tray service on an X11 desktop: the freedesktop System Tray Protocol. Each icon is a small
// window that asks the owner of _NET_SYSTEM_TRAY_S<screen> to embed it (XEmbed). While no tray
// runs, icons wait hidden; when a tray starts or restarts (the MANAGER message on the root
// window) they dock again.
//
// Why our own and not QSystemTrayIcon: a hold needs the press and the release apart, as they
// happen, and QSystemTrayIcon reports only whole clicks; it also drops the wheel, and it picks
// its protocol once per process, so it cannot move to a StatusNotifierItem when a tray turns out
// to be a proxy or goes away.

#include "TrayService.h"

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QTimer>

#include <xcb/xcb.h>

#include <cstdint>
#include <map>
#include <utility>

class TrayIconWidget;
class TrayMenu;
class TrayMenuPopup;

class XEmbedTray : public QObject, public TrayService, public QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // Needs a QApplication on the xcb platform; without one (on Wayland) it is not usable and
    // every request fails.
    XEmbedTray();
    ~XEmbedTray() override;

    bool Shell_NotifyIcon(uint32_t dwMessage, const NOTIFYICONDATA& data) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The menu a middle-button hold opens on an icon (it must outlive the tray); none without.
    void setMenu(TrayMenu* menu);

    // The icon window of (hWnd, uID), or 0 when there is none. For tests and benchmarks.
    xcb_window_t iconWindow(HWND hWnd, uint32_t uID) const;
    // Whether there is an X connection to dock into at all.
    bool usable() const { return connection_ != nullptr; }
    // Whether a tray owns the tray selection now.
    bool trayPresent() const;
    // Whether the tray is run by a program known to show its icons elsewhere and to hand them
    // clicks as sent events after the fact (KDE's xembedsniproxy, GNOME Shell's legacy tray).
    bool trayIsProxy() const;

signals:
    // A tray started, or the one we docked in went away.
    void trayChanged();
    // A press and its release arrived together, or a wheel notch, sent by a program (a proxy
    // that turns clicks into events after the fact): this tray cannot time a hold.
    void syntheticClick();

private:
    struct Icon {
        HWND hWnd = nullptr;
        uint32_t uCallbackMessage = 0;
        QIcon icon;
        QString tip;
        TrayIconWidget* widget = nullptr;
    };
    using Key = std::pair<HWND, uint32_t>;

    bool add(const NOTIFYICONDATA& data);
    bool modify(const NOTIFYICONDATA& data);
    bool remove(const NOTIFYICONDATA& data);
    void createWidget(Icon& icon);
    void dock(Icon& icon);
    void dockAll();
    void lookUpTray();
    void deliver(const Key& key, uint32_t message);
    void command(const Key& key, TrayCommand command);
    bool filterButton(const xcb_generic_event_t* event, bool press);
    void flushPendingPress();

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t selection_ = 0;   // _NET_SYSTEM_TRAY_S<screen>
    xcb_atom_t opcode_ = 0;      // _NET_SYSTEM_TRAY_OPCODE
    xcb_atom_t visualAtom_ = 0;  // _NET_SYSTEM_TRAY_VISUAL
    xcb_atom_t manager_ = 0;     // MANAGER
    xcb_atom_t xembedInfo_ = 0;  // _XEMBED_INFO
    xcb_window_t trayOwner_ = 0;
    bool trayTranslucent_ = false;
    std::map<Key, Icon> icons_;
    // A synthetic press held back until its release shows whether the two came together.
    struct PendingPress {
        Key key;
        uint8_t button = 0;
    };
    PendingPress pending_;
    QTimer pendingTimer_;
    TrayMenuPopup* popup_ = nullptr;
};
