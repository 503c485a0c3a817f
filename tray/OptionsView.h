#pragma once
// What the main window needs of the options dialog: the left-button hold fills it from the
// current settings and shows it modeless.

#include <QString>

class OptionsView {
public:
    virtual ~OptionsView() = default;
    virtual void setStepText(const QString& text) = 0;  // Text1
    virtual void checkSound() = 0;                      // Check1 = 1
    virtual void checkIcon() = 0;                       // Check2 = 1
    virtual void showModeless() = 0;
};
