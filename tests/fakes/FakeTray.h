#pragma once
// An in-memory notification area for tests: keeps the icons shown, keyed by (hWnd, uID), and
// records every request with a copy of its record.
//
//     FakeTray tray;
//     ... code under test calls Shell_NotifyIcon(NIM_ADD, data) ...
//     tray.isShown(window, 1);       // the icon is in the tray
//     tray.calls().back().data;      // the record as the tray got it
//     tray.tip(window, 1);           // its tooltip, up to the first NUL
//     tray.click(WM_LBUTTONDOWN);    // hands a mouse message to the window of the shown icon
//
// NIM_ADD fails and changes nothing while the same (hWnd, uID) is shown; NIM_DELETE fails when
// it is not shown; NIM_MODIFY changes a shown icon. setFailing(true) makes every request fail.

#include "TrayService.h"

#include <QString>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

class FakeTray : public TrayService {
public:
    struct Call {
        uint32_t message;
        NOTIFYICONDATA data;
        bool result;
        uint64_t sequence;  // see nextFakeCallSequence()
    };

    bool Shell_NotifyIcon(uint32_t dwMessage, const NOTIFYICONDATA& data) override;

    void setFailing(bool failing) { failing_ = failing; }

    const std::vector<Call>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }
    int count(uint32_t message) const;

    bool isShown(HWND hWnd, uint32_t uID) const { return shown_.count({hWnd, uID}) != 0; }
    int shownCount() const { return static_cast<int>(shown_.size()); }
    // The record of a shown icon; nullptr when it is not shown.
    const NOTIFYICONDATA* shown(HWND hWnd, uint32_t uID) const;
    QString tip(HWND hWnd, uint32_t uID) const;

    // Delivers a mouse message on the only shown icon to its window, as the tray does.
    // Returns false when no single icon is shown.
    bool click(uint32_t mouseMessage);

private:
    std::map<std::pair<HWND, uint32_t>, NOTIFYICONDATA> shown_;
    std::vector<Call> calls_;
    bool failing_ = false;
};
