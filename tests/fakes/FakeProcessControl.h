#pragma once
// Stands in for the program's own process: says where the executable lives and records the
// restarts and exits asked for, instead of doing them. When failStart is set, starts fail with
// it as the reason.

#include "ProcessControl.h"

#include <QFileInfo>
#include <QStringList>

class FakeProcessControl : public ProcessControl {
public:
    explicit FakeProcessControl(const QString& filePath) : filePath(filePath) {}
    QString applicationFilePath() const override { return filePath; }
    QString applicationDirPath() const override { return QFileInfo(filePath).absolutePath(); }
    bool startDetached(const QString& program, QString* error) override {
        if (!failStart.isEmpty()) {
            *error = failStart;
            return false;
        }
        started << program;
        return true;
    }
    void exitNow() override { ++exits; }

    QString filePath;
    QStringList started;  // programs started successfully
    int exits = 0;
    QString failStart;
};
