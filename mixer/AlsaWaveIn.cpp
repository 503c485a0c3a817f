#include "AlsaWaveIn.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

namespace {

constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
constexpr uint32_t WAVE_FORMAT_QUERY = 0x1;

constexpr unsigned kRate = 8000;
constexpr unsigned kLatencyUs = 400000;  // the stream's buffer: tolerant of a loaded machine
constexpr snd_pcm_uframes_t kChunkFrames = 800;  // 100 ms per read, the meter's refresh
constexpr int kWaitMs = 100;                     // how long the worker blocks before rechecking
constexpr auto kReopenPause = std::chrono::seconds(1);

bool isCaptureFormat(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels == 1 && f.nSamplesPerSec == kRate &&
           f.wBitsPerSample == 8 && f.nBlockAlign == 1 && f.nAvgBytesPerSec == kRate;
}

// Opens "default" for U8 mono 8000 Hz capture in non-blocking mode; the stream is prepared, not
// started. Returns the negative ALSA error on failure.
int openCapture(snd_pcm_t** pcm) {
    // ALSA reads its configuration once per process; a sound server that started later is only
    // reached after the cached configuration is dropped.
    snd_config_update_free_global();
    int err = snd_pcm_open(pcm, "default", SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err < 0) {
        *pcm = nullptr;
        return err;
    }
    err = snd_pcm_set_params(*pcm, SND_PCM_FORMAT_U8, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kRate, 1,
                             kLatencyUs);
    if (err < 0) {
        snd_pcm_close(*pcm);
        *pcm = nullptr;
    }
    return err;
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

// The buffer leaves the queue: the caller sees WHDR_DONE and, through the release, its samples.
void markDone(WAVEHDR* h) {
    uint32_t flags = h->dwFlags.load(std::memory_order_relaxed);
    h->dwFlags.store((flags & ~WHDR_INQUEUE) | WHDR_DONE, std::memory_order_release);
}

}  // namespace

// One open capture stream: the PCM (owned by the worker thread once it runs), the queue of
// buffers and the recording flag the caller switches.
class AlsaWaveIn::Device {
public:
    Device(snd_pcm_t* pcm, std::atomic<int32_t>& peak) : pcm_(pcm), peak_(peak) {
        worker_ = std::thread([this] { run(); });
    }

    ~Device() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        worker_.join();
        if (pcm_ != nullptr)
            snd_pcm_close(pcm_);
    }

    MMRESULT prepare(WAVEHDR* h) {
        if (h->lpData == nullptr || h->dwBufferLength == 0)
            return MMSYSERR_INVALPARAM;
        std::lock_guard<std::mutex> lock(mutex_);
        h->dwFlags.fetch_or(WHDR_PREPARED);
        return MMSYSERR_NOERROR;
    }

    MMRESULT add(WAVEHDR* h) {
        std::lock_guard<std::mutex> lock(mutex_);
        uint32_t flags = h->dwFlags.load();
        if ((flags & WHDR_PREPARED) == 0)
            return WAVERR_UNPREPARED;
        if ((flags & WHDR_INQUEUE) != 0)
            return WAVERR_STILLPLAYING;
        h->dwBytesRecorded.store(0);
        h->dwFlags.store((flags & ~WHDR_DONE) | WHDR_INQUEUE);
        queue_.push_back(h);
        return MMSYSERR_NOERROR;
    }

    MMRESULT unprepare(WAVEHDR* h) {
        std::lock_guard<std::mutex> lock(mutex_);
        if ((h->dwFlags.load() & WHDR_INQUEUE) != 0)
            return WAVERR_STILLPLAYING;
        h->dwFlags.fetch_and(~WHDR_PREPARED);
        return MMSYSERR_NOERROR;
    }

    MMRESULT record(bool on) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            recording_ = on;
        }
        wake_.notify_all();
        return MMSYSERR_NOERROR;
    }

    // Stop: a partly filled buffer is handed back; the others stay queued for the next start.
    MMRESULT stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        recording_ = false;
        if (!queue_.empty() && queue_.front()->dwBytesRecorded.load() > 0) {
            markDone(queue_.front());
            queue_.pop_front();
        }
        wake_.notify_all();
        return MMSYSERR_NOERROR;
    }

    // Reset: every queued buffer is handed back as done.
    MMRESULT reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        recording_ = false;
        for (WAVEHDR* h : queue_)
            markDone(h);
        queue_.clear();
        wake_.notify_all();
        return MMSYSERR_NOERROR;
    }

    bool hasQueuedBuffers() {
        std::lock_guard<std::mutex> lock(mutex_);
        return !queue_.empty();
    }

private:
    void run();
    snd_pcm_sframes_t readChunk(uint8_t* samples, bool& running);
    void deliver(const uint8_t* samples, size_t count);

    snd_pcm_t* pcm_;
    std::atomic<int32_t>& peak_;
    std::mutex mutex_;  // guards queue_, recording_, quit_ and the queued headers
    std::condition_variable wake_;
    std::deque<WAVEHDR*> queue_;
    bool recording_ = false;
    bool quit_ = false;
    std::thread worker_;
};

