#include "AlsaCaptureStream.h"

#include "AlsaConfig.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned kRate = 8000;
constexpr unsigned kLatencyUs = 400000;  // the stream's buffer: tolerant of a loaded machine
constexpr snd_pcm_uframes_t kChunkFrames = 800;  // 100 ms per read, the meter's refresh
constexpr int kWaitMs = 100;                     // how long the worker blocks before rechecking
constexpr auto kReopenPause = std::chrono::seconds(1);
// How long close() waits for the worker; a worker inside a hung server's call is left behind.
constexpr auto kCloseWait = std::chrono::milliseconds(900);

// Opens "default" for U8 mono 8000 Hz capture in non-blocking mode; the stream is prepared, not
// started. Returns the negative ALSA error on failure.
int openCapture(snd_pcm_t** pcm) {
    // A sound server that started later is only reached with a freshly read configuration.
    std::unique_lock<std::mutex> config = AlsaConfig::reload();
    int err = snd_pcm_open(pcm, "default", SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    config.unlock();
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

// The buffer leaves the queue: the caller sees WHDR_DONE and, through the release, its samples.
void markDone(WAVEHDR* h) {
    uint32_t flags = h->dwFlags.load(std::memory_order_relaxed);
    h->dwFlags.store((flags & ~WHDR_INQUEUE) | WHDR_DONE, std::memory_order_release);
}

}  // namespace

std::shared_ptr<AlsaCaptureStream> AlsaCaptureStream::open(
    std::shared_ptr<std::atomic<int32_t>> peak, int* err) {
    snd_pcm_t* pcm = nullptr;
    *err = openCapture(&pcm);
    if (*err < 0)
        return nullptr;
    std::shared_ptr<AlsaCaptureStream> stream(new AlsaCaptureStream(pcm, std::move(peak)));
    // The worker holds the stream too, so a worker left behind by close() still has it.
    stream->worker_ = std::thread([stream] { stream->run(); });
    return stream;
}

AlsaCaptureStream::AlsaCaptureStream(snd_pcm_t* pcm, std::shared_ptr<std::atomic<int32_t>> peak)
    : pcm_(pcm), peak_(std::move(peak)) {}

AlsaCaptureStream::~AlsaCaptureStream() {
    if (worker_.joinable())
        close();
}

void AlsaCaptureStream::close() {
    std::unique_lock<std::mutex> lock(mutex_);
    quit_ = true;
    recording_ = false;
    queue_.clear();
    peak_->store(0);
    wake_.notify_all();
    const bool ended = wake_.wait_for(lock, kCloseWait, [this] { return finished_; });
    lock.unlock();
    if (ended)
        worker_.join();
    else
        worker_.detach();
}

MMRESULT AlsaCaptureStream::prepare(WAVEHDR* h) {
    if (h->lpData == nullptr || h->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    std::lock_guard<std::mutex> lock(mutex_);
    h->dwFlags.fetch_or(WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaCaptureStream::add(WAVEHDR* h) {
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

MMRESULT AlsaCaptureStream::unprepare(WAVEHDR* h) {
    std::lock_guard<std::mutex> lock(mutex_);
    if ((h->dwFlags.load() & WHDR_INQUEUE) != 0)
        return WAVERR_STILLPLAYING;
    h->dwFlags.fetch_and(~WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaCaptureStream::record(bool on) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        recording_ = on;
    }
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaCaptureStream::stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    recording_ = false;
    if (!queue_.empty() && queue_.front()->dwBytesRecorded.load() > 0) {
        markDone(queue_.front());
        queue_.pop_front();
    }
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaCaptureStream::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    recording_ = false;
    for (WAVEHDR* h : queue_)
        markDone(h);
    queue_.clear();
    wake_.notify_all();
    return MMSYSERR_NOERROR;
}

bool AlsaCaptureStream::hasQueuedBuffers() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !queue_.empty();
}

void AlsaCaptureStream::run() {
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
            peak_->store(0);
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
        if (pcm_ == nullptr || got < 0) {
            // The stream is gone (the sound server stopped) or would not start: try again in a
            // while, not in a loop.
            peak_->store(0);
            wake_.wait_for(lock, kReopenPause, [this] { return quit_ || !recording_; });
        }
    }
    lock.unlock();
    if (running && pcm_ != nullptr)
        snd_pcm_drop(pcm_);
    if (pcm_ != nullptr)
        snd_pcm_close(pcm_);
    pcm_ = nullptr;
    lock.lock();
    finished_ = true;
    wake_.notify_all();
}

// Waits up to kWaitMs for samples and reads what is there. Recovers from an overrun; closes the
// stream when it failed for good. Returns the frames read, 0 when none, -1 when the stream would
// not start (the caller pauses before it tries again).
long AlsaCaptureStream::readChunk(uint8_t* samples, bool& running) {
    if (!running) {
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
        running = snd_pcm_start(pcm_) >= 0;
        if (!running)
            return -1;
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
void AlsaCaptureStream::deliver(const uint8_t* samples, size_t count) {
    int loudest = 0;
    for (size_t i = 0; i < count; ++i) {
        int v = static_cast<int>(samples[i]) - 128;
        if (std::abs(v) > std::abs(loudest))
            loudest = v;
    }
    peak_->store(std::clamp(loudest * 256, -32768, 32767));

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
