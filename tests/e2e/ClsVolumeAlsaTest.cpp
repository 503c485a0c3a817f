// clsVolume over the real ALSA services and a PulseAudio server: the class's properties agree
// with pactl and amixer, and the class copes with the server stopping, restarting and starting
// late.

#include "AlsaEngine.h"
#include "AlsaWaveIn.h"
#include "EngineMixer.h"
#include "FakeNotifier.h"
#include "PulseServer.h"
#include "clsVolume.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <atomic>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// The real capture, counting the buffers handed back to it.
class CountingWaveIn : public AlsaWaveIn {
public:
    MMRESULT waveInAddBuffer(HWAVEIN h, WAVEHDR* w, uint32_t cb) override {
        ++added;
        return AlsaWaveIn::waveInAddBuffer(h, w, cb);
    }
    std::atomic<int> added{0};
};

// The services and the class, built in the order main.cpp builds them.
struct Rig {
    CountingWaveIn waveIn;
    AlsaEngine engine{&waveIn};
    EngineMixer mixer{engine};
    FakeNotifier notifier;
    clsVolume v{mixer, waveIn, notifier};
};

// Another program sets the null sink's volume.
void setSink(long level) {
    PulseServer::pactl("set-sink-volume nullsink " + std::to_string(level));
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

TEST(ClsVolumeOverAlsa, ChannelPropertiesAgreeWithTheServer) {
    PulseServer server;
    setSink(30000);
    Rig rig;
    clsVolume& v = rig.v;
    EXPECT_EQ(v.VolumeMin(), 0);
    EXPECT_EQ(v.VolumeMax(), 65536);
    EXPECT_EQ(v.CDMax() + v.SynMax() + v.MicMax() + v.LineMax() + v.WaveMax(), 0)
        << "lines the server lacks have bounds 0";

    // Another program's change is what the next read returns, every time, also one back to a
    // value the mixer saw before.
    EXPECT_EQ(v.VolumeLevel(), 30000);
    for (int32_t level : {12345, 40000, 12345, 0, 65536}) {
        setSink(level);
        EXPECT_EQ(v.VolumeLevel(), level);
    }
    // A step, then another program sets the level from before the step again: the next step
    // starts from that level, not from the one written.
    for (int i = 0; i < 2; ++i) {
        setSink(32768);
        v.VolumeLevel(v.VolumeLevel() + 6554);
        EXPECT_EQ(PulseServer::volume(), 39322) << i;
    }

    v.VolumeMute(VB_TRUE);
    EXPECT_TRUE(PulseServer::muted());
    PulseServer::pactl("set-sink-mute nullsink 0");
    EXPECT_EQ(v.VolumeMute(), VB_FALSE);

    // Above the top is the top; a negative level changes nothing. Our own write is what the
    // next read returns.
    v.VolumeLevel(v.VolumeMax() + 5000);
    EXPECT_EQ(PulseServer::volume(), 65536);
    EXPECT_EQ(v.LastResult(), 0);
    v.VolumeLevel(23456);
    EXPECT_EQ(v.VolumeLevel(), 23456);
    v.VolumeLevel(-1);
    EXPECT_EQ(v.LastResult(), 11);
    EXPECT_EQ(PulseServer::volume(), 23456);
}

TEST(ClsVolumeOverAlsa, SurvivesTheServerRestartingAndStartingLate) {
    PulseServer server;
    {
        Rig rig;
        clsVolume& v = rig.v;
        ASSERT_EQ(v.VolumeMax(), 65536);
        server.stop();
        // Polled hard while the server is away: every access fails promptly, and the
        // reconnection attempts are paced, so the accesses cost little CPU time.
        double cpuBefore = cpuSeconds();
        auto start = Clock::now();
        for (int i = 0; i < 200; ++i) {
            EXPECT_TRUE(v.VolumeLevel() == 0 && v.LastResult() != 0);
            v.VolumeLevel(1000);
            EXPECT_NE(v.LastResult(), 0);
            std::this_thread::sleep_for(5ms);
        }
        EXPECT_LT(cpuSeconds() - cpuBefore,
                  0.5 * std::chrono::duration<double>(Clock::now() - start).count());
        EXPECT_EQ(v.VolumeMute(), VB_FALSE);

        // Back again: the controls found at creation work at the next access, also after a
        // stop and a start between two accesses.
        server.start();
        setSink(12000);
        EXPECT_EQ(v.VolumeLevel(), 12000);
        EXPECT_EQ(v.LastResult(), 0);
        v.VolumeLevel(24000);
        EXPECT_EQ(PulseServer::volume(), 24000);
        server.stop();
        server.start();
        v.VolumeLevel(33333);
        EXPECT_EQ(PulseServer::volume(), 33333);
    }

    // Created while no server runs: once one starts, an access connects the object.
    server.stop();
    Rig rig;
    clsVolume& v = rig.v;
    EXPECT_EQ(v.VolumeMax(), 0);
    server.start();
    setSink(15000);
    ASSERT_TRUE(PulseServer::waitFor([&] { return v.VolumeLevel() == 15000; }, 5s));
    EXPECT_EQ(v.VolumeMax(), 65536);
    v.VolumeLevel(16000);
    EXPECT_EQ(PulseServer::volume(), 16000);
}

TEST(ClsVolumeOverAlsa, InputMeterFollowsTheSourceAndTheBuffersKeepCycling) {
    // Polls the input meter for a while, expecting check of each reading.
    auto meterFor = [](clsVolume& v, std::chrono::milliseconds time, auto check) {
        for (auto end = Clock::now() + time; Clock::now() < end; std::this_thread::sleep_for(100ms))
            check(v.CurrentVolumeMeterInput());
    };
    {
        PulseServer server(true);
        Rig rig;
        clsVolume& v = rig.v;
        EXPECT_EQ(v.MaxVolumeMeterInput(), 32767);
        EXPECT_EQ(v.CurrentVolumeMeterOutput(), 0);
        EXPECT_EQ(rig.waveIn.added.load(), 0) << "the output meter starts no capture";

        ASSERT_TRUE(PulseServer::waitFor([&] { return v.CurrentVolumeMeterInput() > 8000; }));
        // Several seconds of polling: the two 1-second buffers go back to the device again and
        // again, and the meter keeps reading the sine.
        int addedBefore = rig.waveIn.added.load();
        meterFor(v, 5s, [](int32_t level) { EXPECT_GT(level, 8000); });
        EXPECT_GE(rig.waveIn.added.load() - addedBefore, 3);
        EXPECT_EQ(rig.notifier.count(), 0);

        // A mixer without the capture offers no input meter.
        AlsaEngine bareEngine;
        EngineMixer bare(bareEngine);
        EXPECT_EQ(clsVolume(bare, rig.waveIn, rig.notifier).MaxVolumeMeterInput(), 0);
    }
    PulseServer server;
    Rig rig;
    rig.v.CurrentVolumeMeterInput();
    meterFor(rig.v, 1500ms,
             [](int32_t level) { EXPECT_EQ(level, 0) << "the idle sink's monitor is silent"; });
}
