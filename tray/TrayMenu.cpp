#include "TrayMenu.h"

#include <QTimer>

namespace {

const QString kLabel = QStringLiteral("label");
const QString kEnabled = QStringLiteral("enabled");
const QString kToggleType = QStringLiteral("toggle-type");
const QString kToggleState = QStringLiteral("toggle-state");
const QString kChildrenDisplay = QStringLiteral("children-display");

QVariantMap labelled(const char* utf8) {
    return {{kLabel, QString::fromUtf8(utf8)}};
}

QVariantMap toggle(const char* utf8, const QString& type, bool on) {
    QVariantMap p = labelled(utf8);
    p.insert(kToggleType, type);
    p.insert(kToggleState, on ? 1 : 0);
    return p;
}

}  // namespace

TrayMenu::TrayMenu(TrayWindow* window, DeviceService* devices, QObject* parent)
    : QObject(parent), window_(window), devices_(devices) {
    shown_ = current(&shownOutputs_);
}

QList<int> TrayMenu::children(int id) const {
    if (id == Root) {
        QList<int> ids = {StepUp, StepDown, Mute};
        if (devices_) {
            ids << Microphone << Outputs;
        }
        return ids << Separator << Options << Quit;
    }
    return id == Outputs ? shownOutputs_ : QList<int>();
}

// The id an output keeps while the program runs: a host that still shows an output that has
// gone can only ever choose that one, never the one that took its place in the list.
int TrayMenu::outputId(const std::string& output) {
    auto found = outputIds_.find(output);
    if (found != outputIds_.end()) {
        return found->second;
    }
    const int id = FirstOutput + static_cast<int>(outputIds_.size());
    outputIds_.emplace(output, id);
    outputNames_.insert(id, output);
    return id;
}

QMap<int, QVariantMap> TrayMenu::current(QList<int>* outputs) {
    QMap<int, QVariantMap> all;
    all.insert(Root, {{kChildrenDisplay, QStringLiteral("submenu")}});
    all.insert(StepUp, labelled("增加音量"));
    all.insert(StepDown, labelled("减小音量"));
    all.insert(Mute, toggle("静音", QStringLiteral("checkmark"), window_ && window_->trayMuted()));
    all.insert(Separator, {{QStringLiteral("type"), QStringLiteral("separator")}});
    all.insert(Options, labelled("设置..."));
    all.insert(Quit, labelled("退出"));
    outputs->clear();
    if (!devices_) {
        return all;
    }
    QVariantMap mic = toggle("麦克风静音", QStringLiteral("checkmark"),
                             devices_->hasMicrophone() && devices_->microphoneMuted());
    mic.insert(kEnabled, devices_->hasMicrophone());
    all.insert(Microphone, mic);

    const std::vector<DeviceService::Output> list = devices_->outputs();
    const bool choosable = devices_->canChooseOutput();
    QVariantMap submenu = labelled("输出设备");
    submenu.insert(kChildrenDisplay, QStringLiteral("submenu"));
    submenu.insert(kEnabled, !list.empty());
    all.insert(Outputs, submenu);
    for (const DeviceService::Output& o : list) {
        const int id = outputId(o.id);
        QVariantMap entry{{kLabel, QString::fromStdString(o.description)},
                          {kToggleType, QStringLiteral("radio")},
                          {kToggleState, o.current ? 1 : 0},
                          {kEnabled, choosable}};
        all.insert(id, entry);
        outputs->append(id);
    }
    return all;
}

bool TrayMenu::refresh() {
    QList<int> outputs;
    const QMap<int, QVariantMap> now = current(&outputs);
    QList<int> changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (shown_.contains(it.key()) && shown_.value(it.key()) != it.value()) {
            changed.append(it.key());
        }
    }
    const bool layout = outputs != shownOutputs_;
    shown_ = now;
    shownOutputs_ = outputs;
    if (!changed.isEmpty()) {
        emit entriesChanged(changed);
    }
    if (layout) {
        emit layoutChanged(Outputs);
    }
    return layout || !changed.isEmpty();
}

bool TrayMenu::activate(int id) {
    const bool acts = id != Root && id != Separator && id != Outputs && shown_.contains(id) &&
                      shown_.value(id).value(kEnabled, true).toBool();
    if (acts) {
        QTimer::singleShot(0, this, [this, id] {
            run(id);
            refresh();
        });
    }
    return acts;
}

void TrayMenu::run(int id) {
    if (!window_ && id < Microphone) {
        return;
    }
    switch (id) {
        case StepUp:
            window_->trayCommand(TrayCommand::StepUp);
            break;
        case StepDown:
            window_->trayCommand(TrayCommand::StepDown);
            break;
        case Mute:
            window_->trayCommand(TrayCommand::SwitchMute);
            break;
        case Options:
            window_->trayCommand(TrayCommand::ShowOptions);
            break;
        case Quit:
            window_->trayCommand(TrayCommand::Quit);
            break;
        case Microphone:
            devices_->setMicrophoneMuted(!devices_->microphoneMuted());
            break;
        default:
            if (outputNames_.contains(id)) {
                devices_->chooseOutput(outputNames_.value(id));
            }
            break;
    }
}
