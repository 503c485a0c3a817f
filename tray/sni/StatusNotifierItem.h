#pragma once
// One tray icon as an org.kde.StatusNotifierItem object. The host reports whole clicks, not
// presses: Activate (left) steps up, ContextMenu (right) steps down, SecondaryActivate (middle)
// switches the mute, Scroll steps once per notch, the right way round for each host.

#include "DBusTypes.h"
#include "TrayService.h"

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QIcon>
#include <QObject>

#include <functional>

class StatusNotifierItem : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ empty)
    Q_PROPERTY(SniIconPixmapList IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ empty)
    Q_PROPERTY(SniIconPixmapList OverlayIconPixmap READ noPixmap)
    Q_PROPERTY(QString AttentionIconName READ empty)
    Q_PROPERTY(SniIconPixmapList AttentionIconPixmap READ noPixmap)
    Q_PROPERTY(QString AttentionMovieName READ empty)
    Q_PROPERTY(SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(QString IconThemePath READ empty)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    StatusNotifierItem(TrayWindow* window, const QDBusObjectPath& menu, QObject* parent = nullptr);

    void setIcon(const QIcon& icon);
    // The title (also the ToolTip's title) and the ToolTip's description.
    void setTip(const QString& tip, const QString& description = QString());
    // Hands the window what the host asked for (a whole click, a notch of the wheel).
    void setCommandHandler(std::function<void(TrayCommand)> handler) {
        handler_ = std::move(handler);
    }

    QString category() const { return QStringLiteral("Hardware"); }
    QString id() const { return QStringLiteral("brennet"); }
    QString title() const { return tip_; }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString empty() const { return {}; }
    SniIconPixmapList iconPixmap() const { return pixmaps_; }
    SniIconPixmapList noPixmap() const { return {}; }
    SniToolTip toolTip() const { return {QString(), {}, tip_, description_}; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return menu_; }

    // The icon's images as IconPixmap carries them: ARGB32, network byte order.
    static SniIconPixmapList pixmapsOf(const QIcon& icon);

public slots:
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void ContextMenu(int x, int y);
    void Scroll(int delta, const QString& orientation);
    // Newer hosts (GNOME Shell 48's extension, Plasma 6) hand over an activation token before
    // a click, so that a window the click opens may take the focus on Wayland: kept where Qt's
    // Wayland platform looks for it when the options dialog is shown.
    void ProvideXdgActivationToken(const QString& token);

signals:
    void NewTitle();
    void NewIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    // How the calling host counts the wheel: downwards positive or not, and the delta of one
    // notch (0: not known).
    struct WheelHost {
        bool downwards = false;
        int unit = 0;
    };

    void run(TrayCommand command);
    WheelHost callerWheelHost();

    TrayWindow* window_;
    QDBusObjectPath menu_;
    QString tip_;
    QString description_;
    SniIconPixmapList pixmaps_;
    std::function<void(TrayCommand)> handler_;
    int wheelUnit_ = 0;  // the notch of the host that turned the wheel last
    int wheelRest_ = 0;  // what it turned since its last whole notch, in its units, up positive
};
