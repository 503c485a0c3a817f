#include "FakeTray.h"

#include "FakeMixer.h"  // nextFakeCallSequence()

#include <algorithm>
#include <cstring>

bool FakeTray::Shell_NotifyIcon(uint32_t dwMessage, const NOTIFYICONDATA& data) {
    const auto key = std::make_pair(data.hWnd, data.uID);
    bool ok = false;
    if (!failing_) {
        switch (dwMessage) {
            case NIM_ADD:
                ok = shown_.emplace(key, data).second;
                break;
            case NIM_MODIFY: {
                auto it = shown_.find(key);
                ok = it != shown_.end();
                if (ok) {
                    it->second = data;
                }
                break;
            }
            case NIM_DELETE:
                ok = shown_.erase(key) != 0;
                break;
            default:
                break;
        }
    }
    calls_.push_back({dwMessage, data, ok, nextFakeCallSequence()});
    return ok;
}

int FakeTray::count(uint32_t message) const {
    return static_cast<int>(std::count_if(calls_.begin(), calls_.end(),
                                          [&](const Call& c) { return c.message == message; }));
}

const NOTIFYICONDATA* FakeTray::shown(HWND hWnd, uint32_t uID) const {
    auto it = shown_.find({hWnd, uID});
    return it == shown_.end() ? nullptr : &it->second;
}

QString FakeTray::tip(HWND hWnd, uint32_t uID) const {
    const NOTIFYICONDATA* data = shown(hWnd, uID);
    if (!data) {
        return QString();
    }
    const void* nul = std::memchr(data->szTip, '\0', sizeof data->szTip);
    const qsizetype length = nul ? static_cast<const char*>(nul) - data->szTip
                                 : static_cast<qsizetype>(sizeof data->szTip);
    return QString::fromLocal8Bit(data->szTip, length);
}

bool FakeTray::click(uint32_t mouseMessage) {
    if (shown_.size() != 1) {
        return false;
    }
    const NOTIFYICONDATA& data = shown_.begin()->second;
    if (!data.hWnd) {
        return false;
    }
    data.hWnd->trayCallback(data.uCallbackMessage, mouseMessage);
    return true;
}
