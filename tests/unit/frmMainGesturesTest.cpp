// Clicks and holds on the tray icon: the steps they make on the mixer, the flags, the sounds and
// the options dialog. The timers' ticks are driven directly.

#include "FakeOptionsView.h"
#include "FrmMainRig.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <limits>
#include <optional>

namespace {

class frmMainGesturesTest : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    frmMain& start() {
        frmMain& form = rig.make();
        form.setOptionsView(&view);
        form.Form_Load();
        rig.mixer.clearCalls();
        rig.player.clear();
        return form;
    }
    void send(std::initializer_list<uint32_t> messages) {
        for (uint32_t message : messages) {
            ASSERT_TRUE(rig.tray.click(message));
        }
    }
    void leftClick() { send({WM_LBUTTONDOWN, WM_LBUTTONUP}); }
    void rightClick() { send({WM_RBUTTONDOWN, WM_RBUTTONUP}); }
    void leftHold() {
        send({WM_LBUTTONDOWN});
        ASSERT_TRUE(rig.form->Timer1.isActive());
        rig.form->Timer1_Timer();
        EXPECT_FALSE(rig.form->Timer1.isActive());
        send({WM_LBUTTONUP});
    }
    void rightHold() {
        send({WM_RBUTTONDOWN});
        ASSERT_TRUE(rig.form->Timer2.isActive());
        rig.form->Timer2_Timer();
        EXPECT_FALSE(rig.form->Timer2.isActive());
        send({WM_RBUTTONUP});
    }
    std::optional<uint32_t> lastLevelWrite() const {
        return rig.mixer.lastWrite(rig.mixer.masterVolumeId());
    }

    FrmMainRig rig;
    FakeOptionsView view;
};

TEST_F(frmMainGesturesTest, MouseMessageDecoding) {
    // Twips at 15 per pixel, halves to the even neighbour.
    EXPECT_EQ(frmMain::MouseMessageFromX(513 * 15, frmMain::vbTwips, 15), 513);
    EXPECT_EQ(frmMain::MouseMessageFromX(513.5 * 15, frmMain::vbTwips, 15), 514);
    EXPECT_EQ(frmMain::MouseMessageFromX(514.5 * 15, frmMain::vbTwips, 15), 514);
    EXPECT_EQ(frmMain::MouseMessageFromX(516.5, frmMain::vbPixels, 15), 516);
    EXPECT_EQ(frmMain::MouseMessageFromX(513 * 12, frmMain::vbTwips, 12), 513);  // 120 dpi

    // The mouse-move event with the window's own scale (twips) reaches the same handlers.
    frmMain& form = start();
    const double twips = 1440.0 / form.logicalDpiX();
    form.Form_MouseMove(0, 0, WM_LBUTTONDOWN * twips, 0);
    EXPECT_TRUE(form.Timer1.isActive());
    form.Form_MouseMove(0, 0, WM_LBUTTONUP * twips, 0);
    EXPECT_FALSE(form.Timer1.isActive());
    EXPECT_EQ(lastLevelWrite(), 26u);
}

TEST_F(frmMainGesturesTest, StepTableForRange255) {
    struct Case {
        uint32_t level;
        bool left;
        std::optional<uint32_t> written;
    };
    const Case cases[] = {
        {0, true, 26},   {1, true, 26},     {254, true, 280},  // past the maximum
        {255, true, {}}, {255, false, 230}, {27, false, 2},
        {26, false, 0},  {25, false, 0},  // a last step to silence
        {0, false, {}},
    };
    frmMain& form = start();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level << (c.left ? " left" : " right"));
        rig.mixer.setMasterLevel(c.level);
        rig.mixer.clearCalls();
        rig.player.clear();
        c.left ? leftClick() : rightClick();

        // A step that writes reads the level twice; one that ends at its first test, once.
        EXPECT_EQ(rig.mixer.levelReads(), c.written && !(c.level == 25) ? 2 : 1);
        EXPECT_EQ(rig.mixer.levelWrites(), c.written ? 1 : 0);
        EXPECT_EQ(rig.mixer.muteReads() + rig.mixer.muteWrites(), 0);
        EXPECT_EQ(lastLevelWrite(), c.written);
        // Every click that gets past the flags sounds, whether it wrote or not.
        ASSERT_EQ(rig.player.count(), 1);
        EXPECT_EQ(rig.player.played[0], "/opt/brennet/Change.wav");
        EXPECT_FALSE(form.Timer1.isActive() || form.Timer2.isActive());
    }
}

