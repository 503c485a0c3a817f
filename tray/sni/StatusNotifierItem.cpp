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

// Hosts disagree on the sign: KDE's hosts (Plasma, LXQt) send a positive delta for the wheel
// turned up (away from the user), as Qt does, while the wlroots bars (waybar, swaybar) and XFCE's
// status tray (its plugin process is named panel-<n>-systray) send a negative one. We take the
// KDE convention unless the calling process is one of those known to count the other way. Angle
// hosts send 120 per notch, others 1 per notch; anything below a notch's worth counts as one.
void StatusNotifierItem::Scroll(int delta, const QString& orientation) {
    if (delta == 0 || orientation.compare(QLatin1String("vertical"), Qt::CaseInsensitive) != 0) {
        return;
    }
    if (callerCountsDownwards()) {
        delta = -delta;
    }
    const int notches = std::clamp(std::abs(delta) / kNotch, 1, kMaxNotches);
    for (int i = 0; i < notches; ++i) {
        run(delta > 0 ? TrayCommand::StepUp : TrayCommand::StepDown);
    }
}

bool StatusNotifierItem::callerCountsDownwards() {
    if (!calledFromDBus()) {
        return false;
    }
    const auto pid = connection().interface()->servicePid(message().service());
    if (!pid.isValid()) {
        return false;
    }
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid.value()));
    if (!comm.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray name = comm.readAll().trimmed();
    return name == "waybar" || name == "swaybar" ||
           (name.startsWith("panel-") && name.endsWith("-systray"));
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
