// The channel properties of clsVolume: which control each one addresses, how values cross to
// the mixer, and what a failure looks like to the caller.

#include "FakeMixer.h"
#include "FakeNotifier.h"
#include "FakeWaveIn.h"
#include "clsVolume.h"

#include <gtest/gtest.h>

#include <functional>

using Op = FakeMixer::Op;

namespace {

struct Line {
    const char* name;
    uint32_t componentType;
    int32_t (clsVolume::*min)();
    int32_t (clsVolume::*max)();
    int32_t (clsVolume::*level)();
    void (clsVolume::*setLevel)(int32_t);
    VBBool (clsVolume::*mute)();
    void (clsVolume::*setMute)(VBBool);
};

const Line kLines[] = {
    {"master", MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, &clsVolume::VolumeMin, &clsVolume::VolumeMax,
     &clsVolume::VolumeLevel, &clsVolume::VolumeLevel, &clsVolume::VolumeMute,
     &clsVolume::VolumeMute},
    {"microphone", MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, &clsVolume::MicMin, &clsVolume::MicMax,
     &clsVolume::MicLevel, &clsVolume::MicLevel, &clsVolume::MikrofonMute,
     &clsVolume::MikrofonMute},
    {"line-in", MIXERLINE_COMPONENTTYPE_SRC_LINE, &clsVolume::LineMin, &clsVolume::LineMax,
     &clsVolume::LineLevel, &clsVolume::LineLevel, &clsVolume::LineMute, &clsVolume::LineMute},
    {"compact disc", MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, &clsVolume::CDMin, &clsVolume::CDMax,
     &clsVolume::CDLevel, &clsVolume::CDLevel, &clsVolume::CompactDiscMute,
     &clsVolume::CompactDiscMute},
    {"synthesizer", MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, &clsVolume::SynMin, &clsVolume::SynMax,
     &clsVolume::SynLevel, &clsVolume::SynLevel, &clsVolume::SynthesizerMute,
     &clsVolume::SynthesizerMute},
    {"wave out", MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, &clsVolume::WaveMin, &clsVolume::WaveMax,
     &clsVolume::WaveLevel, &clsVolume::WaveLevel, &clsVolume::WaveMute, &clsVolume::WaveMute},
};

class clsVolumeChannel : public ::testing::Test {
protected:
    clsVolumeChannel() {
        // Distinct bounds per line, so a property wired to the wrong record shows.
        int32_t n = 1;
        for (const Line& line : kLines) {
            mixer.addControl(line.componentType, MIXERCONTROL_CONTROLTYPE_VOLUME, -n, 100 * n,
                             static_cast<uint32_t>(10 * n));
            mixer.addControl(line.componentType, MIXERCONTROL_CONTROLTYPE_MUTE, 0, 1);
            ++n;
        }
        volume = std::make_unique<clsVolume>(mixer, waveIn, notifier);
        mixer.clearCalls();
    }

    uint32_t volumeId(const Line& line) const {
        return mixer.controlId(line.componentType, MIXERCONTROL_CONTROLTYPE_VOLUME);
    }
    uint32_t muteId(const Line& line) const {
        return mixer.controlId(line.componentType, MIXERCONTROL_CONTROLTYPE_MUTE);
    }

    FakeMixer mixer;
    FakeWaveIn waveIn;
    FakeNotifier notifier;
    std::unique_ptr<clsVolume> volume;
};

}  // namespace

