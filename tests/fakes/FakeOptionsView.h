#pragma once
// Records what the main window does to the options dialog: the step text it writes, the check
// boxes it ticks and whether it shows the dialog. The state lasts across showings, as the
// dialog's does; calls() keeps every call in order.

#include "OptionsView.h"

#include <QString>
#include <QStringList>

class FakeOptionsView : public OptionsView {
public:
    void setStepText(const QString& text) override {
        stepText = text;
        calls << QStringLiteral("setStepText:") + text;
    }
    void checkSound() override {
        soundChecked = true;
        calls << QStringLiteral("checkSound");
    }
    void checkIcon() override {
        iconChecked = true;
        calls << QStringLiteral("checkIcon");
    }
    void showModeless() override {
        ++shown;
        calls << QStringLiteral("showModeless");
    }

    QString stepText;
    bool soundChecked = false;  // Check1
    bool iconChecked = false;   // Check2
    int shown = 0;
    QStringList calls;
};
