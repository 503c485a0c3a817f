// The change path over the in-memory engines: a handler that reads back inside the notification,
// a shutdown while changes keep coming, and one mixer object that follows an engine whose range
// changed.

#include "EngineChooser.h"
#include "EngineWatch.h"
#include "FakeEngine.h"
#include "FrmMainRig.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <atomic>
#include <future>
#include <thread>

using Line = MixerEngine::Line;
using namespace std::chrono_literals;

namespace {

struct Engines {
    Engines() {
        native.add(Line::Speakers, {0, 65536});
        alsa.add(Line::Speakers, {0, 87});
    }
    FakeEngine native;
    FakeEngine alsa;
    EngineChooser chooser{native, alsa, "", [](const char*) {}};
};

long speakers(MixerEngine& engine) {
    long v = -1;
    engine.volume(Line::Speakers, &v);
    return v;
}

}  // namespace

TEST(ChangePathTest, AHandlerReadsTheNewValueBackOffTheChangersThread) {
    Engines e;
    std::promise<std::thread::id> told;
    std::atomic<bool> once{false};
    e.chooser.setChangeHandler([&] {
        // The engine told while holding its lock; reading it here must neither block nor show
        // the value from before.
        if (speakers(e.chooser) == 12345 && !once.exchange(true))
            told.set_value(std::this_thread::get_id());
    });
    e.native.outside(Line::Speakers, 12345);
    auto future = told.get_future();
    ASSERT_EQ(future.wait_for(2s), std::future_status::ready);
    EXPECT_NE(future.get(), std::this_thread::get_id());
}

// Run under AddressSanitizer by make test: the chooser and the Qt end go while an engine keeps
// telling changes from another thread.
TEST(ChangePathTest, ShutdownWhileChangesArriveIsClean) {
    FrmMainRig::ensureApplication();
    for (int round = 0; round < 20; ++round) {
        FakeEngine native, alsa;
        native.add(Line::Speakers, {0, 65536});
        std::atomic<bool> stop{false};
        std::thread storm([&] {
            for (long v = 0; !stop; ++v)
                native.outside(Line::Speakers, v % 65536);
        });
        {
            EngineChooser chooser(native, alsa, "", [](const char*) {});
            EngineWatch watch(chooser);
            int heard = 0;
            QObject::connect(&watch, &EngineWatch::changed, [&] {
                ++heard;
                speakers(chooser);
            });
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

// The devices changed under the one mixer object (another sound system, another range): a step
// is 10 % of the new range, and the icon's tooltip shows the new level.
TEST(ChangePathTest, OneMixerObjectStepsTheRangeOfTheDeviceControlledNow) {
    FrmMainRig rig;
    rig.save(settingNames::kSound, "0");
    frmMain& form = rig.make();
    form.Form_Load();
    rig.master().volume = 100;
    rig.tray.click(WM_LBUTTONDOWN);
    rig.tray.click(WM_LBUTTONUP);
    EXPECT_EQ(rig.master().volume, 126);  // 100 + 25.5 of 0..255

    rig.master().range = {0, 65536};
    rig.master().volume = 30000;
    form.mixerChanged();
    EXPECT_EQ(rig.tray.count(NIM_MODIFY), 1);
    EXPECT_TRUE(rig.tray.shown.begin()->second.tipLine.startsWith(QStringLiteral("46% · ")));
    rig.tray.click(WM_LBUTTONDOWN);
    rig.tray.click(WM_LBUTTONUP);
    EXPECT_EQ(rig.master().volume, 36554);  // 30000 + 6553.6, not + 25.5
}
