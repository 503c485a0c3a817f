#include "AlsaEngine.h"

#include "AlsaConfig.h"
#include "AlsaErrors.h"
#include "AlsaWaveIn.h"

#include <alsa/asoundlib.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(250);

// The element each line stands for; the speakers fall back as described in the header.
constexpr const char* kElementNames[MixerEngine::LineCount] = {
    "Master", "Mic", "Line", "CD", "Synth", "PCM", "Capture",
};
constexpr const char* kSpeakerFallbacks[] = {"Speaker", "PCM", "Headphone"};

constexpr int indexOf(MixerEngine::Line line) {
    return static_cast<int>(line);
}

// Errors that mean the control device itself is gone, not that one request was bad.
bool isConnectionError(int err) {
    return err == -EIO || err == -ENODEV || err == -EBADFD || err == -ENOTCONN ||
           err == -ECONNRESET || err == -EPIPE || err == -ENXIO;
}

snd_mixer_elem_t* findElement(snd_mixer_t* mixer, const char* name) {
    snd_mixer_selem_id_t* id;
    snd_mixer_selem_id_alloca(&id);
    snd_mixer_selem_id_set_name(id, name);
    snd_mixer_selem_id_set_index(id, 0);
    return snd_mixer_find_selem(mixer, id);
}

}  // namespace

AlsaEngine::AlsaEngine(const AlsaWaveIn* capture)
    : capture_(capture), wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    silenceAlsaErrors();
}

AlsaEngine::~AlsaEngine() {
    stopNotifying();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wakeWatcher();
    if (watcher_.joinable())
        watcher_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    close();
    if (wake_ >= 0)
        ::close(wake_);
}

std::vector<MixerEngine::Output> AlsaEngine::outputs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (mixer_ == nullptr)
        return {};
    return {{"default", cardName_, true}};
}

// --- connection -------------------------------------------------------------------------------

// Opens the device when it is not open (attempts paced, so a caller polling while the sound
// server is away does not spin on it) and takes its pending events. A device found broken is
// closed and opened again once, so a sound server restarted between two calls is reached at once.
bool AlsaEngine::connect() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (mixer_ == nullptr) {
            const Clock::time_point now = Clock::now();
            if (attempted_ && now - lastAttempt_ < kRetryPause)
                return false;
            attempted_ = true;
            lastAttempt_ = now;
            if (!open())
                return false;
        }
        if (takeEvents())
            return true;
        close();
    }
    return false;
}

bool AlsaEngine::connected() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return mixer_ != nullptr;
}

bool AlsaEngine::open() {
    // Reread ALSA's configuration on every connection: "default" may reach a server that started
    // since the last one.
    std::unique_lock<std::mutex> config = AlsaConfig::reload();
    snd_mixer_t* mixer = nullptr;
    if (snd_mixer_open(&mixer, 0) < 0)
        return false;
    if (snd_mixer_attach(mixer, "default") < 0 ||
        snd_mixer_selem_register(mixer, nullptr, nullptr) < 0 || snd_mixer_load(mixer) < 0) {
        snd_mixer_close(mixer);
        return false;
    }
    config.unlock();
    mixer_ = mixer;
    hctl_ = nullptr;
    snd_mixer_get_hctl(mixer_, "default", &hctl_);
    cardName_ = "default";
    snd_ctl_card_info_t* info;
    snd_ctl_card_info_alloca(&info);
    if (hctl_ != nullptr && snd_ctl_card_info(snd_hctl_ctl(hctl_), info) == 0 &&
        *snd_ctl_card_info_get_name(info) != '\0')
        cardName_ = snd_ctl_card_info_get_name(info);
    attempted_ = false;
    findElements();
    ++generation_;
    if (!watcher_.joinable() && wake_ >= 0)
        watcher_ = std::thread([this] { watch(); });
    wakeWatcher();
    notifyChanged();
    return true;
}

void AlsaEngine::close() {
    const bool wasOpen = mixer_ != nullptr;
    if (wasOpen)
        snd_mixer_close(mixer_);
    mixer_ = nullptr;
    hctl_ = nullptr;
    elements_.fill(nullptr);
    if (wasOpen) {
        ++generation_;
        wakeWatcher();
        notifyChanged();
    }
}

void AlsaEngine::wakeWatcher() const {
    const uint64_t one = 1;
    if (wake_ >= 0 && ::write(wake_, &one, sizeof one) < 0) {
        // The counter is full: the watcher is woken already.
    }
}

