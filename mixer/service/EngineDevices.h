#pragma once
// The device service over a mixer engine: its outputs, and the default input as the microphone
// (the engine's wave-in line).
//
// Construction:  EngineDevices devices(engine);   (the engine outlives it)

#include "DeviceService.h"
#include "MixerEngine.h"

class EngineDevices : public DeviceService {
public:
    explicit EngineDevices(MixerEngine& engine) : engine_(engine) {}

    std::vector<Output> outputs() const override;
    bool canChooseOutput() const override { return engine_.canChooseOutput(); }
    void chooseOutput(const std::string& id) override { engine_.chooseOutput(id); }

    bool hasMicrophone() const override;
    bool microphoneMuted() const override;
    void setMicrophoneMuted(bool muted) override;

private:
    MixerEngine& engine_;
};
