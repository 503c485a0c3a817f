// Clicks and holds on the tray icon: the steps they make on the mixer, the flags, the sounds and
// the options dialog. The timers' ticks are driven directly.

#include "FrmMainRig.h"

#include <gtest/gtest.h>

namespace {

class frmMainGesturesTest : public ::testing::Test {
protected:
    frmMain& start() {
        frmMain& form = rig.make();
        form.Form_Load();
        master.clearCounts();
        return form;
    }
    void send(std::initializer_list<uint32_t> messages) {
        for (uint32_t message : messages) {
            ASSERT_TRUE(rig.tray.click(message));
        }
    }
    void leftClick() { send({WM_LBUTTONDOWN, WM_LBUTTONUP}); }
    void rightClick() { send({WM_RBUTTONDOWN, WM_RBUTTONUP}); }
    // A press, the timer's tick, the release; the tick ends its timer.
    void hold(uint32_t down, QTimer& timer, void (frmMain::*tick)()) {
        send({down});
        ASSERT_TRUE(timer.isActive());
        (rig.form.get()->*tick)();
        EXPECT_FALSE(timer.isActive());
        send({down + 1});
    }
    void leftHold() { hold(WM_LBUTTONDOWN, rig.form->Timer1, &frmMain::Timer1_Timer); }
    void rightHold() { hold(WM_RBUTTONDOWN, rig.form->Timer2, &frmMain::Timer2_Timer); }
    int sounds() const { return static_cast<int>(rig.player.played.size()); }

    FrmMainRig rig;
    FakeEngine::State& master = rig.master();
};

TEST_F(frmMainGesturesTest, StepTableForRange255) {
    struct Case {
        long level;
        bool left;
        int written;  // -1: nothing written
        int reads;
    };
    const Case cases[] = {
        {0, true, 26, 2},   {1, true, 26, 2},     {254, true, 255, 2},  // not past the maximum
        {255, true, -1, 1}, {255, false, 230, 2}, {27, false, 2, 2},
        {26, false, 0, 2},  {25, false, 0, 1},                           // a last step to silence
        {0, false, -1, 1},  {400, true, -1, 1},   {400, false, 255, 1},  // set above by others
    };
    start();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level << (c.left ? " left" : " right"));
        master.volume = c.level;
        master.clearCounts();
        rig.player.played.clear();
        c.left ? leftClick() : rightClick();
        EXPECT_EQ(master.volumeReads, c.reads);
        EXPECT_EQ(master.volumeWrites, c.written < 0 ? 0 : 1);
        EXPECT_EQ(master.volume, c.written < 0 ? c.level : c.written);
        EXPECT_EQ(master.muteReads, 0);
        EXPECT_EQ(master.muteWrites, 0);
        // Every click that gets past the flags sounds, whether it wrote or not.
        EXPECT_EQ(rig.player.played, std::vector<std::string>{"/opt/brennet/Change.wav"});
    }
}

TEST_F(frmMainGesturesTest, DoubleClickStepsTwiceAndOtherMessagesDoNothing) {
    frmMain& form = start();
    send({WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP});
    send({WM_RBUTTONDBLCLK, 0x207, 0x208});
    form.trayCallback(0x400, WM_LBUTTONDOWN);  // not the icon's callback message
    EXPECT_EQ(master.volumeWrites, 2);
    EXPECT_FALSE(form.Timer1.isActive());
    EXPECT_FALSE(form.Timer2.isActive());
    EXPECT_EQ(sounds(), 2);
}

// The devices changed under the one mixer object (another sound system, another range): a step
// is 10 % of the new range, and the icon's tooltip shows the new level.
TEST_F(frmMainGesturesTest, AfterAChangeAStepIsTenPercentOfTheNewRange) {
    master.volume = 100;
    frmMain& form = start();
    master.range = {0, 65536};
    master.volume = 30000;
    form.mixerChanged();
    EXPECT_TRUE(rig.tray.shown.begin()->second.tipLine.startsWith(QStringLiteral("46% · ")));
    leftClick();
    EXPECT_EQ(master.volume, 36554);  // 30000 + 6553.6, not + 25.5
}

TEST_F(frmMainGesturesTest, MuteBlocksClicksAndHoldsFollowTheMixer) {
    master.muted = true;
    master.volume = 100;
    frmMain& form = start();

    // Clicks while muted change nothing and sound nothing, but each release stops its timer.
    leftClick();
    rightClick();
    EXPECT_EQ(master.volumeReads, 0);
    EXPECT_EQ(sounds(), 0);
    EXPECT_FALSE(form.Timer1.isActive());
    EXPECT_FALSE(form.Timer2.isActive());

    // A left hold while muted: its release is blocked and leaves the flag set.
    leftHold();
    EXPECT_EQ(form.leftHoldUsed(), "1");
    // The right hold unmutes; its release only clears the right flag.
    rightHold();
    EXPECT_FALSE(master.muted);
    EXPECT_EQ(form.muteActive(), "0");
    EXPECT_EQ(form.rightHoldUsed(), "0");
    EXPECT_EQ(master.muteReads, 2);
    EXPECT_EQ(master.muteWrites, 1);

    // The first left click after unmuting only clears the left flag; the next one steps.
    leftClick();
    EXPECT_EQ(form.leftHoldUsed(), "0");
    EXPECT_EQ(master.volumeWrites, 0);
    leftClick();
    EXPECT_EQ(master.volume, 126);  // 25.5 + 100 = 125.5, to the even 126
    EXPECT_EQ(sounds(), 1);
}

// A mute that did not take (a master without a mute control) sets no block, and the hold's
// release steps nothing.
TEST_F(frmMainGesturesTest, AMuteThatDidNotTakeBlocksNothing) {
    master.volume = 100;
    master.hasSwitch = false;
    frmMain& form = start();
    rightHold();
    EXPECT_NE(form.muteActive(), "1");
    EXPECT_EQ(master.volume, 100);
    leftClick();
    EXPECT_EQ(master.volume, 126);
}

// Whole clicks, the middle button and the menu: blocked by the mute like clicks, but they follow
// no hold, so they neither clear nor set the hold flags.
TEST_F(frmMainGesturesTest, TrayCommandsFromClickOnlyTrays) {
    master.volume = 100;
    frmMain& form = start();
    leftHold();  // its release used the flag up; set it again for the next release
    send({WM_LBUTTONDOWN});
    form.Timer1_Timer();
    form.trayCommand(TrayCommand::StepUp);
    EXPECT_EQ(master.volume, 126);
    EXPECT_EQ(form.leftHoldUsed(), "1");  // still there for the left release to come
    send({WM_LBUTTONUP});

    // The middle click's mute blocks the step down; the menu shows it (tray_sni.sh).
    form.trayCommand(TrayCommand::SwitchMute);
    EXPECT_TRUE(master.muted);
    form.trayCommand(TrayCommand::StepDown);
    form.trayCommand(TrayCommand::SwitchMute);
    EXPECT_EQ(form.rightHoldUsed(), "");  // no right release follows a middle click
    rightClick();
    EXPECT_EQ(master.volume, 100);  // one step: 126 - 25.5 = 100.5, to the even 100
    EXPECT_EQ(sounds(), 2);

    form.trayCommand(TrayCommand::ShowOptions);
    EXPECT_EQ(form.leftHoldUsed(), "0");  // opening from the menu is no hold
    EXPECT_EQ(rig.endCalls, 0);
    form.trayCommand(TrayCommand::Quit);
    EXPECT_EQ(rig.endCalls, 1);
}

}  // namespace
