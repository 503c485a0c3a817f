#include "AlsaMixer.h"

#include "AlsaWaveIn.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace {

constexpr uint32_t MIXER_GETLINEINFOF_LINEID = 2;
constexpr uint32_t MIXER_GETLINECONTROLSF_ALL = 0;
constexpr uint32_t MIXER_GETLINECONTROLSF_ONEBYID = 1;
constexpr uint32_t MIXERLINE_LINEF_ACTIVE = 0x1;
constexpr uint32_t MIXERLINE_LINEF_SOURCE = 0x80000000;
constexpr uint32_t MIXERLINE_TARGETTYPE_WAVEOUT = 1;
constexpr uint32_t MIXERLINE_TARGETTYPE_WAVEIN = 2;
constexpr uint32_t MIXERCONTROL_CONTROLF_UNIFORM = 0x1;
constexpr uint32_t MIXERCONTROL_PUBLISHED_SIZE = 148;  // a caller's block holds at least this

constexpr auto kRetryPause = std::chrono::milliseconds(250);
// Reads this close to the last refresh share it: a step's reads come well inside it, while
// another program's change cannot be made and reported in so short a time.
constexpr auto kRefreshWindow = std::chrono::milliseconds(2);

constexpr uint32_t kComponentTypes[AlsaMixer::LineCount] = {
    MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,    MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE,
    MIXERLINE_COMPONENTTYPE_SRC_LINE,        MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC,
    MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT,
    MIXERLINE_COMPONENTTYPE_DST_WAVEIN,
};
// The element each line stands for; the speakers fall back as described in the header.
constexpr const char* kElementNames[AlsaMixer::LineCount] = {
    "Master", "Mic", "Line", "CD", "Synth", "PCM", "Capture",
};
constexpr const char* kSpeakerFallbacks[] = {"Speaker", "PCM", "Headphone"};

constexpr uint32_t lineId(int line) {
    return static_cast<uint32_t>(line) + 1;
}
constexpr uint32_t controlId(int line, int kind) {
    return lineId(line) * 16 + static_cast<uint32_t>(kind);
}
constexpr uint32_t controlType(int kind) {
    return kind == AlsaMixer::Volume ? MIXERCONTROL_CONTROLTYPE_VOLUME
           : kind == AlsaMixer::Mute ? MIXERCONTROL_CONTROLTYPE_MUTE
                                     : MIXERCONTROL_CONTROLTYPE_PEAKMETER;
}
int kindOfType(uint32_t type) {
    switch (type) {
        case MIXERCONTROL_CONTROLTYPE_VOLUME:
            return AlsaMixer::Volume;
        case MIXERCONTROL_CONTROLTYPE_MUTE:
            return AlsaMixer::Mute;
        case MIXERCONTROL_CONTROLTYPE_PEAKMETER:
            return AlsaMixer::Peak;
        default:
            return 0;
    }
}
// Splits a control identifier into line and kind; false for identifiers no control carries.
bool decodeControlId(uint32_t id, int* line, int* kind) {
    uint32_t l = id / 16;
    uint32_t k = id % 16;
    if (l < 1 || l > AlsaMixer::LineCount || k < AlsaMixer::Volume || k > AlsaMixer::Peak)
        return false;
    *line = static_cast<int>(l) - 1;
    *kind = static_cast<int>(k);
    return true;
}

// Errors that mean the control device itself is gone, not that one request was bad.
bool isConnectionError(int err) {
    return err == -EIO || err == -ENODEV || err == -EBADFD || err == -ENOTCONN ||
           err == -ECONNRESET || err == -EPIPE || err == -ENXIO;
}

void copyName(char* dst, size_t size, const char* src) {
    std::strncpy(dst, src, size - 1);
    dst[size - 1] = '\0';
}

snd_mixer_elem_t* findElement(snd_mixer_t* mixer, const char* name) {
    snd_mixer_selem_id_t* id;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_name(id, name);
    snd_mixer_selem_id_set_index(id, 0);
    return snd_mixer_find_selem(mixer, id);
}

}  // namespace

AlsaMixer::AlsaMixer(const AlsaWaveIn* capture) : capture_(capture) {}

AlsaMixer::~AlsaMixer() {
    disconnect();
}

// --- connection -------------------------------------------------------------------------------

// True when a connection is open, or could be opened now. Attempts are paced so that a caller
// polling while the sound server is away does not spin on it.
bool AlsaMixer::connected() {
    if (mixer_ != nullptr)
        return true;
    Clock::time_point now = Clock::now();
    if (attempted_ && now - lastAttempt_ < kRetryPause)
        return false;
    attempted_ = true;
    lastAttempt_ = now;
    return connect();
}

