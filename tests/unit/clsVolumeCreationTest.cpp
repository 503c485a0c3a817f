// Creation of clsVolume: the three states it can end in, the lookups, the handles it owns, and
// the retried creation while no mixer can be opened.

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

constexpr uint32_t SPK = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
constexpr uint32_t MIC = MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE;
constexpr uint32_t LIN = MIXERLINE_COMPONENTTYPE_SRC_LINE;
constexpr uint32_t CD = MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC;
constexpr uint32_t SYN = MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER;
constexpr uint32_t WAV = MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT;
constexpr uint32_t WIN = MIXERLINE_COMPONENTTYPE_DST_WAVEIN;

class clsVolumeCreation : public ::testing::Test {
protected:
    std::unique_ptr<clsVolume> make(FakeMixer& m) {
        return std::make_unique<clsVolume>(m, waveIn, notifier, [this] { return now; });
    }
    std::vector<uint32_t> lookedUpLines() const {
        std::vector<uint32_t> lines;
        for (const auto& call : mixer.calls()) {
            if (call.op == Op::GetLineInfo)
                lines.push_back(call.componentType);
        }
        return lines;
    }

    FakeMixer mixer;
    FakeWaveIn waveIn;
    FakeNotifier notifier;
    std::chrono::steady_clock::time_point now{};
};

}  // namespace

TEST_F(clsVolumeCreation, ConnectedLooksUpEveryControlInOrderAndKeepsOnlyTheSecondHandle) {
    mixer.addFullCard();
    mixer.addControl(MIC, MIXERCONTROL_CONTROLTYPE_PEAKMETER, -5, 5);  // must not be consulted
    auto volume = make(mixer);
    EXPECT_EQ(lookedUpLines(), (std::vector<uint32_t>{SPK, MIC, LIN, CD, SYN, WAV, SPK, MIC, LIN,
                                                      CD, SYN, WAV, WIN, WAV}));
    // The second open comes after the twelve channel lookups and closes the first handle.
    const auto& calls = mixer.calls();
    ASSERT_EQ(calls[25].op, Op::Open);
    EXPECT_EQ(mixer.count(Op::Open), 2);
    EXPECT_EQ(calls[26].op, Op::Close);
    EXPECT_EQ(calls[26].handle, calls[0].handle);
    for (size_t i = 27; i < calls.size(); ++i)
        EXPECT_EQ(calls[i].handle, calls[25].handle);
    EXPECT_EQ(mixer.openHandles(), std::set<HMIXER>{calls[25].handle});
    EXPECT_EQ(volume->CDMax(), 65535);
    EXPECT_EQ(volume->MinVolumeMeterInput(), -32768);
    EXPECT_EQ(volume->MaxVolumeMeterOutput(), 32767);
    EXPECT_EQ(volume->ControlFound(), VB_TRUE);
    volume.reset();
    EXPECT_TRUE(mixer.openHandles().empty()) << "destruction closes the handle it holds";
}

TEST_F(clsVolumeCreation, NoMixerAnswersEveryPropertyQuietly) {
    mixer.addFullCard();
    mixer.setDevicePresent(false);
    auto volume = make(mixer);
    clsVolume& v = *volume;
    EXPECT_EQ(mixer.calls().size(), 1u);
    EXPECT_NE(v.LastResult(), 0);
    for (int32_t bound :
         {v.VolumeMin(), v.MicMin(), v.LineMin(), v.CDMin(), v.SynMin(), v.WaveMin(), v.VolumeMax(),
          v.MicMax(), v.LineMax(), v.CDMax(), v.SynMax(), v.WaveMax(), v.MaxVolumeMeterInput(),
          v.MinVolumeMeterInput(), v.MaxVolumeMeterOutput(), v.MinVolumeMeterOutput()})
        EXPECT_EQ(bound, 0);
    for (int32_t level :
         {v.VolumeLevel(), v.MicLevel(), v.LineLevel(), v.CDLevel(), v.SynLevel(), v.WaveLevel()})
        EXPECT_EQ(level, 0);
    for (VBBool mute : {v.VolumeMute(), v.MikrofonMute(), v.LineMute(), v.CompactDiscMute(),
                        v.SynthesizerMute(), v.WaveMute()})
        EXPECT_EQ(mute, VB_FALSE);
    v.VolumeLevel(100);
    EXPECT_NE(v.LastResult(), 0);
    mixer.clearCalls();
    EXPECT_EQ(v.CurrentVolumeMeterOutput() + v.CurrentVolumeMeterInput(), 0);
    EXPECT_TRUE(mixer.calls().empty()) << "meter readings ask the mixer nothing";
}

