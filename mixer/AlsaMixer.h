#pragma once
// The audio mixer service over the ALSA simple-mixer API on the control device "default" (the
// sound server on a desktop, the first card on a bare system).
//
// Construction:  AlsaWaveIn waveIn;  AlsaMixer mixer(&waveIn);
// The capture is optional: with it, the wave-in destination offers a peak meter fed by the
// capture's running stream; AlsaMixer mixer; (no capture) offers no peak meter. The capture must
// outlive the mixer.
//
// Mixer device 0 is the only device. All handles share one connection to the control device.
// Lines and controls:
//   speakers (4)      Master, else the first of Speaker, PCM, Headphone, else the first element
//                     with a playback volume
//   microphone 0x1003 Mic      line-in 0x1002 Line      compact disc 0x1005 CD
//   synthesizer 0x1004 Synth   wave out 0x1008 PCM      wave-in destination (7) Capture
//   volume 0x50030001: playback volume (capture volume for Capture), the element's raw range
//   mute 0x20010002: playback switch inverted (capture switch for Capture), 1 = muted
//   peak meter 0x10020001: on the wave-in destination only, -32768..32767
// A line the device lacks fails with MIXERR_INVALLINE, a control with MIXERR_INVALCONTROL.
// Line and control identifiers depend only on the line and control kind, so they stay the same
// across reconnections; 0 is never used.
//
// When the connection fails (the sound server went away), calls fail with MMSYSERR_NODRIVER;
// the next call reconnects on its own (at most four attempts a second), and handles and
// identifiers stay valid.

#include "MixerService.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>

struct _snd_mixer;
struct _snd_mixer_elem;
struct _snd_hctl;
class AlsaWaveIn;

class AlsaMixer : public MixerService {
public:
    explicit AlsaMixer(const AlsaWaveIn* capture = nullptr);
    ~AlsaMixer() override;
    AlsaMixer(const AlsaMixer&) = delete;
    AlsaMixer& operator=(const AlsaMixer&) = delete;

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

    // The lines, in the order of their identifiers (line identifier = index + 1).
    enum Line {
        Speakers,
        Microphone,
        LineIn,
        CompactDisc,
        Synthesizer,
        WaveOut,
        WaveIn,
        LineCount
    };
    // The controls of a line (control identifier = line identifier * 16 + kind).
    enum Kind { Volume = 1, Mute = 2, Peak = 3 };

private:
    using Clock = std::chrono::steady_clock;

    bool connected();
    bool connect();
    void disconnect();
    void findElements();
    bool takeEvents(bool sync);
    template <typename Op>
    MMRESULT withConnection(bool sync, Op op);
    _snd_mixer_elem* element(int line) const;
    bool hasControl(int line, int kind) const;
    void describeLine(int line, MIXERLINE* pmxl) const;
    void describeControl(int line, int kind, MIXERCONTROL* ctrl) const;
    MMRESULT checkDetails(HMIXER hmx, const MIXERCONTROLDETAILS* pmxcd, bool valueFlag, int* line,
                          int* kind) const;
    MMRESULT readValue(int line, int kind, uint32_t* value);
    MMRESULT writeValue(int line, int kind, uint32_t value);
    int writePlaybackControl(int line, int kind, long target);
    static int elementChanged(_snd_mixer_elem* e, unsigned int mask);

    const AlsaWaveIn* capture_;
    std::mutex mutex_;  // one caller at a time on the ALSA handle
    std::set<HMIXER> handles_;
    HMIXER nextHandle_ = 1;

    _snd_mixer* mixer_ = nullptr;
    _snd_hctl* hctl_ = nullptr;
    std::array<_snd_mixer_elem*, LineCount> elements_{};
    Clock::time_point lastAttempt_{};
    Clock::time_point lastRefresh_{};  // when takeEvents last asked the device for its state
    // Values written straight to a control (volume, switch), which the simple mixer's cache
    // does not hold yet; dropped when the element reports a change of its own.
    std::array<std::array<std::optional<long>, Mute + 1>, LineCount> written_{};
    bool attempted_ = false;
};
