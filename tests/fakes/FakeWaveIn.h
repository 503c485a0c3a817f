#pragma once
// An in-memory wave-input service for tests. Nothing records by itself: the test plays the
// device and marks queued buffers as filled with finishNext() / finishAll(), which set
// WHDR_DONE as the real device thread does.
//
//     FakeWaveIn waveIn;                 // device 0 present, every call succeeds
//     waveIn.setDevicePresent(false);    // waveInOpen fails with MMSYSERR_BADDEVICEID
//     waveIn.failNext(FakeWaveIn::Op::PrepareHeader, MMSYSERR_NOMEM);  // the next prepare
//
// Every call is recorded in calls(), with the header it was given and its result. Calls on a
// handle that is not the open one fail, and so do unpreparing a queued buffer and closing while
// buffers are queued, as on the real device.

#include "WaveInService.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

class FakeWaveIn : public WaveInService {
public:
    enum class Op { Open, PrepareHeader, AddBuffer, Start, Reset, Stop, UnprepareHeader, Close };
    struct Call {
        Op op;
        WAVEHDR* header;
        MMRESULT result;
    };

    void setDevicePresent(bool present) { devicePresent_ = present; }
    // The next call of op on the open handle fails with code.
    void failNext(Op op, MMRESULT code) { failures_[op] = code; }
    bool finishNext() {
        if (queue_.empty())
            return false;
        WAVEHDR* header = queue_.front();
        queue_.pop_front();
        header->dwBytesRecorded = header->dwBufferLength;
        header->dwFlags = (header->dwFlags.load() & ~WHDR_INQUEUE) | WHDR_DONE;
        return true;
    }
    void finishAll() {
        while (finishNext()) {
        }
    }

    const std::vector<Call>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }
    int count(Op op) const {
        return static_cast<int>(std::count_if(calls_.begin(), calls_.end(),
                                              [op](const Call& c) { return c.op == op; }));
    }
    const std::deque<WAVEHDR*>& queue() const { return queue_; }
    static std::string errorText(MMRESULT code) {
        return "Wave-input error " + std::to_string(code);
    }

    MMRESULT waveInOpen(HWAVEIN* phwi, uint32_t uDeviceID, const WAVEFORMATEX*, uintptr_t,
                        uintptr_t, uint32_t) override {
        return call(Op::Open, 0, nullptr, [&] {
            if (!devicePresent_ || uDeviceID != 0)
                return MMSYSERR_BADDEVICEID;
            *phwi = handle_ = nextHandle_++;
            return MMSYSERR_NOERROR;
        });
    }
    MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t) override {
        return call(Op::PrepareHeader, hwi, pwh, [&] {
            pwh->dwFlags |= WHDR_PREPARED;
            return MMSYSERR_NOERROR;
        });
    }
    MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, uint32_t) override {
        return call(Op::AddBuffer, hwi, pwh, [&] {
            pwh->dwFlags = (pwh->dwFlags.load() & ~WHDR_DONE) | WHDR_INQUEUE;
            queue_.push_back(pwh);
            return MMSYSERR_NOERROR;
        });
    }
    MMRESULT waveInStart(HWAVEIN hwi) override { return call(Op::Start, hwi, nullptr, ok); }
    MMRESULT waveInReset(HWAVEIN hwi) override {
        return call(Op::Reset, hwi, nullptr, [&] { return finishAll(), MMSYSERR_NOERROR; });
    }
    MMRESULT waveInStop(HWAVEIN hwi) override { return call(Op::Stop, hwi, nullptr, ok); }
    MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t) override {
        return call(Op::UnprepareHeader, hwi, pwh, [&] {
            if (std::find(queue_.begin(), queue_.end(), pwh) != queue_.end())
                return WAVERR_STILLPLAYING;
            pwh->dwFlags &= ~WHDR_PREPARED;
            return MMSYSERR_NOERROR;
        });
    }
    MMRESULT waveInClose(HWAVEIN hwi) override {
        return call(Op::Close, hwi, nullptr, [&] {
            if (!queue_.empty())
                return WAVERR_STILLPLAYING;
            handle_ = 0;
            return MMSYSERR_NOERROR;
        });
    }
    MMRESULT waveInGetErrorTextA(MMRESULT code, char* text, uint32_t size) override {
        std::snprintf(text, size, "%s", errorText(code).c_str());  // cut to the buffer
        return MMSYSERR_NOERROR;
    }

private:
    static MMRESULT ok() { return MMSYSERR_NOERROR; }
    // Records a call; its result is the first failure that applies: a handle that is not the open
    // one, then an injected failure, then check().
    template <typename Check>
    MMRESULT call(Op op, HWAVEIN hwi, WAVEHDR* pwh, Check check) {
        MMRESULT result = op != Op::Open && (hwi == 0 || hwi != handle_) ? MMSYSERR_INVALHANDLE
                          : failures_.count(op) ? failures_.extract(op).mapped()
                                                : check();
        calls_.push_back({op, pwh, result});
        return result;
    }

    bool devicePresent_ = true;
    std::map<Op, MMRESULT> failures_;
    HWAVEIN handle_ = 0;
    HWAVEIN nextHandle_ = 0x40;
    std::deque<WAVEHDR*> queue_;
    std::vector<Call> calls_;
};
