// PulseEngine against a real sound server (PulseAudio, or PipeWire with pipewire-pulse when
// BRENNET_TEST_SERVER=pipewire), read back with pactl: the lines of the default devices, changes
// made by other programs, writes, a change of the default sink, and a server that hangs,
// crashes, stops, comes back, or starts only after the engine.

#include "AlsaWaveIn.h"
#include "PulseEngine.h"
#include "PulseServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

using Line = MixerEngine::Line;
using Status = MixerEngine::Status;
using Clock = std::chrono::steady_clock;
using testing::Each;
constexpr auto pactl = PulseServer::pactl;
using namespace std::chrono_literals;

namespace {

// A server and an engine for it, not connected yet, that counts the changes it reports. The
// engine prints nothing, whatever the server does: its user reports losses.
class PulseEngineTest : public testing::Test {
protected:
    void SetUp() override {
        // The handler runs on the engine's own thread and may use the engine from there.
        engine.setChangeHandler([this] {
            long v = 0;
            engine.volume(Line::Speakers, &v);
            engine.connect();
            ++changes;
        });
        testing::internal::CaptureStderr();
    }
    void TearDown() override { EXPECT_EQ(testing::internal::GetCapturedStderr(), ""); }

    // The engine's readings, or -1 when it has none.
    long volume(Line line) { return engine.volume(line, &value) == Status::Ok ? value : -1; }
    int muted(Line line) { return engine.muted(line, &mute) == Status::Ok ? mute : -1; }
    // What each call on a line returns.
    std::vector<Status> calls(Line line) {
        return {engine.volume(line, &value), engine.setVolume(line, 1000),
                engine.muted(line, &mute), engine.setMuted(line, true)};
    }

    // The server's device behind a line, as pactl names it.
    static std::string kind(Line l) { return l == Line::WaveIn ? "source" : "sink"; }
    static auto name(Line l) { return l == Line::WaveIn ? "@DEFAULT_SOURCE@" : "@DEFAULT_SINK@"; }
    static long serverVolume(Line line) { return PulseServer::volume(kind(line), name(line)); }
    static bool serverMuted(Line line) { return PulseServer::muted(kind(line), name(line)); }

    // Another program sets the line's "volume" or "mute" to value; the engine soon reads want.
    bool seen(Line line, const std::string& what, const std::string& value, long want) {
        pactl("set-" + kind(line) + "-" + what + " " + name(line) + " " + value);
        return soon([&] { return (what == "mute" ? muted(line) : volume(line)) == want; });
    }

    // Events reach the engine one round trip after pactl returns; a short bounded poll covers
    // that.
    static bool soon(const std::function<bool()>& done) { return PulseServer::waitFor(done, 2s); }
    static double msSince(Clock::time_point t) { return (Clock::now() - t) / 1.0ms; }

    PulseServer server;
    PulseEngine engine;
    std::atomic<int> changes{0};
    long value = 0;
    bool mute = false;
    int32_t level = -1;
};

}  // namespace

TEST_F(PulseEngineTest, OffersTheDefaultSinkAndSourceOnly) {
    EXPECT_EQ(engine.volume(Line::Speakers, &value), Status::Unreachable) << "before connect";
    ASSERT_TRUE(engine.connect());
    for (Line line : {Line::Speakers, Line::WaveIn}) {
        EXPECT_TRUE(engine.hasLine(line) && engine.hasVolume(line) && engine.hasSwitch(line));
        EXPECT_THAT(engine.volumeRange(line), testing::FieldsAre(0, 65536));
        EXPECT_THAT(calls(line), Each(Status::Ok));
    }
    EXPECT_EQ(pactl("info").find("PipeWire") != std::string::npos, PulseServer::pipewire());
    EXPECT_EQ(engine.lineName(Line::Speakers), "Null Output");
    EXPECT_EQ(engine.channels(Line::Speakers), 2);
    EXPECT_FALSE(engine.lineName(Line::WaveIn).empty());

    for (Line line :
         {Line::Microphone, Line::LineIn, Line::CompactDisc, Line::Synthesizer, Line::WaveOut}) {
        EXPECT_FALSE(engine.hasLine(line) || engine.hasVolume(line) || engine.hasSwitch(line));
        EXPECT_THAT(calls(line), Each(Status::Missing));
        EXPECT_EQ(engine.peak(line, &level), Status::Missing);
    }
    EXPECT_FALSE(engine.hasPeak(Line::WaveIn)) << "no capture given";
    EXPECT_EQ(engine.peak(Line::WaveIn, &level), Status::Missing);

    AlsaWaveIn capture;
    PulseEngine metered(&capture);
    ASSERT_TRUE(metered.connect());
    EXPECT_TRUE(metered.hasPeak(Line::WaveIn) && !metered.hasPeak(Line::Speakers));
    // Nothing records: the peak is 0.
    EXPECT_TRUE(metered.peak(Line::WaveIn, &level) == Status::Ok && level == 0) << level;
}

