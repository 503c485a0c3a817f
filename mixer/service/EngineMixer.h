#pragma once
// The audio mixer service over one MixerEngine: the five mixer calls, their records, identifiers
// and result codes. It knows no sound system; the engine under it does.
//
// Construction:  EngineMixer mixer(engine);   (the engine must outlive the mixer)
//
// Mixer device 0 is the only device. Lines by component type:
//   speakers (4), microphone 0x1003, line-in 0x1002, compact disc 0x1005, synthesizer 0x1004,
//   wave out 0x1008, wave-in destination (7)
// Controls: volume 0x50030001 (the engine's range), mute 0x20010002 (1 = muted), peak meter
// 0x10020001 (-32768..32767, read-only). A line the engine lacks fails with MIXERR_INVALLINE, a
// control with MIXERR_INVALCONTROL. Line and control identifiers depend only on the line and
// control kind, so they stay the same across reconnections and engines; 0 is never used.
// While the engine cannot reach its sound system, calls fail with MMSYSERR_NODRIVER. Only
// mixerOpen waits for the engine's connection attempt; the calls on an open mixer answer at once
// from what the engine knows, so a sound server that hangs never holds up a click.

#include "MixerEngine.h"
#include "MixerService.h"

#include <cstdint>
#include <mutex>
#include <set>

class EngineMixer : public MixerService {
public:
    explicit EngineMixer(MixerEngine& engine);

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

    // The controls of a line (control identifier = line identifier * 16 + kind).
    enum Kind { Volume = 1, Mute = 2, Peak = 3 };

private:
    using Line = MixerEngine::Line;

    bool isOpen(HMIXER hmx);
    bool hasControl(Line line, int kind) const;
    void describeLine(Line line, MIXERLINE* pmxl) const;
    void describeControl(Line line, int kind, MIXERCONTROL* ctrl) const;
    template <typename Op>
    MMRESULT withDetails(HMIXER hmx, const MIXERCONTROLDETAILS* pmxcd, bool valueFlag, Op op);
    MMRESULT readValue(Line line, int kind, uint32_t* value);
    MMRESULT writeValue(Line line, int kind, uint32_t value);

    MixerEngine& engine_;
    std::mutex mutex_;  // guards the handles
    std::set<HMIXER> handles_;
    HMIXER nextHandle_ = 1;
};
