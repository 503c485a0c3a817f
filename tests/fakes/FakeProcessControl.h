#pragma once
// Stands in for the program's own process: says where the executable lives and records the
// restarts and exits asked for, instead of doing them.
//
//     FakeProcessControl process("/opt/brennet/brennet");
//     ... Apply ...
//     process.started;        // the programs started, in order
//     process.exits;          // how many times this instance was told to end
//     process.failStart = "No such file or directory";   // the next starts fail with this

#include "FakeMixer.h"  // nextFakeCallSequence()
#include "ProcessControl.h"

#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <cstdint>

class FakeProcessControl : public ProcessControl {
public:
    explicit FakeProcessControl(const QString& filePath = QStringLiteral("/opt/brennet/brennet"))
        : filePath_(filePath) {}

    QString applicationFilePath() const override { return filePath_; }
    QString applicationDirPath() const override { return QFileInfo(filePath_).absolutePath(); }

    bool startDetached(const QString& program, QString* error) override {
        startSequence = nextFakeCallSequence();
        if (!failStart.isEmpty()) {
            if (error) {
                *error = failStart;
            }
            return false;
        }
        started << program;
        return true;
    }

    void exitNow() override {
        ++exits;
        exitSequence = nextFakeCallSequence();
    }

    void setFilePath(const QString& filePath) { filePath_ = filePath; }

    QStringList started;  // programs started successfully
    int exits = 0;
    QString failStart;  // when set, startDetached fails with this reason
    uint64_t startSequence = 0;
    uint64_t exitSequence = 0;

private:
    QString filePath_;
};