TEST_F(clsVolumeChannel, EachPropertyAddressesItsOwnControlWithOneCallAndBoundsWithNone) {
    clsVolume& v = *volume;
    int32_t n = 1;
    for (const Line& line : kLines) {
        SCOPED_TRACE(line.name);
        // A failing write leaves a nonzero LastResult, which bounds must not touch.
        mixer.failCall(Op::SetDetails, volumeId(line), MIXERR_INVALVALUE);
        (v.*line.setLevel)(1);
        EXPECT_EQ(v.LastResult(), static_cast<int32_t>(MIXERR_INVALVALUE));
        mixer.clearFailures();
        mixer.clearCalls();

        EXPECT_EQ((v.*line.min)(), -n);
        EXPECT_EQ((v.*line.max)(), 100 * n);
        EXPECT_TRUE(mixer.calls().empty());
        EXPECT_EQ(v.LastResult(), static_cast<int32_t>(MIXERR_INVALVALUE));

        EXPECT_EQ((v.*line.level)(), 10 * n);
        (v.*line.setLevel)(42);
        EXPECT_EQ((v.*line.mute)(), VB_FALSE);
        (v.*line.setMute)(VB_TRUE);
        EXPECT_EQ((v.*line.mute)(), VB_TRUE);
        EXPECT_EQ(v.LastResult(), 0);

        const auto& calls = mixer.calls();
        ASSERT_EQ(calls.size(), 5u);
        EXPECT_EQ(calls[0].op, Op::GetDetails);
        EXPECT_EQ(calls[0].controlId, volumeId(line));
        EXPECT_EQ(calls[1].op, Op::SetDetails);
        EXPECT_EQ(calls[1].controlId, volumeId(line));
        for (int i = 2; i < 5; ++i) {
            EXPECT_EQ(calls[i].controlId, muteId(line));
            EXPECT_EQ(calls[i].multipleItems, 0u);
        }
        EXPECT_EQ(mixer.value(volumeId(line)), 42u);
        ++n;
    }
}

TEST_F(clsVolumeChannel, LevelWritesSendTheSame32BitsWithoutClamping) {
    volume->VolumeLevel(-1);
    EXPECT_EQ(mixer.lastWrite(mixer.masterVolumeId()), 0xFFFFFFFFu);
    EXPECT_EQ(volume->VolumeLevel(), -1);

    volume->VolumeLevel(volume->VolumeMax() + 1000);
    EXPECT_EQ(mixer.lastWrite(mixer.masterVolumeId()), 1100u);

    // The mixer's answer is the only report of a refused write.
    mixer.failCall(Op::SetDetails, mixer.masterVolumeId(), MMSYSERR_INVALPARAM);
    volume->VolumeLevel(-5);
    EXPECT_EQ(volume->LastResult(), static_cast<int32_t>(MMSYSERR_INVALPARAM));
    EXPECT_EQ(mixer.masterLevel(), 1100u);
}

TEST_F(clsVolumeChannel, MuteIsTrueOnlyForOneAndAnyNonzeroWriteSendsOne) {
    for (auto [stored, expected] :
         {std::pair{0u, VB_FALSE}, {1u, VB_TRUE}, {2u, VB_FALSE}, {0xFFFFFFFFu, VB_FALSE}}) {
        mixer.setMasterMute(false);
        mixer.setValue(mixer.masterMuteId(), stored);
        EXPECT_EQ(volume->VolumeMute(), expected) << "stored " << stored;
    }
    for (VBBool written : {VB_TRUE, VBBool{1}, VBBool{2}, VBBool{-32768}}) {
        volume->WaveMute(written);
        EXPECT_EQ(mixer.lastWrite(muteId(kLines[5])), 1u);
    }
    volume->WaveMute(VB_FALSE);
    EXPECT_EQ(mixer.lastWrite(muteId(kLines[5])), 0u);
}

TEST_F(clsVolumeChannel, FailedReadsReturnZeroAndFalseNotTheLastGoodValue) {
    mixer.setMasterLevel(77);
    mixer.setMasterMute(true);
    EXPECT_EQ(volume->VolumeLevel(), 77);
    EXPECT_EQ(volume->VolumeMute(), VB_TRUE);

    mixer.failCall(Op::GetDetails, 0, MMSYSERR_NODRIVER);
    EXPECT_EQ(volume->VolumeLevel(), 0);
    EXPECT_EQ(volume->LastResult(), static_cast<int32_t>(MMSYSERR_NODRIVER));
    EXPECT_EQ(volume->VolumeMute(), VB_FALSE);

    mixer.clearFailures();
    EXPECT_EQ(volume->VolumeLevel(), 77);
    EXPECT_EQ(volume->LastResult(), 0);
}
