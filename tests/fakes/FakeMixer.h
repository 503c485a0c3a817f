#pragma once
// The mixer service of the tray tests: the real EngineMixer over a FakeEngine whose speakers
// line is the master, with the accesses to the master counted.
//
//     FakeMixer mixer;
//     mixer.addMaster(0, 255);    // the master line: volume 0..255 (level 0) and mute
//     mixer.setMasterLevel(128);  // what the "sound card" holds now
//     mixer.masterLevel();        // the level last sent to the master (as sent, before the
//                                 // service clamps it) or else set; levelWrites() ... count

#include "EngineMixer.h"
#include "FakeEngine.h"

// Holds the engine, so that it is built before the mixer that refers to it.
struct FakeMixerEngine {
    FakeEngine engine;
};

class FakeMixer : private FakeMixerEngine, public EngineMixer {
public:
    FakeMixer() : EngineMixer(engine) {}

    void addMaster(int32_t min, int32_t max) {
        engine.add(MixerEngine::Line::Speakers, {min, max});
    }
    // Without a device every open fails, as with no sound system.
    void setDevicePresent(bool present) { engine.reachable = present; }

    void setMasterLevel(uint32_t level) {
        master().volume = level;
        sent_ = level;
    }
    uint32_t masterLevel() const { return sent_; }
    void setMasterMute(bool muted) { master().muted = muted; }
    bool masterMute() { return master().muted; }

    void clearCalls() {
        FakeEngine::State& m = master();
        m.volumeReads = m.volumeWrites = m.muteReads = m.muteWrites = 0;
    }
    int levelReads() { return master().volumeReads; }
    int levelWrites() { return master().volumeWrites; }
    int muteReads() { return master().muteReads; }
    int muteWrites() { return master().muteWrites; }

    MMRESULT mixerSetControlDetails(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                    uint32_t fdwDetails) override {
        if (pmxcd != nullptr && pmxcd->dwControlID == kMasterVolumeId &&
            pmxcd->paDetails != nullptr)
            sent_ = *static_cast<uint32_t*>(pmxcd->paDetails);
        return EngineMixer::mixerSetControlDetails(hmx, pmxcd, fdwDetails);
    }

private:
    static constexpr uint32_t kMasterVolumeId = 16 + EngineMixer::Volume;  // line 1, volume
    uint32_t sent_ = 0;
    FakeEngine::State& master() { return engine.lines[MixerEngine::Line::Speakers]; }
};
