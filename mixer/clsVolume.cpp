#include "clsVolume.h"

#include <climits>
#include <cstring>

namespace {

constexpr auto kReconnectInterval = std::chrono::seconds(1);

// The record of one value transfer: one channel, one 4-byte value in the caller's area.
MIXERCONTROLDETAILS DetailsFor(const MIXERCONTROL& record, uint32_t* value) {
    MIXERCONTROLDETAILS details{};
    details.cbStruct = MIXERCONTROLDETAILS_SIZE;
    details.dwControlID = record.dwControlID;
    details.cChannels = 1;
    details.cMultipleItems = 0;
    details.cbDetails = sizeof(uint32_t);
    details.paDetails = value;
    return details;
}

}  // namespace

clsVolume::clsVolume(MixerService& mixer, WaveInService& waveIn, Notifier& notifier, Clock clock)
    : mixer_(mixer), clock_(std::move(clock)), capture_(waveIn, notifier, LastResult_) {
    Class_Initialize();
}

clsVolume::~clsVolume() {
    Class_Terminate();
}

// ---------------------------------------------------------------------------------------------
// Creation, lookup, termination

void clsVolume::Class_Initialize() {
    lastAttempt_ = clock_();
    noMixer_ = true;

    HMIXER first = 0;
    LastResult_ = static_cast<int32_t>(mixer_.mixerOpen(&first, 0, 0, 0, CALLBACK_NULL));
    if (LastResult_ != 0) {
        return;
    }
    noMixer_ = false;
    MixerHandle = first;
    handleOpen_ = true;

    LookUpChannels();

    // The second open replaces the first handle, which is closed then. Should it fail, the first
    // handle stays, so the channel controls found above keep working.
    HMIXER second = 0;
    LastResult_ = static_cast<int32_t>(mixer_.mixerOpen(&second, 0, 0, 0, CALLBACK_NULL));
    if (LastResult_ != 0) {
        return;
    }
    mixer_.mixerClose(MixerHandle);
    MixerHandle = second;

    MeterDetails.cbStruct = MIXERCONTROLDETAILS_SIZE;
    MeterBuffer = std::make_unique<std::array<unsigned char, 4>>();  // starts at zero
    MeterDetails.paDetails = MeterBuffer->data();
    MeterDetails.cbDetails = 4;
    MeterDetails.cChannels = 1;

    LookUpMeters();
}

// The twelve channel lookups of creation, then the master line's name.
void clsVolume::LookUpChannels() {
    struct Lookup {
        uint32_t componentType;
        uint32_t controlType;
        MIXERCONTROL& record;
    };
    const Lookup lookups[] = {
        {MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME, VolumeLevelControl},
        {MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, MIXERCONTROL_CONTROLTYPE_VOLUME, MicLevelControl},
        {MIXERLINE_COMPONENTTYPE_SRC_LINE, MIXERCONTROL_CONTROLTYPE_VOLUME, LineLevelControl},
        {MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, MIXERCONTROL_CONTROLTYPE_VOLUME, CDLevelControl},
        {MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, MIXERCONTROL_CONTROLTYPE_VOLUME, SynLevelControl},
        {MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, MIXERCONTROL_CONTROLTYPE_VOLUME, WaveLevelControl},
        {MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_MUTE, VolumeMuteControl},
        {MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, MIXERCONTROL_CONTROLTYPE_MUTE, MicMuteControl},
        {MIXERLINE_COMPONENTTYPE_SRC_LINE, MIXERCONTROL_CONTROLTYPE_MUTE, LineMuteControl},
        {MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, MIXERCONTROL_CONTROLTYPE_MUTE, CDMuteControl},
        {MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, MIXERCONTROL_CONTROLTYPE_MUTE, SynMuteControl},
        {MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, MIXERCONTROL_CONTROLTYPE_MUTE, WaveMuteControl},
    };
    for (const Lookup& lookup : lookups) {
        ControlFound_ =
            FindControl(MixerHandle, lookup.componentType, lookup.controlType, lookup.record);
    }
    MIXERLINE master{};
    master.cbStruct = MIXERLINE_SIZE;
    master.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
    const bool named =
        mixer_.mixerGetLineInfoA(MixerHandle, &master, MIXER_GETLINEINFOF_COMPONENTTYPE) == 0;
    masterName_ = named ? std::string(master.szName, strnlen(master.szName, sizeof master.szName))
                        : std::string();
}

