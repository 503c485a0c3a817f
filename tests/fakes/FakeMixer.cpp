#include "FakeMixer.h"

#include <algorithm>
#include <cstring>

void FakeMixer::addLine(uint32_t componentType) {
    if (lines_.count(componentType) == 0) {
        lines_[componentType] = nextLineId_++;
    }
}

uint32_t FakeMixer::addControl(uint32_t componentType, uint32_t controlType, int32_t min,
                               int32_t max, uint32_t value, uint32_t multipleItems) {
    addLine(componentType);
    uint32_t id = nextControlId_++;
    controls_.push_back({id, componentType, controlType, min, max, multipleItems, value});
    return id;
}

void FakeMixer::addMaster(int32_t min, int32_t max) {
    addControl(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_VOLUME, min, max,
               static_cast<uint32_t>(min));
    addControl(MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, MIXERCONTROL_CONTROLTYPE_MUTE, 0, 1, 0);
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
    addControl(MIXERLINE_COMPONENTTYPE_DST_WAVEIN, MIXERCONTROL_CONTROLTYPE_PEAKMETER, -32768,
               32767, 0, 0);
    addControl(MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, MIXERCONTROL_CONTROLTYPE_PEAKMETER, -32768,
               32767, 0, 0);
}

void FakeMixer::failCall(Op op, uint32_t controlId, MMRESULT code) {
    failures_[{op, controlId}] = code;
}

void FakeMixer::clearFailures() {
    failures_.clear();
    failingOpens_.clear();
}

void FakeMixer::setValue(uint32_t controlId, uint32_t value) {
    if (Control* control = findControl(controlId)) {
        control->value = value;
    }
}

uint32_t FakeMixer::value(uint32_t controlId) const {
    const Control* control = findControl(controlId);
    return control != nullptr ? control->value : 0;
}

