#pragma once
// The wave-input service as the mixer class uses it. The device fills queued buffers in the
// background and sets WHDR_DONE in a header's dwFlags when its buffer is full; dwFlags is atomic
// because the device's own thread writes it while the class polls it.

#include "MixerTypes.h"

#include <atomic>
#include <cstdint>

using HWAVEIN = uint32_t;  // 0 is no handle

constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint32_t WHDR_DONE = 0x1;
constexpr uint32_t WHDR_PREPARED = 0x2;
constexpr uint32_t WHDR_INQUEUE = 0x10;
constexpr uint32_t WAVEHDR_SIZE = 32;  // what the class passes as cbwh
constexpr uint32_t MAXERRORLENGTH = 256;

struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};

struct WAVEHDR {
    char* lpData = nullptr;
    uint32_t dwBufferLength = 0;
    std::atomic<uint32_t> dwBytesRecorded{0};
    uintptr_t dwUser = 0;
    std::atomic<uint32_t> dwFlags{0};
    uint32_t dwLoops = 0;
    WAVEHDR* lpNext = nullptr;
    uintptr_t reserved = 0;
};

class WaveInService {
public:
    virtual ~WaveInService() = default;

    virtual MMRESULT waveInOpen(HWAVEIN* phwi, uint32_t uDeviceID, const WAVEFORMATEX* pwfx,
                                uintptr_t dwCallback, uintptr_t dwInstance, uint32_t fdwOpen) = 0;
    virtual MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) = 0;
    virtual MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) = 0;
    virtual MMRESULT waveInStart(HWAVEIN hwi) = 0;
    virtual MMRESULT waveInReset(HWAVEIN hwi) = 0;
    virtual MMRESULT waveInStop(HWAVEIN hwi) = 0;
    virtual MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) = 0;
    virtual MMRESULT waveInClose(HWAVEIN hwi) = 0;
    // Writes a NUL-terminated English description of mmrError into pszText (cchText bytes).
    virtual MMRESULT waveInGetErrorTextA(MMRESULT mmrError, char* pszText, uint32_t cchText) = 0;
};
