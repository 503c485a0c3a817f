#pragma once
// The tray icon's menu, as one model for every tray that shows it (the StatusNotifierItem's
// dbusmenu, the XEmbed icon's popup): its entries by id, their properties in dbusmenu's terms,
// and what choosing one does.
//
//   增加音量 / 减小音量 / 静音 (check) / 麦克风静音 (check) / 输出设备 > outputs (radio) /
//   ---- / 设置... / 退出
//
// Without a device service the microphone and output entries are left out. The model remembers
// what it last showed; refresh() compares the devices and the window's state with that and tells
// which entries changed (entriesChanged) and whether the list of outputs changed (layoutChanged).
// Call it whenever the sound system reports a change, and before a menu opens.

#include "DeviceService.h"
#include "TrayService.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QVariantMap>

#include <map>
#include <string>

class TrayMenu : public QObject {
    Q_OBJECT

public:
    enum Entry {
        Root = 0,
        StepUp,
        StepDown,
        Mute,
        Separator,
        Options,
        Quit,
        Microphone,
        Outputs,
        FirstOutput = 100,  // outputs get ids from here on, each its own for the whole run
    };

    // Both must outlive the model; devices may be nullptr.
    TrayMenu(TrayWindow* window, DeviceService* devices, QObject* parent = nullptr);

    bool exists(int id) const { return shown_.contains(id); }
    // The entries under id (the root and the outputs submenu have some), in menu order.
    QList<int> children(int id) const;
    // dbusmenu's properties: label, type, toggle-type, toggle-state, enabled, children-display.
    QVariantMap properties(int id) const { return shown_.value(id); }

    // Carries out the entry's action once the caller has returned (a host waits for its reply
    // meanwhile; quitting or opening a dialog must not keep it waiting). False for an entry that
    // does nothing (a separator, a submenu, an unknown id).
    bool activate(int id);

    // Takes the current state; true when anything shown changed.
    bool refresh();

signals:
    void entriesChanged(const QList<int>& ids);
    // The entries under parent came or went (outputs plugged in or out).
    void layoutChanged(int parent);

private:
    void run(int id);
    int outputId(const std::string& output);
    QMap<int, QVariantMap> current(QList<int>* outputs);

    TrayWindow* window_;
    DeviceService* devices_;
    QMap<int, QVariantMap> shown_;
    QList<int> shownOutputs_;
    QMap<int, std::string> outputNames_;
    std::map<std::string, int> outputIds_;
};