uint32_t FakeMixer::controlId(uint32_t componentType, uint32_t controlType) const {
    for (const Control& control : controls_) {
        if (control.componentType == componentType && control.controlType == controlType) {
            return control.id;
        }
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

std::optional<uint32_t> FakeMixer::lastWrite(uint32_t controlId) const {
    for (auto it = calls_.rbegin(); it != calls_.rend(); ++it) {
        if (it->op == Op::SetDetails && it->controlId == controlId) {
            return it->value;
        }
    }
    return std::nullopt;
}

std::optional<MMRESULT> FakeMixer::injected(Op op, uint32_t id) const {
    auto it = failures_.find({op, id});
    if (it == failures_.end()) {
        it = failures_.find({op, 0});
    }
    if (it == failures_.end()) {
        return std::nullopt;
    }
    return it->second;
}

MMRESULT FakeMixer::record(Call call) {
    call.sequence = nextFakeCallSequence();
    calls_.push_back(call);
    return call.result;
}

FakeMixer::Control* FakeMixer::findControl(uint32_t id) {
    for (Control& control : controls_) {
        if (control.id == id) {
            return &control;
        }
    }
    return nullptr;
}

const FakeMixer::Control* FakeMixer::findControl(uint32_t id) const {
    return const_cast<FakeMixer*>(this)->findControl(id);
}

MMRESULT FakeMixer::mixerOpen(HMIXER* phmx, uint32_t uMxId, uintptr_t dwCallback,
                              uintptr_t dwInstance, uint32_t fdwOpen) {
    ++openCalls_;
    Call call{Op::Open};
    if (phmx == nullptr || dwCallback != 0 || dwInstance != 0 || fdwOpen != CALLBACK_NULL) {
        call.result = MMSYSERR_INVALPARAM;
    } else if (uMxId != 0) {
        call.result = MMSYSERR_BADDEVICEID;
    } else if (!devicePresent_ || failingOpens_.count(openCalls_) != 0) {
        call.result = MMSYSERR_NODRIVER;
    } else {
        *phmx = nextHandle_++;
        openHandles_.insert(*phmx);
        call.handle = *phmx;
    }
    return record(call);
}

MMRESULT FakeMixer::mixerClose(HMIXER hmx) {
    Call call{Op::Close, hmx};
    call.result = openHandles_.erase(hmx) == 1 ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
    return record(call);
}

MMRESULT FakeMixer::mixerGetLineInfoA(HMIXER hmx, MIXERLINE* pmxl, uint32_t fdwInfo) {
    Call call{Op::GetLineInfo, hmx};
    if (pmxl == nullptr || pmxl->cbStruct != MIXERLINE_SIZE ||
        fdwInfo != MIXER_GETLINEINFOF_COMPONENTTYPE) {
        call.result = MMSYSERR_INVALPARAM;
        return record(call);
    }
    call.componentType = pmxl->dwComponentType;
    auto line = lines_.find(pmxl->dwComponentType);
    if (openHandles_.count(hmx) == 0) {
        call.result = MMSYSERR_INVALHANDLE;
    } else if (auto code = injected(Op::GetLineInfo, pmxl->dwComponentType)) {
        call.result = *code;
    } else if (line == lines_.end()) {
        call.result = MIXERR_INVALLINE;
    } else {
        pmxl->dwLineID = line->second;
        pmxl->cChannels = 2;
        pmxl->cControls = static_cast<uint32_t>(std::count_if(
            controls_.begin(), controls_.end(),
            [&](const Control& control) { return control.componentType == line->first; }));
    }
    return record(call);
}

MMRESULT FakeMixer::mixerGetLineControlsA(HMIXER hmx, MIXERLINECONTROLS* pmxlc,
                                          uint32_t fdwControls) {
    Call call{Op::GetLineControls, hmx};
    if (pmxlc == nullptr || pmxlc->cbStruct != MIXERLINECONTROLS_SIZE || pmxlc->cControls != 1 ||
        pmxlc->cbmxctrl != MIXERCONTROL_SIZE || pmxlc->pamxctrl == nullptr ||
        fdwControls != MIXER_GETLINECONTROLSF_ONEBYTYPE) {
        call.result = MMSYSERR_INVALPARAM;
        return record(call);
    }
    call.lineId = pmxlc->dwLineID;
    call.controlType = pmxlc->dwControlType;
    const Control* found = nullptr;
    for (const auto& [componentType, lineId] : lines_) {
        if (lineId == pmxlc->dwLineID) {
            if (uint32_t id = controlId(componentType, pmxlc->dwControlType)) {
                found = findControl(id);
            }
        }
    }
    if (openHandles_.count(hmx) == 0) {
        call.result = MMSYSERR_INVALHANDLE;
    } else if (found == nullptr) {
        call.result = MIXERR_INVALCONTROL;
    } else if (auto code = injected(Op::GetLineControls, found->id)) {
        call.result = *code;
    } else {
        MIXERCONTROL control{};
        control.cbStruct = MIXERCONTROL_SIZE;
        control.dwControlID = found->id;
        control.dwControlType = found->controlType;
        control.cMultipleItems = found->multipleItems;
        control.Bounds.lMinimum = found->min;
        control.Bounds.lMaximum = found->max;
        std::memcpy(pmxlc->pamxctrl, &control, sizeof control);
        call.controlId = found->id;
    }
    return record(call);
}

MMRESULT FakeMixer::checkDetails(HMIXER hmx, const MIXERCONTROLDETAILS* pmxcd, uint32_t flags,
                                 Control*& control) const {
    control = nullptr;
    if (pmxcd == nullptr || pmxcd->cbStruct != MIXERCONTROLDETAILS_SIZE || pmxcd->cChannels != 1 ||
        pmxcd->cbDetails != 4 || pmxcd->paDetails == nullptr || flags != 0) {
        return MMSYSERR_INVALPARAM;
    }
    if (openHandles_.count(hmx) == 0) {
        return MMSYSERR_INVALHANDLE;
    }
    control = const_cast<FakeMixer*>(this)->findControl(pmxcd->dwControlID);
    return control != nullptr ? MMSYSERR_NOERROR : MIXERR_INVALCONTROL;
}

MMRESULT FakeMixer::mixerGetControlDetailsA(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                            uint32_t fdwDetails) {
    Call call{Op::GetDetails, hmx};
    Control* control = nullptr;
    call.result = checkDetails(hmx, pmxcd, fdwDetails, control);
    if (pmxcd != nullptr) {
        call.controlId = pmxcd->dwControlID;
        call.multipleItems = pmxcd->cMultipleItems;
    }
    if (call.result == MMSYSERR_NOERROR) {
        if (auto code = injected(Op::GetDetails, control->id)) {
            call.result = *code;
        } else {
            std::memcpy(pmxcd->paDetails, &control->value, 4);
            call.value = control->value;
        }
    }
    return record(call);
}

MMRESULT FakeMixer::mixerSetControlDetails(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                           uint32_t fdwDetails) {
    Call call{Op::SetDetails, hmx};
    Control* control = nullptr;
    call.result = checkDetails(hmx, pmxcd, fdwDetails, control);
    if (pmxcd != nullptr) {
        call.controlId = pmxcd->dwControlID;
        call.multipleItems = pmxcd->cMultipleItems;
        if (pmxcd->paDetails != nullptr) {
            std::memcpy(&call.value, pmxcd->paDetails, 4);
        }
    }
    if (call.result == MMSYSERR_NOERROR) {
        if (auto code = injected(Op::SetDetails, control->id)) {
            call.result = *code;
        } else {
            control->value = call.value;
        }
    }
    return record(call);
}
