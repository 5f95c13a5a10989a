// Where calls show by default on each desktop session.
#include "platform/DesktopSession.h"

#include <gtest/gtest.h>

TEST(DesktopSession, CallsShowAsDesktopNotificationsOnWaylandWithAServiceUnlessTheUserChose)
{
    int asked = 0;
    const auto service = [&asked](bool running) {
        return [&asked, running] {
            ++asked;
            return running;
        };
    };
    // Nothing stored: Wayland with a service takes the desktop's notifications ...
    EXPECT_TRUE(DesktopSession::CallsAsDesktopNotification("wayland", std::nullopt, service(true)));
    EXPECT_TRUE(DesktopSession::CallsAsDesktopNotification("wayland-egl", std::nullopt, service(true)));
    // ... without one the own window shows, as everywhere else.
    EXPECT_FALSE(DesktopSession::CallsAsDesktopNotification("wayland", std::nullopt, service(false)));
    EXPECT_EQ(asked, 3);
    EXPECT_FALSE(DesktopSession::CallsAsDesktopNotification("xcb", std::nullopt, service(true)));
    EXPECT_FALSE(DesktopSession::CallsAsDesktopNotification("offscreen", std::nullopt, service(true)));

    // A stored choice wins, on any platform, and the bus is not asked.
    EXPECT_FALSE(DesktopSession::CallsAsDesktopNotification("wayland", false, service(true)));
    EXPECT_TRUE(DesktopSession::CallsAsDesktopNotification("xcb", true, service(false)));
    EXPECT_EQ(asked, 3);
}
