#pragma once
// An in-memory wave-input service for tests. Nothing records by itself: the test plays the
// device and marks queued buffers as filled with finishNext() / finishAll(), which set
// WHDR_DONE as the real device thread does.
//
//     FakeWaveIn waveIn;                 // device 0 present, every call succeeds
//     waveIn.setDevicePresent(false);    // waveInOpen fails with MMSYSERR_BADDEVICEID
//     waveIn.failCall(FakeWaveIn::Op::PrepareHeader, 1);  // the first prepare fails
//
// Every call is recorded in calls(), with the header it was given.

#include "WaveInService.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

class FakeWaveIn : public WaveInService {
public:
    enum class Op { Open, PrepareHeader, AddBuffer, Start, Reset, Stop, UnprepareHeader, Close };

    struct Call {
        Op op;
        WAVEHDR* header = nullptr;
        MMRESULT result = 0;
    };

    void setDevicePresent(bool present) { devicePresent_ = present; }
    // The nth call (1-based) of op fails with code.
    void failCall(Op op, int nth, MMRESULT code) { failures_[{op, nth}] = code; }

    // The device fills the oldest queued buffer / every queued buffer.
    bool finishNext();
    void finishAll() {
        while (finishNext()) {
        }
    }

    const std::vector<Call>& calls() const { return calls_; }
    void clearCalls() { calls_.clear(); }
    int count(Op op) const;
    const std::optional<WAVEFORMATEX>& openedFormat() const { return format_; }
    const std::deque<WAVEHDR*>& queue() const { return queue_; }
    static std::string errorText(MMRESULT code) {
        return "Wave-input error " + std::to_string(code);
    }

    MMRESULT waveInOpen(HWAVEIN* phwi, uint32_t uDeviceID, const WAVEFORMATEX* pwfx,
                        uintptr_t dwCallback, uintptr_t dwInstance, uint32_t fdwOpen) override;
    MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) override;
    MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) override;
    MMRESULT waveInStart(HWAVEIN hwi) override { return call(Op::Start, hwi); }
    MMRESULT waveInReset(HWAVEIN hwi) override;
    MMRESULT waveInStop(HWAVEIN hwi) override { return call(Op::Stop, hwi); }
    MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) override;
    MMRESULT waveInClose(HWAVEIN hwi) override;
    MMRESULT waveInGetErrorTextA(MMRESULT mmrError, char* pszText, uint32_t cchText) override;

private:
    // Records a call of op on hwi, header pwh; its result is the first failure that applies:
    // a bad handle or header, then an injected failure, then check(). 0 means success.
    template <typename Check>
    MMRESULT call(Op op, HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh, Check check);
    MMRESULT call(Op op, HWAVEIN hwi);

    bool devicePresent_ = true;
    std::map<std::pair<Op, int>, MMRESULT> failures_;
    std::map<Op, int> callCounts_;
    HWAVEIN handle_ = 0;
    HWAVEIN nextHandle_ = 0x40;
    std::optional<WAVEFORMATEX> format_;
    std::deque<WAVEHDR*> queue_;
    std::vector<Call> calls_;
};