// The input meter (the wave-in destination's, else the microphone's) and the output meter.
void clsVolume::LookUpMeters() {
    ControlFound_ = FindControl(MixerHandle, MIXERLINE_COMPONENTTYPE_DST_WAVEIN,
                                MIXERCONTROL_CONTROLTYPE_PEAKMETER, InputMeterControl);
    if (ControlFound_ != VB_TRUE) {
        ControlFound_ = FindControl(MixerHandle, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
                                    MIXERCONTROL_CONTROLTYPE_PEAKMETER, InputMeterControl);
    }
    ControlFound_ = FindControl(MixerHandle, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
                                MIXERCONTROL_CONTROLTYPE_PEAKMETER, OutputMeterControl);
}

VBBool clsVolume::FindControl(HMIXER hmx, uint32_t componentType, uint32_t controlType,
                              MIXERCONTROL& record) {
    MIXERLINE line{};
    line.cbStruct = MIXERLINE_SIZE;
    line.dwComponentType = componentType;
    if (mixer_.mixerGetLineInfoA(hmx, &line, MIXER_GETLINEINFOF_COMPONENTTYPE) != 0) {
        return VB_FALSE;
    }

    auto block = std::make_unique<MIXERCONTROL>();  // zero-filled
    MIXERLINECONTROLS controls{};
    controls.cbStruct = MIXERLINECONTROLS_SIZE;
    controls.dwLineID = line.dwLineID;
    controls.dwControlType = controlType;
    controls.cControls = 1;
    controls.cbmxctrl = MIXERCONTROL_SIZE;
    controls.pamxctrl = block.get();

    record.cbStruct = MIXERCONTROL_SIZE;
    if (mixer_.mixerGetLineControlsA(hmx, &controls, MIXER_GETLINECONTROLSF_ONEBYTYPE) != 0) {
        return VB_FALSE;
    }
    std::memcpy(&record, block.get(), sizeof(MIXERCONTROL));
    return VB_TRUE;
}

void clsVolume::Class_Terminate() {
    if (capture_.running()) {
        capture_.Stop();
    }
    MeterBuffer.reset();
    MeterDetails.paDetails = nullptr;
    if (handleOpen_) {
        mixer_.mixerClose(MixerHandle);
        handleOpen_ = false;
    }
}

// A sound server often starts after the tray programs. While no mixer could be opened, channel
// accesses repeat the creation, paced by the clock so a polling caller cannot flood the mixer
// service. A mixer that opened is kept as it is, with or without a master volume.
void clsVolume::ReconnectIfDue() {
    if (!noMixer_) {
        return;
    }
    if (clock_() - lastAttempt_ < kReconnectInterval) {
        return;
    }
    ResetMixerState();
    Class_Initialize();
}

// Everything creation fills, back to what a new object holds. The capture is left alone.
void clsVolume::ResetMixerState() {
    if (handleOpen_) {
        mixer_.mixerClose(MixerHandle);
        handleOpen_ = false;
    }
    MixerHandle = 0;
    for (MIXERCONTROL* record :
         {&VolumeLevelControl, &MicLevelControl, &LineLevelControl, &CDLevelControl,
          &SynLevelControl, &WaveLevelControl, &VolumeMuteControl, &MicMuteControl,
          &LineMuteControl, &CDMuteControl, &SynMuteControl, &WaveMuteControl, &InputMeterControl,
          &OutputMeterControl}) {
        *record = MIXERCONTROL{};
    }
    ControlFound_ = VB_FALSE;
    MeterValue = 0;
    MeterBuffer.reset();
    MeterDetails = MIXERCONTROLDETAILS{};
    masterName_.clear();
}

// The records go back to zero first, so a control the mixer no longer has reads as never found
// rather than as another device's. The meter buffer and the capture stay as they are.
void clsVolume::findControlsAgain() {
    if (noMixer_) {
        ResetMixerState();
        Class_Initialize();
        return;
    }
    for (MIXERCONTROL* record :
         {&VolumeLevelControl, &MicLevelControl, &LineLevelControl, &CDLevelControl,
          &SynLevelControl, &WaveLevelControl, &VolumeMuteControl, &MicMuteControl,
          &LineMuteControl, &CDMuteControl, &SynMuteControl, &WaveMuteControl}) {
        *record = MIXERCONTROL{};
    }
    LookUpChannels();
    if (MeterBuffer) {
        InputMeterControl = MIXERCONTROL{};
        OutputMeterControl = MIXERCONTROL{};
        LookUpMeters();
    }
}

// ---------------------------------------------------------------------------------------------
// Control values

