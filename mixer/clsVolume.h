#pragma once
// The one way to the sound card: opens mixer device 0, looks up the volume and mute controls of
// the master output and five source lines and two peak meters, and offers their bounds, levels,
// mutes and meter readings as properties. It never throws; the latest result code of a mixer or
// wave-input call is kept in LastResult.

#include "MixerService.h"
#include "MixerTypes.h"
#include "Notifier.h"
#include "WaveInCapture.h"
#include "WaveInService.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class clsVolume {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Class_Initialize runs here. clock paces the reconnection attempts while no mixer is
    // reachable; tests pass a fake one.
    clsVolume(MixerService& mixer, WaveInService& waveIn, Notifier& notifier,
              Clock clock = std::chrono::steady_clock::now);
    ~clsVolume();  // Class_Terminate
    clsVolume(const clsVolume&) = delete;
    clsVolume& operator=(const clsVolume&) = delete;

    // Bounds: stored at creation, no mixer call.
    int32_t VolumeMin();
    int32_t MicMin();
    int32_t LineMin();
    int32_t CDMin();
    int32_t WaveMin();
    int32_t SynMin();
    int32_t VolumeMax();
    int32_t MicMax();
    int32_t LineMax();
    int32_t CDMax();
    int32_t SynMax();
    int32_t WaveMax();

    // Levels: one mixer call each.
    int32_t VolumeLevel();
    int32_t MicLevel();
    int32_t LineLevel();
    int32_t SynLevel();
    int32_t WaveLevel();
    int32_t CDLevel();
    void MicLevel(int32_t New_Volume);
    void LineLevel(int32_t New_Volume);
    void CDLevel(int32_t New_Volume);
    void SynLevel(int32_t New_Volume);
    void WaveLevel(int32_t New_Volume);
    void VolumeLevel(int32_t New_Volume);

    // Mutes: one mixer call each; True is -1, False 0.
    VBBool VolumeMute();
    VBBool MikrofonMute();
    VBBool LineMute();
    VBBool CompactDiscMute();
    VBBool SynthesizerMute();
    VBBool WaveMute();
    void VolumeMute(VBBool New_Mute);
    void MikrofonMute(VBBool New_Mute);
    void LineMute(VBBool New_Mute);
    void CompactDiscMute(VBBool New_Mute);
    void SynthesizerMute(VBBool New_Mute);
    void WaveMute(VBBool New_Mute);

    // Level meters.
    int32_t MaxVolumeMeterInput();
    int32_t MinVolumeMeterInput();
    int32_t MaxVolumeMeterOutput();
    int32_t MinVolumeMeterOutput();
    int32_t CurrentVolumeMeterOutput();
    int32_t CurrentVolumeMeterInput();

    // Looks the controls and their bounds up again on the open mixer (or opens it now, if none
    // could be opened yet): for when the devices, the default output or the sound system in use
    // changed, so the bounds are those of the device controlled now. Raises nothing; the lookups
    // leave LastResult as it is, as at creation.
    void findControlsAgain();
    // The master output's name as the mixer shows it (its line's szName), empty without one.
    // Looked up with the controls.
    const std::string& masterName() const { return masterName_; }

    // Not part of the user-facing properties; read by tests and diagnostics.
    int32_t LastResult() const { return LastResult_; }
    VBBool ControlFound() const { return ControlFound_; }

private:
    // Implementation-defined below this line.
    // Creation and its repetition while no mixer could be opened.
    void Class_Initialize();
    void Class_Terminate();
    void ReconnectIfDue();
    void ResetMixerState();
    void LookUpChannels();
    void LookUpMeters();
    const MIXERCONTROL& Channel(const MIXERCONTROL& record);
    VBBool FindControl(HMIXER hmx, uint32_t componentType, uint32_t controlType,
                       MIXERCONTROL& record);

    // One control value between the object and the mixer.
    VBBool SetControlValue(HMIXER hmx, const MIXERCONTROL& record, int32_t value);
    void SetLevel(const MIXERCONTROL& channel, int32_t New_Volume);
    int32_t GetControlValue(const MIXERCONTROL& record);
    VBBool GetSwitchValue(const MIXERCONTROL& record);
    void SetSwitchValue(const MIXERCONTROL& record, VBBool value);

    int32_t ReadMeter(const MIXERCONTROL& meter);

    MixerService& mixer_;
    Clock clock_;
    WaveInCapture capture_;  // beside the input meter; its results go into LastResult_

    HMIXER MixerHandle = 0;
    bool handleOpen_ = false;  // MixerHandle came from a successful open and is ours to close
    MIXERCONTROL VolumeLevelControl{};
    MIXERCONTROL MicLevelControl{};
    MIXERCONTROL LineLevelControl{};
    MIXERCONTROL CDLevelControl{};
    MIXERCONTROL SynLevelControl{};
    MIXERCONTROL WaveLevelControl{};
    MIXERCONTROL VolumeMuteControl{};
    MIXERCONTROL MicMuteControl{};
    MIXERCONTROL LineMuteControl{};
    MIXERCONTROL CDMuteControl{};
    MIXERCONTROL SynMuteControl{};
    MIXERCONTROL WaveMuteControl{};
    int32_t LastResult_ = 0;
    VBBool ControlFound_ = VB_FALSE;

    MIXERCONTROL InputMeterControl{};
    MIXERCONTROL OutputMeterControl{};
    int32_t MeterValue = 0;
    std::unique_ptr<std::array<unsigned char, 4>> MeterBuffer;  // absent until both opens work
    MIXERCONTROLDETAILS MeterDetails{};
    std::string masterName_;

    // Set while no mixer could be opened: channel accesses then retry creation, at most once per
    // second since the last attempt.
    bool noMixer_ = true;
    std::chrono::steady_clock::time_point lastAttempt_{};
};