bool AlsaMixer::connect() {
    // ALSA reads its configuration once per process, and Debian routes "default" to the sound
    // server only if the server answered at that moment: reread it on every connection.
    snd_config_update_free_global();
    snd_mixer_t* mixer = nullptr;
    if (snd_mixer_open(&mixer, 0) < 0)
        return false;
    if (snd_mixer_attach(mixer, "default") < 0 ||
        snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 || snd_mixer_load(mixer) < 0) {
        snd_mixer_close(mixer);
        return false;
    }
    mixer_ = mixer;
    hctl_ = nullptr;
    snd_mixer_get_hctl(mixer_, "default", &hctl_);
    attempted_ = false;
    findElements();
    return true;
}

void AlsaMixer::disconnect() {
    if (mixer_ != nullptr)
        snd_mixer_close(mixer_);
    mixer_ = nullptr;
    hctl_ = nullptr;
    elements_.fill(nullptr);
    written_ = {};
    lastRefresh_ = {};
}

void AlsaMixer::findElements() {
    const auto before = elements_;
    for (int line = 0; line < LineCount; ++line)
        elements_[line] = findElement(mixer_, kElementNames[line]);
    for (const char* name : kSpeakerFallbacks) {
        if (elements_[Speakers] == nullptr)
            elements_[Speakers] = findElement(mixer_, name);
    }
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_);
         e != nullptr && elements_[Speakers] == nullptr; e = snd_mixer_elem_next(e)) {
        if (snd_mixer_selem_has_playback_volume(e))
            elements_[Speakers] = e;
    }
    for (int line = 0; line < LineCount; ++line) {
        snd_mixer_elem_t* e = elements_[line];
        if (e != before[line])
            written_[line] = {};
        if (e != nullptr) {
            snd_mixer_elem_set_callback_private(e, this);
            snd_mixer_elem_set_callback(e, &AlsaMixer::elementChanged);
        }
    }
}

// The simple mixer calls this when an element's controls changed (another program, or the
// element going away): its cache is current again, so what was written straight is forgotten.
int AlsaMixer::elementChanged(snd_mixer_elem_t* e, unsigned int /*mask*/) {
    auto* self = static_cast<AlsaMixer*>(snd_mixer_elem_get_callback_private(e));
    for (int line = 0; line < LineCount; ++line) {
        if (self->elements_[line] == e)
            self->written_[line] = {};
    }
    return 0;
}

// Takes the pending events, so values reflect what other programs set. With sync, first asks the
// device for its current state: a sound server reports another program's change asynchronously,
// and the round trip makes sure that report has arrived. That round trip costs as much as a write,
// so a sync within kRefreshWindow of the last one reuses it. False when the connection is lost.
bool AlsaMixer::takeEvents(bool sync) {
    int err = snd_mixer_handle_events(mixer_);
    if (err < 0)
        return false;
    bool changed = err > 0;
    Clock::time_point now = Clock::now();
    if (sync && hctl_ != nullptr && now - lastRefresh_ >= kRefreshWindow) {
        lastRefresh_ = now;
        if (snd_hctl_elem_t* e = snd_hctl_first_elem(hctl_)) {
            snd_ctl_elem_value_t* value;
            snd_ctl_elem_value_alloca(&value);
            err = snd_hctl_elem_read(e, value);
            if (err < 0 && isConnectionError(err))
                return false;
        }
        err = snd_mixer_handle_events(mixer_);
        if (err < 0)
            return false;
        changed = changed || err > 0;
    }
    if (changed)
        findElements();  // elements may have come or gone with the events
    return true;
}

// Runs op on a live connection with fresh values. A connection found broken is dropped and
// opened again once, so a sound server restarted between two calls is reached at once.
template <typename Op>
MMRESULT AlsaMixer::withConnection(bool sync, Op op) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!connected())
            return MMSYSERR_NODRIVER;
        if (takeEvents(sync))
            return op();
        disconnect();
    }
    return MMSYSERR_NODRIVER;
}

// --- lines and controls -------------------------------------------------------------------------

snd_mixer_elem_t* AlsaMixer::element(int line) const {
    return line >= 0 && line < LineCount ? elements_[line] : nullptr;
}

