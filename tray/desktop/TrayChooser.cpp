#include "TrayChooser.h"

#include "SniTray.h"
#include "XEmbedTray.h"

#include <QTimer>

#include <cstdio>

TrayChooser::TrayChooser(XEmbedTray& xembed, SniTray& sni, const QString& forced)
    : xembed_(xembed), sni_(sni) {
    if (forced == QLatin1String("xembed") && !xembed_.usable()) {
        std::fputs("Brennet: BRENNET_TRAY=xembed needs an X display; ignored\n", stderr);
    } else if (forced == QLatin1String("xembed") || forced == QLatin1String("sni")) {
        forced_ = true;
        active_ = forced == QLatin1String("sni") ? Kind::Sni : Kind::XEmbed;
    }
    connect(&xembed_, &XEmbedTray::trayChanged, this, [this] {
        // A tray that starts may be a real one even where the last was a proxy.
        if (xembed_.trayPresent()) {
            proxied_ = false;
        }
        choose();
    });
    connect(&sni_, &SniTray::watcherChanged, this, &TrayChooser::choose);
    // Move only after the click has been handled: the XEmbed icon is inside its own event.
    connect(&xembed_, &XEmbedTray::syntheticClick, this, [this] {
        if (!proxied_) {
            proxied_ = true;
            QTimer::singleShot(0, this, &TrayChooser::choose);
        }
    });
}

TrayService& TrayChooser::service(Kind kind) const {
    return kind == Kind::Sni ? static_cast<TrayService&>(sni_) : xembed_;
}

TrayChooser::Kind TrayChooser::pick() const {
    if (forced_) {
        return active_;
    }
    if (!xembed_.usable()) {
        return Kind::Sni;  // no X (a Wayland session): the item is the only icon there is
    }
    const bool watcher = sni_.watcherPresent();
    // A proxy is known by its clicks, or before any click by the program that runs it.
    if (xembed_.trayPresent() && !proxied_ && !(watcher && xembed_.trayIsProxy())) {
        return Kind::XEmbed;
    }
    if (watcher) {
        return Kind::Sni;
    }
    // No tray, or a proxy with no watcher beside it: the XEmbed icon waits for a tray and
    // still takes clicks from a proxy.
    return Kind::XEmbed;
}

void TrayChooser::choose() {
    const Kind kind = pick();
    if (chosen_ && kind != active_ && !move(active_, kind)) {
        move(kind, active_);  // the new tray refused the icon: it stays where it was
        return;
    }
    active_ = kind;
    chosen_ = true;
    reportWaiting();
}

// Moves every shown icon from one tray to the other; false when the other refused one.
bool TrayChooser::move(Kind from, Kind to) {
    bool ok = true;
    for (const auto& entry : shown_) {
        service(from).Shell_NotifyIcon(NIM_DELETE, entry.second);
    }
    for (const auto& entry : shown_) {
        ok = service(to).Shell_NotifyIcon(NIM_ADD, entry.second) && ok;
    }
    return ok;
}

// One line when the icon has nowhere to go, once each time that happens.
void TrayChooser::reportWaiting() {
    const bool none = active_ == Kind::Sni ? !sni_.watcherPresent() : !xembed_.trayPresent();
    if (none && !waiting_ && !shown_.empty()) {
        std::fputs(active_ == Kind::Sni
                       ? "Brennet: waiting for a StatusNotifierItem host (a panel with a tray)\n"
                       : "Brennet: no system tray is running; waiting for one to appear\n",
                   stderr);
    }
    waiting_ = none;
}

bool TrayChooser::Shell_NotifyIcon(uint32_t dwMessage, const NOTIFYICONDATA& data) {
    const Key key(data.hWnd, data.uID);
    if (dwMessage == NIM_ADD) {
        if (shown_.count(key)) {
            return false;
        }
        if (!chosen_) {
            choose();
        }
        bool ok = service(active_).Shell_NotifyIcon(NIM_ADD, data);
        if (!ok && !forced_) {
            // The chosen tray refused it (the bus would not take the item): the other one.
            active_ = active_ == Kind::Sni ? Kind::XEmbed : Kind::Sni;
            ok = service(active_).Shell_NotifyIcon(NIM_ADD, data);
        }
        if (ok) {
            shown_[key] = data;
            waiting_ = false;
            reportWaiting();
        }
        return ok;
    }
    const bool ok = service(active_).Shell_NotifyIcon(dwMessage, data);
    if (ok && dwMessage == NIM_DELETE) {
        shown_.erase(key);
    } else if (ok && dwMessage == NIM_MODIFY) {
        NOTIFYICONDATA& kept = shown_[key];
        if (data.uFlags & NIF_ICON) {
            kept.hIcon = data.hIcon;
        }
        if (data.uFlags & NIF_TIP) {
            std::copy(std::begin(data.szTip), std::end(data.szTip), std::begin(kept.szTip));
            kept.tipLine = data.tipLine;
        }
        if (data.uFlags & NIF_MESSAGE) {
            kept.uCallbackMessage = data.uCallbackMessage;
        }
    }
    return ok;
}
