#pragma once
// Records, in order, what the main window does to the options dialog.

#include "OptionsView.h"

#include <QStringList>

class FakeOptionsView : public OptionsView {
public:
    void setStepText(const QString& text) override { calls << "setStepText:" + text; }
    void checkSound() override { calls << "checkSound"; }
    void checkIcon() override { calls << "checkIcon"; }
    void showModeless() override { calls << "showModeless"; }
    QStringList calls;
};
