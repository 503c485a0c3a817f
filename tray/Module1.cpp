#include "Module1.h"

int32_t Module1::Shell_NotifyIconA(uint32_t dwMessage, NOTIFYICONDATA& lpData) {
    NOTIFYICONDATA copy = lpData;
    const bool ok = tray_.Shell_NotifyIcon(dwMessage, copy);
    lpData = copy;
    return ok ? 1 : 0;
}
