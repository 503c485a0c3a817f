#pragma once
// The wave-input capture that runs beside clsVolume's input meter: U8 mono 8000 Hz into two
// queued buffers, handed back to the device as it fills them. Each call's result code goes into
// the mixer object's LastResult; a failed open or queueing shows the device's error text.

#include "MixerTypes.h"
#include "Notifier.h"
#include "WaveInService.h"

#include <array>
#include <cstdint>
#include <memory>

class WaveInCapture {
public:
    WaveInCapture(WaveInService& waveIn, Notifier& notifier, int32_t& lastResult);
    WaveInCapture(const WaveInCapture&) = delete;
    WaveInCapture& operator=(const WaveInCapture&) = delete;

    // Opens the device and starts it, unless it runs already; False when the open failed.
    VBBool Start();
    void Stop();
    bool running() const { return CaptureRunning == VB_TRUE; }
    // The device sets WHDR_DONE on a filled buffer; handing it back keeps the capture going.
    void RequeueFinishedBuffers();

private:
    static constexpr uint32_t CaptureBufferSize = 8192;
    static constexpr int16_t CaptureBufferCount = 2;
    static constexpr size_t ErrorTextLength = 200;

    void ReleaseCaptureBlocks();
    void ShowCaptureError();

    WaveInService& waveIn_;
    Notifier& notifier_;
    int32_t& lastResult_;

    int16_t BufferIndex = 0;  // the index of every loop over the capture buffers
    std::array<char, ErrorTextLength> ErrorText{};
    HWAVEIN WaveInHandle = 0;
    WAVEFORMATEX CaptureFormat{};
    std::array<std::unique_ptr<char[]>, CaptureBufferCount> CaptureBlocks;
    std::array<WAVEHDR, CaptureBufferCount> CaptureHeaders;
    VBBool CaptureRunning = VB_FALSE;
};