int32_t clsVolume::GetControlValue(const MIXERCONTROL& record) {
    uint32_t value = 0;
    MIXERCONTROLDETAILS details = DetailsFor(record, &value);
    LastResult_ = static_cast<int32_t>(
        mixer_.mixerGetControlDetailsA(MixerHandle, &details, MIXER_GETCONTROLDETAILSF_VALUE));
    if (LastResult_ != 0) {
        return 0;  // a failed read is 0, whatever the service left in the area
    }
    return static_cast<int32_t>(value);
}

VBBool clsVolume::SetControlValue(HMIXER hmx, const MIXERCONTROL& record, int32_t value) {
    // The 32 bits go out unchanged: keeping a level within bounds is the caller's business.
    uint32_t area = static_cast<uint32_t>(value);
    MIXERCONTROLDETAILS details = DetailsFor(record, &area);
    LastResult_ = static_cast<int32_t>(
        mixer_.mixerSetControlDetails(hmx, &details, MIXER_SETCONTROLDETAILSF_VALUE));
    return LastResult_ == 0 ? VB_TRUE : VB_FALSE;
}

VBBool clsVolume::GetSwitchValue(const MIXERCONTROL& record) {
    uint32_t value = 0;
    MIXERCONTROLDETAILS details = DetailsFor(record, &value);
    LastResult_ = static_cast<int32_t>(
        mixer_.mixerGetControlDetailsA(MixerHandle, &details, MIXER_GETCONTROLDETAILSF_VALUE));
    return LastResult_ == 0 && value == 1 ? VB_TRUE : VB_FALSE;
}

void clsVolume::SetSwitchValue(const MIXERCONTROL& record, VBBool value) {
    uint32_t area = value != 0 ? 1 : 0;
    MIXERCONTROLDETAILS details = DetailsFor(record, &area);
    LastResult_ = static_cast<int32_t>(
        mixer_.mixerSetControlDetails(MixerHandle, &details, MIXER_SETCONTROLDETAILSF_VALUE));
}

// ---------------------------------------------------------------------------------------------
// Channel properties

// Every channel access first gives a missing mixer its chance to appear.
const MIXERCONTROL& clsVolume::Channel(const MIXERCONTROL& record) {
    ReconnectIfDue();
    return record;
}

// The channel comes first: giving a missing mixer its chance may replace MixerHandle.
void clsVolume::SetLevel(const MIXERCONTROL& channel, int32_t New_Volume) {
    const MIXERCONTROL& record = Channel(channel);
    SetControlValue(MixerHandle, record, New_Volume);
}

int32_t clsVolume::VolumeMin() {
    return Channel(VolumeLevelControl).Bounds.lMinimum;
}
int32_t clsVolume::MicMin() {
    return Channel(MicLevelControl).Bounds.lMinimum;
}
int32_t clsVolume::LineMin() {
    return Channel(LineLevelControl).Bounds.lMinimum;
}
int32_t clsVolume::CDMin() {
    return Channel(CDLevelControl).Bounds.lMinimum;
}
int32_t clsVolume::SynMin() {
    return Channel(SynLevelControl).Bounds.lMinimum;
}
int32_t clsVolume::WaveMin() {
    return Channel(WaveLevelControl).Bounds.lMinimum;
}
int32_t clsVolume::VolumeMax() {
    return Channel(VolumeLevelControl).Bounds.lMaximum;
}
int32_t clsVolume::MicMax() {
    return Channel(MicLevelControl).Bounds.lMaximum;
}
int32_t clsVolume::LineMax() {
    return Channel(LineLevelControl).Bounds.lMaximum;
}
int32_t clsVolume::CDMax() {
    return Channel(CDLevelControl).Bounds.lMaximum;
}
int32_t clsVolume::SynMax() {
    return Channel(SynLevelControl).Bounds.lMaximum;
}
int32_t clsVolume::WaveMax() {
    return Channel(WaveLevelControl).Bounds.lMaximum;
}

