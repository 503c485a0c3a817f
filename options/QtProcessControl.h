#pragma once

#include "ProcessControl.h"

class QtProcessControl : public ProcessControl {
public:
    QString applicationFilePath() const override;
    QString applicationDirPath() const override;
    bool startDetached(const QString& program, QString* error) override;
    void exitNow() override;
};
