// The standing connection of the automatic look-up, without a window: against the built
// stand-in and against fake_dinfo, a directory program that misbehaves on purpose.
#include "dinfo/DdeConversation.h"
#include "monitor/DInfoService.h"
#include "settings/SettingsStore.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

const QString kMeier = QStringLiteral("Meier, Hans Elbwerk GmbH");

bool endpointServed(int version)
{
    DdeConversation probe;
    return probe.Open(DInfoVersion::of(version).Service, DInfoVersion::of(version).Topic);
}

class DInfoServiceTest : public ::testing::Test
{
protected:
    TestEnv env;
    DInfoService service;
    QStringList messages;
    QList<bool> running;

    void SetUp() override
    {
        QObject::connect(&service, &DInfoService::message, [this](const QString &text) { messages << text; });
        QObject::connect(&service, &DInfoService::runningChanged,
                         [this](bool on, bool trayIcon) { running << on << trayIcon; });
    }
    void TearDown() override
    {
        service.Stop();
        DInfoClient::SetTimeoutsForTests(0, 0);
    }

    // A folder with fake_dinfo as the version's program, behaving as `mode` says.
    void givenFake(int version, const QByteArray &mode)
    {
        const QString folder = env.root() + "/fake/";
        QDir().mkpath(folder);
        ASSERT_TRUE(QFile::link(QStringLiteral(FAKE_DINFO_EXE), folder + DInfoVersion::of(version).Exe));
        ASSERT_TRUE(writeBytes(folder + "fake-mode", mode));
        WriteSettingString("ISDN_DInfoDir", folder);
        WriteSettingInteger("ISDN_DInfoVersion", version);
    }
};

} // namespace

TEST_F(DInfoServiceTest, LooksUpThroughTheStandInUntilStopped)
{
    ASSERT_TRUE(writeBytes(env.root() + "/karten.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Meier;Hans\r\n"
                                                       "ORG:Elbwerk GmbH\r\nTEL:+49 30 1234567\r\n"
                                                       "END:VCARD\r\n"));
    ASSERT_TRUE(writeBytes(env.configHome() + "/rufwart/dinfo.ini",
                           "[AddressBook]\nSource=" + env.root().toUtf8() + "/karten.vcf\n"));
    WriteSettingInteger("ISDN_DInfoVersion", 1);
    QString name = "vorher";
    EXPECT_EQ(service.LookUp("301234567", name).Outcome, DInfoOutcome::NoProgram);
    EXPECT_EQ(name, "vorher"); // without a connection the name stays

    // A new user: no folder set, so the default folder gets the stand-in.
    service.Start();
    ASSERT_TRUE(service.Running());
    EXPECT_EQ(running, QList<bool>({true, true})); // D-Info 97 shows itself in the notification area
    EXPECT_TRUE(service.LookUp("301234567", name).found());
    EXPECT_EQ(name, kMeier);
    EXPECT_EQ(service.LookUp("40999", name).Outcome, DInfoOutcome::NotFound);
    EXPECT_EQ(name, "40999");
    EXPECT_TRUE(endpointServed(1));

    service.Stop();
    EXPECT_FALSE(service.Running());
    EXPECT_EQ(running, QList<bool>({true, true, false, true}));
    EXPECT_FALSE(endpointServed(1));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(DInfoServiceTest, MissingFailingOrStoppedProgramsAreToldOnceAndQuietly)
{
    QDir().mkpath(env.root() + "/leer");
    WriteSettingString("ISDN_DInfoDir", env.root() + "/leer");
    WriteSettingFlag("ISDN_RunDInfo", true);
    service.Start();
    EXPECT_EQ(messages, QStringList({"D-Info nicht installiert !\rFunktion wurde deaktiviert ."}));
    EXPECT_FALSE(service.Running());
    EXPECT_EQ(ReadSettingString("ISDN_RunDInfo"), "0");

    // A program that never serves its conversation: the start gives up with a message.
    givenFake(1, "noendpoint");
    DInfoClient::SetTimeoutsForTests(300, 2000);
    messages.clear();
    service.Start();
    EXPECT_FALSE(service.Running());
    EXPECT_EQ(messages, QStringList({"Fehler beim Laden von DInfo ..."}));

    // Stopped while it starts (the program ends): the start ends at once, quietly.
    DInfoClient::SetTimeoutsForTests(20000, 2000);
    messages.clear();
    QTimer::singleShot(100, &service, [this] {
        EXPECT_TRUE(service.Starting());
        service.Stop();
    });
    QElapsedTimer clock;
    clock.start();
    service.Start();
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_FALSE(service.Running());
    EXPECT_FALSE(service.Starting());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(running.isEmpty());
}

TEST_F(DInfoServiceTest, CrashedProgramHandsBackTheNumber)
{
    givenFake(0, "crash");
    service.Start();
    ASSERT_TRUE(service.Running());
    QString name;
    EXPECT_TRUE(service.LookUp("301234567", name).failed());
    EXPECT_EQ(name, "301234567");
    // Until the program has been started again there is no connection: the name stays.
    name = "vorher";
    EXPECT_TRUE(service.LookUp("301234567", name).failed());
    EXPECT_EQ(name, "vorher");
}

// A program that ends is started again, after a pause that grows with every start that does not
// serve, up to its longest; the user is told once.
TEST_F(DInfoServiceTest, AnEndedProgramIsStartedAgainAfterGrowingPauses)
{
    QStringList status;
    QObject::connect(&service, &DInfoService::status, [&status](const QString &text) { status << text; });
    QList<qint64> starts;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&service, &DInfoService::runningChanged, [&](bool on) {
        if (on)
            starts << clock.elapsed();
    });
    const int first = 40, longest = 160;
    service.SetRestartPauses(first, longest);

    // Ends at its first request: the caller keeps the number, and the next one is named again.
    givenFake(0, "crashfirst");
    service.Start();
    ASSERT_TRUE(service.Running());
    QString name;
    EXPECT_TRUE(service.LookUp("301234567", name).failed());
    EXPECT_EQ(name, "301234567");
    ASSERT_TRUE(WaitUntil([this] { return service.Running(); }));
    EXPECT_TRUE(service.LookUp("301234567", name).found());
    EXPECT_EQ(name, "Name-301234567");
    ASSERT_EQ(status.size(), 1);
    EXPECT_EQ(status[0], "D-Info wurde beendet und wird neu gestartet ...");
    EXPECT_TRUE(messages.isEmpty());

    // Ends at every request: never started again in a tight loop; told once more, as a start by
    // hand begins afresh.
    ASSERT_TRUE(writeBytes(env.root() + "/fake/fake-mode", "crash"));
    service.Stop();
    starts.clear();
    service.Start();
    const int pauses[] = {first, 2 * first, longest, longest};
    for (int i = 0; i <= 4; ++i) {
        ASSERT_TRUE(WaitUntil([this] { return service.Running(); })) << i;
        EXPECT_TRUE(service.LookUp("301234567", name).failed());
    }
    ASSERT_EQ(starts.size(), 5);
    for (int i = 0; i < 4; ++i)
        EXPECT_GE(starts[i + 1] - starts[i], pauses[i]) << i;
    EXPECT_EQ(status.size(), 2);

    // Stopped: not started again.
    service.Stop();
    DelayMs(2 * longest);
    EXPECT_FALSE(service.Running());
}
