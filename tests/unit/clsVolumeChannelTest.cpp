// The channel properties of clsVolume: which control each one addresses, how values cross to
// the mixer, and what a failure looks like to the caller.

#include "FakeMixer.h"
#include "FakeNotifier.h"
#include "FakeWaveIn.h"
#include "clsVolume.h"

#include <gtest/gtest.h>

using Op = FakeMixer::Op;

namespace {

struct Line {
    uint32_t componentType;
    int32_t (clsVolume::*min)();
    int32_t (clsVolume::*max)();
    int32_t (clsVolume::*level)();
    void (clsVolume::*setLevel)(int32_t);
    VBBool (clsVolume::*mute)();
    void (clsVolume::*setMute)(VBBool);
};

using V = clsVolume;
const Line kLines[] = {
    {MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, &V::VolumeMin, &V::VolumeMax, &V::VolumeLevel,
     &V::VolumeLevel, &V::VolumeMute, &V::VolumeMute},
    {MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, &V::MicMin, &V::MicMax, &V::MicLevel, &V::MicLevel,
     &V::MikrofonMute, &V::MikrofonMute},
    {MIXERLINE_COMPONENTTYPE_SRC_LINE, &V::LineMin, &V::LineMax, &V::LineLevel, &V::LineLevel,
     &V::LineMute, &V::LineMute},
    {MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, &V::CDMin, &V::CDMax, &V::CDLevel, &V::CDLevel,
     &V::CompactDiscMute, &V::CompactDiscMute},
    {MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER, &V::SynMin, &V::SynMax, &V::SynLevel, &V::SynLevel,
     &V::SynthesizerMute, &V::SynthesizerMute},
    {MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT, &V::WaveMin, &V::WaveMax, &V::WaveLevel, &V::WaveLevel,
     &V::WaveMute, &V::WaveMute},
};

class clsVolumeChannel : public ::testing::Test {
protected:
    // Distinct bounds per line, so a property wired to the wrong record shows.
    static FakeMixer sixLines() {
        FakeMixer m;
        for (int32_t n = 1; n <= 6; ++n) {
            m.addControl(kLines[n - 1].componentType, MIXERCONTROL_CONTROLTYPE_VOLUME, -n, 100 * n,
                         static_cast<uint32_t>(10 * n));
            m.addControl(kLines[n - 1].componentType, MIXERCONTROL_CONTROLTYPE_MUTE, 0, 1);
        }
        return m;
    }

    FakeMixer mixer = sixLines();
    FakeWaveIn waveIn;
    FakeNotifier notifier;
    clsVolume volume{mixer, waveIn, notifier};
};

}  // namespace

TEST_F(clsVolumeChannel, EachPropertyAddressesItsOwnControlWithOneCallAndBoundsWithNone) {
    for (int32_t n = 1; n <= 6; ++n) {
        const Line& line = kLines[n - 1];
        uint32_t volumeId = mixer.controlId(line.componentType, MIXERCONTROL_CONTROLTYPE_VOLUME);
        uint32_t muteId = mixer.controlId(line.componentType, MIXERCONTROL_CONTROLTYPE_MUTE);
        SCOPED_TRACE(n);
        // A failing write leaves a nonzero LastResult, which bounds must not touch.
        mixer.failCall(Op::SetDetails, volumeId, MIXERR_INVALVALUE);
        (volume.*line.setLevel)(1);
        mixer.clearFailures();
        mixer.clearCalls();
        EXPECT_EQ((volume.*line.min)(), -n);
        EXPECT_EQ((volume.*line.max)(), 100 * n);
        EXPECT_EQ(volume.LastResult(), static_cast<int32_t>(MIXERR_INVALVALUE));
        EXPECT_TRUE(mixer.calls().empty());

        EXPECT_EQ((volume.*line.level)(), 10 * n);
        (volume.*line.setLevel)(42);
        EXPECT_EQ((volume.*line.mute)(), VB_FALSE);
        (volume.*line.setMute)(VB_TRUE);
        EXPECT_EQ((volume.*line.mute)(), VB_TRUE);
        EXPECT_EQ(volume.LastResult(), 0);
        EXPECT_EQ(mixer.calls().size(), 5u);
        EXPECT_EQ(mixer.count(Op::GetDetails, volumeId), 1);
        EXPECT_EQ(mixer.count(Op::SetDetails, volumeId), 1);
        EXPECT_EQ(mixer.count(Op::GetDetails, muteId), 2);
        EXPECT_EQ(mixer.value(volumeId), 42u);
    }
}

TEST_F(clsVolumeChannel, ValuesCrossAsTheir32BitsAndAFailedReadIsZero) {
    // Levels go out as given, negative or above the maximum; only the mixer may refuse them.
    volume.VolumeLevel(-1);
    EXPECT_EQ(mixer.masterLevel(), 0xFFFFFFFFu);
    EXPECT_EQ(volume.VolumeLevel(), -1);
    volume.VolumeLevel(volume.VolumeMax() + 1000);
    EXPECT_EQ(mixer.masterLevel(), 1100u);
    mixer.failCall(Op::SetDetails, mixer.masterVolumeId(), MMSYSERR_INVALPARAM);
    volume.VolumeLevel(-5);
    EXPECT_EQ(volume.LastResult(), static_cast<int32_t>(MMSYSERR_INVALPARAM));

    // Mute reads true only for 1; any nonzero write sends 1.
    for (auto [stored, expected] :
         {std::pair{0u, VB_FALSE}, {1u, VB_TRUE}, {2u, VB_FALSE}, {0xFFFFFFFFu, VB_FALSE}}) {
        mixer.setValue(mixer.masterMuteId(), stored);
        EXPECT_EQ(volume.VolumeMute(), expected) << "stored " << stored;
    }
    for (VBBool written : {VB_TRUE, VBBool{2}, VBBool{-32768}, VB_FALSE}) {
        volume.VolumeMute(written);
        EXPECT_EQ(mixer.masterMute(), written != VB_FALSE) << written;
        EXPECT_LE(mixer.value(mixer.masterMuteId()), 1u);
    }

    // A failed read returns 0 and false, not the last good value.
    mixer.setMasterLevel(77);
    mixer.setMasterMute(true);
    EXPECT_EQ(volume.VolumeLevel(), 77);
    mixer.failCall(Op::GetDetails, 0, MMSYSERR_NODRIVER);
    EXPECT_EQ(volume.VolumeLevel(), 0);
    EXPECT_EQ(volume.LastResult(), static_cast<int32_t>(MMSYSERR_NODRIVER));
    EXPECT_EQ(volume.VolumeMute(), VB_FALSE);
}
