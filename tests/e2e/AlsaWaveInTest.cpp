// AlsaWaveIn against a real PulseAudio server: it refuses what it cannot record, fills queued
// buffers in order from the default source, and hands them back promptly on reset, also when the
// server went away under a running capture. (The peak of a loud source is checked through
// clsVolume's input meter.)

#include "AlsaWaveIn.h"
#include "PulseServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// The one format the device records: 8 kHz, mono, 8 bits.
constexpr WAVEFORMATEX kFormat{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};

// Queues a buffer, which needs a prepared header.
void queue(AlsaWaveIn& waveIn, HWAVEIN h, WAVEHDR& header, std::vector<char>& data) {
    header.lpData = data.data();
    header.dwBufferLength = static_cast<uint32_t>(data.size());
    EXPECT_EQ(waveIn.waveInAddBuffer(h, &header, WAVEHDR_SIZE), WAVERR_UNPREPARED);
    EXPECT_EQ(waveIn.waveInPrepareHeader(h, &header, WAVEHDR_SIZE), MMSYSERR_NOERROR);
    EXPECT_EQ(waveIn.waveInAddBuffer(h, &header, WAVEHDR_SIZE), MMSYSERR_NOERROR);
}

}  // namespace

TEST(AlsaWaveIn, FillsQueuedBuffersInOrderAndHandsThemBackOnReset) {
    PulseServer server;  // the default source is the idle sink's silent monitor
    AlsaWaveIn waveIn;
    HWAVEIN h = 0;
    EXPECT_EQ(waveIn.waveInOpen(&h, 1, &kFormat, 0, 0, 0), MMSYSERR_BADDEVICEID);
    for (WAVEFORMATEX other : {WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 44100, 44100, 1, 8, 0},
                               WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 8000, 16000, 2, 8, 0},
                               WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0}})
        EXPECT_EQ(waveIn.waveInOpen(&h, 0, &other, 0, 0, 0), WAVERR_BADFORMAT);
    char text[8];
    waveIn.waveInGetErrorTextA(WAVERR_BADFORMAT, text, sizeof text);
    EXPECT_EQ(std::strlen(text), 7u) << "the text is cut to the buffer, NUL included";

    constexpr long kSize = 8192;
    std::vector<char> data[2] = {std::vector<char>(kSize), std::vector<char>(kSize)};
    WAVEHDR headers[2];
    auto done = [&](int i) { return (headers[i].dwFlags.load() & WHDR_DONE) != 0; };
    ASSERT_EQ(waveIn.waveInOpen(&h, 0, &kFormat, 0, 0, 0), MMSYSERR_NOERROR);
    for (int i = 0; i < 2; ++i)
        queue(waveIn, h, headers[i], data[i]);
    EXPECT_EQ(waveIn.waveInAddBuffer(h, &headers[0], WAVEHDR_SIZE), WAVERR_STILLPLAYING);
    ASSERT_EQ(waveIn.waveInStart(h), MMSYSERR_NOERROR);

    // Three rounds: both buffers fill, the first one first, and go back.
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(PulseServer::waitFor([&] { return done(1); })) << round;
        EXPECT_TRUE(done(0));
        EXPECT_EQ(headers[0].dwBytesRecorded.load(), kSize);
        EXPECT_EQ(std::count(data[1].begin(), data[1].end(), static_cast<char>(128)), kSize)
            << "the samples of silence, copied into the zeroed buffer";
        data[1].assign(kSize, 0);
        for (WAVEHDR& hdr : headers)
            ASSERT_EQ(waveIn.waveInAddBuffer(h, &hdr, WAVEHDR_SIZE), MMSYSERR_NOERROR);
    }

    // The server goes away under the running capture: the buffers never fill, but reset hands
    // them all back at once, and the capture closes promptly.
    EXPECT_EQ(waveIn.waveInClose(h), WAVERR_STILLPLAYING);
    server.stop();
    auto start = Clock::now();
    ASSERT_EQ(waveIn.waveInReset(h), MMSYSERR_NOERROR);
    EXPECT_TRUE(done(0));
    EXPECT_TRUE(done(1));
    EXPECT_EQ(waveIn.waveInStop(h), MMSYSERR_NOERROR);
    for (WAVEHDR& hdr : headers)
        EXPECT_EQ(waveIn.waveInUnprepareHeader(h, &hdr, WAVEHDR_SIZE), MMSYSERR_NOERROR);
    EXPECT_EQ(waveIn.waveInClose(h), MMSYSERR_NOERROR);
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_EQ(waveIn.peak(), 0);
    EXPECT_EQ(waveIn.waveInStart(h), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveIn.waveInOpen(&h, 0, &kFormat, 0, 0, 0), MMSYSERR_NODRIVER);
}

TEST(AlsaWaveIn, ClosingALoudCaptureTakesUnderASecondWhateverTheServerDoes) {
    PulseServer server(true);  // a 440 Hz tone as the default source: the stream is never idle
    for (int round = 0; round < 3; ++round) {
        AlsaWaveIn waveIn;
        HWAVEIN h = 0;
        ASSERT_EQ(waveIn.waveInOpen(&h, 0, &kFormat, 0, 0, 0), MMSYSERR_NOERROR) << round;
        std::vector<char> data(800);
        WAVEHDR header;
        queue(waveIn, h, header, data);
        ASSERT_EQ(waveIn.waveInStart(h), MMSYSERR_NOERROR);
        // The loudest sample may be a trough as well as a crest.
        ASSERT_TRUE(PulseServer::waitFor([&] { return std::abs(waveIn.peak()) > 8000; })) << round;

        // Mid-stream, while samples are arriving: killed, hung, stopped in order.
        round < 2 ? server.signalServer(round == 0 ? SIGKILL : SIGSTOP) : server.stop();
        const auto start = Clock::now();
        waveIn.waveInReset(h);
        waveIn.waveInStop(h);
        waveIn.waveInUnprepareHeader(h, &header, WAVEHDR_SIZE);
        EXPECT_EQ(waveIn.waveInClose(h), MMSYSERR_NOERROR) << round;
        EXPECT_LT(Clock::now() - start, 1s) << round;
        server.restart();
    }
}
