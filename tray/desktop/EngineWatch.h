#pragma once
// The change path's Qt end: an engine tells its changes on a thread of its own; this object
// turns them into one queued signal on the thread it lives on (the UI thread), so no UI code
// ever runs on an engine's thread. Changes that come before the signal has been delivered are
// merged into it.
//
// Construction:  EngineWatch watch(engine);   (the engine must outlive the watch)
//                connect(&watch, &EngineWatch::changed, &form, &frmMain::mixerChanged);
// It is the engine's one change handler, and removes itself before it goes.

#include "MixerEngine.h"

#include <QObject>

#include <atomic>

class EngineWatch : public QObject {
    Q_OBJECT

public:
    explicit EngineWatch(MixerEngine& engine, QObject* parent = nullptr);
    ~EngineWatch() override;

signals:
    // A level, a mute, the devices, the default output, the connection or the engine in use
    // changed; read the mixer again to see what.
    void changed();

private:
    MixerEngine& engine_;
    std::atomic<bool> posted_{false};
};
