// clsVolume over the real mixer service and an in-memory sound system: what its callers see
// with no sound system, one that appears late, lines that are missing, levels another program
// changed, bad values, and the capture that runs beside the input meter.

#include "EngineMixer.h"
#include "FakeEngine.h"
#include "FakeNotifier.h"
#include "FakeWaveIn.h"
#include "clsVolume.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <vector>

using namespace std::chrono_literals;
using Line = MixerEngine::Line;
using WOp = FakeWaveIn::Op;

namespace {

class clsVolumeTest : public ::testing::Test {
protected:
    std::unique_ptr<clsVolume> make() {
        return std::make_unique<clsVolume>(mixer, waveIn, notifier, [this] { return now; });
    }
    // A sound server: the default sink and source, with peak meters on the source and on the
    // wave-out line.
    void addServerLines() {
        engine.add(Line::Speakers, {0, 65536});
        engine.add(Line::WaveIn, {0, 65536});
        engine.add(Line::WaveOut, {0, 65536});
        engine.lines[Line::WaveIn].hasPeak = true;
        engine.lines[Line::WaveOut].hasPeak = true;
    }

    FakeEngine engine;
    EngineMixer mixer{engine};
    FakeWaveIn waveIn;
    FakeNotifier notifier;
    std::chrono::steady_clock::time_point now{};
};

struct Channel {
    Line line;
    int32_t (clsVolume::*min)();
    int32_t (clsVolume::*max)();
    int32_t (clsVolume::*level)();
    void (clsVolume::*setLevel)(int32_t);
    VBBool (clsVolume::*mute)();
    void (clsVolume::*setMute)(VBBool);
};
using V = clsVolume;
// clang-format off
const Channel kChannels[] = {
    {Line::Speakers, &V::VolumeMin, &V::VolumeMax, &V::VolumeLevel, &V::VolumeLevel, &V::VolumeMute, &V::VolumeMute},
    {Line::Microphone, &V::MicMin, &V::MicMax, &V::MicLevel, &V::MicLevel, &V::MikrofonMute, &V::MikrofonMute},
    {Line::LineIn, &V::LineMin, &V::LineMax, &V::LineLevel, &V::LineLevel, &V::LineMute, &V::LineMute},
    {Line::CompactDisc, &V::CDMin, &V::CDMax, &V::CDLevel, &V::CDLevel, &V::CompactDiscMute, &V::CompactDiscMute},
    {Line::Synthesizer, &V::SynMin, &V::SynMax, &V::SynLevel, &V::SynLevel, &V::SynthesizerMute, &V::SynthesizerMute},
    {Line::WaveOut, &V::WaveMin, &V::WaveMax, &V::WaveLevel, &V::WaveLevel, &V::WaveMute, &V::WaveMute},
};
// clang-format on

}  // namespace

TEST_F(clsVolumeTest, WithoutASoundSystemAnswersZeroAndLooksForOneAtMostOncePerSecond) {
    addServerLines();
    engine.lines[Line::Speakers].volume = 40;
    engine.reachable = false;
    auto volume = make();
    clsVolume& v = *volume;
    for (const Channel& c : kChannels) {
        EXPECT_EQ(std::vector<int32_t>({(v.*c.min)(), (v.*c.max)(), (v.*c.level)(), (v.*c.mute)()}),
                  std::vector<int32_t>(4, 0))
            << "line " << static_cast<int>(c.line);
    }
    EXPECT_EQ(v.MaxVolumeMeterInput(), 0);
    EXPECT_EQ(v.CurrentVolumeMeterOutput(), 0);
    EXPECT_EQ(v.CurrentVolumeMeterInput(), 0);
    v.VolumeLevel(100);
    EXPECT_NE(v.LastResult(), 0);

    // A polling caller cannot flood the mixer service: one attempt per second.
    const int attempts = engine.connects;
    now += 500ms;
    v.VolumeLevel();
    EXPECT_EQ(engine.connects, attempts);
    now += 500ms;
    v.VolumeLevel();
    v.VolumeLevel();
    EXPECT_EQ(engine.connects, attempts + 1);

    engine.reachable = true;
    now += 1s;
    EXPECT_EQ(v.VolumeLevel(), 40) << "found before the read";
    const int opened = engine.connects;
    EXPECT_EQ(v.MinVolumeMeterInput(), -32768);
    v.VolumeMute(VB_TRUE);
    EXPECT_TRUE(engine.lines[Line::Speakers].muted);
    EXPECT_EQ(engine.connects, opened) << "only opening the mixer waits for a connection";

    // A sound system without a master line is taken as it is: its master never appears later.
    FakeEngine noMaster;
    noMaster.add(Line::WaveOut, {0, 100});
    EngineMixer other(noMaster);
    clsVolume w(other, waveIn, notifier, [this] { return now; });
    noMaster.add(Line::Speakers, {0, 65536});
    for (int i = 0; i < 2; ++i, now += 1s) {
        EXPECT_EQ(std::make_pair(w.WaveMax(), w.VolumeMax()), std::make_pair(100, 0));
    }
}

