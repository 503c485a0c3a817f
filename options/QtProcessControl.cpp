#include "QtProcessControl.h"

#include <QCoreApplication>
#include <QProcess>

QString QtProcessControl::applicationFilePath() const {
    return QCoreApplication::applicationFilePath();
}

QString QtProcessControl::applicationDirPath() const {
    return QCoreApplication::applicationDirPath();
}

bool QtProcessControl::startDetached(const QString& program, QString* error) {
    QProcess process;
    process.setProgram(program);
    process.setArguments({});
    if (process.startDetached()) {
        return true;
    }
    if (error) {
        *error = process.errorString();
    }
    return false;
}

void QtProcessControl::exitNow() {
    QCoreApplication::exit(0);
}
