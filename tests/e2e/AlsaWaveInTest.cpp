// AlsaWaveIn against a real PulseAudio server: buffers fill in order from the default source, the
// capture feeds the mixer's peak meter, and a missing server is a clean error.

#include "AlsaMixer.h"
#include "AlsaWaveIn.h"
#include "PulseServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kSize = 8192;

WAVEFORMATEX captureFormat() {
    return WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
}

struct Buffers {
    std::vector<char> data[2] = {std::vector<char>(kSize), std::vector<char>(kSize)};
    WAVEHDR headers[2];
    Buffers() {
        for (int i = 0; i < 2; ++i) {
            headers[i].lpData = data[i].data();
            headers[i].dwBufferLength = kSize;
        }
    }
    bool done(int i) const { return (headers[i].dwFlags.load() & WHDR_DONE) != 0; }
};

// The mixer's wave-in peak meter, read as clsVolume reads it.
int32_t readPeak(AlsaMixer& mixer) {
    HMIXER h = 0;
    if (mixer.mixerOpen(&h, 0, 0, 0, 0) != 0)
        return -1;
    MIXERLINE line{};
    line.cbStruct = MIXERLINE_SIZE;
    line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;
    MIXERCONTROL meter{};
    MIXERLINECONTROLS lc{MIXERLINECONTROLS_SIZE, 0,     MIXERCONTROL_CONTROLTYPE_PEAKMETER, 1,
                         MIXERCONTROL_SIZE,      &meter};
    int32_t value = -1;
    MIXERCONTROLDETAILS d{MIXERCONTROLDETAILS_SIZE, 0, 1, 0, 4, &value};
    if (mixer.mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_COMPONENTTYPE) == 0) {
        lc.dwLineID = line.dwLineID;
        if (mixer.mixerGetLineControlsA(h, &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE) == 0) {
            d.dwControlID = meter.dwControlID;
            mixer.mixerGetControlDetailsA(h, &d, MIXER_GETCONTROLDETAILSF_VALUE);
        }
    }
    mixer.mixerClose(h);
    return value;
}

}  // namespace

TEST(AlsaWaveIn, RefusesWhatItCannotDoAndDescribesEveryCode) {
    PulseServer server;
    ASSERT_TRUE(server.running()) << server.startLog();
    AlsaWaveIn waveIn;
    WAVEFORMATEX format = captureFormat();
    HWAVEIN h = 0;
    EXPECT_EQ(waveIn.waveInOpen(&h, 1, &format, 0, 0, 0), MMSYSERR_BADDEVICEID);
    for (auto change : {+[](WAVEFORMATEX& f) { f.nSamplesPerSec = 44100; },
                        +[](WAVEFORMATEX& f) { f.nChannels = 2; },
                        +[](WAVEFORMATEX& f) { f.wBitsPerSample = 16; },
                        +[](WAVEFORMATEX& f) { f.wFormatTag = 3; }}) {
        WAVEFORMATEX other = captureFormat();
        change(other);
        EXPECT_EQ(waveIn.waveInOpen(&h, 0, &other, 0, 0, 0), WAVERR_BADFORMAT);
    }
    EXPECT_EQ(waveIn.waveInStart(12345), MMSYSERR_INVALHANDLE);

    char text[200];
    for (MMRESULT code : {0u, 1u, 2u, 4u, 5u, 6u, 7u, 11u, 32u, 33u, 34u}) {
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(waveIn.waveInGetErrorTextA(code, text, sizeof text), MMSYSERR_NOERROR);
        EXPECT_GT(std::strlen(text), 10u) << code;
    }
    EXPECT_NE(waveIn.waveInGetErrorTextA(12345, text, sizeof text), MMSYSERR_NOERROR);
    EXPECT_GT(std::strlen(text), 0u);
    char tiny[8];
    waveIn.waveInGetErrorTextA(WAVERR_BADFORMAT, tiny, sizeof tiny);
    EXPECT_EQ(std::strlen(tiny), 7u) << "the text is cut to the buffer, NUL included";

    // Without a server there is no device to open.
    server.stop();
    EXPECT_EQ(waveIn.waveInOpen(&h, 0, &format, 0, 0, 0), MMSYSERR_NODRIVER);
}

