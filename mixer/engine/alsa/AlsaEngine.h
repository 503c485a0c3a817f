#pragma once
// A MixerEngine over the ALSA simple mixer on the control device "default": the first card on a
// system without a sound server (and the sound server through ALSA's pulse plugin where one
// answers, for diagnosis with BRENNET_MIXER=alsa).
//
// Construction:  AlsaWaveIn waveIn;  AlsaEngine engine(&waveIn);
// With the capture, the wave-in line has a peak meter fed by the capture's running stream;
// without it (AlsaEngine engine;) it has none. The capture must outlive the engine.
//
// Lines: speakers = Master, else the first of Speaker, PCM, Headphone, else the first element
// with a playback volume; microphone = Mic, line-in = Line, compact disc = CD, synthesizer =
// Synth, wave out = PCM, wave-in = Capture. Volumes are the element's raw range; mute is the
// playback switch (capture switch for Capture) turned off.
//
// Values are read from the device on every call (the element's plain control), so a change
// another program made is seen at once, whatever was written before. When the device fails (the
// sound server went away), calls report Unreachable and a later call opens it again (at most four
// attempts a second).
//
// Changes (see MixerEngine): a watcher thread waits on the mixer's poll descriptors, as alsamixer
// does, and takes the mixer's events when they come, so changes made by other programs are told
// as they happen; an open, a loss and elements that come or go are told too. While nothing
// changes the watcher sleeps in poll() without a timeout.
//
// Outputs: the one card behind "default", by its name; there is nothing else to choose.

#include "MixerEngine.h"

#include <array>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct _snd_mixer;
struct _snd_mixer_elem;
struct _snd_hctl;
struct _snd_hctl_elem;
class AlsaWaveIn;

class AlsaEngine : public MixerEngine {
public:
    explicit AlsaEngine(const AlsaWaveIn* capture = nullptr);
    ~AlsaEngine() override;
    AlsaEngine(const AlsaEngine&) = delete;
    AlsaEngine& operator=(const AlsaEngine&) = delete;

    bool connect() override;
    bool connected() const override;
    bool hasLine(Line line) const override;
    bool hasVolume(Line line) const override;
    bool hasSwitch(Line line) const override;
    bool hasPeak(Line line) const override;
    std::string lineName(Line line) const override;
    int channels(Line line) const override;
    Range volumeRange(Line line) const override;
    Status volume(Line line, long* value) override;
    Status setVolume(Line line, long value) override;
    Status muted(Line line, bool* value) override;
    Status setMuted(Line line, bool value) override;
    Status peak(Line line, int32_t* value) override;
    std::vector<Output> outputs() const override;

private:
    using Clock = std::chrono::steady_clock;

    bool open();
    void close();
    void findElements();
    bool takeEvents();
    _snd_mixer_elem* element(Line line) const;
    _snd_hctl_elem* plainControl(Line line, bool volume) const;
    Status failed(int err);
    Status read(Line line, bool volume, long* value);
    Status write(Line line, bool volume, long value);
    void watch();
    void wakeWatcher() const;

    const AlsaWaveIn* capture_;
    mutable std::mutex mutex_;  // one caller at a time on the ALSA handle
    _snd_mixer* mixer_ = nullptr;
    _snd_hctl* hctl_ = nullptr;
    std::array<_snd_mixer_elem*, LineCount> elements_{};
    std::string cardName_;
    Clock::time_point lastAttempt_{};
    bool attempted_ = false;
    // The watcher: it takes the descriptors of the open mixer under the lock and polls them
    // without it; wake_ (an eventfd) makes it look again after an open or a close, or stop.
    int wake_ = -1;
    unsigned generation_ = 0;  // counts opens and closes, so a stale poll result is dropped
    bool stopping_ = false;
    std::thread watcher_;
};
