#include "EngineWatch.h"

#include <QMetaObject>

EngineWatch::EngineWatch(MixerEngine& engine, QObject* parent) : QObject(parent), engine_(engine) {
    // Runs on the engine's notifier thread: it only posts, at most one delivery at a time.
    engine_.setChangeHandler([this] {
        if (posted_.exchange(true))
            return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                posted_ = false;  // a change told from now on posts again
                emit changed();
            },
            Qt::QueuedConnection);
    });
}

// Once the handler is gone no post can come; one already posted dies with this object.
EngineWatch::~EngineWatch() {
    engine_.setChangeHandler({});
}