TEST_F(frmMainGesturesTest, StepReadsTheMixerBeforeWriting) {
    rig.mixer.setMasterLevel(100);
    start();
    rightClick();
    const auto& calls = rig.mixer.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].op, FakeMixer::Op::GetDetails);
    EXPECT_EQ(calls[1].op, FakeMixer::Op::GetDetails);
    EXPECT_EQ(calls[2].op, FakeMixer::Op::SetDetails);
    EXPECT_EQ(calls[2].value, 74u);  // 100 - 25.5 = 74.5, to the even 74
    // The sound starts after the write.
    ASSERT_EQ(rig.player.sequences.size(), 1u);
    EXPECT_GT(rig.player.sequences[0], calls[2].sequence);
}

TEST_F(frmMainGesturesTest, StepsSaturateAndIgnoreAStepThatIsNoNumber) {
    FakeMixer& mixer = rig.mixer;
    mixer = FakeMixer();
    mixer.addMaster(0, std::numeric_limits<int32_t>::max());
    rig.save(FrmMainRig::kStepName, "100");
    frmMain& form = start();
    mixer.setMasterLevel(0x7FFFFFF0);
    leftClick();
    EXPECT_EQ(lastLevelWrite(), 0x7FFFFFFFu);

    // A step held as text that is no number steps by the default 0.1.
    form.Increment = "abc";
    mixer.setMasterLevel(0);
    leftClick();
    EXPECT_EQ(lastLevelWrite(), 214748365u);  // 0.1 * 2147483647 = 214748364.7
}

TEST_F(frmMainGesturesTest, StepInCommaLocale) {
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    rig.save(FrmMainRig::kStepName, "12,5");
    frmMain& form = start();
    ASSERT_EQ(form.Increment, "0,125");
    rig.mixer.setMasterLevel(100);
    leftClick();
    EXPECT_EQ(lastLevelWrite(), 132u);  // 31.875 + 100
    leftHold();
    EXPECT_EQ(view.stepText, "12,5");
}

TEST_F(frmMainGesturesTest, DoubleClickStepsTwiceAndOtherMessagesAreIgnored) {
    frmMain& form = start();
    send({WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP});
    EXPECT_EQ(rig.mixer.masterLevel(), 52u);  // 0 -> 26 -> 51.5, to the even 52
    EXPECT_EQ(rig.player.count(), 2);

    rig.mixer.clearCalls();
    send({WM_RBUTTONDBLCLK, 0x207, 0x208, 0x209, 0x20A});
    form.trayCallback(0x400, WM_LBUTTONDOWN);  // not the icon's callback message
    EXPECT_TRUE(rig.mixer.calls().empty());
    EXPECT_FALSE(form.Timer1.isActive() || form.Timer2.isActive());
    EXPECT_EQ(rig.player.count(), 2);
}

TEST_F(frmMainGesturesTest, LeftHoldFillsAndShowsTheOptionsOnce) {
    rig.save(FrmMainRig::kStepName, "7");
    rig.save("UserIcon", "1");
    frmMain& form = start();
    leftHold();
    EXPECT_EQ(view.calls,
              QStringList({"setStepText:7", "checkIcon", "checkSound", "showModeless"}));
    EXPECT_EQ(form.leftHoldUsed(), "0");  // the release after the hold cleared it
    EXPECT_EQ(rig.mixer.levelWrites(), 0);
    EXPECT_EQ(rig.player.count(), 0);

    // The next click steps again.
    leftClick();
    EXPECT_EQ(rig.mixer.levelWrites(), 1);

    // Flags that are not "1" leave their boxes alone; a step that is no number shows 10.
    view.calls.clear();
    form.Sound = "0";
    form.UserIcon = "";
    form.Increment = "";
    send({WM_LBUTTONDOWN});
    form.Timer1_Timer();
    EXPECT_EQ(view.calls, QStringList({"setStepText:10", "showModeless"}));
    EXPECT_EQ(form.leftHoldUsed(), "1");
    send({WM_LBUTTONUP});

    // Without a dialog the hold still ends and blocks its release; sound off: no sound.
    form.setOptionsView(nullptr);
    leftHold();
    leftClick();
    EXPECT_EQ(rig.mixer.levelWrites(), 2);
    EXPECT_EQ(rig.player.count(), 1);
}

