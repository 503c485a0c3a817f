#pragma once
// Picks the tray the icon lives in and moves it when the desktop changes. The XEmbed icon
// where a system tray owns the tray selection and delivers real presses (holds can be timed);
// a StatusNotifierItem where there is no X display or only a StatusNotifierWatcher runs, or where
// the XEmbed tray is a proxy: run by a program known to be one, or found out by its clicks, sent
// as press and release together. BRENNET_TRAY=xembed|sni forces one.

#include "TrayService.h"

#include <QObject>

#include <map>
#include <utility>

class SniTray;
class XEmbedTray;

class TrayChooser : public QObject, public TrayService {
    Q_OBJECT

public:
    enum class Kind { XEmbed, Sni };

    // forced: the one tray to use whatever runs, or none to choose.
    TrayChooser(XEmbedTray& xembed, SniTray& sni, const QString& forced);

    bool Shell_NotifyIcon(uint32_t dwMessage, const NOTIFYICONDATA& data) override;

    Kind active() const { return active_; }

private:
    using Key = std::pair<HWND, uint32_t>;

    TrayService& service(Kind kind) const;
    Kind pick() const;
    void choose();
    bool move(Kind from, Kind to);
    void reportWaiting();

    XEmbedTray& xembed_;
    SniTray& sni_;
    bool forced_ = false;
    Kind active_ = Kind::XEmbed;
    bool chosen_ = false;
    bool proxied_ = false;  // the XEmbed tray sent a synthetic press and release
    bool waiting_ = false;
    std::map<Key, NOTIFYICONDATA> shown_;
};