bool AlsaMixer::hasControl(int line, int kind) const {
    snd_mixer_elem_t* e = element(line);
    if (e == nullptr)
        return false;
    bool capture = line == WaveIn;
    switch (kind) {
        case Volume:
            return capture ? snd_mixer_selem_has_capture_volume(e)
                           : snd_mixer_selem_has_playback_volume(e);
        case Mute:
            return capture ? snd_mixer_selem_has_capture_switch(e)
                           : snd_mixer_selem_has_playback_switch(e);
        case Peak:
            return capture && capture_ != nullptr;
        default:
            return false;
    }
}

void AlsaMixer::describeLine(int line, MIXERLINE* pmxl) const {
    snd_mixer_elem_t* e = element(line);
    bool source = line != Speakers && line != WaveIn;
    uint32_t sources = 0;
    for (int l = Microphone; l <= WaveOut; ++l)
        sources += element(l) != nullptr ? 1 : 0;
    uint32_t controls = 0;
    for (int kind = Volume; kind <= Peak; ++kind)
        controls += hasControl(line, kind) ? 1 : 0;
    bool mono =
        line == WaveIn ? snd_mixer_selem_is_capture_mono(e) : snd_mixer_selem_is_playback_mono(e);

    uint32_t cbStruct = pmxl->cbStruct;
    std::memset(pmxl, 0, sizeof(MIXERLINE));
    pmxl->cbStruct = cbStruct;
    pmxl->dwDestination = line == WaveIn ? 1 : 0;
    pmxl->dwSource = source ? static_cast<uint32_t>(line - Microphone) : 0;
    pmxl->dwLineID = lineId(line);
    pmxl->fdwLine = MIXERLINE_LINEF_ACTIVE | (source ? MIXERLINE_LINEF_SOURCE : 0);
    pmxl->dwComponentType = kComponentTypes[line];
    pmxl->cChannels = mono ? 1 : 2;
    pmxl->cConnections = line == Speakers ? sources : 0;
    pmxl->cControls = controls;
    copyName(pmxl->szShortName, sizeof pmxl->szShortName, snd_mixer_selem_get_name(e));
    copyName(pmxl->szName, sizeof pmxl->szName, snd_mixer_selem_get_name(e));
    pmxl->Target.dwType = line == WaveIn    ? MIXERLINE_TARGETTYPE_WAVEIN
                          : line == WaveOut ? MIXERLINE_TARGETTYPE_WAVEOUT
                                            : 0;
    copyName(pmxl->Target.szPname, sizeof pmxl->Target.szPname, "ALSA default");
}

void AlsaMixer::describeControl(int line, int kind, MIXERCONTROL* ctrl) const {
    snd_mixer_elem_t* e = element(line);
    std::memset(ctrl, 0, sizeof(MIXERCONTROL));
    ctrl->cbStruct = MIXERCONTROL_SIZE;
    ctrl->dwControlID = controlId(line, kind);
    ctrl->dwControlType = controlType(kind);
    const char* name = kind == Volume ? "Volume" : kind == Mute ? "Mute" : "Peak Meter";
    copyName(ctrl->szShortName, sizeof ctrl->szShortName, name);
    std::string longName = std::string(snd_mixer_selem_get_name(e)) + " " + name;
    copyName(ctrl->szName, sizeof ctrl->szName, longName.c_str());
    if (kind == Volume) {
        long min = 0;
        long max = 0;
        if (line == WaveIn)
            snd_mixer_selem_get_capture_volume_range(e, &min, &max);
        else
            snd_mixer_selem_get_playback_volume_range(e, &min, &max);
        ctrl->fdwControl = MIXERCONTROL_CONTROLF_UNIFORM;
        ctrl->Bounds.lMinimum = static_cast<int32_t>(std::clamp<long>(min, INT32_MIN, INT32_MAX));
        ctrl->Bounds.lMaximum = static_cast<int32_t>(std::clamp<long>(max, INT32_MIN, INT32_MAX));
        ctrl->Metrics.cSteps = static_cast<uint32_t>(ctrl->Bounds.lMaximum - ctrl->Bounds.lMinimum);
    } else if (kind == Mute) {
        ctrl->fdwControl = MIXERCONTROL_CONTROLF_UNIFORM;
        ctrl->Bounds.lMinimum = 0;
        ctrl->Bounds.lMaximum = 1;
    } else {
        ctrl->Bounds.lMinimum = -32768;
        ctrl->Bounds.lMaximum = 32767;
    }
}

// --- values -------------------------------------------------------------------------------------

