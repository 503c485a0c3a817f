// Creation of clsVolume: the three states it can end in, the lookups, the handles it owns, and
// the retried creation while no master volume is reachable.

#include "FakeMixer.h"
#include "FakeNotifier.h"
#include "FakeWaveIn.h"
#include "clsVolume.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

using namespace std::chrono_literals;
using Op = FakeMixer::Op;

namespace {

struct ManualClock {
    std::chrono::steady_clock::time_point now{};
    clsVolume::Clock fn() {
        return [this] { return now; };
    }
};

class clsVolumeCreation : public ::testing::Test {
protected:
    FakeMixer mixer;
    FakeWaveIn waveIn;
    FakeNotifier notifier;
    ManualClock clock;

    std::vector<uint32_t> lookedUpLines() const {
        std::vector<uint32_t> lines;
        for (const auto& call : mixer.calls()) {
            if (call.op == Op::GetLineInfo) {
                lines.push_back(call.componentType);
            }
        }
        return lines;
    }
};

constexpr uint32_t SPK = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
constexpr uint32_t MIC = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
constexpr uint32_t LIN = MIXERLINE_COMPONENTTYPE_SRC_LINE;
constexpr uint32_t CD = MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
constexpr uint32_t SYN = MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER;
constexpr uint32_t WAV = MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
constexpr uint32_t WIN = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;

}  // namespace

TEST_F(clsVolumeCreation, ConnectedLooksUpEveryControlInOrderAndKeepsOnlyTheSecondHandle) {
    mixer.addFullCard();
    mixer.addControl(MIC, MIXERCONTROL_CONTROLTYPE_PEAKMETER, -5, 5);  // must not be consulted
    {
        clsVolume volume(mixer, waveIn, notifier, clock.fn());

        EXPECT_EQ(lookedUpLines(), (std::vector<uint32_t>{SPK, MIC, LIN, CD, SYN, WAV, SPK, MIC,
                                                          LIN, CD, SYN, WAV, WIN, WAV}));
        const auto& calls = mixer.calls();
        ASSERT_EQ(calls.front().op, Op::Open);
        // The second open comes after the twelve channel lookups and closes the first handle.
        HMIXER first = calls.front().handle;
        auto second = std::find_if(calls.begin() + 1, calls.end(),
                                   [](const auto& c) { return c.op == Op::Open; });
        ASSERT_EQ(second - calls.begin(), 1 + 24);
        EXPECT_EQ((second + 1)->op, Op::Close);
        EXPECT_EQ((second + 1)->handle, first);
        EXPECT_EQ(mixer.openHandles(), std::set<HMIXER>{second->handle});
        for (auto it = second + 2; it != calls.end(); ++it) {
            EXPECT_EQ(it->handle, second->handle);
        }

        EXPECT_EQ(volume.VolumeMax(), 65535);
        EXPECT_EQ(volume.CDMax(), 65535);
        EXPECT_EQ(volume.MaxVolumeMeterInput(), 32767);
        EXPECT_EQ(volume.MinVolumeMeterInput(), -32768);
        EXPECT_EQ(volume.MinVolumeMeterOutput(), -32768);
        EXPECT_EQ(volume.LastResult(), 0);
        EXPECT_EQ(volume.ControlFound(), VB_TRUE);
    }
    EXPECT_TRUE(mixer.openHandles().empty()) << "destruction closes the handle it holds";
}

