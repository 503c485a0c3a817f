// clsVolume over the real ALSA services and a PulseAudio server: the class's properties agree
// with pactl and amixer, and the class copes with the server stopping, restarting and starting
// late.

#include "AlsaMixer.h"
#include "AlsaWaveIn.h"
#include "FakeNotifier.h"
#include "PulseServer.h"
#include "clsVolume.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Forwards to the real capture and counts the buffers handed back to it.
class CountingWaveIn : public WaveInService {
public:
    explicit CountingWaveIn(AlsaWaveIn& real) : real_(real) {}
    MMRESULT waveInOpen(HWAVEIN* phwi, uint32_t id, const WAVEFORMATEX* f, uintptr_t cb,
                        uintptr_t inst, uint32_t flags) override {
        return real_.waveInOpen(phwi, id, f, cb, inst, flags);
    }
    MMRESULT waveInPrepareHeader(HWAVEIN h, WAVEHDR* w, uint32_t cb) override {
        return real_.waveInPrepareHeader(h, w, cb);
    }
    MMRESULT waveInAddBuffer(HWAVEIN h, WAVEHDR* w, uint32_t cb) override {
        ++added;
        return real_.waveInAddBuffer(h, w, cb);
    }
    MMRESULT waveInStart(HWAVEIN h) override { return real_.waveInStart(h); }
    MMRESULT waveInReset(HWAVEIN h) override { return real_.waveInReset(h); }
    MMRESULT waveInStop(HWAVEIN h) override { return real_.waveInStop(h); }
    MMRESULT waveInUnprepareHeader(HWAVEIN h, WAVEHDR* w, uint32_t cb) override {
        return real_.waveInUnprepareHeader(h, w, cb);
    }
    MMRESULT waveInClose(HWAVEIN h) override { return real_.waveInClose(h); }
    MMRESULT waveInGetErrorTextA(MMRESULT e, char* t, uint32_t n) override {
        return real_.waveInGetErrorTextA(e, t, n);
    }
    std::atomic<int> added{0};

private:
    AlsaWaveIn& real_;
};

// The services and the class, built in the order main.cpp builds them.
struct Rig {
    AlsaWaveIn waveIn;
    AlsaMixer mixer{&waveIn};
    FakeNotifier notifier;
    CountingWaveIn counting{waveIn};
    clsVolume volume{mixer, counting, notifier};
};

}  // namespace

TEST(ClsVolumeOverAlsa, ChannelPropertiesAgreeWithTheServer) {
    PulseServer server;
    ASSERT_TRUE(server.running()) << server.startLog();
    PulseServer::shell("pactl set-sink-volume nullsink 30000; pactl set-sink-mute nullsink 0");
    Rig rig;
    clsVolume& v = rig.volume;

    std::string amixer = PulseServer::shell("amixer -D default get Master");
    EXPECT_EQ(v.VolumeMax(), PulseServer::numberAfter(amixer, "Limits: Playback 0 - "));
    EXPECT_EQ(v.VolumeMin(), 0);

    EXPECT_EQ(v.VolumeLevel(), 30000);
    v.VolumeLevel(45000);
    EXPECT_EQ(PulseServer::sinkVolume(), 45000);
    PulseServer::shell("pactl set-sink-volume nullsink 1234");
    EXPECT_EQ(v.VolumeLevel(), 1234);

    v.VolumeMute(VB_TRUE);
    EXPECT_TRUE(PulseServer::sinkMuted());
    v.VolumeMute(VB_FALSE);
    EXPECT_FALSE(PulseServer::sinkMuted());
    PulseServer::shell("pactl set-sink-mute nullsink 1");
    EXPECT_EQ(v.VolumeMute(), VB_TRUE);
    PulseServer::shell("pactl set-sink-mute nullsink 0");
    EXPECT_EQ(v.VolumeMute(), VB_FALSE);

    v.VolumeLevel(v.VolumeMax() + 5000);
    EXPECT_EQ(PulseServer::sinkVolume(), 65536);
    EXPECT_EQ(v.LastResult(), 0);
    v.VolumeLevel(20000);
    v.VolumeLevel(-1);
    EXPECT_EQ(v.LastResult(), 11);
    EXPECT_EQ(PulseServer::sinkVolume(), 20000);

    // Lines the server lacks: bounds 0 and failed accesses.
    EXPECT_EQ(v.CDMax(), 0);
    EXPECT_EQ(v.SynMax(), 0);
    EXPECT_EQ(v.MicMax(), 0);
    EXPECT_EQ(v.CDLevel(), 0);
    EXPECT_NE(v.LastResult(), 0);
    v.SynLevel(100);
    EXPECT_NE(v.LastResult(), 0);
}

TEST(ClsVolumeOverAlsa, SurvivesTheServerRestartingAndStartingLate) {
    PulseServer server;
    ASSERT_TRUE(server.running()) << server.startLog();
    {
        Rig rig;
        clsVolume& v = rig.volume;
        ASSERT_EQ(v.VolumeMax(), 65536);
        server.stop();
        EXPECT_EQ(v.VolumeLevel(), 0);
        EXPECT_NE(v.LastResult(), 0);
        EXPECT_EQ(v.VolumeMute(), VB_FALSE);
        v.VolumeLevel(1000);
        EXPECT_NE(v.LastResult(), 0);

        ASSERT_TRUE(server.start()) << server.startLog();
        PulseServer::shell("pactl set-sink-volume nullsink 12000");
        EXPECT_EQ(v.VolumeLevel(), 12000);
        EXPECT_EQ(v.LastResult(), 0);
        v.VolumeLevel(24000);
        EXPECT_EQ(PulseServer::sinkVolume(), 24000);
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
        EXPECT_EQ(v.MinVolumeMeterInput(), -32768);
        EXPECT_EQ(v.MaxVolumeMeterOutput(), 0);
        EXPECT_EQ(v.CurrentVolumeMeterOutput(), 0);
        EXPECT_EQ(rig.counting.added.load(), 0) << "the output meter starts no capture";

        ASSERT_TRUE(PulseServer::waitFor([&] { return v.CurrentVolumeMeterInput() > 8000; }));
        // Several seconds of polling: the two 1-second buffers go back to the device again and
        // again, and the meter keeps reading the sine.
        int addedBefore = rig.counting.added.load();
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end) {
            EXPECT_GT(v.CurrentVolumeMeterInput(), 8000);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_GE(rig.counting.added.load() - addedBefore, 3);
        EXPECT_EQ(rig.notifier.count(), 0);
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

        // No capture device: the error box, a reading of 0, no crash.
        server.stop();
        Rig late;
        EXPECT_EQ(late.volume.CurrentVolumeMeterInput(), 0);
        EXPECT_GE(late.notifier.count(), 1);
        ASSERT_FALSE(late.notifier.messages.empty());
        EXPECT_EQ(late.notifier.messages[0].title, "Brennet - Mixercontrol Fehler");
        EXPECT_EQ(late.notifier.messages[0].style, MB_OK | MB_ICONSTOP);
        EXPECT_FALSE(late.notifier.messages[0].prompt.empty());
    }
}
