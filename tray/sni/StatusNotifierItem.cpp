#include "StatusNotifierItem.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QImage>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kNotch = 120;      // what one wheel notch reports on hosts that use angle units
constexpr int kMaxNotches = 10;  // one call never moves the volume by more than this

}  // namespace

StatusNotifierItem::StatusNotifierItem(TrayWindow* window, const QDBusObjectPath& menu,
                                       QObject* parent)
    : QObject(parent), window_(window), menu_(menu) {
    dbusTypes::registerAll();
}

SniIconPixmapList StatusNotifierItem::pixmapsOf(const QIcon& icon) {
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty()) {
        sizes = {QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48)};
    }
    SniIconPixmapList list;
    for (const QSize& size : sizes) {
        const QImage image =
            icon.pixmap(size, 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull()) {
            continue;
        }
        SniIconPixmap pixmap{image.width(), image.height(), QByteArray()};
        pixmap.bytes.resize(image.width() * image.height() * 4);
        auto* out = reinterpret_cast<uchar*>(pixmap.bytes.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x, out += 4) {
                qToBigEndian<quint32>(line[x], out);
            }
        }
        list.append(pixmap);
    }
    return list;
}

void StatusNotifierItem::setIcon(const QIcon& icon) {
    pixmaps_ = pixmapsOf(icon);
    emit NewIcon();
}

// Each signal only when its part changed: a host fetches again what a signal names.
void StatusNotifierItem::setTip(const QString& tip, const QString& description) {
    const bool titleChanged = tip != tip_;
    const bool tipChanged = titleChanged || description != description_;
    tip_ = tip;
    description_ = description;
    if (titleChanged)
        emit NewTitle();
    if (tipChanged)
        emit NewToolTip();
}

void StatusNotifierItem::Activate(int, int) {
    run(TrayCommand::StepUp);
}

void StatusNotifierItem::SecondaryActivate(int, int) {
    run(TrayCommand::SwitchMute);
}

void StatusNotifierItem::ContextMenu(int, int) {
    run(TrayCommand::StepDown);
}

// Hosts disagree on the sign and on the unit. KDE's hosts (Plasma, LXQt) send Qt's angle
// delta: positive for the wheel turned up (away from the user), 120 a notch, a touchpad a little
// at a time. The wlroots bars (waybar, swaybar), XFCE's status tray (its plugin process is named
// panel-<n>-systray) and GNOME Shell's AppIndicator extension count down as positive, 1 a notch
// (waybar: one notch a call, see below).
// Parts of a notch add up until they make one, so a touchpad steps once per notch's worth, not
// once per event. From a host we do not know, up is positive, and a call below a notch's worth
// of angle counts as one notch.
void StatusNotifierItem::Scroll(int delta, const QString& orientation) {
    if (delta == 0 || orientation.compare(QLatin1String("vertical"), Qt::CaseInsensitive) != 0) {
        return;
    }
    const WheelHost host = callerWheelHost();
    if (host.downwards) {
        delta = -delta;
    }
    // A part of a notch in one host's units means nothing in another's.
    if (host.unit != wheelUnit_) {
        wheelUnit_ = host.unit;
        wheelRest_ = 0;
    }
    int notches = 0;
    if (host.unit == 0) {
        notches = std::abs(delta) < kNotch ? (delta > 0 ? 1 : -1) : delta / kNotch;
    } else {
        wheelRest_ += delta;
        notches = wheelRest_ / host.unit;
        wheelRest_ -= notches * host.unit;
    }
    notches = std::clamp(notches, -kMaxNotches, kMaxNotches);
    for (int i = 0; i < std::abs(notches); ++i) {
        run(notches > 0 ? TrayCommand::StepUp : TrayCommand::StepDown);
    }
}

StatusNotifierItem::WheelHost StatusNotifierItem::callerWheelHost() {
    if (!calledFromDBus()) {
        return {};
    }
    const auto pid = connection().interface()->servicePid(message().service());
    if (!pid.isValid()) {
        return {};
    }
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid.value()));
    if (!comm.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray name = comm.readAll().trimmed();
    if (name == "plasmashell" || name == "lxqt-panel") {
        return {false, kNotch};
    }
    // waybar sends GTK's wheel delta rounded per event (2 for a notch of sway's 15 degrees), at
    // least 1 however little was turned: every call is one notch.
    if (name == "waybar") {
        return {true, 0};
    }
    // The process name is cut at 15 characters: panel-12-systray reads panel-12-systra.
    if (name == "swaybar" || name == "gnome-shell" ||
        (name.startsWith("panel-") && name.contains("-systra"))) {
        return {true, 1};
    }
    return {};
}

// The work runs after the host's call has been answered.
void StatusNotifierItem::run(TrayCommand command) {
    QTimer::singleShot(0, this, [this, command] {
        if (handler_) {
            handler_(command);
        } else if (window_) {
            window_->trayCommand(command);
        }
    });
}

void StatusNotifierItem::ProvideXdgActivationToken(const QString& token) {
    qputenv("XDG_ACTIVATION_TOKEN", token.toUtf8());
}
