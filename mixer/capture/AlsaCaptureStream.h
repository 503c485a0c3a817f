#pragma once
// One open ALSA capture stream on "default", U8 mono 8000 Hz, with the worker thread that owns
// its PCM. While recording, the worker fills the queued buffers in order and sets WHDR_DONE in a
// buffer's dwFlags once it is full; it keeps reading while no buffer is queued, so the peak stays
// current and the stream never overruns. If the stream fails (the sound server went away), the
// worker reopens it once a second while recording.
//
// close() returns within a second whatever the sound server does: a worker stuck in a call to a
// hung server is left to finish on its own, holding the only reference to the stream, and
// touches no buffer of the caller's again.

#include "WaveInService.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

struct _snd_pcm;

class AlsaCaptureStream {
public:
    // Opens the device and starts the worker (not recording yet). peak receives the loudest
    // recent sample, scaled to -32768..32767. Null and the negative ALSA error in *err on failure.
    static std::shared_ptr<AlsaCaptureStream> open(std::shared_ptr<std::atomic<int32_t>> peak,
                                                   int* err);
    ~AlsaCaptureStream();
    AlsaCaptureStream(const AlsaCaptureStream&) = delete;
    AlsaCaptureStream& operator=(const AlsaCaptureStream&) = delete;

    MMRESULT prepare(WAVEHDR* h);
    MMRESULT add(WAVEHDR* h);
    MMRESULT unprepare(WAVEHDR* h);
    MMRESULT record(bool on);
    // Stop: a partly filled buffer is handed back; the others stay queued for the next start.
    MMRESULT stop();
    // Reset: every queued buffer is handed back as done.
    MMRESULT reset();
    bool hasQueuedBuffers();
    // Ends recording and the worker; forgets (does not hand back) any buffer still queued.
    void close();

private:
    AlsaCaptureStream(_snd_pcm* pcm, std::shared_ptr<std::atomic<int32_t>> peak);

    void run();
    long readChunk(uint8_t* samples, bool& running);
    void deliver(const uint8_t* samples, size_t count);

    _snd_pcm* pcm_;  // owned by the worker once it runs
    std::shared_ptr<std::atomic<int32_t>> peak_;
    std::mutex mutex_;  // guards queue_, the flags and the queued headers
    std::condition_variable wake_;
    std::deque<WAVEHDR*> queue_;
    bool recording_ = false;
    bool quit_ = false;
    bool finished_ = false;
    std::thread worker_;
};
