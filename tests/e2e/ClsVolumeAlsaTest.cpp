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
    clsVolume volume{mixer, waveIn, notifier};
};

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

TEST(ClsVolumeOverAlsa, ChannelPropertiesAgreeWithTheServer) {
    PulseServer server;
    ASSERT_TRUE(server.running()) << server.startLog();
    PulseServer::shell("pactl set-sink-volume nullsink 30000; pactl set-sink-mute nullsink 0");
    Rig rig;
    clsVolume& v = rig.volume;
    EXPECT_EQ(v.VolumeMax(), 65536);
    EXPECT_EQ(v.VolumeMin(), 0);

    // Another program's change is what the next read returns, every time, and writes land on
    // the server, also one equal to a value the mixer saw before the other program's change.
    EXPECT_EQ(v.VolumeLevel(), 30000);
    for (int32_t level : {12345, 40000, 12345, 0, 65536}) {
        PulseServer::shell("pactl set-sink-volume nullsink " + std::to_string(level));
        EXPECT_EQ(v.VolumeLevel(), level);
    }
    // A step, then another program sets the level from before the step again: the next step
    // starts from that level, not from the one written.
    PulseServer::shell("pactl set-sink-volume nullsink 32768");
    v.VolumeLevel(v.VolumeLevel() + 6554);
    EXPECT_EQ(PulseServer::sinkVolume(), 39322);
    PulseServer::shell("pactl set-sink-volume nullsink 32768");
    v.VolumeLevel(v.VolumeLevel() + 6554);
    EXPECT_EQ(PulseServer::sinkVolume(), 39322);

    v.VolumeMute(VB_TRUE);
    EXPECT_TRUE(PulseServer::sinkMuted());
    PulseServer::shell("pactl set-sink-mute nullsink 0");
    EXPECT_EQ(v.VolumeMute(), VB_FALSE);

    // Above the top is the top; a negative level changes nothing.
    v.VolumeLevel(v.VolumeMax() + 5000);
    EXPECT_EQ(PulseServer::sinkVolume(), 65536);
    EXPECT_EQ(v.LastResult(), 0);
    v.VolumeLevel(20000);
    v.VolumeLevel(-1);
    EXPECT_EQ(v.LastResult(), 11);
    EXPECT_EQ(PulseServer::sinkVolume(), 20000);

    // Our own write is what the next read returns.
    v.VolumeLevel(23456);
    EXPECT_EQ(v.VolumeLevel(), 23456);

    // Lines the server lacks: bounds 0.
    EXPECT_EQ(v.CDMax() + v.SynMax() + v.MicMax() + v.LineMax() + v.WaveMax(), 0);
}

TEST(ClsVolumeOverAlsa, SurvivesTheServerRestartingAndStartingLate) {
    PulseServer server;
    ASSERT_TRUE(server.running()) << server.startLog();
    {
        Rig rig;
        clsVolume& v = rig.volume;
        ASSERT_EQ(v.VolumeMax(), 65536);
        server.stop();
        // Polled hard while the server is away: every access fails promptly, and the
        // reconnection attempts are paced, so the accesses cost little CPU time.
        double cpuBefore = cpuSeconds();
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 200; ++i) {
            EXPECT_EQ(v.VolumeLevel(), 0);
            EXPECT_NE(v.LastResult(), 0);
            v.VolumeLevel(1000);
            EXPECT_NE(v.LastResult(), 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_LT(cpuSeconds() - cpuBefore, 0.5 * elapsed.count());
        EXPECT_EQ(v.VolumeMute(), VB_FALSE);

        // Back again: the controls found at creation work at the next access.
        ASSERT_TRUE(server.start()) << server.startLog();
        PulseServer::shell("pactl set-sink-volume nullsink 12000");
        EXPECT_EQ(v.VolumeLevel(), 12000);
        EXPECT_EQ(v.LastResult(), 0);
        v.VolumeLevel(24000);
        EXPECT_EQ(PulseServer::sinkVolume(), 24000);

        // Stopped and restarted between two accesses: the next one still works.
        server.stop();
        ASSERT_TRUE(server.start()) << server.startLog();
        v.VolumeLevel(33333);
        EXPECT_EQ(PulseServer::sinkVolume(), 33333);
    }

    // Created while no server runs: once one starts, an access connects the object.
    server.stop();
    Rig rig;
    clsVolume& v = rig.volume;
    EXPECT_EQ(v.VolumeMax(), 0);
    ASSERT_TRUE(server.start()) << server.startLog();
    PulseServer::shell("pactl set-sink-volume nullsink 15000");
    ASSERT_TRUE(
        PulseServer::waitFor([&] { return v.VolumeLevel() == 15000; }, std::chrono::seconds(5)));
    EXPECT_EQ(v.VolumeMax(), 65536);
    v.VolumeLevel(16000);
    EXPECT_EQ(PulseServer::sinkVolume(), 16000);
}

TEST(ClsVolumeOverAlsa, InputMeterFollowsTheSourceAndTheBuffersKeepCycling) {
    {
        PulseServer server(true);
        ASSERT_TRUE(server.running()) << server.startLog();
        Rig rig;
        clsVolume& v = rig.volume;
        EXPECT_EQ(v.MaxVolumeMeterInput(), 32767);
        EXPECT_EQ(v.CurrentVolumeMeterOutput(), 0);
        EXPECT_EQ(rig.waveIn.added.load(), 0) << "the output meter starts no capture";

        ASSERT_TRUE(PulseServer::waitFor([&] { return v.CurrentVolumeMeterInput() > 8000; }));
        // Several seconds of polling: the two 1-second buffers go back to the device again and
        // again, and the meter keeps reading the sine.
        int addedBefore = rig.waveIn.added.load();
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end) {
            EXPECT_GT(v.CurrentVolumeMeterInput(), 8000);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_GE(rig.waveIn.added.load() - addedBefore, 3);
        EXPECT_EQ(rig.notifier.count(), 0);

        // A mixer without the capture offers no input meter.
        AlsaEngine bareEngine;
        EngineMixer bare(bareEngine);
        clsVolume noMeter(bare, rig.waveIn, rig.notifier);
        EXPECT_EQ(noMeter.MaxVolumeMeterInput(), 0);
    }
    {
        PulseServer server;
        ASSERT_TRUE(server.running()) << server.startLog();
        Rig rig;
        clsVolume& v = rig.volume;
        v.CurrentVolumeMeterInput();
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
        while (std::chrono::steady_clock::now() < end) {
            EXPECT_EQ(v.CurrentVolumeMeterInput(), 0) << "the idle sink's monitor is silent";
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
}
