#pragma once
// An in-memory notification area: keeps the icons shown, keyed by (hWnd, uID), and records every
// request. NIM_ADD fails and changes nothing while the same icon is shown; NIM_MODIFY and
// NIM_DELETE fail when it is not shown (a modify replaces the record kept).

#include "TrayService.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

class FakeTray : public TrayService {
public:
    struct Call {
        uint32_t message;
        NOTIFYICONDATA data;
        bool result;
    };

    bool Shell_NotifyIcon(uint32_t dwMessage, const NOTIFYICONDATA& data) override {
        const auto key = std::make_pair(data.hWnd, data.uID);
        bool ok = false;
        if (dwMessage == NIM_ADD) {
            ok = shown.emplace(key, data).second;
        } else if (dwMessage == NIM_MODIFY && shown.count(key)) {
            shown[key] = data;
            ok = true;
        } else if (dwMessage == NIM_DELETE) {
            ok = shown.erase(key) != 0;
        }
        calls.push_back({dwMessage, data, ok});
        return ok;
    }
    int count(uint32_t message) const {
        return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                              [&](const Call& c) { return c.message == message; }));
    }
    bool isShown(HWND hWnd, uint32_t uID) const { return shown.count({hWnd, uID}) != 0; }
    // Hands a mouse message on the only shown icon to its window, as the tray does.
    bool click(uint32_t mouseMessage) {
        if (shown.size() != 1) {
            return false;
        }
        const NOTIFYICONDATA& data = shown.begin()->second;
        data.hWnd->trayCallback(data.uCallbackMessage, mouseMessage);
        return true;
    }

    std::map<std::pair<HWND, uint32_t>, NOTIFYICONDATA> shown;
    std::vector<Call> calls;
};
