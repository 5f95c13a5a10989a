// The MSN list: splitting for the window, joining, the ring filter and the choice of sound.
#include "calls/MsnList.h"
#include "common/Paths.h"
#include "settings/SettingsStore.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {
QStringList fields(std::initializer_list<const char *> texts)
{
    QStringList out;
    for (const char *t : texts)
        out << QString::fromLatin1(t);
    return out;
}

void touch(const QString &path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write("RIFF");
}
} // namespace

TEST(MsnList, SplitAndJoin)
{
    const QString full = QStringLiteral("111,222,333,444,555,666,777,888");
    EXPECT_EQ(MsnList::splitForWindow(full),
              fields({"111", "222", "333", "444", "555", "666", "777", "888"}));
    EXPECT_EQ(MsnList::join(MsnList::splitForWindow(full)), full);

    // nothing entered: seven commas, and back
    EXPECT_EQ(MsnList::join(QStringList(8)), QStringLiteral(",,,,,,,"));
    EXPECT_EQ(MsnList::splitForWindow(QStringLiteral(",,,,,,,")), QStringList(8));
    EXPECT_EQ(MsnList::splitForWindow(QString()), QStringList(8));

    // gaps stay where they are
    EXPECT_EQ(MsnList::join(fields({"", "4711", "", "", "", "", "", "0815"})),
              QStringLiteral(",4711,,,,,,0815"));

    // a single MSN without any comma is field 1
    EXPECT_EQ(MsnList::splitForWindow(QStringLiteral("4711")), fields({"4711", "", "", "", "", "", "", ""}));
}

TEST(MsnList, OneCommaFillsFirstAndLastField)
{
    EXPECT_EQ(MsnList::splitForWindow(QStringLiteral("4711,0815")),
              fields({"4711", "", "", "", "", "", "", "0815"}));
    EXPECT_EQ(MsnList::join(MsnList::splitForWindow(QStringLiteral("4711,0815"))),
              QStringLiteral("4711,,,,,,,0815"));
    // three commas: the parts fill fields 1 to 3, the last part field 8
    EXPECT_EQ(MsnList::splitForWindow(QStringLiteral("1,2,3,4")),
              fields({"1", "2", "3", "", "", "", "", "4"}));
}

TEST(MsnList, IsMsnAccepted)
{
    const QString none = QStringLiteral(",,,,,,,");
    EXPECT_TRUE(IsMsnAccepted(none, QStringLiteral("4711")));
    EXPECT_TRUE(IsMsnAccepted(none, QString()));
    EXPECT_TRUE(IsMsnAccepted(QString(), QStringLiteral("4711")));

    const QString list = QStringLiteral("123,4711,,,,,,");
    EXPECT_TRUE(IsMsnAccepted(list, QStringLiteral("4711")));
    EXPECT_TRUE(IsMsnAccepted(list, QStringLiteral("12"))); // part of a longer MSN
    EXPECT_FALSE(IsMsnAccepted(list, QStringLiteral("999")));
    EXPECT_FALSE(IsMsnAccepted(list, QString()));
}

TEST(MsnList, PositionOfCalledNumber)
{
    const QString list = QStringLiteral("123,4711,,,,,,888");
    EXPECT_EQ(MsnList::positionOf(list, QStringLiteral("123")), 1);
    EXPECT_EQ(MsnList::positionOf(list, QStringLiteral("888")), 8);
    EXPECT_EQ(MsnList::positionOf(list, QStringLiteral("12")), 0); // exact fields only
    EXPECT_EQ(MsnList::positionOf(QStringLiteral(",,,,,,,"), QStringLiteral("4711")), 0);
    EXPECT_EQ(MsnList::positionOf(QString(), QStringLiteral("4711")), 0);
}

TEST(MsnList, SoundFileFor)
{
    TestEnv env;
    const QString wav8 = env.root() + QStringLiteral("/acht.wav");
    touch(wav8);
    // a path far longer than 124 characters is used whole
    QString longDir = env.root() + QLatin1Char('/') + QString(150, QLatin1Char('d'));
    ASSERT_TRUE(QDir().mkpath(longDir));
    const QString longWav = longDir + QStringLiteral("/eins.wav");
    touch(longWav);
    ASSERT_GT(longWav.size(), 124);

    WriteSettingString(QStringLiteral("ISDN_SOUND8"), wav8);
    WriteSettingString(QStringLiteral("ISDN_SOUND1"), longWav);
    WriteSettingString(QStringLiteral("ISDN_SOUND2"), env.root() + QStringLiteral("/fehlt.wav"));

    const QString list = QStringLiteral("123,4711,,,,,,888");
    EXPECT_EQ(MsnList::soundFileFor(list, QStringLiteral("888")), wav8);
    EXPECT_EQ(MsnList::soundFileFor(list, QStringLiteral("123")), longWav);
    EXPECT_TRUE(MsnList::soundFileFor(list, QStringLiteral("4711")).isEmpty()); // file missing
    EXPECT_TRUE(MsnList::soundFileFor(list, QStringLiteral("12")).isEmpty());   // no equal field
    EXPECT_TRUE(MsnList::soundFileFor(QStringLiteral(",,,,,,,"), QStringLiteral("888")).isEmpty());

    // A sound setting that another program stored as no text: the built-in signal sounds, the
    // call goes on.
    QFile ini(Paths::settingsFile());
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write("ISDN_SOUND3=@Rect(1 2 3 4)\n");
    ini.close();
    EXPECT_TRUE(
        MsnList::soundFileFor(QStringLiteral("123,4711,0815,,,,,888"), QStringLiteral("0815")).isEmpty());
    EXPECT_EQ(MsnList::soundFileFor(list, QStringLiteral("888")), wav8);
}
