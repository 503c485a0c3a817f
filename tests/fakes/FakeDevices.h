#pragma once
// In-memory outputs and microphone for tests of the tray's menu: set the fields, read back what
// the menu chose.

#include "DeviceService.h"

class FakeDevices : public DeviceService {
public:
    std::vector<Output> outputs() const override { return list; }
    bool canChooseOutput() const override { return choosable; }
    void chooseOutput(const std::string& id) override { chosen.push_back(id); }
    bool hasMicrophone() const override { return microphone; }
    bool microphoneMuted() const override { return micMuted; }
    void setMicrophoneMuted(bool muted) override { micMuted = muted; }

    std::vector<Output> list;
    bool choosable = true;
    bool microphone = true;
    bool micMuted = false;
    std::vector<std::string> chosen;
};
