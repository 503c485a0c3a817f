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

#include <ctime>
#include <vector>

using Clock = std::chrono::steady_clock;
constexpr auto pactl = PulseServer::pactl;
using namespace std::chrono_literals;

namespace {

// The services, built in the order main.cpp builds them, and then the class over them.
struct Services {
    AlsaWaveIn waveIn;
    AlsaEngine engine{&waveIn};
    EngineMixer mixer{engine};
    FakeNotifier notifier;
};
struct Rig : Services, clsVolume {
    Rig() : clsVolume(mixer, waveIn, notifier) {}
};

}  // namespace

TEST(ClsVolumeOverAlsa, ChannelPropertiesAgreeWithTheServer) {
    PulseServer server;
    pactl("set-sink-volume nullsink 30000");
    Rig v;
    EXPECT_EQ(v.VolumeMin(), 0);
    EXPECT_EQ(v.VolumeMax(), 65536);
    // Lines the server lacks: bounds 0.
    EXPECT_EQ(std::vector<int32_t>({v.CDMax(), v.SynMax(), v.MicMax(), v.LineMax(), v.WaveMax()}),
              std::vector<int32_t>(5, 0));

    // Another program's change is what the next read returns, every time, also one back to a
    // value the mixer saw before.
    EXPECT_EQ(v.VolumeLevel(), 30000);
    for (int32_t level : {12345, 40000, 12345, 0, 65536}) {
        pactl("set-sink-volume nullsink " + std::to_string(level));
        EXPECT_EQ(v.VolumeLevel(), level);
    }
    // A step, then another program sets the level from before the step again: the next step
    // starts from that level, not from the one written.
    for (int i = 0; i < 2; ++i) {
        pactl("set-sink-volume nullsink 32768");
        v.VolumeLevel(v.VolumeLevel() + 6554);
        EXPECT_EQ(PulseServer::volume(), 39322) << i;
    }

    v.VolumeMute(VB_TRUE);
    EXPECT_TRUE(PulseServer::muted());
    pactl("set-sink-mute nullsink 0");
    EXPECT_EQ(v.VolumeMute(), VB_FALSE);
    // Another program's change is told with no read to fetch it: the engine watches the mixer.
    std::atomic<int> told{0};
    v.engine.setChangeHandler([&] { ++told; });
    pactl("set-sink-mute nullsink 1");
    EXPECT_TRUE(PulseServer::waitFor([&] { return told > 0; }, 2s));
    v.engine.setChangeHandler({});
    pactl("set-sink-mute nullsink 0");

    // Our own write is what the next read returns. (Clamping to the top and refusing a negative
    // level are the mixer service's, in clsVolumeTest.)
    v.VolumeLevel(23456);
    EXPECT_EQ(v.VolumeLevel(), 23456);

    // One card behind "default", by its name: the output, and nothing else to choose.
    const auto outputs = v.engine.outputs();
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_TRUE(outputs[0].isDefault);
    EXPECT_FALSE(outputs[0].description.empty());
    EXPECT_FALSE(v.engine.canChooseOutput());
}

TEST(ClsVolumeOverAlsa, SurvivesTheServerRestartingAndStartingLate) {
    PulseServer server;
    {
        Rig v;
        ASSERT_EQ(v.VolumeMax(), 65536);
        server.stop();
        // Polled hard while the server is away: the engine's reopening attempts are paced, so
        // the accesses cost little CPU time. (What the class answers meanwhile: clsVolumeTest.)
        const std::clock_t cpuBefore = std::clock();
        const auto start = Clock::now();
        for (int i = 0; i < 200; ++i) {
            v.VolumeLevel();
            v.VolumeLevel(1000);
            std::this_thread::sleep_for(5ms);
        }
        EXPECT_LT(double(std::clock() - cpuBefore) / CLOCKS_PER_SEC,
                  0.5 * ((Clock::now() - start) / 1.0s));
        EXPECT_NE(v.LastResult(), 0) << "the write failed";
        EXPECT_EQ(v.VolumeLevel(), 0);
        EXPECT_NE(v.LastResult(), 0) << "and so does a read";

        // Back again: the controls found at creation work at the next access, also after a
        // stop and a start between two accesses.
        server.start();
        pactl("set-sink-volume nullsink 12000");
        EXPECT_EQ(v.VolumeLevel(), 12000);
        EXPECT_EQ(v.LastResult(), 0);
        v.VolumeLevel(24000);
        EXPECT_EQ(PulseServer::volume(), 24000);
        server.restart();
        v.VolumeLevel(33333);
        EXPECT_EQ(PulseServer::volume(), 33333);
    }

    // Created while no server runs: once one starts, an access connects the object.
    server.stop();
    Rig v;
    EXPECT_EQ(v.VolumeMax(), 0);
    server.start();
    pactl("set-sink-volume nullsink 15000");
    ASSERT_TRUE(PulseServer::waitFor([&] { return v.VolumeLevel() == 15000; }, 5s));
    EXPECT_EQ(v.VolumeMax(), 65536);
}

// The buffers' cycling itself is clsVolumeTest's (the class) and AlsaWaveInTest's (the device).
TEST(ClsVolumeOverAlsa, InputMeterFollowsTheSource) {
    PulseServer server(true);
    // Polls the input meter for a while, checking each reading.
    auto poll = [](clsVolume& v, std::chrono::milliseconds time, auto check) {
        for (auto end = Clock::now() + time; Clock::now() < end; std::this_thread::sleep_for(100ms))
            check(v.CurrentVolumeMeterInput());
    };
    {
        Rig v;
        EXPECT_EQ(v.MaxVolumeMeterInput(), 32767);
        EXPECT_EQ(v.CurrentVolumeMeterOutput(), 0);

        ASSERT_TRUE(PulseServer::waitFor([&] { return v.CurrentVolumeMeterInput() > 8000; }));
        // Several seconds of polling, longer than the two 1-second buffers: the meter keeps
        // reading the sine.
        poll(v, 5s, [](int32_t level) { EXPECT_GT(level, 8000); });
        EXPECT_EQ(v.notifier.count(), 0);
    }
    // The idle sink's monitor as the source: the meter reads silence.
    pactl("set-default-source nullsink.monitor");
    Rig v;
    v.CurrentVolumeMeterInput();
    poll(v, 1500ms, [](int32_t level) { EXPECT_EQ(level, 0); });
}
