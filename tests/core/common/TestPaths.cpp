#include "common/Clock.h"
#include "common/Paths.h"
#include "support/TestEnv.h"

#include <QDir>
#include <gtest/gtest.h>

TEST(Paths, FollowTheXdgFoldersOfTheEnvironment)
{
    TestEnv env;
    EXPECT_EQ(Paths::settingsFile(), env.configHome() + "/Elbwerk/Zahlwerk.ini");
    EXPECT_EQ(Paths::autostartFile(), env.configHome() + "/autostart/Rufwart.desktop");
    EXPECT_EQ(Paths::dataDir(), env.dataHome() + "/rufwart/");
    EXPECT_TRUE(QDir(Paths::dataDir()).exists());

    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(Paths::dataDir(), env.home() + "/.local/share/rufwart/");
}

TEST(Clock, InstalledSourceWinsUntilRemoved)
{
    const QDateTime fixed(QDate(1999, 12, 31), QTime(23, 59, 58));
    Clock::setSource([&] { return fixed; });
    EXPECT_EQ(Clock::now(), fixed);
    Clock::setSource({});
    EXPECT_GT(Clock::now().date().year(), 2000);
}
