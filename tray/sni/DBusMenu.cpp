#include "DBusMenu.h"

DBusMenu::DBusMenu(TrayMenu* model, QObject* parent) : QObject(parent), model_(model) {
    dbusTypes::registerAll();
    connect(model_, &TrayMenu::entriesChanged, this, &DBusMenu::entriesChanged);
    connect(model_, &TrayMenu::layoutChanged, this, &DBusMenu::layoutChanged);
}

QVariantMap DBusMenu::filtered(const QVariantMap& all, const QStringList& names) {
    if (names.isEmpty()) {
        return all;
    }
    QVariantMap some;
    for (const QString& name : names) {
        if (all.contains(name)) {
            some.insert(name, all.value(name));
        }
    }
    return some;
}

// A depth of -1 asks for everything below id, 0 for id alone.
DBusMenuLayoutItem DBusMenu::layoutOf(int id, int depth, const QStringList& names) const {
    DBusMenuLayoutItem item;
    item.id = id;
    item.properties = filtered(model_->properties(id), names);
    if (depth != 0) {
        for (int child : model_->children(id)) {
            item.children.append(layoutOf(child, depth < 0 ? -1 : depth - 1, names));
        }
    }
    return item;
}

uint DBusMenu::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                         DBusMenuLayoutItem& layout) {
    layout = layoutOf(model_->exists(parentId) ? parentId : TrayMenu::Root, recursionDepth,
                      propertyNames);
    return revision_;
}

DBusMenuItemList DBusMenu::GetGroupProperties(const QList<int>& ids,
                                              const QStringList& propertyNames) {
    DBusMenuItemList items;
    for (int id : ids) {
        if (model_->exists(id)) {
            items.append({id, filtered(model_->properties(id), propertyNames)});
        }
    }
    return items;
}

QDBusVariant DBusMenu::GetProperty(int id, const QString& name) {
    return QDBusVariant(model_->properties(id).value(name));
}

void DBusMenu::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    if (eventId == QLatin1String("clicked")) {
        model_->activate(id);
    }
}

QList<int> DBusMenu::EventGroup(const DBusMenuEventList& events) {
    QList<int> unknown;
    for (const DBusMenuEvent& event : events) {
        if (!model_->exists(event.id)) {
            unknown.append(event.id);
        } else if (event.eventId == QLatin1String("clicked")) {
            model_->activate(event.id);
        }
    }
    return unknown;
}

// The host asks before it shows a menu: whatever changed since it last looked is told first.
bool DBusMenu::AboutToShow(int) {
    return model_->refresh();
}

QList<int> DBusMenu::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    idErrors.clear();
    QList<int> updates;
    const bool changed = model_->refresh();
    for (int id : ids) {
        if (!model_->exists(id)) {
            idErrors.append(id);
        } else if (changed) {
            updates.append(id);
        }
    }
    return updates;
}

void DBusMenu::entriesChanged(const QList<int>& ids) {
    DBusMenuItemList items;
    for (int id : ids) {
        items.append({id, model_->properties(id)});
    }
    emit ItemsPropertiesUpdated(items, {});
    // Some hosts take only a new layout: the revision tells them to fetch the menu again.
    ++revision_;
    emit LayoutUpdated(revision_, TrayMenu::Root);
}

void DBusMenu::layoutChanged(int parent) {
    ++revision_;
    emit LayoutUpdated(revision_, parent);
}
