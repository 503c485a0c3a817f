#pragma once
// The small window that a freedesktop system tray embeds: paints one icon over the tray's
// background, shows a tooltip and reports button presses and releases as tray mouse messages.

#include "TrayService.h"

#include <QIcon>
#include <QImage>
#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdint>

class TrayIconWidget : public QWidget {
    Q_OBJECT

public:
    // translucent: the tray composites its icons (a 32-bit visual); otherwise the icon is painted
    // over a copy of the tray's own background.
    TrayIconWidget(xcb_connection_t* connection, bool translucent, int size);

    void setIcon(const QIcon& icon);
    bool translucent() const { return translucent_; }
    // The native window, created on first use.
    xcb_window_t window();
    // Called when the tray took the window in (true) or let it go back to the root (false).
    void setEmbedded(bool embedded);
    bool embedded() const { return embedded_; }

signals:
    // WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN or WM_RBUTTONUP.
    void mouseMessage(uint32_t message);
    // A middle click and the wheel, one step per notch.
    void command(TrayCommand command);
    // The middle button was held for 500 ms: the icon's menu is to open at pos.
    void menuRequested(const QPoint& pos);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void setNativeProperties();
    void grabTrayBackground();
    QPixmap pixmapForSize(int logicalSize, qreal dpr) const;

    xcb_connection_t* connection_;
    bool translucent_;
    bool embedded_ = false;
    bool backgroundStale_ = true;
    int grabRetries_ = 0;  // failed looks at the tray's background since it last changed
    QIcon icon_;
    QImage background_;
    int wheelRest_ = 0;  // eighths of a degree turned since the last whole notch
    QTimer middleHold_;  // times a middle press: a release before it ticks is a click
};