TEST_F(PulseEngineTest, SeesChangesOtherProgramsMake) {
    ASSERT_TRUE(engine.connect());
    // The last value returns to an earlier one: it must not be taken for "no change".
    for (Line line : {Line::Speakers, Line::WaveIn}) {
        for (long v : {30000L, 45000L, 30000L, 45000L})
            EXPECT_TRUE(seen(line, "volume", std::to_string(v), v)) << v;
        for (int m : {1, 0, 1, 0})
            EXPECT_TRUE(seen(line, "mute", std::to_string(m), m)) << m;
    }
    EXPECT_GT(changes.load(), 0);
    EXPECT_TRUE(seen(Line::Speakers, "volume", "20000 40000", 40000)) << "the loudest channel";
    EXPECT_TRUE(seen(Line::Speakers, "volume", "80000", 80000)) << "above 100 %, as it is";
}

TEST_F(PulseEngineTest, WritesAreReadAtOnceAndReachTheServer) {
    ASSERT_TRUE(engine.connect());
    for (Line line : {Line::Speakers, Line::WaveIn}) {
        const int before = changes.load();
        ASSERT_EQ(engine.setVolume(line, 6554), Status::Ok);
        EXPECT_EQ(volume(line), 6554);
        EXPECT_TRUE(soon([&] { return serverVolume(line) == 6554; })) << serverVolume(line);
        EXPECT_TRUE(soon([&] { return changes.load() > before; }));  // once the server took it
        for (bool m : {true, false, true}) {
            ASSERT_EQ(engine.setMuted(line, m), Status::Ok);
            EXPECT_EQ(muted(line), m);
            EXPECT_TRUE(soon([&] { return serverMuted(line) == m; })) << m;
        }
    }

    // A burst of writes: each read gives the value just written, and no late report of an
    // earlier state undoes the last one.
    for (long v = 1000; v <= 40000; v += 1000) {
        ASSERT_EQ(engine.setVolume(Line::Speakers, v), Status::Ok);
        EXPECT_EQ(volume(Line::Speakers), v);
        // By now reports of the earlier writes come in, and must not be taken for the state.
        std::this_thread::sleep_for(std::chrono::microseconds(300 * (v / 1000 % 5)));
        EXPECT_EQ(volume(Line::Speakers), v) << "a while after the write";
    }
    EXPECT_TRUE(soon([] { return PulseServer::volume() == 40000; }));
    std::this_thread::sleep_for(200ms);  // time for any late report to arrive
    EXPECT_EQ(volume(Line::Speakers), 40000);

    // After the writes another program's change is seen again, and the balance it set stays:
    // the loudest channel gets the value, the other follows.
    ASSERT_TRUE(seen(Line::Speakers, "volume", "15000 30000", 30000));
    ASSERT_EQ(engine.setVolume(Line::Speakers, 20000), Status::Ok);
    EXPECT_TRUE(soon([] {
        return PulseServer::volume() == 10000 &&
               PulseServer::volume("sink", "nullsink", "front-right:") == 20000;
    })) << pactl("get-sink-volume nullsink");
}

TEST_F(PulseEngineTest, FollowsTheDefaultSink) {
    ASSERT_TRUE(engine.connect());
    ASSERT_TRUE(seen(Line::Speakers, "volume", "50000", 50000));
    std::string module = pactl(
        "load-module module-null-sink sink_name=second sink_properties=device.description=Second");
    ASSERT_GE(std::atol(module.c_str()), 0) << module;
    ASSERT_TRUE(soon([] { return PulseServer::volume("sink", "second") >= 0; }));
    pactl("set-sink-volume second 20000");
    // The outputs follow the sinks; choosing one makes it the default.
    using Outputs = std::vector<std::pair<std::string, bool>>;
    auto outputs = [&] {
        Outputs all;
        for (const MixerEngine::Output& o : engine.outputs())
            all.emplace_back(o.description, o.isDefault);
        return all;
    };
    EXPECT_TRUE(soon([&] {
        return outputs() == Outputs{{"Null Output", true}, {"Second", false}};
    }));
    EXPECT_TRUE(engine.canChooseOutput());
    EXPECT_EQ(engine.chooseOutput("nosuchsink"), Status::Missing);
    ASSERT_EQ(engine.chooseOutput("second"), Status::Ok);
    EXPECT_TRUE(soon([&] {
        return engine.lineName(Line::Speakers) == "Second" && volume(Line::Speakers) == 20000;
    })) << engine.lineName(Line::Speakers);
    EXPECT_EQ(outputs(), (Outputs{{"Null Output", false}, {"Second", true}}));

    EXPECT_TRUE(seen(Line::Speakers, "volume", "25000", 25000));
    ASSERT_EQ(engine.setVolume(Line::Speakers, 40000), Status::Ok);
    EXPECT_TRUE(soon([] { return PulseServer::volume("sink", "second") == 40000; }));
    ASSERT_EQ(engine.setMuted(Line::Speakers, true), Status::Ok);
    EXPECT_TRUE(soon([] { return PulseServer::muted("sink", "second"); }));
    EXPECT_TRUE(PulseServer::volume() == 50000 && !PulseServer::muted()) << "the old default";

    // The default sink goes away: the line moves to the one that takes its place.
    pactl("unload-module " + std::to_string(std::atol(module.c_str())));
    EXPECT_TRUE(soon([&] {
        return engine.lineName(Line::Speakers) == "Null Output" && volume(Line::Speakers) == 50000;
    })) << engine.lineName(Line::Speakers);
    EXPECT_TRUE(soon([&] { return outputs() == Outputs{{"Null Output", true}}; }));

    // With no sink at all the line is missing, and comes back with the next sink. (PipeWire's
    // null sink belongs to its own configuration; only PulseAudio's can be unloaded.)
    if (PulseServer::pipewire())
        return;
    pactl("unload-module module-null-sink");
    EXPECT_TRUE(soon([&] { return !engine.hasLine(Line::Speakers); }));
    EXPECT_THAT(calls(Line::Speakers), Each(Status::Missing));
    EXPECT_TRUE(engine.connected());
    pactl("load-module module-null-sink sink_name=third sink_properties=device.description=Third");
    EXPECT_TRUE(soon([&] { return engine.lineName(Line::Speakers) == "Third"; }));
    EXPECT_EQ(engine.volume(Line::Speakers, &value), Status::Ok);
}

