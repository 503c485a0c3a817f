// AlsaMixer against a real PulseAudio server: what it reads and writes must agree with what the
// server reports through pactl and amixer, and it must survive the server going away.

#include "AlsaMixer.h"
#include "AlsaWaveIn.h"
#include "PulseServer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>

namespace {

MMRESULT findControl(AlsaMixer& m, HMIXER h, uint32_t component, uint32_t type,
                     MIXERCONTROL* ctrl) {
    MIXERLINE line{};
    line.cbStruct = MIXERLINE_SIZE;
    line.dwComponentType = component;
    MMRESULT r = m.mixerGetLineInfoA(h, &line, MIXER_GETLINEINFOF_COMPONENTTYPE);
    if (r != MMSYSERR_NOERROR)
        return r;
    MIXERLINECONTROLS lc{};
    lc.cbStruct = MIXERLINECONTROLS_SIZE;
    lc.dwLineID = line.dwLineID;
    lc.dwControlType = type;
    lc.cControls = 1;
    lc.cbmxctrl = MIXERCONTROL_SIZE;
    lc.pamxctrl = ctrl;
    return m.mixerGetLineControlsA(h, &lc, MIXER_GETLINECONTROLSF_ONEBYTYPE);
}

MMRESULT getValue(AlsaMixer& m, HMIXER h, uint32_t id, uint32_t* value) {
    MIXERCONTROLDETAILS d{MIXERCONTROLDETAILS_SIZE, id, 1, 0, 4, value};
    return m.mixerGetControlDetailsA(h, &d, MIXER_GETCONTROLDETAILSF_VALUE);
}

MMRESULT setValue(AlsaMixer& m, HMIXER h, uint32_t id, uint32_t value) {
    MIXERCONTROLDETAILS d{MIXERCONTROLDETAILS_SIZE, id, 1, 0, 4, &value};
    return m.mixerSetControlDetails(h, &d, MIXER_SETCONTROLDETAILSF_VALUE);
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

TEST(AlsaMixer, DevicesLinesAndControlsMatchTheServer) {
    PulseServer server;
    ASSERT_TRUE(server.running()) << server.startLog();
    AlsaWaveIn capture;
    AlsaMixer mixer(&capture);

    HMIXER bad = 77;
    EXPECT_EQ(mixer.mixerOpen(&bad, 1, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(bad, 0u);
    HMIXER a = 0;
    HMIXER b = 0;
    ASSERT_EQ(mixer.mixerOpen(&a, 0, 0, 0, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mixer.mixerOpen(&b, 0, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_NE(a, 0u);
    EXPECT_NE(a, b);

    // The master volume's bounds are the raw range amixer reports.
    std::string amixer = PulseServer::shell("amixer -D default get Master");
    MIXERCONTROL volume{};
    ASSERT_EQ(findControl(mixer, a, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                          MIXERCONTROL_CONTROLTYPE_VOLUME, &volume),
              MMSYSERR_NOERROR);
    EXPECT_EQ(volume.Bounds.lMinimum, PulseServer::numberAfter(amixer, "Limits: Playback "));
    EXPECT_EQ(volume.Bounds.lMaximum, PulseServer::numberAfter(amixer, "Limits: Playback 0 - "));
    EXPECT_EQ(volume.Bounds.lMaximum, 65536);

    MIXERCONTROL mute{};
    MIXERCONTROL capVolume{};
    MIXERCONTROL peak{};
    ASSERT_EQ(findControl(mixer, b, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                          MIXERCONTROL_CONTROLTYPE_MUTE, &mute),
              MMSYSERR_NOERROR);
    ASSERT_EQ(findControl(mixer, b, MIXERLINE_COMPONENTTYPE_DST_WAVEIN,
                          MIXERCONTROL_CONTROLTYPE_VOLUME, &capVolume),
              MMSYSERR_NOERROR);
    ASSERT_EQ(findControl(mixer, b, MIXERLINE_COMPONENTTYPE_DST_WAVEIN,
                          MIXERCONTROL_CONTROLTYPE_PEAKMETER, &peak),
              MMSYSERR_NOERROR);
    EXPECT_EQ(peak.Bounds.lMinimum, -32768);
    EXPECT_EQ(peak.Bounds.lMaximum, 32767);
    for (uint32_t id : {volume.dwControlID, mute.dwControlID, capVolume.dwControlID})
        EXPECT_NE(id, 0u);
    EXPECT_NE(volume.dwControlID, mute.dwControlID);

    // The server has none of the source lines, and no output meter; nothing answers to id 0.
    MIXERCONTROL none{};
    for (uint32_t component :
         {MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, MIXERLINE_COMPONENTTYPE_SRC_LINE,
          MIXERLINE_COMPONENTTYPE_SRC_COMPACTDISC, MIXERLINE_COMPONENTTYPE_SRC_SYNTHESIZER,
          MIXERLINE_COMPONENTTYPE_SRC_WAVEOUT})
        EXPECT_EQ(findControl(mixer, a, component, MIXERCONTROL_CONTROLTYPE_VOLUME, &none),
                  MIXERR_INVALLINE);
    EXPECT_EQ(findControl(mixer, a, MIXERLINE_COMPONENTTYPE_DST_SPEAKERS,
                          MIXERCONTROL_CONTROLTYPE_PEAKMETER, &none),
              MIXERR_INVALCONTROL);
    EXPECT_EQ(none.dwControlID, 0u);
    uint32_t value = 0;
    EXPECT_EQ(getValue(mixer, a, 0, &value), MIXERR_INVALCONTROL);
    EXPECT_EQ(setValue(mixer, a, 0, 5), MIXERR_INVALCONTROL);

    // A closed handle is refused; the other one goes on working.
    EXPECT_EQ(mixer.mixerClose(a), MMSYSERR_NOERROR);
    EXPECT_EQ(getValue(mixer, a, volume.dwControlID, &value), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(getValue(mixer, b, volume.dwControlID, &value), MMSYSERR_NOERROR);

    // Without a capture there is no peak meter at all.
    AlsaMixer bare;
    HMIXER c = 0;
    ASSERT_EQ(bare.mixerOpen(&c, 0, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(findControl(bare, c, MIXERLINE_COMPONENTTYPE_DST_WAVEIN,
                          MIXERCONTROL_CONTROLTYPE_PEAKMETER, &none),
              MIXERR_INVALCONTROL);
}

TEST(AlsaMixer, ValuesAgreeWithPactlBothWays) {
    PulseServer server;
    ASSERT_TRUE(server.running()) << server.startLog();
    PulseServer::shell("pactl set-sink-volume nullsink 20000; pactl set-sink-mute nullsink 0");
    AlsaMixer mixer;
    HMIXER h = 0;
    ASSERT_EQ(mixer.mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_NOERROR);
    MIXERCONTROL volume{};
    MIXERCONTROL mute{};
    MIXERCONTROL capVolume{};
    MIXERCONTROL capMute{};
    ASSERT_EQ(findControl(mixer, h, 4, MIXERCONTROL_CONTROLTYPE_VOLUME, &volume), 0u);
    ASSERT_EQ(findControl(mixer, h, 4, MIXERCONTROL_CONTROLTYPE_MUTE, &mute), 0u);
    ASSERT_EQ(findControl(mixer, h, 7, MIXERCONTROL_CONTROLTYPE_VOLUME, &capVolume), 0u);
    ASSERT_EQ(findControl(mixer, h, 7, MIXERCONTROL_CONTROLTYPE_MUTE, &capMute), 0u);

    // Another program's change is what the very next read returns, every time.
    uint32_t value = 0;
    for (long v : {12345L, 40000L, 12345L, 0L, 65536L}) {
        PulseServer::shell("pactl set-sink-volume nullsink " + std::to_string(v));
        ASSERT_EQ(getValue(mixer, h, volume.dwControlID, &value), MMSYSERR_NOERROR);
        EXPECT_EQ(value, static_cast<uint32_t>(v));
    }

    // Writes land on the server, including one equal to a value the mixer saw earlier.
    for (uint32_t v : {30000u, 65536u, 30000u}) {
        PulseServer::shell("pactl set-sink-volume nullsink 5000");
        ASSERT_EQ(setValue(mixer, h, volume.dwControlID, v), MMSYSERR_NOERROR);
        EXPECT_EQ(PulseServer::sinkVolume(), static_cast<long>(v));
    }

    // Above the top is the top; a negative level changes nothing.
    ASSERT_EQ(setValue(mixer, h, volume.dwControlID, 30000), MMSYSERR_NOERROR);
    EXPECT_EQ(setValue(mixer, h, volume.dwControlID, 70000), MMSYSERR_NOERROR);
    EXPECT_EQ(PulseServer::sinkVolume(), 65536);
    ASSERT_EQ(setValue(mixer, h, volume.dwControlID, 30000), MMSYSERR_NOERROR);
    EXPECT_EQ(setValue(mixer, h, volume.dwControlID, static_cast<uint32_t>(-100)),
              MMSYSERR_INVALPARAM);
    EXPECT_EQ(PulseServer::sinkVolume(), 30000);

    // Mute, both ways, in both directions.
    ASSERT_EQ(setValue(mixer, h, mute.dwControlID, 1), MMSYSERR_NOERROR);
    EXPECT_TRUE(PulseServer::sinkMuted());
    ASSERT_EQ(setValue(mixer, h, mute.dwControlID, 0), MMSYSERR_NOERROR);
    EXPECT_FALSE(PulseServer::sinkMuted());
    PulseServer::shell("pactl set-sink-mute nullsink 1");
    ASSERT_EQ(getValue(mixer, h, mute.dwControlID, &value), MMSYSERR_NOERROR);
    EXPECT_EQ(value, 1u);
    PulseServer::shell("pactl set-sink-mute nullsink 0");
    ASSERT_EQ(getValue(mixer, h, mute.dwControlID, &value), MMSYSERR_NOERROR);
    EXPECT_EQ(value, 0u);

    // The wave-in destination is the default source.
    ASSERT_EQ(setValue(mixer, h, capVolume.dwControlID, 22222), MMSYSERR_NOERROR);
    EXPECT_EQ(PulseServer::sourceVolume(), 22222);
    ASSERT_EQ(setValue(mixer, h, capMute.dwControlID, 1), MMSYSERR_NOERROR);
    EXPECT_TRUE(PulseServer::sourceMuted());
    PulseServer::shell("pactl set-source-volume @DEFAULT_SOURCE@ 33333");
    ASSERT_EQ(getValue(mixer, h, capVolume.dwControlID, &value), MMSYSERR_NOERROR);
    EXPECT_EQ(value, 33333u);
}

TEST(AlsaMixer, SurvivesTheServerGoingAwayAndComingBack) {
    PulseServer server;
    ASSERT_TRUE(server.running()) << server.startLog();
    AlsaMixer mixer;
    HMIXER h = 0;
    ASSERT_EQ(mixer.mixerOpen(&h, 0, 0, 0, 0), MMSYSERR_NOERROR);
    MIXERCONTROL volume{};
    ASSERT_EQ(findControl(mixer, h, 4, MIXERCONTROL_CONTROLTYPE_VOLUME, &volume), 0u);
    uint32_t value = 0;
    ASSERT_EQ(getValue(mixer, h, volume.dwControlID, &value), MMSYSERR_NOERROR);

    server.stop();
    // Polled hard while the server is away: every call fails promptly, and the retries are
    // paced, so the calls cost little CPU time.
    double cpuBefore = cpuSeconds();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) {
        value = 99;
        EXPECT_EQ(getValue(mixer, h, volume.dwControlID, &value), MMSYSERR_NODRIVER);
        EXPECT_EQ(setValue(mixer, h, volume.dwControlID, 1000), MMSYSERR_NODRIVER);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(value, 99u) << "a failed read must leave the caller's value alone";
    EXPECT_LT(cpuSeconds() - cpuBefore, 0.5 * elapsed);
    MIXERCONTROL again{};
    EXPECT_EQ(findControl(mixer, h, 4, MIXERCONTROL_CONTROLTYPE_VOLUME, &again), MMSYSERR_NODRIVER);

    // Back again: the same handle and control identifier work at the next call.
    ASSERT_TRUE(server.start()) << server.startLog();
    PulseServer::shell("pactl set-sink-volume nullsink 11111");
    ASSERT_EQ(getValue(mixer, h, volume.dwControlID, &value), MMSYSERR_NOERROR);
    EXPECT_EQ(value, 11111u);
    ASSERT_EQ(setValue(mixer, h, volume.dwControlID, 22222), MMSYSERR_NOERROR);
    EXPECT_EQ(PulseServer::sinkVolume(), 22222);
    ASSERT_EQ(findControl(mixer, h, 4, MIXERCONTROL_CONTROLTYPE_VOLUME, &again), 0u);
    EXPECT_EQ(again.dwControlID, volume.dwControlID);

    // Killed and restarted between two calls: the next call still works.
    server.stop();
    ASSERT_TRUE(server.start()) << server.startLog();
    ASSERT_EQ(setValue(mixer, h, volume.dwControlID, 33333), MMSYSERR_NOERROR);
    EXPECT_EQ(PulseServer::sinkVolume(), 33333);
}
