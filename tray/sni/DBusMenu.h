#pragma once
// The tray icon's menu (TrayMenu) as com.canonical.dbusmenu. Hosts that draw menus (and GNOME,
// which hides items without one) show it; choosing an entry does what the model says. When the
// model's entries change (a mute, outputs that come or go), the host hears of it at once, also
// while the menu is open.

#include "DBusTypes.h"
#include "TrayMenu.h"

#include <QObject>

class DBusMenu : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    // The model must outlive the menu.
    explicit DBusMenu(TrayMenu* model, QObject* parent = nullptr);

    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

    // Takes the model's current state and tells the host what changed.
    void refresh() { model_->refresh(); }

public slots:
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   DBusMenuLayoutItem& layout);
    DBusMenuItemList GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames);
    QDBusVariant GetProperty(int id, const QString& name);
    void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
    QList<int> EventGroup(const DBusMenuEventList& events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

signals:
    void ItemsPropertiesUpdated(const DBusMenuItemList& updatedProps,
                                const DBusMenuItemKeysList& removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    static QVariantMap filtered(const QVariantMap& all, const QStringList& names);
    DBusMenuLayoutItem layoutOf(int id, int depth, const QStringList& names) const;
    void entriesChanged(const QList<int>& ids);
    void layoutChanged(int parent);

    TrayMenu* model_;
    uint revision_ = 1;
};
