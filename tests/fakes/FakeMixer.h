#pragma once
// An in-memory mixer service for tests.
//
//     FakeMixer mixer;
//     mixer.addMaster(0, 255);    // speakers line: volume 0..255 (level 0) and mute (unmuted)
//     mixer.setMasterLevel(128);  // what the "sound card" holds now
//     clsVolume volume(mixer, waveIn, notifier);
//     mixer.masterLevel();        // what was written last; levelWrites(), levelReads() ... count
//
// addControl(component type, control type, min, max[, value]) adds a control (ids start at 1; 0
// names no control); addLine() adds a line without controls. What was not added does not exist:
// asking for it fails with MIXERR_INVALLINE / MIXERR_INVALCONTROL, as a real mixer does.
// Failures: setDevicePresent(false) makes every open fail (MMSYSERR_NODRIVER); failOpen(n) the
// n-th open (1-based); failCall(op, id) every call of op on that control id (0: any).
// Every call is recorded in calls(). Writes are stored as given (no clamping).

#include "MixerService.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

// A counter shared by all fakes, so tests can check the order of calls across services.
inline uint64_t nextFakeCallSequence() {
    static uint64_t sequence = 0;
    return ++sequence;
}

class FakeMixer : public MixerService {
public:
    enum class Op { Open, Close, GetLineInfo, GetLineControls, GetDetails, SetDetails };

    struct Call {
        Op op;
        HMIXER handle = 0;
        uint32_t controlId = 0;      // GetDetails / SetDetails
        uint32_t value = 0;          // SetDetails: the value sent
        uint32_t componentType = 0;  // GetLineInfo
        uint64_t sequence = 0;       // see nextFakeCallSequence()
    };

    void addLine(uint32_t componentType);
    uint32_t addControl(uint32_t componentType, uint32_t controlType, int32_t min, int32_t max,
                        uint32_t value = 0);
    void addMaster(int32_t min, int32_t max);
    // Master, microphone, line-in, CD, synthesizer and wave out, each with volume (0..65535) and
    // mute, plus peak meters on wave-in and wave out.
    void addFullCard();

    void setDevicePresent(bool present) { devicePresent_ = present; }
    void failOpen(int nth) { failingOpens_.insert(nth); }
    void failCall(Op op, uint32_t controlId = 0, MMRESULT code = MMSYSERR_ERROR) {
        failures_[{op, controlId}] = code;
    }
    void clearFailures() { failures_.clear(); }

    void setValue(uint32_t controlId, uint32_t value);
    uint32_t value(uint32_t controlId) const;
    uint32_t controlId(uint32_t componentType, uint32_t controlType) const;  // 0 when absent
    uint32_t masterVolumeId() const;
    uint32_t masterMuteId() const;
    void setMasterLevel(uint32_t level) { setValue(masterVolumeId(), level); }
    uint32_t masterLevel() const { return value(masterVolumeId()); }
    void setMasterMute(bool muted) { setValue(masterMuteId(), muted ? 1 : 0); }
    bool masterMute() const { return value(masterMuteId()) != 0; }

    const std::vector<Call>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }
    int count(Op op, std::optional<uint32_t> controlId = std::nullopt) const;
    int levelReads() const { return count(Op::GetDetails, masterVolumeId()); }
    int levelWrites() const { return count(Op::SetDetails, masterVolumeId()); }
    int muteReads() const { return count(Op::GetDetails, masterMuteId()); }
    int muteWrites() const { return count(Op::SetDetails, masterMuteId()); }
    const std::set<HMIXER>& openHandles() const { return openHandles_; }

    MMRESULT mixerOpen(HMIXER* phmx, uint32_t uMxId, uintptr_t dwCallback, uintptr_t dwInstance,
                       uint32_t fdwOpen) override;
    MMRESULT mixerClose(HMIXER hmx) override;
    MMRESULT mixerGetLineInfoA(HMIXER hmx, MIXERLINE* pmxl, uint32_t fdwInfo) override;
    MMRESULT mixerGetLineControlsA(HMIXER hmx, MIXERLINECONTROLS* pmxlc,
                                   uint32_t fdwControls) override;
    MMRESULT mixerGetControlDetailsA(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                     uint32_t fdwDetails) override {
        return details(Op::GetDetails, hmx, pmxcd, fdwDetails);
    }
    MMRESULT mixerSetControlDetails(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                    uint32_t fdwDetails) override {
        return details(Op::SetDetails, hmx, pmxcd, fdwDetails);
    }

private:
    struct Control {
        uint32_t componentType;
        uint32_t controlType;
        int32_t min;
        int32_t max;
        uint32_t value;
    };

    MMRESULT record(Call call, MMRESULT result);
    MMRESULT details(Op op, HMIXER hmx, MIXERCONTROLDETAILS* pmxcd, uint32_t flags);

    std::map<uint32_t, uint32_t> lines_;  // component type -> line id
    std::vector<Control> controls_;       // control id = index + 1
    bool devicePresent_ = true;
    std::set<int> failingOpens_;
    std::map<std::pair<Op, uint32_t>, MMRESULT> failures_;
    int openCalls_ = 0;
    HMIXER nextHandle_ = 0x10;
    std::set<HMIXER> openHandles_;
    std::vector<Call> calls_;
};
