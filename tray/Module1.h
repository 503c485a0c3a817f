#pragma once
// The tray icon record of the program and the call that adds or removes it.

#include "TrayService.h"

#include <cstdint>

class Module1 {
public:
    explicit Module1(TrayService& tray) : tray_(tray) {}

    // Filled by frmMain::Initialize, used again to remove the icon.
    NOTIFYICONDATA TrayIconData;

    // Hands a copy of the record to the tray service and copies it back; returns non-zero on
    // success. Callers do not look at the result.
    int32_t Shell_NotifyIconA(uint32_t dwMessage, NOTIFYICONDATA& lpData);

private:
    TrayService& tray_;
};
