#include "EngineMixer.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

using Line = MixerEngine::Line;
using Status = MixerEngine::Status;

constexpr uint32_t MIXERLINE_LINEF_ACTIVE = 0x1;
constexpr uint32_t MIXERLINE_LINEF_SOURCE = 0x80000000;
constexpr uint32_t MIXERLINE_TARGETTYPE_WAVEOUT = 1;
constexpr uint32_t MIXERLINE_TARGETTYPE_WAVEIN = 2;
constexpr uint32_t MIXERCONTROL_CONTROLF_UNIFORM = 0x1;
constexpr uint32_t MIXERCONTROL_PUBLISHED_SIZE = 148;  // a caller's block holds at least this

constexpr uint32_t kComponentTypes[MixerEngine::LineCount] = {
    MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,    MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
    MIXERLINE_COMPONENTTYPE_SRC_LINE,        MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC,
    MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
    MIXERLINE_COMPONENTTYPE_DST_WAVEIN,
};

constexpr Line lineAt(int index) {
    return static_cast<Line>(index);
}
constexpr int indexOf(Line line) {
    return static_cast<int>(line);
}
constexpr uint32_t lineId(Line line) {
    return static_cast<uint32_t>(indexOf(line)) + 1;
}
constexpr uint32_t controlId(Line line, int kind) {
    return lineId(line) * 16 + static_cast<uint32_t>(kind);
}
constexpr uint32_t controlType(int kind) {
    return kind == EngineMixer::Volume ? MIXERCONTROL_CONTROLTYPE_VOLUME
           : kind == EngineMixer::Mute ? MIXERCONTROL_CONTROLTYPE_MUTE
                                       : MIXERCONTROL_CONTROLTYPE_PEAKMETER;
}
int kindOfType(uint32_t type) {
    switch (type) {
        case MIXERCONTROL_CONTROLTYPE_VOLUME:
            return EngineMixer::Volume;
        case MIXERCONTROL_CONTROLTYPE_MUTE:
            return EngineMixer::Mute;
        case MIXERCONTROL_CONTROLTYPE_PEAKMETER:
            return EngineMixer::Peak;
        default:
            return 0;
    }
}
// Splits a control identifier into line and kind; false for identifiers no control carries.
bool decodeControlId(uint32_t id, Line* line, int* kind) {
    const uint32_t l = id / 16;
    const uint32_t k = id % 16;
    if (l < 1 || l > MixerEngine::LineCount || k < EngineMixer::Volume || k > EngineMixer::Peak)
        return false;
    *line = lineAt(static_cast<int>(l) - 1);
    *kind = static_cast<int>(k);
    return true;
}

MMRESULT resultOf(Status status) {
    switch (status) {
        case Status::Ok:
            return MMSYSERR_NOERROR;
        case Status::Missing:
            return MIXERR_INVALCONTROL;
        case Status::Unreachable:
            return MMSYSERR_NODRIVER;
        case Status::Failed:
        default:
            return MMSYSERR_ERROR;
    }
}

// A name cut to fit ends on a whole UTF-8 character (device names are often not ASCII).
void copyName(char* dst, size_t size, const std::string& src) {
    size_t length = std::min(src.size(), size - 1);
    if (length < src.size()) {
        while (length > 0 && (static_cast<unsigned char>(src[length]) & 0xC0) == 0x80)
            --length;
    }
    std::memcpy(dst, src.data(), length);
    dst[length] = '\0';
}