MMRESULT AlsaMixer::readValue(int line, int kind, uint32_t* value) {
    snd_mixer_elem_t* e = element(line);
    bool capture = line == WaveIn;
    int err = 0;
    if (kind != Peak && written_[line][kind]) {
        const long v = *written_[line][kind];
        *value = kind == Volume ? static_cast<uint32_t>(v) : (v ? 0 : 1);
    } else if (kind == Volume) {
        long v = 0;
        err = capture ? snd_mixer_selem_get_capture_volume(e, SND_MIXER_SCHN_FRONT_LEFT, &v)
                      : snd_mixer_selem_get_playback_volume(e, SND_MIXER_SCHN_FRONT_LEFT, &v);
        *value = static_cast<uint32_t>(v);
    } else if (kind == Mute) {
        int on = 1;
        err = capture ? snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on)
                      : snd_mixer_selem_get_playback_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
        *value = on ? 0 : 1;
    } else {
        *value = static_cast<uint32_t>(capture_->peak());
    }
    return err < 0 ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
}

MMRESULT AlsaMixer::writeValue(int line, int kind, uint32_t value) {
    snd_mixer_elem_t* e = element(line);
    bool capture = line == WaveIn;
    long target = 0;
    long current = 0;
    if (kind == Volume) {
        long min = 0;
        long max = 0;
        if (capture)
            snd_mixer_selem_get_capture_volume_range(e, &min, &max);
        else
            snd_mixer_selem_get_playback_volume_range(e, &min, &max);
        // ALSA ignores a value outside the range; a step past the top must still reach the top.
        target = std::clamp<long>(static_cast<long>(value), min, max);
        if (capture)
            snd_mixer_selem_get_capture_volume(e, SND_MIXER_SCHN_FRONT_LEFT, &current);
        else
            snd_mixer_selem_get_playback_volume(e, SND_MIXER_SCHN_FRONT_LEFT, &current);
    } else {
        target = value != 0 ? 0 : 1;  // muted means the switch is off
        int on = 1;
        if (capture)
            snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
        else
            snd_mixer_selem_get_playback_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
        current = on;
    }
    if (written_[line][kind])
        current = *written_[line][kind];
    // ALSA skips a write that matches its cached value; make sure the cache is current first.
    if (current == target) {
        if (!takeEvents(true)) {
            disconnect();
            return MMSYSERR_NODRIVER;
        }
        e = element(line);
        if (e == nullptr)
            return MIXERR_INVALCONTROL;
    }
    // The master's step is the hot path: write its one control directly.
    if (!capture) {
        const int err = writePlaybackControl(line, kind, target);
        if (err != -ENOENT) {
            if (err < 0 && isConnectionError(err)) {
                disconnect();
                return MMSYSERR_NODRIVER;
            }
            return err < 0 ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
        }
    }
    int err = 0;
    if (kind == Volume)
        err = capture ? snd_mixer_selem_set_capture_volume_all(e, target)
                      : snd_mixer_selem_set_playback_volume_all(e, target);
    else
        err = capture ? snd_mixer_selem_set_capture_switch_all(e, static_cast<int>(target))
                      : snd_mixer_selem_set_playback_switch_all(e, static_cast<int>(target));
    if (err < 0 && isConnectionError(err)) {
        disconnect();
        return MMSYSERR_NODRIVER;
    }
    return err < 0 ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
}

// Writes the playback volume or switch control behind a line's element, every channel to the
// same value. The simple-mixer call writes all of an element's controls, volume and switch alike,
// and each control write is a round trip to a sound server; this makes a step one round trip.
// The simple mixer's cache does not see this write (the device reports no change to the writer),
// so the written value is kept until the element reports a change of its own. -ENOENT when the
// element has no such plain control (the caller then goes through the simple mixer).
int AlsaMixer::writePlaybackControl(int line, int kind, long target) {
    snd_mixer_elem_t* e = element(line);
    if (hctl_ == nullptr || e == nullptr)
        return -ENOENT;
    const std::string name = std::string(snd_mixer_selem_get_name(e)) +
                             (kind == Volume ? " Playback Volume" : " Playback Switch");
    snd_ctl_elem_id_t* id;
    snd_ctl_elem_id_alloca(&id);
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, name.c_str());
    snd_ctl_elem_id_set_index(id, snd_mixer_selem_get_index(e));
    snd_hctl_elem_t* control = snd_hctl_find_elem(hctl_, id);
    if (control == nullptr)
        return -ENOENT;
    snd_ctl_elem_info_t* info;
    snd_ctl_elem_info_alloca(&info);
    if (snd_hctl_elem_info(control, info) < 0)
        return -ENOENT;
    const snd_ctl_elem_type_t wanted =
        kind == Volume ? SND_CTL_ELEM_TYPE_INTEGER : SND_CTL_ELEM_TYPE_BOOLEAN;
    if (snd_ctl_elem_info_get_type(info) != wanted)
        return -ENOENT;
    snd_ctl_elem_value_t* value;
    snd_ctl_elem_value_alloca(&value);
    const unsigned int count = snd_ctl_elem_info_get_count(info);
    for (unsigned int channel = 0; channel < count; ++channel) {
        if (kind == Volume)
            snd_ctl_elem_value_set_integer(value, channel, target);
        else
            snd_ctl_elem_value_set_boolean(value, channel, target != 0);
    }
    const int err = snd_hctl_elem_write(control, value);
    if (err >= 0)
        written_[line][kind] = target;
    return err == -ENOENT ? -EIO : err;
}