TEST_F(clsVolumeCreation, SecondOpenFailingKeepsChannelsOnTheFirstHandleAndLeavesNoMeters) {
    mixer.addFullCard();
    mixer.failOpen(2);
    auto volume = make(mixer);
    EXPECT_EQ(volume->LastResult(), static_cast<int32_t>(MMSYSERR_NODRIVER));
    EXPECT_EQ(lookedUpLines().size(), 12u) << "no meter lookups";
    volume->WaveLevel(300);
    EXPECT_EQ(volume->WaveLevel(), 300);
    EXPECT_EQ(volume->MaxVolumeMeterInput(), 0);
    mixer.clearCalls();
    EXPECT_EQ(volume->CurrentVolumeMeterInput(), 0);
    EXPECT_EQ(mixer.count(Op::GetDetails), 0);
    volume.reset();
    EXPECT_TRUE(mixer.openHandles().empty());
}

TEST_F(clsVolumeCreation, MissingLinesAndControlsLeaveZeroRecordsAndDoNotTouchLastResult) {
    mixer.addMaster(0, 255);
    mixer.addControl(LIN, MIXERCONTROL_CONTROLTYPE_VOLUME, 10, 20, 15);  // line-in without mute
    mixer.addLine(CD);                                                   // CD without controls
    mixer.addControl(MIC, MIXERCONTROL_CONTROLTYPE_PEAKMETER, -100, 100);
    auto volume = make(mixer);
    EXPECT_EQ(volume->LastResult(), 0) << "failed lookups leave the second open's code";
    EXPECT_EQ(volume->ControlFound(), VB_FALSE);
    EXPECT_EQ(volume->CDMin() + volume->CDMax(), 0);
    EXPECT_EQ(volume->LineLevel(), 15);
    // The input meter falls back to the microphone's; there is no output meter.
    EXPECT_EQ(volume->MaxVolumeMeterInput(), 100);
    EXPECT_EQ(volume->MaxVolumeMeterOutput(), 0);

    // The missing controls are still addressed, as control 0; the mixer refuses it.
    mixer.clearCalls();
    volume->CDLevel(5);
    volume->LineMute(VB_TRUE);
    ASSERT_EQ(mixer.calls().size(), 2u);
    EXPECT_EQ(mixer.calls()[0].controlId + mixer.calls()[1].controlId, 0u);
    EXPECT_EQ(volume->LastResult(), static_cast<int32_t>(MIXERR_INVALCONTROL));
}

TEST_F(clsVolumeCreation, MixerAppearingLaterIsFoundByAnAccessAtMostOncePerSecond) {
    mixer.addMaster(0, 255);
    mixer.setMasterLevel(40);
    mixer.setDevicePresent(false);
    auto volume = make(mixer);
    now += 500ms;
    volume->VolumeLevel();
    volume->VolumeMax();
    EXPECT_EQ(mixer.count(Op::Open), 1);
    now += 500ms;
    volume->VolumeLevel();
    volume->VolumeLevel();
    EXPECT_EQ(mixer.count(Op::Open), 2);

    mixer.setDevicePresent(true);
    now += 999ms;
    EXPECT_EQ(volume->VolumeLevel(), 0);
    now += 1ms;
    EXPECT_EQ(volume->VolumeLevel(), 40) << "reconnected before the read";
    EXPECT_EQ(volume->VolumeMax(), 255);
    EXPECT_EQ(volume->LastResult(), 0);
    now += 10s;
    volume->VolumeMute(VB_TRUE);
    EXPECT_TRUE(mixer.masterMute());
    EXPECT_EQ(mixer.count(Op::Open), 4) << "one full creation, then no more attempts";
    EXPECT_EQ(mixer.openHandles().size(), 1u);

    // A mixer that opens but has no master volume is what it is: reads never reopen it.
    FakeMixer noMaster;
    noMaster.addControl(WAV, MIXERCONTROL_CONTROLTYPE_VOLUME, 0, 100, 7);
    auto other = make(noMaster);
    noMaster.addMaster(0, 65536);
    for (int i = 0; i < 3; ++i) {
        now += 1s;
        EXPECT_EQ(other->WaveLevel(), 7);
        EXPECT_EQ(other->VolumeMax(), 0);
    }
    EXPECT_EQ(noMaster.count(Op::Open), 2);
    EXPECT_EQ(noMaster.openHandles().size(), 1u);
}
