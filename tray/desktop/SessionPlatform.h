#pragma once
// Which of Qt's window-system platforms Brennet runs on. In a Wayland session it is Wayland
// wherever Qt's Wayland platform is installed and the compositor answers: the icon is then a
// StatusNotifierItem and the dialogs are Wayland windows, sharp at any scale. Only the XEmbed
// icon needs X, so X11 is the platform of X11 sessions and the fallback of a Wayland session
// that offers only Xwayland. A platform the user named in QT_QPA_PLATFORM is kept.

#include <QByteArray>

class SessionPlatform {
public:
    // What the session offers, as found at start.
    struct Probe {
        QByteArray userChoice;          // QT_QPA_PLATFORM as the user set it, or empty
        bool waylandSession = false;    // WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland
        bool waylandReachable = false;  // the compositor's socket takes a connection
        bool waylandPlugin = false;     // Qt's Wayland platform is installed
        bool x11Reachable = false;      // an X server answers on DISPLAY
    };

    static Probe probe();
    // The value for QT_QPA_PLATFORM, or empty when no display can show the icon.
    static QByteArray choose(const Probe& probe);
};
