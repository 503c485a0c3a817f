#include "TrayIconWidget.h"

#include "TrayService.h"

#include <QApplication>
#include <QCursor>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QWheelEvent>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// The resource name and class of the icon window, so desktop tools can find it.
constexpr char kWmClass[] = "brennet\0Brennet";
constexpr char kWmName[] = "Brennet";
constexpr int kHoldMs = 500;  // as the left and right holds
// A window the tray has not mapped yet, or whose new size the server has and Qt not yet, shows
// no background: look again this often, for up to two seconds.
constexpr int kGrabRetryMs = 50;
constexpr int kGrabRetries = 40;

}  // namespace

TrayIconWidget::TrayIconWidget(xcb_connection_t* connection, bool translucent, int size)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint),
      connection_(connection),
      translucent_(translucent) {
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setAttribute(translucent ? Qt::WA_TranslucentBackground : Qt::WA_OpaquePaintEvent);
    setWindowTitle(QString::fromLatin1(kWmName));
    setFixedSize(size, size);
    middleHold_.setSingleShot(true);
    middleHold_.setInterval(kHoldMs);
    connect(&middleHold_, &QTimer::timeout, this, [this] { emit menuRequested(QCursor::pos()); });
}

void TrayIconWidget::setIcon(const QIcon& icon) {
    icon_ = icon;
    update();
}

xcb_window_t TrayIconWidget::window() {
    const bool created = testAttribute(Qt::WA_WState_Created);
    const auto id = static_cast<xcb_window_t>(winId());
    if (!created) {
        setNativeProperties();
    }
    return id;
}

void TrayIconWidget::setNativeProperties() {
    const auto id = static_cast<xcb_window_t>(winId());
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                        8, sizeof kWmClass, kWmClass);
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                        8, std::strlen(kWmName), kWmName);
}

void TrayIconWidget::setEmbedded(bool embedded) {
    embedded_ = embedded;
    if (!embedded) {
        hide();
        return;
    }
    backgroundStale_ = true;
    grabRetries_ = 0;
    if (!translucent_) {
        // The tray's background shows through wherever the icon is transparent: with a
        // parent-relative background, clearing the window paints the tray's background into it.
        const uint32_t value = XCB_BACK_PIXMAP_PARENT_RELATIVE;
        xcb_change_window_attributes(connection_, window(), XCB_CW_BACK_PIXMAP, &value);
    }
    show();
    // The tray may have mapped the window before Qt took it as shown, and Qt paints only on an
    // expose that reaches a shown window: ask the server for a fresh one.
    xcb_clear_area(connection_, 1, window(), 0, 0, 0, 0);
    xcb_flush(connection_);
}

void TrayIconWidget::grabTrayBackground() {
    backgroundStale_ = false;
    background_ = QImage();
    const qreal dpr = devicePixelRatioF();
    const int w = qRound(width() * dpr);
    const int h = qRound(height() * dpr);
    const xcb_window_t id = window();
    xcb_clear_area(connection_, 0, id, 0, 0, 0, 0);
    xcb_get_image_cookie_t cookie =
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, id, 0, 0, w, h, ~0u);
    xcb_generic_error_t* error = nullptr;
    xcb_get_image_reply_t* reply = xcb_get_image_reply(connection_, cookie, &error);
    std::free(error);
    if (!reply) {
        // Painted over with the palette's colour meanwhile; a later look finds the background.
        if (grabRetries_ < kGrabRetries) {
            ++grabRetries_;
            backgroundStale_ = true;
            QTimer::singleShot(kGrabRetryMs, this, qOverload<>(&QWidget::update));
        }
        return;
    }
    grabRetries_ = 0;
    // A 24-bit window comes back as 32 bits per pixel; the server's byte order must be ours.
    const bool lsbServer =
        xcb_get_setup(connection_)->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    const bool lsbHost = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    if (reply->depth == 24 && lsbServer == lsbHost &&
        xcb_get_image_data_length(reply) == w * h * 4) {
        background_ = QImage(xcb_get_image_data(reply), w, h, w * 4, QImage::Format_RGB32).copy();
        background_.setDevicePixelRatio(dpr);
    }
    std::free(reply);
}

QPixmap TrayIconWidget::pixmapForSize(int logicalSize, qreal dpr) const {
    const int target = qRound(logicalSize * dpr);
    // An image drawn for (nearly) this size stays crisp: use it unscaled. Otherwise let the
    // icon scale a larger image down; a smaller one is centred, never blown up.
    int best = 0;
    for (const QSize& s : icon_.availableSizes()) {
        const int side = qMax(s.width(), s.height());
        if (side <= target && side * 4 >= target * 3 && side > best) {
            best = side;
        }
    }
    QPixmap pixmap = icon_.pixmap(QSize(best ? best : target, best ? best : target), 1.0);
    pixmap.setDevicePixelRatio(dpr);
    return pixmap;
}

void TrayIconWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (translucent_) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else {
        if (embedded_ && backgroundStale_) {
            grabTrayBackground();
        }
        if (background_.isNull()) {
            painter.fillRect(rect(), palette().window());
        } else {
            painter.drawImage(rect(), background_);
        }
    }
    if (icon_.isNull()) {
        return;
    }
    const qreal dpr = devicePixelRatioF();
    const QPixmap pixmap = pixmapForSize(qMin(width(), height()), dpr);
    // Centre on whole device pixels so the image is not resampled.
    const qreal x = std::floor((width() * dpr - pixmap.width()) / 2) / dpr;
    const qreal y = std::floor((height() * dpr - pixmap.height()) / 2) / dpr;
    painter.drawPixmap(QPointF(x, y), pixmap);
}

bool TrayIconWidget::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip || toolTip().isEmpty()) {
        return QWidget::event(event);
    }
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), toolTip(), this);
    // The tooltip window carries its text as its name too, for screen readers and other tools
    // that look at windows rather than pixels.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->inherits("QTipLabel") && window->isVisible()) {
            window->setWindowTitle(toolTip());
        }
    }
    return true;
}

void TrayIconWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit mouseMessage(WM_LBUTTONDOWN);
    } else if (event->button() == Qt::RightButton) {
        emit mouseMessage(WM_RBUTTONDOWN);
    } else if (event->button() == Qt::MiddleButton) {
        middleHold_.start();
    }
}

// The second press of a quick pair is a press like any other: holding it still counts as a hold.
void TrayIconWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void TrayIconWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit mouseMessage(WM_LBUTTONUP);
    } else if (event->button() == Qt::RightButton) {
        emit mouseMessage(WM_RBUTTONUP);
    } else if (event->button() == Qt::MiddleButton && middleHold_.isActive()) {
        middleHold_.stop();
        emit command(TrayCommand::SwitchMute);
    }
}

// A notch is 120 eighths of a degree; a smooth wheel adds up to whole notches. Wheel up (away
// from the user) raises the volume.
void TrayIconWidget::wheelEvent(QWheelEvent* event) {
    constexpr int kNotch = 120;
    wheelRest_ += event->angleDelta().y();
    while (wheelRest_ >= kNotch) {
        wheelRest_ -= kNotch;
        emit command(TrayCommand::StepUp);
    }
    while (wheelRest_ <= -kNotch) {
        wheelRest_ += kNotch;
        emit command(TrayCommand::StepDown);
    }
    event->accept();
}

void TrayIconWidget::resizeEvent(QResizeEvent*) {
    backgroundStale_ = true;
    grabRetries_ = 0;
    update();
}

void TrayIconWidget::moveEvent(QMoveEvent*) {
    if (embedded_) {
        backgroundStale_ = true;
        grabRetries_ = 0;
        update();
    }
}