TEST_F(clsVolumeCreation, NoMixerAnswersEveryPropertyQuietly) {
    mixer.addFullCard();
    mixer.setDevicePresent(false);
    clsVolume volume(mixer, waveIn, notifier, clock.fn());

    EXPECT_EQ(mixer.count(Op::Open), 1);
    EXPECT_EQ(mixer.count(Op::GetLineInfo), 0);
    EXPECT_NE(volume.LastResult(), 0);

    for (int32_t bound : {volume.VolumeMin(), volume.MicMin(), volume.LineMin(), volume.CDMin(),
                          volume.SynMin(), volume.WaveMin(), volume.VolumeMax(), volume.MicMax(),
                          volume.LineMax(), volume.CDMax(), volume.SynMax(), volume.WaveMax(),
                          volume.MaxVolumeMeterInput(), volume.MinVolumeMeterInput(),
                          volume.MaxVolumeMeterOutput(), volume.MinVolumeMeterOutput()}) {
        EXPECT_EQ(bound, 0);
    }
    for (int32_t level : {volume.VolumeLevel(), volume.MicLevel(), volume.LineLevel(),
                          volume.CDLevel(), volume.SynLevel(), volume.WaveLevel()}) {
        EXPECT_EQ(level, 0);
        EXPECT_NE(volume.LastResult(), 0);
    }
    for (VBBool mute : {volume.VolumeMute(), volume.MikrofonMute(), volume.LineMute(),
                        volume.CompactDiscMute(), volume.SynthesizerMute(), volume.WaveMute()}) {
        EXPECT_EQ(mute, VB_FALSE);
    }
    volume.VolumeLevel(100);
    volume.VolumeMute(VB_TRUE);
    EXPECT_NE(volume.LastResult(), 0);
    EXPECT_EQ(mixer.masterLevel(), 0u);

    // Meter readings copy nothing and ask the mixer nothing.
    mixer.clearCalls();
    EXPECT_EQ(volume.CurrentVolumeMeterOutput(), 0);
    EXPECT_EQ(volume.CurrentVolumeMeterInput(), 0);
    EXPECT_EQ(mixer.count(Op::GetDetails), 0);
}

TEST_F(clsVolumeCreation, SecondOpenFailingKeepsChannelsOnTheFirstHandleAndLeavesNoMeters) {
    mixer.addFullCard();
    mixer.setValue(mixer.controlId(WIN, MIXERCONTROL_CONTROLTYPE_PEAKMETER), 77);
    mixer.failOpen(2);
    {
        clsVolume volume(mixer, waveIn, notifier, clock.fn());
        EXPECT_EQ(volume.LastResult(), static_cast<int32_t>(MMSYSERR_NODRIVER));
        EXPECT_EQ(mixer.openHandles().size(), 1u);
        EXPECT_EQ(lookedUpLines().size(), 12u) << "no meter lookups";

        EXPECT_EQ(volume.WaveMax(), 65535);
        volume.WaveLevel(300);
        EXPECT_EQ(volume.LastResult(), 0);
        EXPECT_EQ(volume.WaveLevel(), 300);
        EXPECT_EQ(volume.MaxVolumeMeterInput(), 0);

        mixer.clearCalls();
        EXPECT_EQ(volume.CurrentVolumeMeterInput(), 0);
        EXPECT_EQ(mixer.count(Op::GetDetails), 0);
    }
    EXPECT_TRUE(mixer.openHandles().empty());
}

TEST_F(clsVolumeCreation, MissingLinesAndControlsLeaveZeroRecordsAndDoNotTouchLastResult) {
    mixer.addMaster(0, 255);
    mixer.addControl(LIN, MIXERCONTROL_CONTROLTYPE_VOLUME, 10, 20, 15);  // line-in without mute
    mixer.addLine(CD);                                                   // CD without controls
    clsVolume volume(mixer, waveIn, notifier, clock.fn());

    EXPECT_EQ(volume.LastResult(), 0) << "failed lookups leave the second open's code";
    EXPECT_EQ(volume.ControlFound(), VB_FALSE);
    EXPECT_EQ(volume.CDMin(), 0);
    EXPECT_EQ(volume.CDMax(), 0);
    EXPECT_EQ(volume.LineMin(), 10);
    EXPECT_EQ(volume.LineLevel(), 15);

    // The missing controls are still addressed, as control 0; the mixer refuses it.
    mixer.clearCalls();
    volume.CDLevel(5);
    volume.LineMute(VB_TRUE);
    ASSERT_EQ(mixer.calls().size(), 2u);
    EXPECT_EQ(mixer.calls()[0].controlId, 0u);
    EXPECT_EQ(mixer.calls()[1].controlId, 0u);
    EXPECT_EQ(volume.LastResult(), static_cast<int32_t>(MIXERR_INVALCONTROL));
    EXPECT_EQ(volume.VolumeMax(), 255) << "the other channels work";
}