void AlsaWaveIn::Device::run() {
    std::vector<uint8_t> chunk(kChunkFrames);
    bool running = false;  // the PCM was started and not dropped since
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
        if (!recording_) {
            if (running && pcm_ != nullptr) {
                lock.unlock();
                snd_pcm_drop(pcm_);
                lock.lock();
            }
            running = false;
            peak_.store(0);
            wake_.wait(lock, [this] { return quit_ || recording_; });
            continue;
        }
        lock.unlock();
        if (pcm_ == nullptr && openCapture(&pcm_) < 0)
            pcm_ = nullptr;
        snd_pcm_sframes_t got = pcm_ != nullptr ? readChunk(chunk.data(), running) : 0;
        lock.lock();
        if (got > 0 && recording_)
            deliver(chunk.data(), static_cast<size_t>(got));
        if (pcm_ == nullptr) {
            // The stream is gone (the sound server stopped): try again in a while, not in a loop.
            peak_.store(0);
            wake_.wait_for(lock, kReopenPause, [this] { return quit_ || !recording_; });
        }
    }
    if (running && pcm_ != nullptr)
        snd_pcm_drop(pcm_);
    peak_.store(0);
}

// Waits up to kWaitMs for samples and reads what is there. Recovers from an overrun; closes the
// stream when it failed for good. Returns the frames read, 0 when none.
snd_pcm_sframes_t AlsaWaveIn::Device::readChunk(uint8_t* samples, bool& running) {
    if (!running) {
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
        running = snd_pcm_start(pcm_) >= 0;
    }
    snd_pcm_sframes_t got = 0;
    if (running) {
        int ready = snd_pcm_wait(pcm_, kWaitMs);
        got = ready > 0 ? snd_pcm_readi(pcm_, samples, kChunkFrames) : ready;
    }
    if (got >= 0 || got == -EAGAIN)
        return std::max<snd_pcm_sframes_t>(got, 0);
    running = false;
    if ((got == -EPIPE || got == -ESTRPIPE) && snd_pcm_recover(pcm_, static_cast<int>(got), 1) >= 0)
        return 0;
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
    return 0;
}

// Called with the lock held: updates the peak and copies the samples into the queued buffers in
// order, handing back each buffer that becomes full.
void AlsaWaveIn::Device::deliver(const uint8_t* samples, size_t count) {
    int loudest = 0;
    for (size_t i = 0; i < count; ++i) {
        int v = static_cast<int>(samples[i]) - 128;
        if (std::abs(v) > std::abs(loudest))
            loudest = v;
    }
    peak_.store(std::clamp(loudest * 256, -32768, 32767));

    size_t offset = 0;
    while (offset < count && !queue_.empty()) {
        WAVEHDR* h = queue_.front();
        uint32_t have = h->dwBytesRecorded.load();
        size_t take = std::min<size_t>(h->dwBufferLength - have, count - offset);
        std::memcpy(h->lpData + have, samples + offset, take);
        offset += take;
        h->dwBytesRecorded.store(have + static_cast<uint32_t>(take));
        if (have + take == h->dwBufferLength) {
            queue_.pop_front();
            markDone(h);
        }
    }
}

AlsaWaveIn::AlsaWaveIn() = default;

AlsaWaveIn::~AlsaWaveIn() {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_.clear();
}

AlsaWaveIn::Device* AlsaWaveIn::find(HWAVEIN hwi) {
    auto it = devices_.find(hwi);
    return it == devices_.end() ? nullptr : it->second.get();
}

// Runs op on the open device hwi, under the lock.
template <typename Op>
MMRESULT AlsaWaveIn::withDevice(HWAVEIN hwi, Op op) {
    std::lock_guard<std::mutex> lock(mutex_);
    Device* d = find(hwi);
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
    snd_pcm_t* pcm = nullptr;
    int err = openCapture(&pcm);
    if (err < 0)
        return openResult(err);

    std::lock_guard<std::mutex> lock(mutex_);
    HWAVEIN handle = nextHandle_++;
    if (nextHandle_ == 0)
        nextHandle_ = 1;
    devices_[handle] = std::make_unique<Device>(pcm, peak_);
    *phwi = handle;
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaWaveIn::waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t /*cbwh*/) {
    return withDevice(
        hwi, [&](Device& d) { return pwh == nullptr ? MMSYSERR_INVALPARAM : d.prepare(pwh); });
}

MMRESULT AlsaWaveIn::waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, uint32_t /*cbwh*/) {
    return withDevice(hwi,
                      [&](Device& d) { return pwh == nullptr ? MMSYSERR_INVALPARAM : d.add(pwh); });
}

MMRESULT AlsaWaveIn::waveInStart(HWAVEIN hwi) {
    return withDevice(hwi, [](Device& d) { return d.record(true); });
}

MMRESULT AlsaWaveIn::waveInReset(HWAVEIN hwi) {
    return withDevice(hwi, [](Device& d) { return d.reset(); });
}

MMRESULT AlsaWaveIn::waveInStop(HWAVEIN hwi) {
    return withDevice(hwi, [](Device& d) { return d.stop(); });
}

MMRESULT AlsaWaveIn::waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t /*cbwh*/) {
    return withDevice(
        hwi, [&](Device& d) { return pwh == nullptr ? MMSYSERR_INVALPARAM : d.unprepare(pwh); });
}

MMRESULT AlsaWaveIn::waveInClose(HWAVEIN hwi) {
    return withDevice(hwi, [&](Device& d) {
        // Buffers still queued belong to the caller: closing now would leave them queued for good.
        if (d.hasQueuedBuffers())
            return WAVERR_STILLPLAYING;
        devices_.erase(hwi);  // stops and joins the worker, closes the stream; d is gone
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
