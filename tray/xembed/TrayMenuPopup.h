#pragma once
// The tray icon's menu (TrayMenu) as a popup menu of our own, for trays that show no menu of an
// icon (the classic XEmbed tray). It follows the model while it is open: outputs that come or
// go and ticks that change show at once.

#include "TrayMenu.h"

#include <QMenu>
#include <QPoint>

class QActionGroup;

class TrayMenuPopup : public QObject {
    Q_OBJECT

public:
    // The model must outlive the popup.
    explicit TrayMenuPopup(TrayMenu* model, QObject* parent = nullptr);

    // Opens the menu with its top left corner at pos (global coordinates).
    void popup(const QPoint& pos);
    QMenu& menu() { return menu_; }

private:
    void rebuild();
    void addEntry(QMenu& menu, int id, QActionGroup* group);

    TrayMenu* model_;
    QMenu menu_;
    QMenu outputs_;
    QActionGroup* outputGroup_ = nullptr;
};
