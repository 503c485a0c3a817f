// The platform Brennet runs on: the user's choice as it stands; Wayland in a Wayland session
// whose compositor answers and where Qt's Wayland platform is installed; X11 otherwise, where an
// X server answers; nothing where neither does.

#include "SessionPlatform.h"

#include <gtest/gtest.h>

TEST(SessionPlatformTest, ChoosesWaylandOnlyWhereItWorksAndKeepsTheUsersChoice) {
    SessionPlatform::Probe p;
    EXPECT_EQ(SessionPlatform::choose(p), QByteArray());
    p.x11Reachable = true;
    EXPECT_EQ(SessionPlatform::choose(p), "xcb");
    p.waylandSession = true;
    p.waylandReachable = true;
    EXPECT_EQ(SessionPlatform::choose(p), "xcb") << "without the plugin: Xwayland";
    p.waylandPlugin = true;
    EXPECT_EQ(SessionPlatform::choose(p), "wayland");
    p.x11Reachable = false;
    EXPECT_EQ(SessionPlatform::choose(p), "wayland");
    p.waylandReachable = false;
    EXPECT_EQ(SessionPlatform::choose(p), QByteArray()) << "a compositor that does not answer";
    p.userChoice = "xcb";
    EXPECT_EQ(SessionPlatform::choose(p), "xcb");
}
