#pragma once
// The wave-input service over ALSA PCM capture on the device "default" (the sound server on a
// desktop, the first card on a bare system).
//
// Construction:  AlsaWaveIn waveIn;   (no arguments; opens nothing until waveInOpen)
// Give the same object to the mixer engine (AlsaEngine engine(&waveIn);) so that the peak meter of
// the wave-in destination shows the running capture. Destroy it after every user (clsVolume, the
// mixer): it stops and closes any device still open.
//
// Device 0 is the only device, and the only format is 8-bit unsigned mono PCM at 8000 samples per
// second. Each open device is an AlsaCaptureStream with a worker thread that fills the queued
// buffers; closing it takes under a second, whatever the sound server does.

#include "WaveInService.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

class AlsaCaptureStream;

class AlsaWaveIn : public WaveInService {
public:
    AlsaWaveIn();
    ~AlsaWaveIn() override;
    AlsaWaveIn(const AlsaWaveIn&) = delete;
    AlsaWaveIn& operator=(const AlsaWaveIn&) = delete;

    MMRESULT waveInOpen(HWAVEIN* phwi, uint32_t uDeviceID, const WAVEFORMATEX* pwfx,
                        uintptr_t dwCallback, uintptr_t dwInstance, uint32_t fdwOpen) override;
    MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) override;
    MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) override;
    MMRESULT waveInStart(HWAVEIN hwi) override;
    MMRESULT waveInReset(HWAVEIN hwi) override;
    MMRESULT waveInStop(HWAVEIN hwi) override;
    MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) override;
    MMRESULT waveInClose(HWAVEIN hwi) override;
    MMRESULT waveInGetErrorTextA(MMRESULT mmrError, char* pszText, uint32_t cchText) override;

    // The sample of greatest magnitude among the most recently captured ones, scaled from the
    // 8-bit samples to -32768..32767; 0 while nothing is recording. Safe from any thread.
    int32_t peak() const { return peak_->load(std::memory_order_relaxed); }

private:
    AlsaCaptureStream* find(HWAVEIN hwi);
    template <typename Op>
    MMRESULT withDevice(HWAVEIN hwi, Op op);

    std::mutex mutex_;  // guards devices_ and nextHandle_
    std::map<HWAVEIN, std::shared_ptr<AlsaCaptureStream>> devices_;
    HWAVEIN nextHandle_ = 1;
    std::shared_ptr<std::atomic<int32_t>> peak_ = std::make_shared<std::atomic<int32_t>>(0);
};