TEST_F(clsVolumeTest, EachChannelReachesItsOwnLineAndMissingOnesFailQuietly) {
    // Distinct bounds and levels per line, so a property wired to the wrong line shows.
    for (int n = 1; n <= 6; ++n) {
        engine.add(kChannels[n - 1].line, {-n, 100 * n});
        engine.lines[kChannels[n - 1].line].volume = 10 * n;
    }
    auto volume = make();
    clsVolume& v = *volume;
    EXPECT_EQ(v.MaxVolumeMeterInput(), 0) << "no line with a peak meter, no input meter";
    for (int n = 1; n <= 6; ++n) {
        const Channel& c = kChannels[n - 1];
        FakeEngine::State& state = engine.lines[c.line];
        SCOPED_TRACE(n);
        EXPECT_EQ(std::vector<int32_t>({(v.*c.min)(), (v.*c.max)(), (v.*c.level)(), (v.*c.mute)()}),
                  std::vector<int32_t>({-n, 100 * n, 10 * n, VB_FALSE}));
        (v.*c.setLevel)(42);
        (v.*c.setMute)(VBBool{2});  // any nonzero value mutes
        EXPECT_EQ(state.volume, 42);
        EXPECT_TRUE(state.muted);
        EXPECT_EQ((v.*c.mute)(), VB_TRUE);
    }

    // Only the server's lines: the others have bounds 0, and accesses fail without a crash.
    engine.lines.erase(Line::CompactDisc);
    engine.lines[Line::LineIn].hasSwitch = false;
    engine.lines[Line::LineIn].muted = false;
    auto fewer = make();
    EXPECT_EQ(std::vector<int32_t>({fewer->CDMin(), fewer->CDMax(), fewer->CDLevel()}),
              std::vector<int32_t>(3, 0));
    fewer->LineMute(VB_TRUE);
    EXPECT_EQ(fewer->LastResult(), static_cast<int32_t>(MIXERR_INVALCONTROL));
    EXPECT_FALSE(engine.lines[Line::LineIn].muted);
}

TEST_F(clsVolumeTest, LevelsAreWhatTheServerHoldsAndBadWritesChangeNothing) {
    addServerLines();
    auto volume = make();
    clsVolume& v = *volume;
    FakeEngine::State& master = engine.lines[Line::Speakers];

    // (Reads that follow another program's writes: ClsVolumeAlsaTest and gestures.sh.) Past
    // the top is the top; a negative level is refused and changes nothing.
    v.VolumeLevel(v.VolumeMax() + 1000);
    for (int32_t bad : {-1, INT32_MIN}) {
        v.VolumeLevel(bad);
        EXPECT_EQ(v.LastResult(), static_cast<int32_t>(MMSYSERR_INVALPARAM)) << bad;
    }
    EXPECT_EQ(master.volume, 65536);
    engine.failWrites = true;
    v.VolumeLevel(100);
    EXPECT_EQ(v.LastResult(), static_cast<int32_t>(MMSYSERR_ERROR));

    // A failed read is 0 and unmuted, not the last good value.
    master.muted = true;
    EXPECT_EQ(v.VolumeMute(), VB_TRUE);
    engine.reachable = false;
    EXPECT_EQ(v.VolumeLevel(), 0);
    EXPECT_EQ(v.VolumeMute(), VB_FALSE);
    EXPECT_EQ(v.LastResult(), static_cast<int32_t>(MMSYSERR_NODRIVER));
}

