#include "EngineDevices.h"

using Line = MixerEngine::Line;

std::vector<DeviceService::Output> EngineDevices::outputs() const {
    std::vector<Output> all;
    for (const MixerEngine::Output& o : engine_.outputs())
        all.push_back({o.name, o.description, o.isDefault});
    return all;
}

bool EngineDevices::hasMicrophone() const {
    return engine_.hasSwitch(Line::WaveIn);
}

// A microphone that cannot be read counts as not muted, so the menu offers to mute it.
bool EngineDevices::microphoneMuted() const {
    bool muted = false;
    return engine_.muted(Line::WaveIn, &muted) == MixerEngine::Status::Ok && muted;
}

void EngineDevices::setMicrophoneMuted(bool muted) {
    engine_.setMuted(Line::WaveIn, muted);
}
