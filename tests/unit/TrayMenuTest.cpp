// The tray's menu model: its entries, the outputs that come and go under ids of their own, what
// choosing an entry does, and the one card that offers nothing to choose.

#include "FakeDevices.h"
#include "FrmMainRig.h"
#include "TrayMenu.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;

namespace {

int tick(const TrayMenu& menu, int id) {
    return menu.properties(id).value(QStringLiteral("toggle-state")).toInt();
}
bool enabled(const TrayMenu& menu, int id) {
    return menu.properties(id).value(QStringLiteral("enabled"), true).toBool();
}
void runQueued() {
    QCoreApplication::processEvents();
}

}  // namespace

TEST(TrayMenuTest, OutputsComeAndGoAndTheMicrophoneFollows) {
    FrmMainRig rig;
    frmMain& form = rig.make();
    form.Form_Load();
    FakeDevices devices;
    devices.list = {{"a", "Speakers", true}, {"b", "HDMI", false}};
    TrayMenu menu(&form, &devices);
    int layouts = 0;
    QList<int> entries;
    QObject::connect(&menu, &TrayMenu::layoutChanged, [&] { ++layouts; });
    QObject::connect(&menu, &TrayMenu::entriesChanged,
                     [&](const QList<int>& ids) { entries = ids; });

    EXPECT_THAT(
        menu.children(TrayMenu::Root),
        ElementsAre(TrayMenu::StepUp, TrayMenu::StepDown, TrayMenu::Mute, TrayMenu::Microphone,
                    TrayMenu::Outputs, TrayMenu::Separator, TrayMenu::Options, TrayMenu::Quit));
    EXPECT_THAT(menu.children(TrayMenu::Outputs), ElementsAre(100, 101));
    EXPECT_EQ(menu.properties(101).value(QStringLiteral("label")), QStringLiteral("HDMI"));
    EXPECT_TRUE(tick(menu, 100) == 1 && tick(menu, 101) == 0);

    ASSERT_TRUE(menu.activate(101));
    EXPECT_TRUE(devices.chosen.empty()) << "only after the caller has returned";
    runQueued();
    EXPECT_THAT(devices.chosen, ElementsAre("b"));

    // The server made HDMI the default; the speakers went, a headset came: a new id for it, and
    // the speakers keep theirs when they come back.
    devices.list = {{"b", "HDMI", true}, {"c", "Headset", false}};
    EXPECT_TRUE(menu.refresh());
    EXPECT_THAT(menu.children(TrayMenu::Outputs), ElementsAre(101, 102));
    EXPECT_EQ(layouts, 1);
    EXPECT_THAT(entries, ElementsAre(101));
    EXPECT_FALSE(menu.activate(100)) << "an output that has gone";
    devices.list.push_back({"a", "Speakers", false});
    menu.refresh();
    EXPECT_THAT(menu.children(TrayMenu::Outputs), ElementsAre(101, 102, 100));
    EXPECT_FALSE(menu.refresh()) << "nothing changed";

    ASSERT_TRUE(menu.activate(TrayMenu::Microphone));
    runQueued();
    EXPECT_TRUE(devices.micMuted && tick(menu, TrayMenu::Microphone) == 1);
    devices.micMuted = false;  // another program unmuted it
    menu.refresh();
    EXPECT_EQ(tick(menu, TrayMenu::Microphone), 0);

    // The window's own entries still do what the gestures do.
    ASSERT_TRUE(menu.activate(TrayMenu::StepUp));
    runQueued();
    EXPECT_EQ(rig.master().volume, 26);

    // One card: shown, not choosable; no microphone: the entry is there but off.
    devices.list = {{"default", "HDA Intel", true}};
    devices.choosable = false;
    devices.microphone = false;
    menu.refresh();
    const int card = menu.children(TrayMenu::Outputs).at(0);
    EXPECT_TRUE(tick(menu, card) == 1 && !enabled(menu, card));
    EXPECT_FALSE(menu.activate(card) || menu.activate(TrayMenu::Microphone));
    EXPECT_FALSE(menu.activate(TrayMenu::Outputs) || menu.activate(TrayMenu::Separator));
}
