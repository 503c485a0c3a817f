#pragma once
// The audio mixer service as the mixer class uses it: five synchronous calls returning a result
// code, 0 for success. mixerClose lets the class close a handle it replaces or no longer needs.

#include "MixerTypes.h"

#include <cstdint>

class MixerService {
public:
    virtual ~MixerService() = default;

    virtual MMRESULT mixerOpen(HMIXER* phmx, uint32_t uMxId, uintptr_t dwCallback,
                               uintptr_t dwInstance, uint32_t fdwOpen) = 0;
    virtual MMRESULT mixerClose(HMIXER hmx) = 0;
    virtual MMRESULT mixerGetLineInfoA(HMIXER hmx, MIXERLINE* pmxl, uint32_t fdwInfo) = 0;
    virtual MMRESULT mixerGetLineControlsA(HMIXER hmx, MIXERLINECONTROLS* pmxlc,
                                           uint32_t fdwControls) = 0;
    virtual MMRESULT mixerGetControlDetailsA(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                             uint32_t fdwDetails) = 0;
    virtual MMRESULT mixerSetControlDetails(HMIXER hmx, MIXERCONTROLDETAILS* pmxcd,
                                            uint32_t fdwDetails) = 0;
};