// --- the service --------------------------------------------------------------------------------

MMRESULT AlsaMixer::mixerOpen(HMIXER* phmx, uint32_t uMxId, uintptr_t /*dwCallback*/,
                              uintptr_t /*dwInstance*/, uint32_t fdwOpen) {
    if (phmx == nullptr)
        return MMSYSERR_INVALPARAM;
    *phmx = 0;
    if (uMxId != 0)
        return MMSYSERR_BADDEVICEID;
    if (fdwOpen != CALLBACK_NULL)
        return MMSYSERR_INVALFLAG;  // no callbacks: the caller reads on demand
    std::lock_guard<std::mutex> lock(mutex_);
    MMRESULT result = withConnection(false, [] { return MMSYSERR_NOERROR; });
    if (result != MMSYSERR_NOERROR)
        return result;
    HMIXER handle = nextHandle_++;
    if (nextHandle_ == 0)
        nextHandle_ = 1;
    handles_.insert(handle);
    *phmx = handle;
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaMixer::mixerClose(HMIXER hmx) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handles_.erase(hmx) == 0)
        return MMSYSERR_INVALHANDLE;
    if (handles_.empty())
        disconnect();
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaMixer::mixerGetLineInfoA(HMIXER hmx, MIXERLINE* pmxl, uint32_t fdwInfo) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handles_.count(hmx) == 0)
        return MMSYSERR_INVALHANDLE;
    if (fdwInfo != MIXER_GETLINEINFOF_COMPONENTTYPE && fdwInfo != MIXER_GETLINEINFOF_LINEID)
        return MMSYSERR_INVALFLAG;
    if (pmxl == nullptr || pmxl->cbStruct < MIXERLINE_SIZE)
        return MMSYSERR_INVALPARAM;
    int line = -1;
    for (int l = 0; l < LineCount; ++l) {
        bool match = fdwInfo == MIXER_GETLINEINFOF_COMPONENTTYPE
                         ? pmxl->dwComponentType == kComponentTypes[l]
                         : pmxl->dwLineID == lineId(l);
        if (match)
            line = l;
    }
    if (line < 0)
        return MIXERR_INVALLINE;
    return withConnection(false, [&] {
        if (element(line) == nullptr)
            return MIXERR_INVALLINE;
        describeLine(line, pmxl);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT AlsaMixer::mixerGetLineControlsA(HMIXER hmx, MIXERLINECONTROLS* pmxlc,
                                          uint32_t fdwControls) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (handles_.count(hmx) == 0)
        return MMSYSERR_INVALHANDLE;
    if (fdwControls != MIXER_GETLINECONTROLSF_ALL &&
        fdwControls != MIXER_GETLINECONTROLSF_ONEBYID &&
        fdwControls != MIXER_GETLINECONTROLSF_ONEBYTYPE)
        return MMSYSERR_INVALFLAG;
    if (pmxlc == nullptr || pmxlc->pamxctrl == nullptr ||
        pmxlc->cbmxctrl < MIXERCONTROL_PUBLISHED_SIZE)
        return MMSYSERR_INVALPARAM;

    int line = static_cast<int>(pmxlc->dwLineID) - 1;
    int kind = 0;
    if (fdwControls == MIXER_GETLINECONTROLSF_ONEBYID) {
        // The Windows record keeps dwControlID where dwControlType is.
        if (!decodeControlId(pmxlc->dwControlType, &line, &kind))
            return MIXERR_INVALCONTROL;
    } else if (line < 0 || line >= LineCount) {
        return MIXERR_INVALLINE;
    }
    if (fdwControls == MIXER_GETLINECONTROLSF_ONEBYTYPE) {
        kind = kindOfType(pmxlc->dwControlType);
        if (kind == 0)
            return MIXERR_INVALCONTROL;
    }

    size_t size = std::min<size_t>(pmxlc->cbmxctrl, MIXERCONTROL_SIZE);
    auto* out = reinterpret_cast<unsigned char*>(pmxlc->pamxctrl);
    return withConnection(false, [&] {
        if (element(line) == nullptr)
            return fdwControls == MIXER_GETLINECONTROLSF_ONEBYID ? MIXERR_INVALCONTROL
                                                                 : MIXERR_INVALLINE;
        MIXERCONTROL ctrl;
        if (fdwControls != MIXER_GETLINECONTROLSF_ALL) {
            if (!hasControl(line, kind))
                return MIXERR_INVALCONTROL;
            describeControl(line, kind, &ctrl);
            std::memcpy(out, &ctrl, size);
            pmxlc->dwLineID = lineId(line);
            return MMSYSERR_NOERROR;
        }
        uint32_t count = 0;
        for (int k = Volume; k <= Peak; ++k)
            count += hasControl(line, k) ? 1 : 0;
        if (pmxlc->cControls < count)
            return MMSYSERR_INVALPARAM;
        size_t offset = 0;
        for (int k = Volume; k <= Peak; ++k) {
            if (!hasControl(line, k))
                continue;
            describeControl(line, k, &ctrl);
            std::memcpy(out + offset, &ctrl, size);
            offset += pmxlc->cbmxctrl;
        }
        pmxlc->cControls = count;
        return MMSYSERR_NOERROR;
    });
}

// The checks both value calls make: an open handle, the value flag, one 4-byte value for one
// channel, and an identifier that names a control. Splits the identifier into line and kind.
MMRESULT AlsaMixer::checkDetails(HMIXER hmx, const MIXERCONTROLDETAILS* pmxcd, bool valueFlag,
                                 int* line, int* kind) const {
    if (handles_.count(hmx) == 0)
        return MMSYSERR_INVALHANDLE;
    if (!valueFlag)
        return MMSYSERR_INVALFLAG;
    if (pmxcd == nullptr || pmxcd->paDetails == nullptr || pmxcd->cbDetails != 4 ||
        pmxcd->cChannels != 1 || pmxcd->cMultipleItems != 0)
        return MMSYSERR_INVALPARAM;
    return decodeControlId(pmxcd->dwControlID, line, kind) ? MMSYSERR_NOERROR : MIXERR_INVALCONTROL;
}

MMRESULT AlsaMixer::mixerGetControlDetailsA(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                            uint32_t fdwDetails) {
    std::lock_guard<std::mutex> lock(mutex_);
    int line = 0;
    int kind = 0;
    MMRESULT checked =
        checkDetails(hmx, pmxcd, fdwDetails == MIXER_GETCONTROLDETAILSF_VALUE, &line, &kind);
    if (checked != MMSYSERR_NOERROR)
        return checked;
    return withConnection(kind != Peak, [&] {
        if (!hasControl(line, kind))
            return MIXERR_INVALCONTROL;
        uint32_t value = 0;
        MMRESULT result = readValue(line, kind, &value);
        if (result == MMSYSERR_NOERROR)
            std::memcpy(pmxcd->paDetails, &value, sizeof value);
        return result;
    });
}

MMRESULT AlsaMixer::mixerSetControlDetails(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                           uint32_t fdwDetails) {
    std::lock_guard<std::mutex> lock(mutex_);
    int line = 0;
    int kind = 0;
    MMRESULT checked =
        checkDetails(hmx, pmxcd, fdwDetails == MIXER_SETCONTROLDETAILSF_VALUE, &line, &kind);
    if (checked != MMSYSERR_NOERROR)
        return checked;
    uint32_t value = 0;
    std::memcpy(&value, pmxcd->paDetails, sizeof value);
    // A level with the top bit set is a negative number read as unsigned: clamping it would mean
    // full volume, which no caller writing a negative level wants.
    if (kind == Volume && (value & 0x80000000u) != 0)
        return MMSYSERR_INVALPARAM;
    return withConnection(false, [&] {
        if (!hasControl(line, kind))
            return MIXERR_INVALCONTROL;
        if (kind == Peak)
            return MMSYSERR_NOTSUPPORTED;  // a meter is read-only
        return writeValue(line, kind, value);
    });
}