TEST_F(frmMainGesturesTest, HoldWhileMutedThenUnmute) {
    rig.mixer.setMasterMute(true);
    rig.mixer.setMasterLevel(100);
    frmMain& form = start();
    ASSERT_EQ(form.muteActive(), "1");

    // Clicks while muted change nothing and make no sound, but each release stops its timer.
    leftClick();
    rightClick();
    EXPECT_EQ(rig.mixer.levelReads() + rig.mixer.levelWrites(), 0);
    EXPECT_FALSE(form.Timer1.isActive() || form.Timer2.isActive());

    // A left hold while muted sets the flag; its release is blocked and leaves it set.
    leftHold();
    EXPECT_EQ(form.leftHoldUsed(), "1");
    EXPECT_EQ(view.shown, 1);

    // The right hold unmutes; its release only clears the right flag.
    rightHold();
    EXPECT_FALSE(rig.mixer.masterMute());
    EXPECT_EQ(form.muteActive(), "0");
    EXPECT_EQ(form.rightHoldUsed(), "0");
    EXPECT_EQ(rig.mixer.muteReads(), 2);
    EXPECT_EQ(rig.mixer.muteWrites(), 1);

    // The first left click after unmuting only clears the left flag; the next one steps.
    leftClick();
    EXPECT_EQ(form.leftHoldUsed(), "0");
    EXPECT_EQ(rig.mixer.levelWrites(), 0);
    leftClick();
    EXPECT_EQ(lastLevelWrite(), 126u);  // 25.5 + 100 = 125.5, to the even 126
    EXPECT_EQ(rig.player.count(), 1);
}

TEST_F(frmMainGesturesTest, UnmutedByAnotherProgramWhileMuteActive) {
    rig.mixer.setMasterMute(true);
    frmMain& form = start();
    rig.mixer.setMasterMute(false);  // someone else unmutes

    leftClick();
    EXPECT_EQ(rig.mixer.levelWrites(), 0);

    // The hold follows the mixer, not the flag: it mutes again.
    rightHold();
    EXPECT_TRUE(rig.mixer.masterMute());
    EXPECT_EQ(form.muteActive(), "1");
    EXPECT_EQ(rig.mixer.muteReads(), 1);
    // A second hold unmutes and clears the block.
    rightHold();
    EXPECT_FALSE(rig.mixer.masterMute());
    EXPECT_EQ(form.muteActive(), "0");
    leftClick();
    EXPECT_EQ(rig.mixer.levelWrites(), 1);
    EXPECT_EQ(rig.player.count(), 1);
}

TEST_F(frmMainGesturesTest, MutedByAnotherProgramWhileNotMuteActive) {
    frmMain& form = start();
    rig.mixer.setMasterMute(true);
    leftClick();  // steps the muted master
    EXPECT_EQ(lastLevelWrite(), 26u);

    send({WM_RBUTTONDOWN});
    form.Timer2_Timer();
    EXPECT_FALSE(rig.mixer.masterMute());
    EXPECT_EQ(form.muteActive(), "0");
    EXPECT_EQ(form.rightHoldUsed(), "1");
    send({WM_RBUTTONUP});  // blocked by the hold: no step, no sound
    EXPECT_EQ(form.rightHoldUsed(), "0");
    EXPECT_EQ(rig.mixer.levelWrites(), 1);
    EXPECT_EQ(rig.player.count(), 1);
}

}  // namespace
