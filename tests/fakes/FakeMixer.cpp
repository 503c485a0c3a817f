#include "FakeMixer.h"

#include <algorithm>
#include <cstring>

void FakeMixer::addLine(uint32_t componentType) {
    lines_.emplace(componentType, 0x100 + static_cast<uint32_t>(lines_.size()));
}

uint32_t FakeMixer::addControl(uint32_t componentType, uint32_t controlType, int32_t min,
                               int32_t max, uint32_t value) {
    addLine(componentType);
    controls_.push_back({componentType, controlType, min, max, value});
    return static_cast<uint32_t>(controls_.size());
}

void FakeMixer::addMaster(int32_t min, int32_t max) {
    addControl(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME, min, max,
               static_cast<uint32_t>(min));
    addControl(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_MUTE, 0, 1);
}

void FakeMixer::addFullCard() {
    addMaster(0, 65535);
    for (uint32_t line :
         {MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, MIXERLINE_COMPONENTTYPE_SRC_LINE,
          MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER,
          MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT}) {
        addControl(line, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, 65535);
        addControl(line, MIXERCONTROL_CONTROLTYPE_MUTE, 0, 1);
    }
    for (uint32_t line : {MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT})
        addControl(line, MIXERCONTROL_CONTROLTYPE_PEAKMETER, -32768, 32767);
}

void FakeMixer::setValue(uint32_t controlId, uint32_t value) {
    if (controlId >= 1 && controlId <= controls_.size())
        controls_[controlId - 1].value = value;
}

uint32_t FakeMixer::value(uint32_t controlId) const {
    return controlId >= 1 && controlId <= controls_.size() ? controls_[controlId - 1].value : 0;
}

uint32_t FakeMixer::controlId(uint32_t componentType, uint32_t controlType) const {
    for (size_t i = 0; i < controls_.size(); ++i) {
        if (controls_[i].componentType == componentType && controls_[i].controlType == controlType)
            return static_cast<uint32_t>(i + 1);
    }
    return 0;
}

uint32_t FakeMixer::masterVolumeId() const {
    return controlId(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME);
}

uint32_t FakeMixer::masterMuteId() const {
    return controlId(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_MUTE);
}

int FakeMixer::count(Op op, std::optional<uint32_t> controlId) const {
    return static_cast<int>(std::count_if(calls_.begin(), calls_.end(), [&](const Call& call) {
        return call.op == op && (!controlId || call.controlId == *controlId);
    }));
}

MMRESULT FakeMixer::record(Call call, MMRESULT result) {
    call.sequence = nextFakeCallSequence();
    calls_.push_back(call);
    return result;
}

MMRESULT FakeMixer::mixerOpen(HMIXER* phmx, uint32_t uMxId, uintptr_t dwCallback,
                              uintptr_t dwInstance, uint32_t fdwOpen) {
    ++openCalls_;
    Call call{Op::Open};
    if (phmx == nullptr || dwCallback != 0 || dwInstance != 0 || fdwOpen != CALLBACK_NULL)
        return record(call, MMSYSERR_INVALPARAM);
    if (uMxId != 0)
        return record(call, MMSYSERR_BADDEVICEID);
    if (!devicePresent_ || failingOpens_.count(openCalls_) != 0)
        return record(call, MMSYSERR_NODRIVER);
    *phmx = call.handle = nextHandle_++;
    openHandles_.insert(*phmx);
    return record(call, MMSYSERR_NOERROR);
}

MMRESULT FakeMixer::mixerClose(HMIXER hmx) {
    return record({Op::Close, hmx},
                  openHandles_.erase(hmx) == 1 ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE);
}

MMRESULT FakeMixer::mixerGetLineInfoA(HMIXER hmx, MIXERLINE* pmxl, uint32_t fdwInfo) {
    Call call{Op::GetLineInfo, hmx};
    if (pmxl == nullptr || pmxl->cbStruct != MIXERLINE_SIZE ||
        fdwInfo != MIXER_GETLINEINFOF_COMPONENTTYPE)
        return record(call, MMSYSERR_INVALPARAM);
    call.componentType = pmxl->dwComponentType;
    auto line = lines_.find(pmxl->dwComponentType);
    if (openHandles_.count(hmx) == 0)
        return record(call, MMSYSERR_INVALHANDLE);
    if (line == lines_.end())
        return record(call, MIXERR_INVALLINE);
    pmxl->dwLineID = line->second;
    return record(call, MMSYSERR_NOERROR);
}

MMRESULT FakeMixer::mixerGetLineControlsA(HMIXER hmx, MIXERLINECONTROLS* pmxlc,
                                          uint32_t fdwControls) {
    Call call{Op::GetLineControls, hmx};
    if (pmxlc == nullptr || pmxlc->cbStruct != MIXERLINECONTROLS_SIZE || pmxlc->cControls != 1 ||
        pmxlc->cbmxctrl != MIXERCONTROL_SIZE || pmxlc->pamxctrl == nullptr ||
        fdwControls != MIXER_GETLINECONTROLSF_ONEBYTYPE)
        return record(call, MMSYSERR_INVALPARAM);
    if (openHandles_.count(hmx) == 0)
        return record(call, MMSYSERR_INVALHANDLE);
    for (const auto& [componentType, lineId] : lines_) {
        if (lineId == pmxlc->dwLineID)
            call.controlId = controlId(componentType, pmxlc->dwControlType);
    }
    if (call.controlId == 0)
        return record(call, MIXERR_INVALCONTROL);
    const Control& found = controls_[call.controlId - 1];
    MIXERCONTROL control{};
    control.cbStruct = MIXERCONTROL_SIZE;
    control.dwControlID = call.controlId;
    control.dwControlType = found.controlType;
    control.Bounds.lMinimum = found.min;
    control.Bounds.lMaximum = found.max;
    std::memcpy(pmxlc->pamxctrl, &control, sizeof control);
    return record(call, MMSYSERR_NOERROR);
}

MMRESULT FakeMixer::details(Op op, HMIXER hmx, MIXERCONTROLDETAILS* pmxcd, uint32_t flags) {
    Call call{op, hmx};
    if (pmxcd == nullptr || pmxcd->cbStruct != MIXERCONTROLDETAILS_SIZE || pmxcd->cChannels != 1 ||
        pmxcd->cMultipleItems != 0 || pmxcd->cbDetails != 4 || pmxcd->paDetails == nullptr ||
        flags != 0)
        return record(call, MMSYSERR_INVALPARAM);
    call.controlId = pmxcd->dwControlID;
    if (op == Op::SetDetails)
        std::memcpy(&call.value, pmxcd->paDetails, 4);
    if (openHandles_.count(hmx) == 0)
        return record(call, MMSYSERR_INVALHANDLE);
    if (call.controlId < 1 || call.controlId > controls_.size())
        return record(call, MIXERR_INVALCONTROL);
    for (uint32_t id : {call.controlId, 0u}) {
        if (failures_.count({op, id}) != 0)
            return record(call, failures_[{op, id}]);
    }
    uint32_t& stored = controls_[call.controlId - 1].value;
    if (op == Op::SetDetails)
        stored = call.value;
    else
        std::memcpy(pmxcd->paDetails, &stored, 4);
    return record(call, MMSYSERR_NOERROR);
}
