#include "FakeWaveIn.h"

#include <algorithm>
#include <cstring>

template <typename Check>
MMRESULT FakeWaveIn::call(Op op, HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh, Check check) {
    int nth = ++callCounts_[op];
    MMRESULT result = MMSYSERR_NOERROR;
    if (op != Op::Open && (hwi == 0 || hwi != handle_))
        result = MMSYSERR_INVALHANDLE;
    else if (cbwh != WAVEHDR_SIZE || (pwh != nullptr && pwh->lpData == nullptr))
        result = MMSYSERR_INVALPARAM;
    auto failure = failures_.find({op, nth});
    if (result == MMSYSERR_NOERROR && failure != failures_.end())
        result = failure->second;
    if (result == MMSYSERR_NOERROR)
        result = check();
    calls_.push_back({op, pwh, result});
    return result;
}

MMRESULT FakeWaveIn::call(Op op, HWAVEIN hwi) {
    return call(op, hwi, nullptr, WAVEHDR_SIZE, [] { return MMSYSERR_NOERROR; });
}

int FakeWaveIn::count(Op op) const {
    return static_cast<int>(std::count_if(calls_.begin(), calls_.end(),
                                          [op](const Call& call) { return call.op == op; }));
}

bool FakeWaveIn::finishNext() {
    if (queue_.empty())
        return false;
    WAVEHDR* header = queue_.front();
    queue_.pop_front();
    header->dwBytesRecorded = header->dwBufferLength;
    header->dwFlags = (header->dwFlags.load() & ~WHDR_INQUEUE) | WHDR_DONE;
    return true;
}

MMRESULT FakeWaveIn::waveInOpen(HWAVEIN* phwi, uint32_t uDeviceID, const WAVEFORMATEX* pwfx,
                                uintptr_t dwCallback, uintptr_t dwInstance, uint32_t fdwOpen) {
    if (pwfx != nullptr)
        format_ = *pwfx;
    return call(Op::Open, 0, nullptr, WAVEHDR_SIZE, [&] {
        if (phwi == nullptr || pwfx == nullptr || dwCallback != 0 || dwInstance != 0 ||
            fdwOpen != 0)
            return MMSYSERR_INVALPARAM;
        if (!devicePresent_ || uDeviceID != 0)
            return MMSYSERR_BADDEVICEID;
        if (handle_ != 0)
            return MMSYSERR_ALLOCATED;
        *phwi = handle_ = nextHandle_++;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT FakeWaveIn::waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) {
    return call(Op::PrepareHeader, hwi, pwh, cbwh, [&] {
        // Fresh buffers are zero-filled, like the blocks the caller allocates.
        if (pwh == nullptr || std::any_of(pwh->lpData, pwh->lpData + pwh->dwBufferLength,
                                          [](char c) { return c != 0; }))
            return MMSYSERR_INVALPARAM;
        pwh->dwFlags |= WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT FakeWaveIn::waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) {
    return call(Op::AddBuffer, hwi, pwh, cbwh, [&] {
        if (pwh == nullptr)
            return MMSYSERR_INVALPARAM;
        pwh->dwFlags = (pwh->dwFlags.load() & ~WHDR_DONE) | WHDR_INQUEUE;
        queue_.push_back(pwh);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT FakeWaveIn::waveInReset(HWAVEIN hwi) {
    return call(Op::Reset, hwi, nullptr, WAVEHDR_SIZE, [&] {
        finishAll();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT FakeWaveIn::waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) {
    return call(Op::UnprepareHeader, hwi, pwh, cbwh, [&] {
        if (pwh == nullptr)
            return MMSYSERR_INVALPARAM;
        if (std::find(queue_.begin(), queue_.end(), pwh) != queue_.end())
            return WAVERR_STILLPLAYING;
        pwh->dwFlags &= ~WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT FakeWaveIn::waveInClose(HWAVEIN hwi) {
    return call(Op::Close, hwi, nullptr, WAVEHDR_SIZE, [&] {
        if (!queue_.empty())
            return WAVERR_STILLPLAYING;
        handle_ = 0;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT FakeWaveIn::waveInGetErrorTextA(MMRESULT mmrError, char* pszText, uint32_t cchText) {
    if (pszText == nullptr || cchText == 0)
        return MMSYSERR_INVALPARAM;
    std::string text = errorText(mmrError);
    size_t n = std::min<size_t>(text.size(), cchText - 1);
    std::memcpy(pszText, text.data(), n);
    pszText[n] = '\0';
    return MMSYSERR_NOERROR;
}