TEST_F(clsVolumeCreation, InputMeterFallsBackToTheMicrophone) {
    mixer.addMaster(0, 255);
    mixer.addControl(MIC, MIXERCONTROL_CONTROLTYPE_PEAKMETER, -100, 100);
    {
        clsVolume volume(mixer, waveIn, notifier, clock.fn());
        EXPECT_EQ(volume.MaxVolumeMeterInput(), 100);
        EXPECT_EQ(volume.MinVolumeMeterInput(), -100);
        EXPECT_EQ(volume.MaxVolumeMeterOutput(), 0);
        auto lines = lookedUpLines();
        EXPECT_EQ(std::vector<uint32_t>(lines.end() - 3, lines.end()),
                  (std::vector<uint32_t>{WIN, MIC, WAV}));
    }
    FakeMixer bare;
    bare.addMaster(0, 255);
    clsVolume volume(bare, waveIn, notifier, clock.fn());
    EXPECT_EQ(volume.MaxVolumeMeterInput(), 0);
    EXPECT_EQ(volume.MinVolumeMeterInput(), 0);
}

TEST_F(clsVolumeCreation, MixerAppearingLaterIsFoundByAnAccessAtMostOncePerSecond) {
    mixer.addMaster(0, 255);
    mixer.setMasterLevel(40);
    mixer.setDevicePresent(false);
    clsVolume volume(mixer, waveIn, notifier, clock.fn());
    EXPECT_EQ(mixer.count(Op::Open), 1);

    // Still absent: polling within a second retries nothing, after a second once.
    clock.now += 500ms;
    volume.VolumeLevel();
    volume.VolumeMax();
    EXPECT_EQ(mixer.count(Op::Open), 1);
    clock.now += 500ms;
    volume.VolumeLevel();
    volume.VolumeLevel();
    EXPECT_EQ(mixer.count(Op::Open), 2);

    mixer.setDevicePresent(true);
    clock.now += 999ms;
    EXPECT_EQ(volume.VolumeLevel(), 0);
    clock.now += 1ms;
    EXPECT_EQ(volume.VolumeLevel(), 40) << "reconnected before the read";
    EXPECT_EQ(volume.VolumeMax(), 255);
    EXPECT_EQ(volume.LastResult(), 0);
    EXPECT_EQ(mixer.count(Op::Open), 4) << "both opens of a full creation";

    // Connected now: no more attempts.
    clock.now += 10s;
    volume.VolumeMute(VB_TRUE);
    EXPECT_TRUE(mixer.masterMute());
    EXPECT_EQ(mixer.count(Op::Open), 4);
    EXPECT_EQ(mixer.openHandles().size(), 1u);
}

TEST_F(clsVolumeCreation, MixerWithoutMasterVolumeIsRetriedWithoutLeakingHandles) {
    mixer.addControl(WAV, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, 100, 7);
    clsVolume volume(mixer, waveIn, notifier, clock.fn());
    EXPECT_EQ(volume.VolumeMax(), 0);

    for (int i = 0; i < 3; ++i) {
        clock.now += 1s;
        EXPECT_EQ(volume.WaveLevel(), 7);
        EXPECT_EQ(mixer.openHandles().size(), 1u);
    }
    EXPECT_EQ(mixer.count(Op::Open), 8);

    mixer.addMaster(0, 65536);
    clock.now += 1s;
    EXPECT_EQ(volume.VolumeMax(), 65536);
    clock.now += 1s;
    volume.VolumeMax();
    EXPECT_EQ(mixer.count(Op::Open), 10);
}