TEST_F(PulseEngineTest, StaysQuickWhileTheServerHangs) {
    ASSERT_TRUE(engine.connect());
    server.signalServer(SIGSTOP);
    auto start = Clock::now();
    for (long v = 2000; v <= 20000; v += 2000) {
        EXPECT_EQ(engine.setVolume(Line::Speakers, v), Status::Ok);
        EXPECT_EQ(volume(Line::Speakers), v);
        EXPECT_EQ(engine.muted(Line::Speakers, &mute), Status::Ok);
        EXPECT_TRUE(engine.connect());
    }
    EXPECT_LT(msSince(start), 100.0) << "no call waits for a server that does not answer";
    server.signalServer(SIGCONT);
    EXPECT_TRUE(soon([] { return PulseServer::volume() == 20000; })) << "the last write wins";
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(volume(Line::Speakers), 20000);
}

TEST_F(PulseEngineTest, RecoversWhenTheServerCrashesOrRestarts) {
    ASSERT_TRUE(engine.connect());
    // Round 0: the server crashes, and the engine finds it again by itself (retries back off to
    // 2 s); round 1: it stops in order, and a caller that keeps trying gets through.
    for (int round = 0; round < 2; ++round) {
        round == 0 ? server.signalServer(SIGKILL) : server.stop();
        ASSERT_TRUE(soon([&] { return !engine.connected(); })) << round;
        EXPECT_THAT(calls(Line::Speakers), Each(Status::Unreachable));
        auto start = Clock::now();
        EXPECT_FALSE(engine.connect());
        EXPECT_LT(msSince(start), 300.0) << "an on-demand attempt stays short";
        const int before = changes.load();
        for (int i = 0; i < 50; ++i)
            EXPECT_FALSE(engine.connect() || volume(Line::Speakers) != -1);
        std::this_thread::sleep_for(300ms);  // a few background attempts
        EXPECT_LE(changes.load() - before, 1) << "no change reported while nothing changed";

        server.restart();  // after a crash, stop() cleans up what the killed server left
        EXPECT_TRUE(PulseServer::waitFor(
            [&] { return round == 0 ? engine.connected() : engine.connect(); }, 5s));
        EXPECT_EQ(volume(Line::Speakers), PulseServer::volume());
        ASSERT_EQ(engine.setVolume(Line::Speakers, 6554 * (round + 2)), Status::Ok);
        EXPECT_TRUE(soon([&] { return PulseServer::volume() == 6554 * (round + 2); }));
    }
}

TEST_F(PulseEngineTest, ConnectsToAServerStartedLater) {
    server.stop();
    auto start = Clock::now();
    EXPECT_FALSE(engine.connect());
    EXPECT_LT(msSince(start), 1100.0);
    EXPECT_EQ(engine.volume(Line::Speakers, &value), Status::Unreachable);
    EXPECT_FALSE(engine.hasLine(Line::Speakers)) << "never seen";

    server.start();
    EXPECT_TRUE(PulseServer::waitFor([&] { return engine.connected(); }, 5s));
    EXPECT_TRUE(engine.hasLine(Line::Speakers));
    EXPECT_EQ(engine.setVolume(Line::Speakers, 13107), Status::Ok);
    EXPECT_TRUE(soon([] { return PulseServer::volume() == 13107; }));
}
