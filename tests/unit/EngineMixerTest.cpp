// The mixer service over an engine: the records, identifiers and result codes its callers see,
// for present and missing lines, bad values and a sound system that comes and goes.

#include "EngineMixer.h"
#include "FakeEngine.h"

#include <gtest/gtest.h>

using Line = MixerEngine::Line;

namespace {

class EngineMixerTest : public ::testing::Test {
protected:
    EngineMixerTest() {
        // What a sound server offers: the default sink and the default source.
        engine.add(Line::Speakers, {0, 65536});
        engine.add(Line::WaveIn, {0, 65536});
        engine.lines[Line::WaveIn].hasPeak = true;
    }

    HMIXER open() {
        HMIXER h = 0;
        EXPECT_EQ(mixer.mixerOpen(&h, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        return h;
    }
    MMRESULT lineInfo(HMIXER h, uint32_t componentType, MIXERLINE* line) {
        line->cbStruct = MIXERLINE_SIZE;
        line->dwComponentType = componentType;
        return mixer.mixerGetLineInfoA(h, line, MIXER_GETLINEINFOF_COMPONENTTYPE);
    }
    MMRESULT control(HMIXER h, uint32_t lineId, uint32_t type, MIXERCONTROL* ctrl) {
        MIXERLINECONTROLS lc{MIXERLINECONTROLS_SIZE, lineId, type, 1, MIXERCONTROL_SIZE, ctrl};
        return mixer.mixerGetLineControlsA(h, &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE);
    }
    MMRESULT get(HMIXER h, uint32_t id, uint32_t* value) {
        MIXERCONTROLDETAILS d{MIXERCONTROLDETAILS_SIZE, id, 1, 0, 4, value};
        return mixer.mixerGetControlDetailsA(h, &d, MIXER_GETCONTROLDETAILSF_VALUE);
    }
    MMRESULT set(HMIXER h, uint32_t id, uint32_t value) {
        MIXERCONTROLDETAILS d{MIXERCONTROLDETAILS_SIZE, id, 1, 0, 4, &value};
        return mixer.mixerSetControlDetails(h, &d, MIXER_SETCONTROLDETAILSF_VALUE);
    }

    FakeEngine engine;
    EngineMixer mixer{engine};
};

}  // namespace

// The identifiers clsVolume looks up once: present lines and controls have them, missing ones
// fail as on a card without them, lookups nothing makes are refused, meters are read-only, and
// the identifiers stay the same across a lost server.
TEST_F(EngineMixerTest, LinesAndControlsAreFoundOnceAndOutliveALostServer) {
    HMIXER h = 99;
    engine.reachable = false;
    EXPECT_EQ(mixer.mixerOpen(&h, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);
    EXPECT_EQ(h, 0u);
    engine.reachable = true;
    h = open();
    MIXERLINE speakers{}, wavein{}, mic{};
    ASSERT_EQ(lineInfo(h, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, &speakers), 0u);
    ASSERT_EQ(lineInfo(h, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, &wavein), 0u);
    EXPECT_NE(wavein.dwLineID, speakers.dwLineID);
    EXPECT_EQ(lineInfo(h, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, &mic), MIXERR_INVALLINE);
    EXPECT_EQ(mixer.mixerGetLineInfoA(h, &mic, 2), MMSYSERR_INVALFLAG);  // by line id: not offered
    MIXERCONTROL volume{}, mute{}, peak{};
    ASSERT_EQ(control(h, speakers.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME, &volume), 0u);
    ASSERT_EQ(control(h, speakers.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE, &mute), 0u);
    EXPECT_EQ(volume.Bounds.lMaximum, 65536);
    EXPECT_TRUE(volume.dwControlID != 0 && mute.dwControlID != volume.dwControlID);
    EXPECT_EQ(control(h, speakers.dwLineID, MIXERCONTROL_CONTROLTYPE_PEAKMETER, &peak),
              MIXERR_INVALCONTROL);

    MIXERLINECONTROLS all{MIXERLINECONTROLS_SIZE, 1, 0, 1, MIXERCONTROL_SIZE, &peak};
    EXPECT_EQ(mixer.mixerGetLineControlsA(h, &all, 0), MMSYSERR_INVALFLAG);  // all at once: neither
    ASSERT_EQ(control(h, wavein.dwLineID, MIXERCONTROL_CONTROLTYPE_PEAKMETER, &peak), 0u);
    EXPECT_EQ(set(h, peak.dwControlID, 5), MMSYSERR_NOTSUPPORTED);  // a meter is read-only

    engine.reachable = false;
    uint32_t value = 0;
    EXPECT_EQ(get(h, volume.dwControlID, &value), MMSYSERR_NODRIVER);
    engine.reachable = true;
    MIXERCONTROL again{};
    ASSERT_EQ(control(h, speakers.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME, &again), 0u);
    EXPECT_EQ(again.dwControlID, volume.dwControlID);
    EXPECT_EQ(mixer.mixerClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(mixer.mixerClose(h), MMSYSERR_INVALHANDLE);
}