int32_t toInt32(long v) {
    return static_cast<int32_t>(std::clamp<long>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

EngineMixer::EngineMixer(MixerEngine& engine) : engine_(engine) {}

bool EngineMixer::isOpen(HMIXER hmx) {
    std::lock_guard<std::mutex> lock(mutex_);
    return handles_.count(hmx) != 0;
}

bool EngineMixer::hasControl(Line line, int kind) const {
    switch (kind) {
        case Volume:
            return engine_.hasVolume(line);
        case Mute:
            return engine_.hasSwitch(line);
        case Peak:
            return engine_.hasPeak(line);
        default:
            return false;
    }
}

void EngineMixer::describeLine(Line line, MIXERLINE* pmxl) const {
    const bool source = line != Line::Speakers && line != Line::WaveIn;
    uint32_t sources = 0;
    for (int l = indexOf(Line::Microphone); l <= indexOf(Line::WaveOut); ++l)
        sources += engine_.hasLine(lineAt(l)) ? 1 : 0;
    uint32_t controls = 0;
    for (int kind = Volume; kind <= Peak; ++kind)
        controls += hasControl(line, kind) ? 1 : 0;
    const std::string name = engine_.lineName(line);

    const uint32_t cbStruct = pmxl->cbStruct;
    std::memset(pmxl, 0, sizeof(MIXERLINE));
    pmxl->cbStruct = cbStruct;
    pmxl->dwDestination = line == Line::WaveIn ? 1 : 0;
    pmxl->dwSource = source ? static_cast<uint32_t>(indexOf(line) - indexOf(Line::Microphone)) : 0;
    pmxl->dwLineID = lineId(line);
    pmxl->fdwLine = MIXERLINE_LINEF_ACTIVE | (source ? MIXERLINE_LINEF_SOURCE : 0);
    pmxl->dwComponentType = kComponentTypes[indexOf(line)];
    pmxl->cChannels = static_cast<uint32_t>(std::clamp(engine_.channels(line), 1, 2));
    pmxl->cConnections = line == Line::Speakers ? sources : 0;
    pmxl->cControls = controls;
    copyName(pmxl->szShortName, sizeof pmxl->szShortName, name);
    copyName(pmxl->szName, sizeof pmxl->szName, name);
    pmxl->Target.dwType = line == Line::WaveIn    ? MIXERLINE_TARGETTYPE_WAVEIN
                          : line == Line::WaveOut ? MIXERLINE_TARGETTYPE_WAVEOUT
                                                  : 0;
    copyName(pmxl->Target.szPname, sizeof pmxl->Target.szPname, "default");
}

void EngineMixer::describeControl(Line line, int kind, MIXERCONTROL* ctrl) const {
    std::memset(ctrl, 0, sizeof(MIXERCONTROL));
    ctrl->cbStruct = MIXERCONTROL_SIZE;
    ctrl->dwControlID = controlId(line, kind);
    ctrl->dwControlType = controlType(kind);
    const char* name = kind == Volume ? "Volume" : kind == Mute ? "Mute" : "Peak Meter";
    copyName(ctrl->szShortName, sizeof ctrl->szShortName, name);
    copyName(ctrl->szName, sizeof ctrl->szName, engine_.lineName(line) + " " + name);
    if (kind == Volume) {
        const MixerEngine::Range range = engine_.volumeRange(line);
        ctrl->fdwControl = MIXERCONTROL_CONTROLF_UNIFORM;
        ctrl->Bounds.lMinimum = toInt32(range.min);
        ctrl->Bounds.lMaximum = toInt32(range.max);
        ctrl->Metrics.cSteps = static_cast<uint32_t>(ctrl->Bounds.lMaximum) -
                               static_cast<uint32_t>(ctrl->Bounds.lMinimum);
    } else if (kind == Mute) {
        ctrl->fdwControl = MIXERCONTROL_CONTROLF_UNIFORM;
        ctrl->Bounds.lMinimum = 0;
        ctrl->Bounds.lMaximum = 1;
    } else {
        ctrl->Bounds.lMinimum = -32768;
        ctrl->Bounds.lMaximum = 32767;
    }
}

// --- the service --------------------------------------------------------------------------------

MMRESULT EngineMixer::mixerOpen(HMIXER* phmx, uint32_t uMxId, uintptr_t /*dwCallback*/,
                                uintptr_t /*dwInstance*/, uint32_t fdwOpen) {
    if (phmx == nullptr)
        return MMSYSERR_INVALPARAM;
    *phmx = 0;
    if (uMxId != 0)
        return MMSYSERR_BADDEVICEID;
    if (fdwOpen != CALLBACK_NULL)
        return MMSYSERR_INVALFLAG;  // no callbacks: the caller reads on demand
    // A mixer opens only where a sound system answers, so a caller that finds none tries again.
    if (!engine_.connect())
        return MMSYSERR_NODRIVER;
    std::lock_guard<std::mutex> lock(mutex_);
    const HMIXER handle = nextHandle_++;
    if (nextHandle_ == 0)
        nextHandle_ = 1;
    handles_.insert(handle);
    *phmx = handle;
    return MMSYSERR_NOERROR;
}

MMRESULT EngineMixer::mixerClose(HMIXER hmx) {
    std::lock_guard<std::mutex> lock(mutex_);
    return handles_.erase(hmx) == 0 ? MMSYSERR_INVALHANDLE : MMSYSERR_NOERROR;
}

MMRESULT EngineMixer::mixerGetLineInfoA(HMIXER hmx, MIXERLINE* pmxl, uint32_t fdwInfo) {
    if (!isOpen(hmx))
        return MMSYSERR_INVALHANDLE;
    if (fdwInfo != MIXER_GETLINEINFOF_COMPONENTTYPE)
        return MMSYSERR_INVALFLAG;  // lines are looked up by their component type only
    if (pmxl == nullptr || pmxl->cbStruct < MIXERLINE_SIZE)
        return MMSYSERR_INVALPARAM;
    int found = -1;
    for (int l = 0; l < MixerEngine::LineCount; ++l) {
        if (pmxl->dwComponentType == kComponentTypes[l])
            found = l;
    }
    if (found < 0)
        return MIXERR_INVALLINE;
    if (!engine_.connectNoWait())
        return MMSYSERR_NODRIVER;
    if (!engine_.hasLine(lineAt(found)))
        return MIXERR_INVALLINE;
    describeLine(lineAt(found), pmxl);
    return MMSYSERR_NOERROR;
}

// Controls are looked up one at a time by line and control type, the one form the mixer class
// uses; other forms are refused as unknown flags.
MMRESULT EngineMixer::mixerGetLineControlsA(HMIXER hmx, MIXERLINECONTROLS* pmxlc,
                                            uint32_t fdwControls) {
    if (!isOpen(hmx))
        return MMSYSERR_INVALHANDLE;
    if (fdwControls != MIXER_GETLINECONTROLSF_ONEBYTYPE)
        return MMSYSERR_INVALFLAG;
    if (pmxlc == nullptr || pmxlc->pamxctrl == nullptr ||
        pmxlc->cbmxctrl < MIXERCONTROL_PUBLISHED_SIZE)
        return MMSYSERR_INVALPARAM;
    if (pmxlc->dwLineID < 1 || pmxlc->dwLineID > MixerEngine::LineCount)
        return MIXERR_INVALLINE;
    const Line line = lineAt(static_cast<int>(pmxlc->dwLineID) - 1);
    const int kind = kindOfType(pmxlc->dwControlType);
    if (kind == 0)
        return MIXERR_INVALCONTROL;
    if (!engine_.connectNoWait())
        return MMSYSERR_NODRIVER;
    if (!engine_.hasLine(line))
        return MIXERR_INVALLINE;
    if (!hasControl(line, kind))
        return MIXERR_INVALCONTROL;
    MIXERCONTROL ctrl;
    describeControl(line, kind, &ctrl);
    std::memcpy(pmxlc->pamxctrl, &ctrl, std::min<size_t>(pmxlc->cbmxctrl, MIXERCONTROL_SIZE));
    return MMSYSERR_NOERROR;
}

// The checks both value calls make: an open handle, the value flag, one 4-byte value for one
// channel, an identifier that names a control, and a reachable sound system; then op.
template <typename Op>
MMRESULT EngineMixer::withDetails(HMIXER hmx, const MIXERCONTROLDETAILS* pmxcd, bool valueFlag,
                                  Op op) {
    Line line = Line::Speakers;
    int kind = 0;
    if (!isOpen(hmx))
        return MMSYSERR_INVALHANDLE;
    if (!valueFlag)
        return MMSYSERR_INVALFLAG;
    if (pmxcd == nullptr || pmxcd->paDetails == nullptr || pmxcd->cbDetails != 4 ||
        pmxcd->cChannels != 1 || pmxcd->cMultipleItems != 0)
        return MMSYSERR_INVALPARAM;
    if (!decodeControlId(pmxcd->dwControlID, &line, &kind))
        return MIXERR_INVALCONTROL;
    if (!engine_.connectNoWait())
        return MMSYSERR_NODRIVER;
    return hasControl(line, kind) ? op(line, kind) : MIXERR_INVALCONTROL;
}

MMRESULT EngineMixer::readValue(Line line, int kind, uint32_t* value) {
    Status status = Status::Ok;
    if (kind == Volume) {
        long v = 0;
        status = engine_.volume(line, &v);
        *value = static_cast<uint32_t>(toInt32(v));
    } else if (kind == Mute) {
        bool muted = false;
        status = engine_.muted(line, &muted);
        *value = muted ? 1 : 0;
    } else {
        int32_t v = 0;
        status = engine_.peak(line, &v);
        *value = static_cast<uint32_t>(v);
    }
    return resultOf(status);
}

MMRESULT EngineMixer::writeValue(Line line, int kind, uint32_t value) {
    if (kind == Peak)
        return MMSYSERR_NOTSUPPORTED;  // a meter is read-only
    if (kind == Mute)
        return resultOf(engine_.setMuted(line, value != 0));
    // A level with the top bit set is a negative number read as unsigned: clamping it would mean
    // full volume, which no caller writing a negative level wants.
    if ((value & 0x80000000u) != 0)
        return MMSYSERR_INVALPARAM;
    // A step past the top must still reach the top.
    const MixerEngine::Range range = engine_.volumeRange(line);
    return resultOf(engine_.setVolume(line, std::clamp<long>(value, range.min, range.max)));
}

MMRESULT EngineMixer::mixerGetControlDetailsA(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                              uint32_t fdwDetails) {
    return withDetails(hmx, pmxcd, fdwDetails == MIXER_GETCONTROLDETAILSF_VALUE,
                       [&](Line line, int kind) {
                           uint32_t value = 0;
                           const MMRESULT result = readValue(line, kind, &value);
                           if (result == MMSYSERR_NOERROR)
                               std::memcpy(pmxcd->paDetails, &value, sizeof value);
                           return result;
                       });
}

MMRESULT EngineMixer::mixerSetControlDetails(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                             uint32_t fdwDetails) {
    return withDetails(hmx, pmxcd, fdwDetails == MIXER_SETCONTROLDETAILSF_VALUE,
                       [&](Line line, int kind) {
                           uint32_t value = 0;
                           std::memcpy(&value, pmxcd->paDetails, sizeof value);
                           return writeValue(line, kind, value);
                       });
}