// Waits for the mixer's events without the lock and takes them with it.
void AlsaEngine::watch() {
    std::vector<pollfd> fds;
    for (;;) {
        unsigned seen = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_)
                return;
            fds.clear();
            const int count = mixer_ != nullptr ? snd_mixer_poll_descriptors_count(mixer_) : 0;
            if (count > 0) {
                fds.resize(static_cast<size_t>(count));
                const int got = snd_mixer_poll_descriptors(mixer_, fds.data(), count);
                fds.resize(static_cast<size_t>(got > 0 ? got : 0));
            }
            seen = generation_;
        }
        const size_t mixerFds = fds.size();
        fds.push_back({wake_, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds.back().revents != 0) {
            uint64_t count = 0;
            while (::read(wake_, &count, sizeof count) > 0) {
            }
            continue;  // look again: the mixer was opened or closed, or the engine stops
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_)
            return;
        if (mixer_ == nullptr || generation_ != seen)
            continue;
        unsigned short revents = 0;
        snd_mixer_poll_descriptors_revents(mixer_, fds.data(), static_cast<unsigned>(mixerFds),
                                           &revents);
        // A device that hangs up stays readable: close it rather than poll it again and again.
        if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 || !takeEvents())
            close();
        else if (revents != 0)
            notifyChanged();  // a value's event may not count among the element changes
    }
}

void AlsaEngine::findElements() {
    for (int line = 0; line < LineCount; ++line)
        elements_[line] = findElement(mixer_, kElementNames[line]);
    snd_mixer_elem_t*& speakers = elements_[indexOf(Line::Speakers)];
    for (const char* name : kSpeakerFallbacks) {
        if (speakers == nullptr)
            speakers = findElement(mixer_, name);
    }
    for (snd_mixer_elem_t* e = snd_mixer_first_elem(mixer_); e != nullptr && speakers == nullptr;
         e = snd_mixer_elem_next(e)) {
        if (snd_mixer_selem_has_playback_volume(e))
            speakers = e;
    }
}

// Takes the pending events, so the element list follows elements that came or went. False when
// the device is lost.
bool AlsaEngine::takeEvents() {
    const int err = snd_mixer_handle_events(mixer_);
    if (err < 0)
        return false;
    if (err > 0) {
        findElements();
        notifyChanged();
    }
    return true;
}

AlsaEngine::Status AlsaEngine::failed(int err) {
    if (isConnectionError(err)) {
        close();
        return Status::Unreachable;
    }
    return Status::Failed;
}

// --- lines --------------------------------------------------------------------------------------

snd_mixer_elem_t* AlsaEngine::element(Line line) const {
    const int i = indexOf(line);
    return i >= 0 && i < LineCount ? elements_[i] : nullptr;
}

bool AlsaEngine::hasLine(Line line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return element(line) != nullptr;
}

bool AlsaEngine::hasVolume(Line line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    snd_mixer_elem_t* e = element(line);
    return e != nullptr && (line == Line::WaveIn ? snd_mixer_selem_has_capture_volume(e)
                                                 : snd_mixer_selem_has_playback_volume(e));
}

bool AlsaEngine::hasSwitch(Line line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    snd_mixer_elem_t* e = element(line);
    return e != nullptr && (line == Line::WaveIn ? snd_mixer_selem_has_capture_switch(e)
                                                 : snd_mixer_selem_has_playback_switch(e));
}

bool AlsaEngine::hasPeak(Line line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return line == Line::WaveIn && capture_ != nullptr && element(line) != nullptr;
}

std::string AlsaEngine::lineName(Line line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    snd_mixer_elem_t* e = element(line);
    return e != nullptr ? snd_mixer_selem_get_name(e) : "";
}

int AlsaEngine::channels(Line line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    snd_mixer_elem_t* e = element(line);
    if (e == nullptr)
        return 1;
    const bool mono = line == Line::WaveIn ? snd_mixer_selem_is_capture_mono(e)
                                           : snd_mixer_selem_is_playback_mono(e);
    return mono ? 1 : 2;
}

MixerEngine::Range AlsaEngine::volumeRange(Line line) const {
    std::lock_guard<std::mutex> lock(mutex_);
    Range range;
    if (snd_mixer_elem_t* e = element(line)) {
        if (line == Line::WaveIn)
            snd_mixer_selem_get_capture_volume_range(e, &range.min, &range.max);
        else
            snd_mixer_selem_get_playback_volume_range(e, &range.min, &range.max);
    }
    return range;
}

// --- values -------------------------------------------------------------------------------------

// The plain control behind a line's volume or switch ("Master Playback Volume", "Capture
// Switch"), or null where the element is made of something else.
snd_hctl_elem_t* AlsaEngine::plainControl(Line line, bool volume) const {
    snd_mixer_elem_t* e = element(line);
    if (hctl_ == nullptr || e == nullptr)
        return nullptr;
    const std::string element = snd_mixer_selem_get_name(e);
    const bool capture = line == Line::WaveIn;
    std::string name = capture && element == "Capture" ? "Capture" : element;
    if (capture && element != "Capture")
        name += " Capture";
    else if (!capture)
        name += " Playback";
    name += volume ? " Volume" : " Switch";
    snd_ctl_elem_id_t* id;
    snd_ctl_elem_id_alloca(&id);
    snd_ctl_elem_id_set_interface(id, SND_CTL_ELEM_IFACE_MIXER);
    snd_ctl_elem_id_set_name(id, name.c_str());
    snd_ctl_elem_id_set_index(id, snd_mixer_selem_get_index(e));
    snd_hctl_elem_t* control = snd_hctl_find_elem(hctl_, id);
    if (control == nullptr)
        return nullptr;
    snd_ctl_elem_info_t* info;
    snd_ctl_elem_info_alloca(&info);
    const snd_ctl_elem_type_t wanted =
        volume ? SND_CTL_ELEM_TYPE_INTEGER : SND_CTL_ELEM_TYPE_BOOLEAN;
    if (snd_hctl_elem_info(control, info) < 0 || snd_ctl_elem_info_get_type(info) != wanted)
        return nullptr;
    return control;
}