TEST_F(clsVolumeTest, TheInputMeterRunsACaptureThatKeepsCyclingAndEndsCleanly) {
    addServerLines();
    auto volume = make();
    engine.lines[Line::WaveOut].peak = 9;
    EXPECT_EQ(volume->CurrentVolumeMeterOutput(), 9);
    EXPECT_TRUE(waveIn.calls().empty()) << "output readings start no capture";

    engine.lines[Line::WaveIn].peak = 31;
    EXPECT_EQ(volume->CurrentVolumeMeterInput(), 31);
    ASSERT_EQ(waveIn.queue().size(), 2u);
    EXPECT_EQ(waveIn.count(WOp::Start), 1);

    // Later readings open nothing and hand back only the buffers the device filled.
    waveIn.clearCalls();
    WAVEHDR* first = waveIn.queue().front();
    waveIn.finishNext();
    volume->CurrentVolumeMeterOutput();
    ASSERT_EQ(waveIn.calls().size(), 1u);
    EXPECT_EQ(waveIn.calls()[0].op, WOp::AddBuffer);
    EXPECT_EQ(waveIn.calls()[0].header, first);
    waveIn.finishAll();
    volume->CurrentVolumeMeterInput();
    EXPECT_EQ(waveIn.count(WOp::AddBuffer), 3);
    EXPECT_EQ(waveIn.count(WOp::Open), 0);

    // Readings are made non-negative, the most negative one included; a failed one keeps the
    // latest good reading of either meter.
    for (auto [raw, expected] : {std::pair{-300, 300}, {INT32_MIN, INT32_MAX}, {-120, 120}}) {
        engine.lines[Line::WaveOut].peak = raw;
        EXPECT_EQ(volume->CurrentVolumeMeterOutput(), expected) << raw;
    }
    engine.reachable = false;
    EXPECT_EQ(volume->CurrentVolumeMeterInput(), 120);
    engine.reachable = true;
    EXPECT_TRUE(notifier.messages.empty());

    // Ending stops the capture: every call of the shutdown succeeds, the close included.
    waveIn.clearCalls();
    volume.reset();
    EXPECT_EQ(waveIn.count(WOp::Close), 1);
    for (const auto& call : waveIn.calls())
        EXPECT_EQ(call.result, 0u);
}

TEST_F(clsVolumeTest, ACaptureThatCannotStartShowsTheErrorBoxAndTheMeterIsStillRead) {
    addServerLines();
    waveIn.setDevicePresent(false);
    auto volume = make();
    engine.lines[Line::WaveIn].peak = 12;
    EXPECT_EQ(volume->CurrentVolumeMeterInput(), 12);
    ASSERT_EQ(notifier.count(), 2);
    for (const auto& m : notifier.messages) {
        EXPECT_EQ(m.prompt, FakeWaveIn::errorText(MMSYSERR_BADDEVICEID));
        EXPECT_EQ(m.style, MB_OK | MB_ICONSTOP);
        EXPECT_EQ(m.title, "Brennet - Mixercontrol Fehler");
    }

    // The next reading tries again; one buffer's preparation fails: one box, and the capture
    // runs on with both buffers queued.
    waveIn.setDevicePresent(true);
    waveIn.failNext(WOp::PrepareHeader, MMSYSERR_NOMEM);
    volume->CurrentVolumeMeterInput();
    ASSERT_EQ(notifier.count(), 3);
    EXPECT_EQ(notifier.messages[2].prompt, FakeWaveIn::errorText(MMSYSERR_NOMEM));
    EXPECT_EQ(waveIn.count(WOp::AddBuffer), 2);
    volume->CurrentVolumeMeterInput();
    EXPECT_EQ(waveIn.count(WOp::Open), 3) << "the capture counts as running";
}
