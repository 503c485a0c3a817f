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

TEST(AlsaWaveIn, FillsQueuedBuffersInOrderAndHandsThemBackOnReset) {
    PulseServer server;  // the default source is the idle sink's silent monitor
    ASSERT_TRUE(server.running()) << server.startLog();
    AlsaWaveIn waveIn;
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
    HWAVEIN h = 0;
    EXPECT_EQ(waveIn.waveInOpen(&h, 1, &format, 0, 0, 0), MMSYSERR_BADDEVICEID);
    for (auto change : {+[](WAVEFORMATEX& f) { f.nSamplesPerSec = 44100; },
                        +[](WAVEFORMATEX& f) { f.nChannels = 2; },
                        +[](WAVEFORMATEX& f) { f.wBitsPerSample = 16; }}) {
        WAVEFORMATEX other = format;
        change(other);
        EXPECT_EQ(waveIn.waveInOpen(&h, 0, &other, 0, 0, 0), WAVERR_BADFORMAT);
    }
    char text[8];
    waveIn.waveInGetErrorTextA(WAVERR_BADFORMAT, text, sizeof text);
    EXPECT_EQ(std::strlen(text), 7u) << "the text is cut to the buffer, NUL included";

    constexpr uint32_t kSize = 8192;
    std::vector<char> data[2] = {std::vector<char>(kSize), std::vector<char>(kSize)};
    WAVEHDR headers[2];
    auto done = [&](int i) { return (headers[i].dwFlags.load() & WHDR_DONE) != 0; };
    ASSERT_EQ(waveIn.waveInOpen(&h, 0, &format, 0, 0, 0), MMSYSERR_NOERROR);
    for (int i = 0; i < 2; ++i) {
        headers[i].lpData = data[i].data();
        headers[i].dwBufferLength = kSize;
        EXPECT_EQ(waveIn.waveInAddBuffer(h, &headers[i], WAVEHDR_SIZE), WAVERR_UNPREPARED);
        ASSERT_EQ(waveIn.waveInPrepareHeader(h, &headers[i], WAVEHDR_SIZE), MMSYSERR_NOERROR);
        ASSERT_EQ(waveIn.waveInAddBuffer(h, &headers[i], WAVEHDR_SIZE), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveIn.waveInAddBuffer(h, &headers[0], WAVEHDR_SIZE), WAVERR_STILLPLAYING);
    ASSERT_EQ(waveIn.waveInStart(h), MMSYSERR_NOERROR);

    // Three rounds: both buffers fill, the first one first, and go back.
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(PulseServer::waitFor([&] { return done(0); })) << round;
        EXPECT_EQ(headers[0].dwBytesRecorded.load(), kSize);
        ASSERT_TRUE(PulseServer::waitFor([&] { return done(1); })) << round;
        EXPECT_TRUE(std::all_of(data[1].begin(), data[1].end(), [](char c) {
            return uint8_t(c) == 128;
        })) << "the samples of silence, copied into the zeroed buffer";
        data[1].assign(kSize, 0);
        for (WAVEHDR& hdr : headers)
            ASSERT_EQ(waveIn.waveInAddBuffer(h, &hdr, WAVEHDR_SIZE), MMSYSERR_NOERROR);
    }

    // The server goes away under the running capture: the buffers never fill, but reset hands
    // them all back at once, and the capture closes promptly.
    EXPECT_EQ(waveIn.waveInClose(h), WAVERR_STILLPLAYING);
    server.stop();
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(waveIn.waveInReset(h), MMSYSERR_NOERROR);
    EXPECT_TRUE(done(0) && done(1));
    EXPECT_EQ(waveIn.waveInStop(h), MMSYSERR_NOERROR);
    for (WAVEHDR& hdr : headers)
        EXPECT_EQ(waveIn.waveInUnprepareHeader(h, &hdr, WAVEHDR_SIZE), MMSYSERR_NOERROR);
    EXPECT_EQ(waveIn.waveInClose(h), MMSYSERR_NOERROR);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(waveIn.peak(), 0);
    EXPECT_EQ(waveIn.waveInStart(h), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveIn.waveInOpen(&h, 0, &format, 0, 0, 0), MMSYSERR_NODRIVER);
}

TEST(AlsaWaveIn, ClosingALoudCaptureTakesUnderASecondWhateverTheServerDoes) {
    PulseServer server(true);  // a 440 Hz tone as the default source: the stream is never idle
    ASSERT_TRUE(server.running()) << server.startLog();
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
    for (int round = 0; round < 3; ++round) {
        AlsaWaveIn waveIn;
        HWAVEIN h = 0;
        ASSERT_EQ(waveIn.waveInOpen(&h, 0, &format, 0, 0, 0), MMSYSERR_NOERROR) << round;
        std::vector<char> data(800);
        WAVEHDR header;
        header.lpData = data.data();
        header.dwBufferLength = static_cast<uint32_t>(data.size());
        ASSERT_EQ(waveIn.waveInPrepareHeader(h, &header, WAVEHDR_SIZE), MMSYSERR_NOERROR);
        ASSERT_EQ(waveIn.waveInAddBuffer(h, &header, WAVEHDR_SIZE), MMSYSERR_NOERROR);
        ASSERT_EQ(waveIn.waveInStart(h), MMSYSERR_NOERROR);
        // The loudest sample may be a trough as well as a crest.
        ASSERT_TRUE(PulseServer::waitFor([&] { return std::abs(waveIn.peak()) > 8000; })) << round;

        // Mid-stream, while samples are arriving: killed, hung, stopped in order.
        if (round < 2)
            server.signalServer(round == 0 ? SIGKILL : SIGSTOP);
        else
            server.stop();
        const auto start = std::chrono::steady_clock::now();
        waveIn.waveInReset(h);
        waveIn.waveInStop(h);
        waveIn.waveInUnprepareHeader(h, &header, WAVEHDR_SIZE);
        EXPECT_EQ(waveIn.waveInClose(h), MMSYSERR_NOERROR) << round;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << round;
        server.stop();
        ASSERT_TRUE(server.start()) << server.startLog();
    }
}