TEST(AlsaWaveIn, FillsQueuedBuffersInOrderAndFeedsThePeakMeter) {
    PulseServer server(true);
    ASSERT_TRUE(server.running()) << server.startLog();
    AlsaWaveIn waveIn;
    AlsaMixer mixer(&waveIn);
    WAVEFORMATEX format = captureFormat();
    HWAVEIN h = 0;
    ASSERT_EQ(waveIn.waveInOpen(&h, 0, &format, 0, 0, 0), MMSYSERR_NOERROR);
    Buffers b;
    EXPECT_EQ(waveIn.waveInAddBuffer(h, &b.headers[0], WAVEHDR_SIZE), WAVERR_UNPREPARED);
    for (WAVEHDR& hdr : b.headers) {
        ASSERT_EQ(waveIn.waveInPrepareHeader(h, &hdr, WAVEHDR_SIZE), MMSYSERR_NOERROR);
        ASSERT_EQ(waveIn.waveInAddBuffer(h, &hdr, WAVEHDR_SIZE), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveIn.waveInAddBuffer(h, &b.headers[0], WAVEHDR_SIZE), WAVERR_STILLPLAYING);
    EXPECT_EQ(readPeak(mixer), 0) << "nothing records yet";
    ASSERT_EQ(waveIn.waveInStart(h), MMSYSERR_NOERROR);

    // Three rounds: both buffers fill, the first one first, and go back to the device.
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(PulseServer::waitFor([&] { return b.done(0); })) << round;
        EXPECT_EQ(b.headers[0].dwBytesRecorded.load(), kSize);
        ASSERT_TRUE(PulseServer::waitFor([&] { return b.done(1); })) << round;
        auto [lo, hi] = std::minmax_element(b.data[1].begin(), b.data[1].end(),
                                            [](char x, char y) { return uint8_t(x) < uint8_t(y); });
        EXPECT_GT(uint8_t(*hi) - uint8_t(*lo), 64) << "a sine fills the buffer, not silence";
        for (WAVEHDR& hdr : b.headers)
            ASSERT_EQ(waveIn.waveInAddBuffer(h, &hdr, WAVEHDR_SIZE), MMSYSERR_NOERROR);
    }
    EXPECT_GT(std::abs(readPeak(mixer)), 8000) << "the sample of greatest magnitude, signed";

    // Reset hands back every queued buffer at once; then the capture can be closed.
    EXPECT_EQ(waveIn.waveInClose(h), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveIn.waveInUnprepareHeader(h, &b.headers[0], WAVEHDR_SIZE), WAVERR_STILLPLAYING);
    ASSERT_EQ(waveIn.waveInReset(h), MMSYSERR_NOERROR);
    EXPECT_TRUE(b.done(0) && b.done(1));
    EXPECT_EQ(waveIn.waveInStop(h), MMSYSERR_NOERROR);
    for (WAVEHDR& hdr : b.headers)
        EXPECT_EQ(waveIn.waveInUnprepareHeader(h, &hdr, WAVEHDR_SIZE), MMSYSERR_NOERROR);
    EXPECT_EQ(waveIn.waveInClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(readPeak(mixer), 0);
    EXPECT_EQ(waveIn.waveInStart(h), MMSYSERR_INVALHANDLE);
}

TEST(AlsaWaveIn, SilentSourceReadsZeroAndAStoppedServerDoesNotHangTheCapture) {
    PulseServer server;
    ASSERT_TRUE(server.running()) << server.startLog();
    AlsaWaveIn waveIn;
    AlsaMixer mixer(&waveIn);
    WAVEFORMATEX format = captureFormat();
    HWAVEIN h = 0;
    ASSERT_EQ(waveIn.waveInOpen(&h, 0, &format, 0, 0, 0), MMSYSERR_NOERROR);
    Buffers b;
    ASSERT_EQ(waveIn.waveInPrepareHeader(h, &b.headers[0], WAVEHDR_SIZE), MMSYSERR_NOERROR);
    ASSERT_EQ(waveIn.waveInAddBuffer(h, &b.headers[0], WAVEHDR_SIZE), MMSYSERR_NOERROR);
    ASSERT_EQ(waveIn.waveInStart(h), MMSYSERR_NOERROR);
    ASSERT_TRUE(PulseServer::waitFor([&] { return b.done(0); }));
    EXPECT_TRUE(
        std::all_of(b.data[0].begin(), b.data[0].end(), [](char c) { return uint8_t(c) == 128; }));
    EXPECT_EQ(readPeak(mixer), 0);

    // The server goes away under a running capture: the buffer never fills, but reset and close
    // still return promptly.
    ASSERT_EQ(waveIn.waveInAddBuffer(h, &b.headers[0], WAVEHDR_SIZE), MMSYSERR_NOERROR);
    server.stop();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(waveIn.waveInReset(h), MMSYSERR_NOERROR);
    EXPECT_TRUE(b.done(0));
    EXPECT_EQ(waveIn.waveInUnprepareHeader(h, &b.headers[0], WAVEHDR_SIZE), MMSYSERR_NOERROR);
    EXPECT_EQ(waveIn.waveInClose(h), MMSYSERR_NOERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}
