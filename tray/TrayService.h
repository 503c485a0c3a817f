#pragma once
// The notification-area icon service: the record that describes one tray icon, the window that
// receives its mouse messages, and the add/delete requests.

#include <QIcon>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>

constexpr uint32_t NIM_ADD = 0;
constexpr uint32_t NIM_MODIFY = 1;
constexpr uint32_t NIM_DELETE = 2;
constexpr uint32_t NIF_MESSAGE = 1;
constexpr uint32_t NIF_ICON = 2;
constexpr uint32_t NIF_TIP = 4;

// Mouse message numbers the tray reports on its icon.
constexpr uint32_t WM_MOUSEMOVE = 0x200;
constexpr uint32_t WM_LBUTTONDOWN = 0x201;
constexpr uint32_t WM_LBUTTONUP = 0x202;
constexpr uint32_t WM_LBUTTONDBLCLK = 0x203;
constexpr uint32_t WM_RBUTTONDOWN = 0x204;
constexpr uint32_t WM_RBUTTONUP = 0x205;
constexpr uint32_t WM_RBUTTONDBLCLK = 0x206;

// What a tray asks of an icon's window besides presses and releases: the middle button, the
// wheel, the icon's own menu, and tray hosts that report whole clicks rather than presses.
enum class TrayCommand {
    StepUp,       // a click that raises the volume one step (wheel up, Activate)
    StepDown,     // a click that lowers it one step (wheel down, ContextMenu)
    SwitchMute,   // what a right hold does (middle click, SecondaryActivate)
    ShowOptions,  // what a left hold does
    Quit,
};

// A window that owns tray icons. The tray hands every mouse event on an icon to the window named
// in the icon's record, as uCallbackMessage carrying the mouse message number.
class TrayWindow {
public:
    virtual ~TrayWindow() = default;
    virtual void trayCallback(uint32_t uCallbackMessage, uint32_t mouseMessage) = 0;
    virtual void trayCommand(TrayCommand command) = 0;
    // Whether the master is muted as the window last read it (a menu shows it ticked).
    virtual bool trayMuted() const = 0;
};

using HWND = TrayWindow*;

constexpr int NOTIFYICONDATA_TIP_CHARS = 64;

struct NOTIFYICONDATA {
    uint32_t cbSize = 0;
    HWND hWnd = nullptr;
    uint32_t uID = 0;
    uint32_t uFlags = 0;
    uint32_t uCallbackMessage = 0;
    QIcon hIcon;
    char szTip[NOTIFYICONDATA_TIP_CHARS] = {};  // shown up to its first NUL
    // A line shown under szTip (the master's level and output); sent with NIF_TIP.
    QString tipLine;
};

// The tooltip a record asks for: szTip up to its first NUL, in the locale's encoding.
inline QString tipText(const NOTIFYICONDATA& data) {
    const char* end = static_cast<const char*>(std::memchr(data.szTip, '\0', sizeof data.szTip));
    const auto length = end ? end - data.szTip : static_cast<std::ptrdiff_t>(sizeof data.szTip);
    return QString::fromLocal8Bit(data.szTip, length);
}

// The whole tooltip: szTip's text, and the tip line under it when there is one.
inline QString tipWithLine(const NOTIFYICONDATA& data) {
    return data.tipLine.isEmpty() ? tipText(data) : tipText(data) + u'\n' + data.tipLine;
}

class TrayService {
public:
    virtual ~TrayService() = default;
    // NIM_ADD shows the icon named by (hWnd, uID); it fails and changes nothing while that icon
    // is already shown. NIM_MODIFY changes the shown icon in place (the parts uFlags names),
    // NIM_DELETE removes it at once. Returns true on success.
    virtual bool Shell_NotifyIcon(uint32_t dwMessage, const NOTIFYICONDATA& data) = 0;
};