int32_t clsVolume::VolumeLevel() {
    return GetControlValue(Channel(VolumeLevelControl));
}
int32_t clsVolume::MicLevel() {
    return GetControlValue(Channel(MicLevelControl));
}
int32_t clsVolume::LineLevel() {
    return GetControlValue(Channel(LineLevelControl));
}
int32_t clsVolume::CDLevel() {
    return GetControlValue(Channel(CDLevelControl));
}
int32_t clsVolume::SynLevel() {
    return GetControlValue(Channel(SynLevelControl));
}
int32_t clsVolume::WaveLevel() {
    return GetControlValue(Channel(WaveLevelControl));
}
void clsVolume::VolumeLevel(int32_t New_Volume) {
    SetLevel(VolumeLevelControl, New_Volume);
}
void clsVolume::MicLevel(int32_t New_Volume) {
    SetLevel(MicLevelControl, New_Volume);
}
void clsVolume::LineLevel(int32_t New_Volume) {
    SetLevel(LineLevelControl, New_Volume);
}
void clsVolume::CDLevel(int32_t New_Volume) {
    SetLevel(CDLevelControl, New_Volume);
}
void clsVolume::SynLevel(int32_t New_Volume) {
    SetLevel(SynLevelControl, New_Volume);
}
void clsVolume::WaveLevel(int32_t New_Volume) {
    SetLevel(WaveLevelControl, New_Volume);
}

VBBool clsVolume::VolumeMute() {
    return GetSwitchValue(Channel(VolumeMuteControl));
}
VBBool clsVolume::MikrofonMute() {
    return GetSwitchValue(Channel(MicMuteControl));
}
VBBool clsVolume::LineMute() {
    return GetSwitchValue(Channel(LineMuteControl));
}
VBBool clsVolume::CompactDiscMute() {
    return GetSwitchValue(Channel(CDMuteControl));
}
VBBool clsVolume::SynthesizerMute() {
    return GetSwitchValue(Channel(SynMuteControl));
}
VBBool clsVolume::WaveMute() {
    return GetSwitchValue(Channel(WaveMuteControl));
}
void clsVolume::VolumeMute(VBBool New_Mute) {
    SetSwitchValue(Channel(VolumeMuteControl), New_Mute);
}
void clsVolume::MikrofonMute(VBBool New_Mute) {
    SetSwitchValue(Channel(MicMuteControl), New_Mute);
}
void clsVolume::LineMute(VBBool New_Mute) {
    SetSwitchValue(Channel(LineMuteControl), New_Mute);
}
void clsVolume::CompactDiscMute(VBBool New_Mute) {
    SetSwitchValue(Channel(CDMuteControl), New_Mute);
}
void clsVolume::SynthesizerMute(VBBool New_Mute) {
    SetSwitchValue(Channel(SynMuteControl), New_Mute);
}
void clsVolume::WaveMute(VBBool New_Mute) {
    SetSwitchValue(Channel(WaveMuteControl), New_Mute);
}

// ---------------------------------------------------------------------------------------------
// Level meters and the capture

int32_t clsVolume::MaxVolumeMeterInput() {
    return InputMeterControl.Bounds.lMaximum;
}
int32_t clsVolume::MinVolumeMeterInput() {
    return InputMeterControl.Bounds.lMinimum;
}
int32_t clsVolume::MaxVolumeMeterOutput() {
    return OutputMeterControl.Bounds.lMaximum;
}
int32_t clsVolume::MinVolumeMeterOutput() {
    return OutputMeterControl.Bounds.lMinimum;
}

int32_t clsVolume::CurrentVolumeMeterOutput() {
    capture_.RequeueFinishedBuffers();
    return ReadMeter(OutputMeterControl);
}

int32_t clsVolume::CurrentVolumeMeterInput() {
    if (capture_.Start() == VB_FALSE) {
        capture_.Start();
    }
    capture_.RequeueFinishedBuffers();
    return ReadMeter(InputMeterControl);
}

// Reads a peak meter into MeterValue, made non-negative. A failed reading leaves MeterBuffer as
// it was, so the latest good reading of either meter is returned. Without a meter buffer (no
// mixer, or the second open failed) nothing is read and the reading is 0.
int32_t clsVolume::ReadMeter(const MIXERCONTROL& meter) {
    if (!MeterBuffer) {
        MeterValue = 0;
        return MeterValue;
    }
    MeterDetails.dwControlID = meter.dwControlID;
    MeterDetails.cMultipleItems = meter.cMultipleItems;
    LastResult_ = static_cast<int32_t>(
        mixer_.mixerGetControlDetailsA(MixerHandle, &MeterDetails, MIXER_GETCONTROLDETAILSF_VALUE));
    std::memcpy(&MeterValue, MeterDetails.paDetails, sizeof(MeterValue));
    if (MeterValue < 0) {
        // The most negative value has no positive twin; the top of the range stands in for it.
        MeterValue = MeterValue == INT32_MIN ? INT32_MAX : -MeterValue;
    }
    return MeterValue;
}
