#pragma once
// An in-memory mixer service for tests.
//
// Common case (a master line with a volume and a mute control):
//     FakeMixer mixer;
//     mixer.addMaster(0, 255);          // volume bounds 0..255, a mute control, level 0, unmuted
//     mixer.setMasterLevel(128);        // what the "sound card" holds now
//     FakeWaveIn waveIn;  FakeNotifier notifier;
//     clsVolume volume(mixer, waveIn, notifier);
//     ... exercise the code under test ...
//     mixer.masterLevel();              // what was written last
//     mixer.masterMute();               // true when muted
//     mixer.levelWrites();              // value writes to the master volume so far (also
//                                       // levelReads(), muteReads(), muteWrites())
//
// Other lines and controls: addControl(component type, control type, min, max[, value]) returns
// the control's id (ids start at 1; 0 names no control); addLine() adds a line without controls.
// A line or control that was not added does not exist: asking for it fails with
// MIXERR_INVALLINE / MIXERR_INVALCONTROL, as a real mixer does.
//
// Failure injection: setDevicePresent(false) makes every open fail (MMSYSERR_NODRIVER) until it
// is set true again; failOpen(n) makes the n-th open call (1-based) fail; failCall(op, id) makes
// every call of that operation on that control id (or any id) fail with the given code.
//
// Every call is recorded in calls() (operation, handle, control id, value, ...) for order and
// count checks. Writes are stored as given (no clamping), reads return the stored 32 bits.
// Calls on a handle that is not open fail with MMSYSERR_INVALHANDLE.

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
        uint32_t value = 0;          // SetDetails: the value sent; GetDetails: the value returned
        uint32_t componentType = 0;  // GetLineInfo
        uint32_t lineId = 0;         // GetLineControls
        uint32_t controlType = 0;    // GetLineControls
        uint32_t multipleItems = 0;  // GetDetails / SetDetails: cMultipleItems of the record
        MMRESULT result = 0;
        uint64_t sequence = 0;  // see nextFakeCallSequence()
    };

    // --- configuration -----------------------------------------------------------------------
    void addLine(uint32_t componentType);
    uint32_t addControl(uint32_t componentType, uint32_t controlType, int32_t min, int32_t max,
                        uint32_t value = 0, uint32_t multipleItems = 0);
    // The master (speakers) line with a volume control min..max and a mute control (0..1).
    void addMaster(int32_t min, int32_t max);
    // Every line of a full sound card: master, microphone, line-in, CD, synthesizer, wave out,
    // each with volume (0..65535) and mute, plus peak meters on wave-in and wave out.
    void addFullCard();

    void setDevicePresent(bool present) { devicePresent_ = present; }
    void failOpen(int nth) { failingOpens_.insert(nth); }
    // Makes op fail with code; controlId 0 means on every control (or every line).
    void failCall(Op op, uint32_t controlId = 0, MMRESULT code = MMSYSERR_ERROR);
    void clearFailures();

    // --- the stored state --------------------------------------------------------------------
    void setValue(uint32_t controlId, uint32_t value);
    uint32_t value(uint32_t controlId) const;
    uint32_t controlId(uint32_t componentType, uint32_t controlType) const;  // 0 when absent

    uint32_t masterVolumeId() const;
    uint32_t masterMuteId() const;
    void setMasterLevel(uint32_t level) { setValue(masterVolumeId(), level); }
    uint32_t masterLevel() const { return value(masterVolumeId()); }
    void setMasterMute(bool muted) { setValue(masterMuteId(), muted ? 1 : 0); }
    bool masterMute() const { return value(masterMuteId()) != 0; }

    // --- what happened -----------------------------------------------------------------------
    const std::vector<Call>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }
    int count(Op op, std::optional<uint32_t> controlId = std::nullopt) const;
    int levelReads() const { return count(Op::GetDetails, masterVolumeId()); }
    int levelWrites() const { return count(Op::SetDetails, masterVolumeId()); }
    int muteReads() const { return count(Op::GetDetails, masterMuteId()); }
    int muteWrites() const { return count(Op::SetDetails, masterMuteId()); }
    // The value last sent to a control (nullopt when none was sent).
    std::optional<uint32_t> lastWrite(uint32_t controlId) const;
    const std::set<HMIXER>& openHandles() const { return openHandles_; }

    // --- MixerService ------------------------------------------------------------------------
    MMRESULT mixerOpen(HMIXER* phmx, uint32_t uMxId, uintptr_t dwCallback, uintptr_t dwInstance,
                       uint32_t fdwOpen) override;
    MMRESULT mixerClose(HMIXER hmx) override;
    MMRESULT mixerGetLineInfoA(HMIXER hmx, MIXERLINE* pmxl, uint32_t fdwInfo) override;
    MMRESULT mixerGetLineControlsA(HMIXER hmx, MIXERLINECONTROLS* pmxlc,
                                   uint32_t fdwControls) override;
    MMRESULT mixerGetControlDetailsA(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                     uint32_t fdwDetails) override;
    MMRESULT mixerSetControlDetails(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                    uint32_t fdwDetails) override;

private:
    struct Control {
        uint32_t id;
        uint32_t componentType;
        uint32_t controlType;
        int32_t min;
        int32_t max;
        uint32_t multipleItems;
        uint32_t value;
    };

    std::optional<MMRESULT> injected(Op op, uint32_t id) const;
    MMRESULT record(Call call);
    Control* findControl(uint32_t id);
    const Control* findControl(uint32_t id) const;
    MMRESULT checkDetails(HMIXER hmx, const MIXERCONTROLDETAILS* pmxcd, uint32_t flags,
                          Control*& control) const;

    std::map<uint32_t, uint32_t> lines_;  // component type -> line id
    std::vector<Control> controls_;
    uint32_t nextLineId_ = 0x100;
    uint32_t nextControlId_ = 1;

    bool devicePresent_ = true;
    std::set<int> failingOpens_;
    std::map<std::pair<Op, uint32_t>, MMRESULT> failures_;
    int openCalls_ = 0;
    HMIXER nextHandle_ = 0x10;
    std::set<HMIXER> openHandles_;
    std::vector<Call> calls_;
};
