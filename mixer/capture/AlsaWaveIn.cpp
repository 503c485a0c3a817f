#include "AlsaWaveIn.h"

#include "AlsaCaptureStream.h"
#include "AlsaErrors.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
constexpr uint32_t WAVE_FORMAT_QUERY = 0x1;

constexpr unsigned kRate = 8000;  // the only format: 8-bit mono at 8000 samples a second

bool isCaptureFormat(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels == 1 && f.nSamplesPerSec == kRate &&
           f.wBitsPerSample == 8 && f.nBlockAlign == 1 && f.nAvgBytesPerSec == kRate;
}

MMRESULT openResult(int err) {
    switch (-err) {
        case EBUSY:
            return MMSYSERR_ALLOCATED;
        case ENOMEM:
            return MMSYSERR_NOMEM;
        case EINVAL:
            return WAVERR_BADFORMAT;
        default:
            return MMSYSERR_NODRIVER;
    }
}

}  // namespace

AlsaWaveIn::AlsaWaveIn() {
    silenceAlsaErrors();
}

AlsaWaveIn::~AlsaWaveIn() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& device : devices_)
        device.second->close();
    devices_.clear();
}

AlsaCaptureStream* AlsaWaveIn::find(HWAVEIN hwi) {
    auto it = devices_.find(hwi);
    return it == devices_.end() ? nullptr : it->second.get();
}

// Runs op on the open device hwi, under the lock.
template <typename Op>
MMRESULT AlsaWaveIn::withDevice(HWAVEIN hwi, Op op) {
    std::lock_guard<std::mutex> lock(mutex_);
    AlsaCaptureStream* d = find(hwi);
    return d != nullptr ? op(*d) : MMSYSERR_INVALHANDLE;
}

MMRESULT AlsaWaveIn::waveInOpen(HWAVEIN* phwi, uint32_t uDeviceID, const WAVEFORMATEX* pwfx,
                                uintptr_t /*dwCallback*/, uintptr_t /*dwInstance*/,
                                uint32_t fdwOpen) {
    if ((fdwOpen & ~WAVE_FORMAT_QUERY) != 0)
        return MMSYSERR_INVALFLAG;  // no callbacks: the caller polls WHDR_DONE
    if (pwfx == nullptr || (phwi == nullptr && (fdwOpen & WAVE_FORMAT_QUERY) == 0))
        return MMSYSERR_INVALPARAM;
    if (uDeviceID != 0)
        return MMSYSERR_BADDEVICEID;
    if (!isCaptureFormat(*pwfx))
        return WAVERR_BADFORMAT;
    if ((fdwOpen & WAVE_FORMAT_QUERY) != 0)
        return MMSYSERR_NOERROR;

    *phwi = 0;
    int err = 0;
    std::shared_ptr<AlsaCaptureStream> stream = AlsaCaptureStream::open(peak_, &err);
    if (stream == nullptr)
        return openResult(err);

    std::lock_guard<std::mutex> lock(mutex_);
    HWAVEIN handle = nextHandle_++;
    if (nextHandle_ == 0)
        nextHandle_ = 1;
    devices_[handle] = std::move(stream);
    *phwi = handle;
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaWaveIn::waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t /*cbwh*/) {
    return withDevice(hwi, [&](AlsaCaptureStream& d) {
        return pwh == nullptr ? MMSYSERR_INVALPARAM : d.prepare(pwh);
    });
}

MMRESULT AlsaWaveIn::waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, uint32_t /*cbwh*/) {
    return withDevice(hwi, [&](AlsaCaptureStream& d) {
        return pwh == nullptr ? MMSYSERR_INVALPARAM : d.add(pwh);
    });
}

MMRESULT AlsaWaveIn::waveInStart(HWAVEIN hwi) {
    return withDevice(hwi, [](AlsaCaptureStream& d) { return d.record(true); });
}

MMRESULT AlsaWaveIn::waveInReset(HWAVEIN hwi) {
    return withDevice(hwi, [](AlsaCaptureStream& d) { return d.reset(); });
}

MMRESULT AlsaWaveIn::waveInStop(HWAVEIN hwi) {
    return withDevice(hwi, [](AlsaCaptureStream& d) { return d.stop(); });
}

MMRESULT AlsaWaveIn::waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t /*cbwh*/) {
    return withDevice(hwi, [&](AlsaCaptureStream& d) {
        return pwh == nullptr ? MMSYSERR_INVALPARAM : d.unprepare(pwh);
    });
}

MMRESULT AlsaWaveIn::waveInClose(HWAVEIN hwi) {
    return withDevice(hwi, [&](AlsaCaptureStream& d) {
        // Buffers still queued belong to the caller: closing now would leave them queued for good.
        if (d.hasQueuedBuffers())
            return WAVERR_STILLPLAYING;
        d.close();  // within a second, whatever the sound server does
        devices_.erase(hwi);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT AlsaWaveIn::waveInGetErrorTextA(MMRESULT mmrError, char* pszText, uint32_t cchText) {
    if (pszText == nullptr || cchText == 0)
        return MMSYSERR_INVALPARAM;
    const char* text = nullptr;
    switch (mmrError) {
        case MMSYSERR_NOERROR:
            text = "The operation completed successfully.";
            break;
        case MMSYSERR_ERROR:
            text = "An unspecified error occurred in the sound input device.";
            break;
        case MMSYSERR_BADDEVICEID:
            text = "The sound input device number is out of range: only device 0 exists.";
            break;
        case MMSYSERR_NOTENABLED:
            text = "The sound input driver is not enabled.";
            break;
        case MMSYSERR_ALLOCATED:
            text = "The sound input device is busy. Close the program using it and try again.";
            break;
        case MMSYSERR_INVALHANDLE:
            text = "The sound input device handle is not valid.";
            break;
        case MMSYSERR_NODRIVER:
            text =
                "No sound input device is available: the sound server or the sound card cannot "
                "be reached.";
            break;
        case MMSYSERR_NOMEM:
            text = "There is not enough memory to open the sound input device.";
            break;
        case MMSYSERR_NOTSUPPORTED:
            text = "The sound input device does not support this operation.";
            break;
        case MMSYSERR_INVALFLAG:
            text = "An invalid flag was passed to the sound input device.";
            break;
        case MMSYSERR_INVALPARAM:
            text = "An invalid parameter was passed to the sound input device.";
            break;
        case WAVERR_BADFORMAT:
            text =
                "The recording format is not supported: only 8-bit mono PCM at 8000 samples per "
                "second can be recorded.";
            break;
        case WAVERR_STILLPLAYING:
            text = "The buffer is still queued on the sound input device.";
            break;
        case WAVERR_UNPREPARED:
            text = "The buffer header has not been prepared.";
            break;
        default:
            break;
    }
    MMRESULT result = MMSYSERR_NOERROR;
    if (text == nullptr) {
        text = "Unknown error code.";
        result = MMSYSERR_BADERRNUM;
    }
    size_t n = std::min<size_t>(std::strlen(text), cchText - 1);
    std::memcpy(pszText, text, n);
    pszText[n] = '\0';
    return result;
}
