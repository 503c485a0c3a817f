#include "WaveInCapture.h"

#include <string>

namespace {

constexpr char kCaptureErrorTitle[] = "Brennet - Mixercontrol Fehler";

}  // namespace

WaveInCapture::WaveInCapture(WaveInService& waveIn, Notifier& notifier, int32_t& lastResult)
    : waveIn_(waveIn), notifier_(notifier), lastResult_(lastResult) {}

VBBool WaveInCapture::Start() {
    if (CaptureRunning != VB_FALSE) {
        return VB_TRUE;
    }

    CaptureFormat = WAVEFORMATEX{};
    CaptureFormat.wFormatTag = WAVE_FORMAT_PCM;
    CaptureFormat.nChannels = 1;
    CaptureFormat.nSamplesPerSec = 8000;
    CaptureFormat.wBitsPerSample = 8;
    CaptureFormat.nBlockAlign = CaptureFormat.wBitsPerSample / 8;
    CaptureFormat.nAvgBytesPerSec = CaptureFormat.nBlockAlign * CaptureFormat.nSamplesPerSec;
    CaptureFormat.cbSize = 0;

    for (BufferIndex = 0; BufferIndex < CaptureBufferCount; ++BufferIndex) {
        CaptureBlocks[BufferIndex] = std::make_unique<char[]>(CaptureBufferSize);  // zeroed
        WAVEHDR& header = CaptureHeaders[BufferIndex];
        header.lpData = CaptureBlocks[BufferIndex].get();
        header.dwBufferLength = CaptureBufferSize;
        header.dwBytesRecorded = 0;
        header.dwUser = 0;
        header.dwFlags = 0;
        header.dwLoops = 0;
        header.lpNext = nullptr;
        header.reserved = 0;
    }

    lastResult_ =
        static_cast<int32_t>(waveIn_.waveInOpen(&WaveInHandle, 0, &CaptureFormat, 0, 0, 0));
    if (lastResult_ != 0) {
        ShowCaptureError();
        ReleaseCaptureBlocks();  // nothing runs that could use them
        return VB_FALSE;
    }

    for (BufferIndex = 0; BufferIndex < CaptureBufferCount; ++BufferIndex) {
        lastResult_ = static_cast<int32_t>(
            waveIn_.waveInPrepareHeader(WaveInHandle, &CaptureHeaders[BufferIndex], WAVEHDR_SIZE));
        if (lastResult_ != 0) {
            ShowCaptureError();
        }
    }
    for (BufferIndex = 0; BufferIndex < CaptureBufferCount; ++BufferIndex) {
        lastResult_ = static_cast<int32_t>(
            waveIn_.waveInAddBuffer(WaveInHandle, &CaptureHeaders[BufferIndex], WAVEHDR_SIZE));
        if (lastResult_ != 0) {
            ShowCaptureError();
        }
    }

    CaptureRunning = VB_TRUE;
    lastResult_ = static_cast<int32_t>(waveIn_.waveInStart(WaveInHandle));
    return VB_TRUE;
}

void WaveInCapture::Stop() {
    CaptureRunning = VB_FALSE;
    waveIn_.waveInReset(WaveInHandle);
    waveIn_.waveInStop(WaveInHandle);
    for (BufferIndex = 0; BufferIndex < CaptureBufferCount; ++BufferIndex) {
        waveIn_.waveInUnprepareHeader(WaveInHandle, &CaptureHeaders[BufferIndex], WAVEHDR_SIZE);
        CaptureHeaders[BufferIndex].lpData = nullptr;
        CaptureBlocks[BufferIndex].reset();
    }
    waveIn_.waveInClose(WaveInHandle);
    WaveInHandle = 0;
}

void WaveInCapture::ReleaseCaptureBlocks() {
    for (BufferIndex = 0; BufferIndex < CaptureBufferCount; ++BufferIndex) {
        CaptureHeaders[BufferIndex].lpData = nullptr;
        CaptureBlocks[BufferIndex].reset();
    }
}

// The device sets WHDR_DONE on a filled buffer; handing it back keeps the capture going.
void WaveInCapture::RequeueFinishedBuffers() {
    if (CaptureRunning == VB_FALSE) {
        return;
    }
    for (BufferIndex = 0; BufferIndex < CaptureBufferCount; ++BufferIndex) {
        WAVEHDR& header = CaptureHeaders[BufferIndex];
        if ((header.dwFlags.load() & WHDR_DONE) != 0) {
            lastResult_ =
                static_cast<int32_t>(waveIn_.waveInAddBuffer(WaveInHandle, &header, WAVEHDR_SIZE));
        }
    }
}

void WaveInCapture::ShowCaptureError() {
    ErrorText.fill('\0');
    waveIn_.waveInGetErrorTextA(static_cast<MMRESULT>(lastResult_), ErrorText.data(),
                                static_cast<uint32_t>(ErrorText.size()));
    ErrorText.back() = '\0';
    notifier_.MsgBox(std::string(ErrorText.data()), MB_OK | MB_ICONSTOP, kCaptureErrorTitle);
}
