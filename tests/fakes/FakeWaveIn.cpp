#include "FakeWaveIn.h"

#include <algorithm>
#include <cstring>

void FakeWaveIn::failCall(Op op, int nth, MMRESULT code) {
    failures_[{op, nth}] = code;
}

std::optional<MMRESULT> FakeWaveIn::injected(Op op) {
    int nth = ++callCounts_[op];
    for (int key : {nth, 0}) {
        auto it = failures_.find({op, key});
        if (it != failures_.end()) {
            return it->second;
        }
    }
    return std::nullopt;
}

MMRESULT FakeWaveIn::record(Call call) {
    call.sequence = nextFakeCallSequence();
    calls_.push_back(call);
    return call.result;
}

MMRESULT FakeWaveIn::checkHandle(HWAVEIN hwi) const {
    return hwi != 0 && hwi == handle_ ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

int FakeWaveIn::count(Op op) const {
    return static_cast<int>(std::count_if(calls_.begin(), calls_.end(),
                                          [op](const Call& call) { return call.op == op; }));
}

bool FakeWaveIn::finishNext() {
    if (queue_.empty()) {
        return false;
    }
    WAVEHDR* header = queue_.front();
    queue_.pop_front();
    header->dwBytesRecorded = header->dwBufferLength;
    header->dwFlags = (header->dwFlags.load() & ~WHDR_INQUEUE) | WHDR_DONE;
    return true;
}

void FakeWaveIn::finishAll() {
    while (finishNext()) {
    }
}

std::string FakeWaveIn::errorText(MMRESULT code) {
    return "Fake wave-input error " + std::to_string(code);
}

MMRESULT FakeWaveIn::waveInOpen(HWAVEIN* phwi, uint32_t uDeviceID, const WAVEFORMATEX* pwfx,
                                uintptr_t dwCallback, uintptr_t dwInstance, uint32_t fdwOpen) {
    Call call{Op::Open};
    if (pwfx != nullptr) {
        format_ = *pwfx;
    }
    if (auto code = injected(Op::Open)) {
        call.result = *code;
    } else if (phwi == nullptr || pwfx == nullptr || dwCallback != 0 || dwInstance != 0 ||
               fdwOpen != 0) {
        call.result = MMSYSERR_INVALPARAM;
    } else if (!devicePresent_ || uDeviceID != 0) {
        call.result = MMSYSERR_BADDEVICEID;
    } else if (handle_ != 0) {
        call.result = MMSYSERR_ALLOCATED;
    } else if (pwfx->wFormatTag != WAVE_FORMAT_PCM || pwfx->nChannels != 1 ||
               pwfx->nSamplesPerSec != 8000 || pwfx->wBitsPerSample != 8) {
        call.result = WAVERR_BADFORMAT;
    } else {
        handle_ = nextHandle_++;
        *phwi = handle_;
        call.handle = handle_;
    }
    return record(call);
}

MMRESULT FakeWaveIn::waveInPrepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) {
    Call call{Op::PrepareHeader, hwi, pwh};
    call.result = checkHandle(hwi);
    if (call.result == 0) {
        if (auto code = injected(Op::PrepareHeader)) {
            call.result = *code;
        } else if (pwh == nullptr || cbwh != WAVEHDR_SIZE || pwh->lpData == nullptr) {
            call.result = MMSYSERR_INVALPARAM;
        } else {
            bool zero = std::all_of(pwh->lpData, pwh->lpData + pwh->dwBufferLength,
                                    [](char c) { return c == 0; });
            prepared_.push_back({pwh, pwh->dwBufferLength, zero});
            pwh->dwFlags |= WHDR_PREPARED;
        }
    }
    return record(call);
}

MMRESULT FakeWaveIn::waveInAddBuffer(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) {
    Call call{Op::AddBuffer, hwi, pwh};
    call.result = checkHandle(hwi);
    if (call.result == 0) {
        if (auto code = injected(Op::AddBuffer)) {
            call.result = *code;
        } else if (pwh == nullptr || cbwh != WAVEHDR_SIZE || pwh->lpData == nullptr) {
            call.result = MMSYSERR_INVALPARAM;
        } else {
            pwh->dwFlags = (pwh->dwFlags.load() & ~WHDR_DONE) | WHDR_INQUEUE;
            queue_.push_back(pwh);
        }
    }
    return record(call);
}

MMRESULT FakeWaveIn::waveInStart(HWAVEIN hwi) {
    Call call{Op::Start, hwi};
    call.result = checkHandle(hwi);
    if (call.result == 0) {
        call.result = injected(Op::Start).value_or(MMSYSERR_NOERROR);
    }
    return record(call);
}

MMRESULT FakeWaveIn::waveInReset(HWAVEIN hwi) {
    Call call{Op::Reset, hwi};
    call.result = checkHandle(hwi);
    if (call.result == 0) {
        finishAll();
    }
    return record(call);
}

MMRESULT FakeWaveIn::waveInStop(HWAVEIN hwi) {
    Call call{Op::Stop, hwi};
    call.result = checkHandle(hwi);
    return record(call);
}

MMRESULT FakeWaveIn::waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR* pwh, uint32_t cbwh) {
    Call call{Op::UnprepareHeader, hwi, pwh};
    call.result = checkHandle(hwi);
    if (call.result == 0) {
        if (pwh == nullptr || cbwh != WAVEHDR_SIZE) {
            call.result = MMSYSERR_INVALPARAM;
        } else if (std::find(queue_.begin(), queue_.end(), pwh) != queue_.end()) {
            call.result = WAVERR_STILLPLAYING;
        } else {
            pwh->dwFlags &= ~WHDR_PREPARED;
        }
    }
    return record(call);
}

MMRESULT FakeWaveIn::waveInClose(HWAVEIN hwi) {
    Call call{Op::Close, hwi};
    call.result = checkHandle(hwi);
    if (call.result == 0) {
        if (!queue_.empty()) {
            call.result = WAVERR_STILLPLAYING;
        } else {
            handle_ = 0;
        }
    }
    return record(call);
}

MMRESULT FakeWaveIn::waveInGetErrorTextA(MMRESULT mmrError, char* pszText, uint32_t cchText) {
    Call call{Op::GetErrorText};
    call.code = mmrError;
    if (pszText == nullptr || cchText == 0) {
        call.result = MMSYSERR_INVALPARAM;
    } else {
        std::string text = errorText(mmrError);
        size_t n = std::min<size_t>(text.size(), cchText - 1);
        std::memcpy(pszText, text.data(), n);
        pszText[n] = '\0';
    }
    return record(call);
}
