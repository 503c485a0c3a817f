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

TEST_F(EngineMixerTest, PresentLinesDescribeTheirControlsAndMissingOnesFailAsOnACard) {
    HMIXER h = 99;
    engine.reachable = false;
    EXPECT_EQ(mixer.mixerOpen(&h, 0, 0, 0, CALLBACK_NULL), MMSYSERR_NODRIVER);
    EXPECT_EQ(h, 0u);
    engine.reachable = true;
    EXPECT_EQ(mixer.mixerOpen(&h, 1, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    h = open();
    MIXERLINE speakers{};
    ASSERT_EQ(lineInfo(h, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS, &speakers), MMSYSERR_NOERROR);
    MIXERLINE wavein{};
    ASSERT_EQ(lineInfo(h, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, &wavein), MMSYSERR_NOERROR);
    EXPECT_NE(wavein.dwLineID, speakers.dwLineID);

    MIXERLINE mic{};
    EXPECT_EQ(lineInfo(h, MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, &mic), MIXERR_INVALLINE);
    EXPECT_EQ(lineInfo(h, 0x1234, &mic), MIXERR_INVALLINE);
    EXPECT_EQ(mixer.mixerGetLineInfoA(h, &speakers, 2), MMSYSERR_INVALFLAG);  // by line id

    MIXERCONTROL volume{};
    ASSERT_EQ(control(h, speakers.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME, &volume),
              MMSYSERR_NOERROR);
    EXPECT_EQ(volume.Bounds.lMinimum, 0);
    EXPECT_EQ(volume.Bounds.lMaximum, 65536);
    EXPECT_NE(volume.dwControlID, 0u);
    MIXERCONTROL mute{};
    ASSERT_EQ(control(h, speakers.dwLineID, MIXERCONTROL_CONTROLTYPE_MUTE, &mute),
              MMSYSERR_NOERROR);
    EXPECT_NE(mute.dwControlID, volume.dwControlID);
    MIXERCONTROL peak{};
    EXPECT_EQ(control(h, speakers.dwLineID, MIXERCONTROL_CONTROLTYPE_PEAKMETER, &peak),
              MIXERR_INVALCONTROL);
    EXPECT_EQ(control(h, wavein.dwLineID, MIXERCONTROL_CONTROLTYPE_PEAKMETER, &peak),
              MMSYSERR_NOERROR);
    EXPECT_EQ(control(h, 2, MIXERCONTROL_CONTROLTYPE_VOLUME, &peak), MIXERR_INVALLINE);  // Mic
    EXPECT_EQ(control(h, 99, MIXERCONTROL_CONTROLTYPE_VOLUME, &peak), MIXERR_INVALLINE);
    MIXERLINECONTROLS all{MIXERLINECONTROLS_SIZE, 1, 0, 3, MIXERCONTROL_SIZE, &peak};
    EXPECT_EQ(mixer.mixerGetLineControlsA(h, &all, 0), MMSYSERR_INVALFLAG);  // all at once

    // The identifiers outlive a lost server and are the same afterwards.
    engine.reachable = false;
    uint32_t value = 0;
    EXPECT_EQ(get(h, volume.dwControlID, &value), MMSYSERR_NODRIVER);
    engine.reachable = true;
    MIXERCONTROL again{};
    ASSERT_EQ(control(h, speakers.dwLineID, MIXERCONTROL_CONTROLTYPE_VOLUME, &again),
              MMSYSERR_NOERROR);
    EXPECT_EQ(again.dwControlID, volume.dwControlID);
    EXPECT_EQ(get(h, 0, &value), MIXERR_INVALCONTROL);  // 0 names no control
}

TEST_F(EngineMixerTest, MetersAreReadOnlyAndMalformedRequestsAreRefused) {
    const HMIXER h = open();
    MIXERCONTROL volume{}, peak{};
    ASSERT_EQ(control(h, 1, MIXERCONTROL_CONTROLTYPE_VOLUME, &volume), MMSYSERR_NOERROR);
    MIXERLINE wavein{};
    ASSERT_EQ(lineInfo(h, MIXERLINE_COMPONENTTYPE_DST_WAVEIN, &wavein), MMSYSERR_NOERROR);
    ASSERT_EQ(control(h, wavein.dwLineID, MIXERCONTROL_CONTROLTYPE_PEAKMETER, &peak),
              MMSYSERR_NOERROR);

    engine.lines[Line::Speakers].volume = 32768;
    uint32_t value = 0;
    ASSERT_EQ(get(h, volume.dwControlID, &value), MMSYSERR_NOERROR);
    EXPECT_EQ(value, 32768u);

    // Levels, mutes and their bounds are checked through the mixer class (clsVolumeTest).
    engine.lines[Line::WaveIn].peak = -1200;
    ASSERT_EQ(get(h, peak.dwControlID, &value), MMSYSERR_NOERROR);
    EXPECT_EQ(static_cast<int32_t>(value), -1200);
    EXPECT_EQ(set(h, peak.dwControlID, 5), MMSYSERR_NOTSUPPORTED);  // a meter is read-only

    EXPECT_EQ(get(h, 2 * 16 + 1, &value), MIXERR_INVALCONTROL);  // the Mic volume is not there

    // Malformed requests are refused before the engine is asked.
    MIXERCONTROLDETAILS two{MIXERCONTROLDETAILS_SIZE, volume.dwControlID, 2, 0, 4, &value};
    EXPECT_EQ(mixer.mixerGetControlDetailsA(h, &two, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(get(h + 100, volume.dwControlID, &value), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mixer.mixerClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(mixer.mixerClose(h), MMSYSERR_INVALHANDLE);
}
