#include "TrayMenuPopup.h"

#include <QAction>
#include <QActionGroup>

TrayMenuPopup::TrayMenuPopup(TrayMenu* model, QObject* parent) : QObject(parent), model_(model) {
    menu_.setObjectName(QStringLiteral("brennet-menu"));
    menu_.setTitle(QStringLiteral("Brennet"));
    outputs_.setObjectName(QStringLiteral("brennet-outputs"));
    auto followModel = [this] {
        if (menu_.isVisible()) {
            rebuild();
        }
    };
    connect(model_, &TrayMenu::entriesChanged, this, followModel);
    connect(model_, &TrayMenu::layoutChanged, this, followModel);
}

void TrayMenuPopup::popup(const QPoint& pos) {
    model_->refresh();
    rebuild();
    menu_.popup(pos);
}

void TrayMenuPopup::rebuild() {
    menu_.clear();
    outputs_.clear();
    delete outputGroup_;
    outputGroup_ = new QActionGroup(&outputs_);
    outputGroup_->setExclusive(true);
    for (int id : model_->children(TrayMenu::Root)) {
        addEntry(menu_, id, nullptr);
    }
}

void TrayMenuPopup::addEntry(QMenu& menu, int id, QActionGroup* group) {
    const QVariantMap p = model_->properties(id);
    if (p.value(QStringLiteral("type")) == QLatin1String("separator")) {
        menu.addSeparator();
        return;
    }
    const QString label = p.value(QStringLiteral("label")).toString();
    const bool enabled = p.value(QStringLiteral("enabled"), true).toBool();
    if (p.value(QStringLiteral("children-display")) == QLatin1String("submenu")) {
        outputs_.setTitle(label);
        outputs_.setEnabled(enabled);
        for (int child : model_->children(id)) {
            addEntry(outputs_, child, outputGroup_);
        }
        menu.addMenu(&outputs_);
        return;
    }
    QAction* action = menu.addAction(label);
    action->setEnabled(enabled);
    if (p.contains(QStringLiteral("toggle-type"))) {
        action->setCheckable(true);
        action->setChecked(p.value(QStringLiteral("toggle-state")).toInt() == 1);
        if (group) {
            group->addAction(action);
        }
    }
    connect(action, &QAction::triggered, model_, [this, id] { model_->activate(id); });
}
