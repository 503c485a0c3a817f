// Which engine answers: the native one whenever its server does, ALSA only without one, and
// BRENNET_MIXER's choice when it names one; and how the engines' changes reach the UI thread.

#include "EngineChooser.h"
#include "EngineWatch.h"
#include "FakeEngine.h"
#include "FrmMainRig.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

using Line = MixerEngine::Line;
using namespace std::chrono_literals;

namespace {

struct Engines {
    Engines() {
        native.add(Line::Speakers, {0, 65536});
        native.lines[Line::Speakers].volume = 30000;
        alsa.add(Line::Speakers, {0, 87});
        alsa.add(Line::Microphone, {0, 31});
        alsa.lines[Line::Speakers].volume = 40;
    }
    FakeEngine native;
    FakeEngine alsa;
};

long speakers(MixerEngine& engine) {
    long v = -1;
    engine.volume(Line::Speakers, &v);
    return v;
}

}  // namespace

TEST(EngineChooserTest, TheServerWinsWheneverItAnswersAndAlsaStandsInOnlyWithoutIt) {
    Engines e;
    std::vector<std::string> lines;
    EngineChooser chooser(e.native, e.alsa, "", [&](const char* line) { lines.push_back(line); });

    ASSERT_TRUE(chooser.connect());
    EXPECT_EQ(e.alsa.connects, 0);  // ALSA is not opened while the server answers
    EXPECT_EQ(speakers(chooser), 30000);
    EXPECT_FALSE(chooser.hasLine(Line::Microphone));

    // No server at all: ALSA's card.
    e.native.reachable = false;
    ASSERT_TRUE(chooser.connect());
    EXPECT_EQ(speakers(chooser), 40);
    EXPECT_EQ(chooser.volumeRange(Line::Speakers).max, 87);
    EXPECT_TRUE(chooser.hasLine(Line::Microphone));
    chooser.setVolume(Line::Speakers, 50);
    EXPECT_EQ(e.alsa.lines[Line::Speakers].volume, 50);

    // The server comes back: it takes over without a call to connect.
    e.native.reachable = true;
    EXPECT_EQ(speakers(chooser), 30000);
    EXPECT_EQ(chooser.volumeRange(Line::Speakers).max, 65536);

    // Neither: not connected, and the calls say so.
    e.native.reachable = false;
    e.alsa.reachable = false;
    EXPECT_FALSE(chooser.connect());
    EXPECT_FALSE(chooser.connect());
    long v = 0;
    EXPECT_EQ(chooser.volume(Line::Speakers, &v), MixerEngine::Status::Unreachable);
    e.native.reachable = true;
    EXPECT_TRUE(chooser.connect());
    EXPECT_TRUE(chooser.connect());

    // One line for each change of what answers, none while it stays.
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Brennet: no sound server answers; using the sound card through ALSA\n",
                         "Brennet: lost the sound system; waiting for it to come back\n",
                         "Brennet: the sound server answers again\n",
                     }));
}

TEST(EngineChooserTest, AForcedEngineIsTheOnlyOneAskedAndAnUnknownNameLeavesTheChoiceOpen) {
    Engines e;
    EngineChooser alsaOnly(e.native, e.alsa, "alsa");
    ASSERT_TRUE(alsaOnly.connect());
    EXPECT_EQ(e.native.connects, 0);
    EXPECT_EQ(speakers(alsaOnly), 40);

    e.native.reachable = false;
    const int alsaConnects = e.alsa.connects;
    EngineChooser pulseOnly(e.native, e.alsa, "pulse");
    EXPECT_FALSE(pulseOnly.connect());
    EXPECT_EQ(e.alsa.connects, alsaConnects) << "forced to the server, ALSA is never opened";

    EXPECT_TRUE(EngineChooser::knows("pulse") && EngineChooser::knows("alsa"));
    EXPECT_FALSE(EngineChooser::knows("oss"));
    EngineChooser unknown(e.native, e.alsa, "oss");  // an unknown name leaves the choice open
    ASSERT_TRUE(unknown.connect());
    EXPECT_EQ(speakers(unknown), 40);
}

TEST(EngineChooserTest, AHandlerReadsTheNewValueBackOffTheChangersThread) {
    Engines e;
    EngineChooser chooser(e.native, e.alsa, "", [](const char*) {});
    std::promise<std::thread::id> told;
    std::atomic<bool> once{false};
    chooser.setChangeHandler([&] {
        // The engine told while holding its lock: reading it here neither blocks nor shows the
        // value from before.
        if (speakers(chooser) == 12345 && !once.exchange(true))
            told.set_value(std::this_thread::get_id());
    });
    e.native.outside(Line::Speakers, 12345);
    auto future = told.get_future();
    ASSERT_EQ(future.wait_for(2s), std::future_status::ready);
    EXPECT_NE(future.get(), std::this_thread::get_id());
}

// Run under AddressSanitizer by make test: the chooser and the Qt end go while an engine keeps
// telling changes from another thread.
TEST(EngineChooserTest, ShutdownWhileChangesArriveIsClean) {
    FrmMainRig::ensureApplication();
    for (int round = 0; round < 20; ++round) {
        Engines e;
        std::atomic<bool> stop{false};
        std::thread storm([&] {
            for (long v = 0; !stop; ++v)
                e.native.outside(Line::Speakers, v % 65536);
        });
        {
            EngineChooser chooser(e.native, e.alsa, "", [](const char*) {});
            EngineWatch watch(chooser);
            int heard = 0;
            QObject::connect(&watch, &EngineWatch::changed,
                             [&] { heard += speakers(chooser) >= 0; });
            QElapsedTimer clock;
            clock.start();
            while (heard < 3 && clock.elapsed() < 2000)
                QCoreApplication::processEvents();
            EXPECT_GE(heard, 3) << "a storm of changes reaches the UI thread as signals";
        }
        stop = true;
        storm.join();
    }
}
