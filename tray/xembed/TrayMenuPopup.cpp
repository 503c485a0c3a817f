#include "TrayMenuPopup.h"

#include <QAction>
#include <QActionGroup>

TrayMenuPopup::TrayMenuPopup(TrayMenu* model, QObject* parent) : QObject(parent), model_(model) {
    menu_.setObjectName(QStringLiteral("brennet-menu"));
    outputs_.setObjectName(QStringLiteral("brennet-outputs"));
    connect(model_, &TrayMenu::entriesChanged, this, [this](const QList<int>& ids) {
        if (menu_.isVisible()) {
            update(ids);
        }
    });
    connect(model_, &TrayMenu::layoutChanged, this, [this] {
        if (menu_.isVisible()) {
            rebuildOutputs();
        }
    });
}

void TrayMenuPopup::popup(const QPoint& pos) {
    model_->refresh();
    rebuild();
    menu_.popup(pos);
}

void TrayMenuPopup::rebuild() {
    menu_.clear();
    actions_.clear();
    for (int id : model_->children(TrayMenu::Root)) {
        if (id == TrayMenu::Outputs) {
            actions_.insert(id, menu_.addMenu(&outputs_));
            rebuildOutputs();
            show(id);
        } else {
            addEntry(menu_, id, nullptr);
        }
    }
}

void TrayMenuPopup::rebuildOutputs() {
    for (QAction* action : outputs_.actions()) {
        actions_.remove(actions_.key(action));
    }
    outputs_.clear();
    delete outputGroup_;
    outputGroup_ = new QActionGroup(&outputs_);
    outputGroup_->setExclusive(true);
    for (int id : model_->children(TrayMenu::Outputs)) {
        addEntry(outputs_, id, outputGroup_);
    }
}

void TrayMenuPopup::update(const QList<int>& ids) {
    for (int id : ids) {
        show(id);
    }
}

void TrayMenuPopup::addEntry(QMenu& menu, int id, QActionGroup* group) {
    if (model_->properties(id).value(QStringLiteral("type")) == QLatin1String("separator")) {
        menu.addSeparator();
        return;
    }
    QAction* action = menu.addAction(QString());
    if (group) {
        group->addAction(action);
    }
    connect(action, &QAction::triggered, model_, [this, id] { model_->activate(id); });
    actions_.insert(id, action);
    show(id);
}

// Puts the entry's label, state and tick on its action.
void TrayMenuPopup::show(int id) {
    QAction* action = actions_.value(id);
    if (!action) {
        return;
    }
    const QVariantMap p = model_->properties(id);
    action->setText(p.value(QStringLiteral("label")).toString());
    action->setEnabled(p.value(QStringLiteral("enabled"), true).toBool());
    const bool toggles = p.contains(QStringLiteral("toggle-type"));
    action->setCheckable(toggles);
    action->setChecked(toggles && p.value(QStringLiteral("toggle-state")).toInt() == 1);
}
