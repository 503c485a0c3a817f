#pragma once
// The program's messages as a modal message box on the desktop.

#include "Notifier.h"

class MessageBoxNotifier : public Notifier {
public:
    void MsgBox(const std::string& prompt, uint32_t style, const std::string& title) override;
};