// Reads the first channel's volume, or its switch (1 = on). The plain control is read from the
// device itself; the simple mixer's cached value is used only where there is no plain control
// (a card's own hardware, whose changes arrive as events before the call returns).
AlsaEngine::Status AlsaEngine::read(Line line, bool volume, long* value) {
    snd_mixer_elem_t* e = element(line);
    if (e == nullptr)
        return mixer_ == nullptr ? Status::Unreachable : Status::Missing;
    if (snd_hctl_elem_t* control = plainControl(line, volume)) {
        snd_ctl_elem_value_t* v;
        snd_ctl_elem_value_alloca(&v);
        const int err = snd_hctl_elem_read(control, v);
        if (err < 0)
            return failed(err);
        *value =
            volume ? snd_ctl_elem_value_get_integer(v, 0) : snd_ctl_elem_value_get_boolean(v, 0);
        return Status::Ok;
    }
    const bool capture = line == Line::WaveIn;
    int err = 0;
    if (volume) {
        err = capture ? snd_mixer_selem_get_capture_volume(e, SND_MIXER_SCHN_FRONT_LEFT, value)
                      : snd_mixer_selem_get_playback_volume(e, SND_MIXER_SCHN_FRONT_LEFT, value);
    } else {
        int on = 1;
        err = capture ? snd_mixer_selem_get_capture_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on)
                      : snd_mixer_selem_get_playback_switch(e, SND_MIXER_SCHN_FRONT_LEFT, &on);
        *value = on;
    }
    return err < 0 ? failed(err) : Status::Ok;
}

// Writes every channel of the volume or switch. The plain control is written in one request
// (the simple-mixer call writes volume and switch alike, a round trip each on a sound server).
AlsaEngine::Status AlsaEngine::write(Line line, bool volume, long value) {
    snd_mixer_elem_t* e = element(line);
    if (e == nullptr)
        return mixer_ == nullptr ? Status::Unreachable : Status::Missing;
    if (snd_hctl_elem_t* control = plainControl(line, volume)) {
        snd_ctl_elem_info_t* info;
        snd_ctl_elem_info_alloca(&info);
        snd_hctl_elem_info(control, info);
        snd_ctl_elem_value_t* v;
        snd_ctl_elem_value_alloca(&v);
        const unsigned int count = snd_ctl_elem_info_get_count(info);
        for (unsigned int channel = 0; channel < count; ++channel) {
            if (volume)
                snd_ctl_elem_value_set_integer(v, channel, value);
            else
                snd_ctl_elem_value_set_boolean(v, channel, value != 0);
        }
        const int err = snd_hctl_elem_write(control, v);
        return err < 0 ? failed(err == -ENOENT ? -EIO : err) : Status::Ok;
    }
    const bool capture = line == Line::WaveIn;
    const int on = static_cast<int>(value);
    const int err = volume ? (capture ? snd_mixer_selem_set_capture_volume_all(e, value)
                                      : snd_mixer_selem_set_playback_volume_all(e, value))
                           : (capture ? snd_mixer_selem_set_capture_switch_all(e, on)
                                      : snd_mixer_selem_set_playback_switch_all(e, on));
    return err < 0 ? failed(err) : Status::Ok;
}

AlsaEngine::Status AlsaEngine::volume(Line line, long* value) {
    std::lock_guard<std::mutex> lock(mutex_);
    return read(line, true, value);
}

AlsaEngine::Status AlsaEngine::setVolume(Line line, long value) {
    std::lock_guard<std::mutex> lock(mutex_);
    return write(line, true, value);
}

AlsaEngine::Status AlsaEngine::muted(Line line, bool* value) {
    std::lock_guard<std::mutex> lock(mutex_);
    long on = 1;
    const Status status = read(line, false, &on);
    *value = on == 0;  // muted means the switch is off
    return status;
}

AlsaEngine::Status AlsaEngine::setMuted(Line line, bool value) {
    std::lock_guard<std::mutex> lock(mutex_);
    return write(line, false, value ? 0 : 1);
}

AlsaEngine::Status AlsaEngine::peak(Line line, int32_t* value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (line != Line::WaveIn || capture_ == nullptr || element(line) == nullptr)
        return Status::Missing;
    *value = capture_->peak();
    return Status::Ok;
}
