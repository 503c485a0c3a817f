#include "DBusMenu.h"

#include <QTimer>

namespace {

enum Entry { Root = 0, StepUp, StepDown, Mute, Separator, Options, Quit };
constexpr int kFirstEntry = StepUp;
constexpr int kLastEntry = Quit;

}  // namespace

DBusMenu::DBusMenu(TrayWindow* window, QObject* parent) : QObject(parent), window_(window) {
    dbusTypes::registerAll();
    shownMuted_ = window_ && window_->trayMuted();
}

QVariantMap DBusMenu::properties(int id) const {
    QVariantMap p;
    switch (id) {
        case Root:
            p.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
            break;
        case StepUp:
            p.insert(QStringLiteral("label"), QString::fromUtf8("增加音量"));
            break;
        case StepDown:
            p.insert(QStringLiteral("label"), QString::fromUtf8("减小音量"));
            break;
        case Mute:
            p.insert(QStringLiteral("label"), QString::fromUtf8("静音"));
            p.insert(QStringLiteral("toggle-type"), QStringLiteral("checkmark"));
            p.insert(QStringLiteral("toggle-state"), window_ && window_->trayMuted() ? 1 : 0);
            break;
        case Separator:
            p.insert(QStringLiteral("type"), QStringLiteral("separator"));
            break;
        case Options:
            p.insert(QStringLiteral("label"), QString::fromUtf8("设置..."));
            break;
        case Quit:
            p.insert(QStringLiteral("label"), QString::fromUtf8("退出"));
            break;
        default:
            break;
    }
    return p;
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

uint DBusMenu::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                         DBusMenuLayoutItem& layout) {
    shownMuted_ = window_ && window_->trayMuted();
    layout = DBusMenuLayoutItem();
    layout.id = parentId;
    layout.properties = filtered(properties(parentId), propertyNames);
    // The entries are one level deep under the root; a depth of 0 asks for the root alone.
    if (parentId == Root && recursionDepth != 0) {
        for (int id = kFirstEntry; id <= kLastEntry; ++id) {
            DBusMenuLayoutItem child;
            child.id = id;
            child.properties = filtered(properties(id), propertyNames);
            layout.children.append(child);
        }
    }
    return revision_;
}

DBusMenuItemList DBusMenu::GetGroupProperties(const QList<int>& ids,
                                              const QStringList& propertyNames) {
    DBusMenuItemList items;
    for (int id : ids) {
        if (id >= Root && id <= kLastEntry) {
            items.append({id, filtered(properties(id), propertyNames)});
        }
    }
    return items;
}

QDBusVariant DBusMenu::GetProperty(int id, const QString& name) {
    return QDBusVariant(properties(id).value(name));
}

void DBusMenu::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
    if (eventId == QLatin1String("clicked")) {
        activate(id);
    }
}

QList<int> DBusMenu::EventGroup(const DBusMenuEventList& events) {
    QList<int> unknown;
    for (const DBusMenuEvent& event : events) {
        if (event.id < Root || event.id > kLastEntry) {
            unknown.append(event.id);
        } else if (event.eventId == QLatin1String("clicked")) {
            activate(event.id);
        }
    }
    return unknown;
}

bool DBusMenu::AboutToShow(int) {
    return (window_ && window_->trayMuted()) != shownMuted_;
}

QList<int> DBusMenu::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    idErrors.clear();
    QList<int> updates;
    for (int id : ids) {
        if (id < Root || id > kLastEntry) {
            idErrors.append(id);
        } else if (AboutToShow(id)) {
            updates.append(id);
        }
    }
    return updates;
}

// Runs after the call has been answered: quitting or opening a dialog must not keep the host
// waiting for its reply.
bool DBusMenu::activate(int id) {
    TrayCommand command;
    switch (id) {
        case StepUp:
            command = TrayCommand::StepUp;
            break;
        case StepDown:
            command = TrayCommand::StepDown;
            break;
        case Mute:
            command = TrayCommand::SwitchMute;
            break;
        case Options:
            command = TrayCommand::ShowOptions;
            break;
        case Quit:
            command = TrayCommand::Quit;
            break;
        default:
            return false;
    }
    QTimer::singleShot(0, this, [this, command] {
        if (window_) {
            window_->trayCommand(command);
        }
        refresh();
    });
    return true;
}

void DBusMenu::refresh() {
    const bool muted = window_ && window_->trayMuted();
    if (muted == shownMuted_) {
        return;
    }
    shownMuted_ = muted;
    ++revision_;
    emit ItemsPropertiesUpdated({{Mute, {{QStringLiteral("toggle-state"), muted ? 1 : 0}}}}, {});
    emit LayoutUpdated(revision_, Root);
}
