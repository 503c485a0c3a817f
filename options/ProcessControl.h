#pragma once
// The program's own executable and process: where it lives, starting a fresh instance of it and
// ending this one. Behind an interface so Apply can be tested without restarting anything.

#include <QString>

class ProcessControl {
public:
    virtual ~ProcessControl() = default;
    virtual QString applicationFilePath() const = 0;
    virtual QString applicationDirPath() const = 0;
    // Executes program directly, with no arguments and no shell. On failure returns false and
    // puts the reason into *error.
    virtual bool startDetached(const QString& program, QString* error) = 0;
    // Ends this instance at once.
    virtual void exitNow() = 0;
};
