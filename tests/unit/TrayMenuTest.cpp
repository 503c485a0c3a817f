// The tray's menu model: outputs keep ids of their own as they come and go, a choice runs once
// the caller has returned, and one card offers nothing to choose.

#include "FakeDevices.h"
#include "FrmMainRig.h"
#include "TrayMenu.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::ElementsAre;

TEST(TrayMenuTest, OutputsKeepTheirIdsAndOneCardOffersNoChoice) {
    FrmMainRig rig;
    FakeDevices devices;
    devices.list = {{"a", "Speakers", true}, {"b", "HDMI", false}};
    TrayMenu menu(&rig.make(), &devices);
    int layouts = 0;
    QObject::connect(&menu, &TrayMenu::layoutChanged, [&] { ++layouts; });
    auto tick = [&](int id) { return menu.properties(id).value("toggle-state").toInt(); };

    EXPECT_THAT(menu.children(TrayMenu::Outputs), ElementsAre(100, 101));
    EXPECT_EQ(tick(100), 1);
    EXPECT_EQ(tick(101), 0);
    ASSERT_TRUE(menu.activate(101));
    EXPECT_TRUE(devices.chosen.empty()) << "only after the caller has returned";
    QCoreApplication::processEvents();
    EXPECT_THAT(devices.chosen, ElementsAre("b"));

    // The speakers went and a headset came: a new id for it; the speakers' id is never another's.
    devices.list = {{"b", "HDMI", true}, {"c", "Headset", false}};
    EXPECT_TRUE(menu.refresh());
    EXPECT_THAT(menu.children(TrayMenu::Outputs), ElementsAre(101, 102));
    EXPECT_EQ(layouts, 1);
    EXPECT_EQ(tick(101), 1);
    EXPECT_FALSE(menu.activate(100)) << "gone";
    EXPECT_FALSE(menu.refresh()) << "nothing changed since";
    devices.list.push_back({"a", "Speakers", false});
    menu.refresh();
    EXPECT_THAT(menu.children(TrayMenu::Outputs), ElementsAre(101, 102, 100));

    // One card, no microphone: both shown, neither does anything.
    devices.list = {{"default", "HDA Intel", true}};
    devices.choosable = devices.microphone = false;
    menu.refresh();
    const int card = menu.children(TrayMenu::Outputs).at(0);
    EXPECT_FALSE(menu.properties(card).value("enabled").toBool());
    EXPECT_FALSE(menu.activate(card));
    EXPECT_FALSE(menu.activate(TrayMenu::Microphone));
}
