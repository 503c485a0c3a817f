#pragma once
// The tray icon's menu (TrayMenu) as a popup menu of our own, for trays that show no menu of an
// icon (the classic XEmbed tray). It follows the model while it is open: ticks and labels change
// in place, and the outputs submenu is rebuilt when outputs come or go, so the entry under the
// pointer or the keyboard stays where it is.

#include "TrayMenu.h"

#include <QHash>
#include <QMenu>
#include <QPoint>

class QAction;
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
    void rebuildOutputs();
    void update(const QList<int>& ids);
    void addEntry(QMenu& menu, int id, QActionGroup* group);
    void show(int id);

    TrayMenu* model_;
    QMenu menu_;
    QMenu outputs_;
    QActionGroup* outputGroup_ = nullptr;
    QHash<int, QAction*> actions_;
};
