// The look-up's client against the built stand-in rufwart-dinfo and against directory programs
// that hang, crash, refuse, never serve or answer garbage (fake_dinfo).
#include "common/Utils.h"
#include "dinfo/DInfoClient.h"
#include "dinfo/DdeConversation.h"
#include "monitor/DInfoService.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class DInfoClientTest : public ::testing::Test
{
protected:
    TestEnv env;
    QString folder = env.root() + "/dinfo/";

    void SetUp() override { DInfoClient::SetTimeoutsForTests(5000, 5000); }
    void TearDown() override { DInfoClient::SetTimeoutsForTests(0, 0); }

    // The program file of a version in the folder, a link to `program`.
    void install(const char *program, int version)
    {
        QDir().mkpath(folder);
        ASSERT_TRUE(QFile::link(QString::fromUtf8(program), folder + DInfoVersion::of(version).Exe));
    }
    void fakeMode(const QByteArray &mode) { ASSERT_TRUE(writeBytes(folder + "fake-mode", mode)); }

    // A copy of fake_dinfo of our own, which the test may change, as the program file (a link).
    QString installCopy(int version)
    {
        const QString copy = env.root() + "/programme/fake_dinfo";
        QDir().mkpath(env.root() + "/programme");
        QFile::remove(copy);
        EXPECT_TRUE(QFile::copy(QStringLiteral(FAKE_DINFO_EXE), copy));
        EXPECT_EQ(::chmod(QFile::encodeName(copy).constData(), 0755), 0);
        install(QFile::encodeName(copy).constData(), version);
        return QFileInfo(copy).canonicalFilePath();
    }
    // Whether the program of the folder is started; the text the user would be told when not.
    bool starts(QString *failure)
    {
        DInfoClient client(folder, 0);
        failure->clear();
        const bool started = DInfoService::StartProgram(client, failure);
        client.Stop();
        return started;
    }
};

int chmodPath(const QString &path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode);
}

} // namespace

TEST_F(DInfoClientTest, StandInAnswersFromTheAddressBook)
{
    ASSERT_TRUE(writeBytes(env.root() + "/karten.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Meier;Hans\r\n"
                                                       "ORG:Elbwerk GmbH\r\nTEL:+49 30 1234567\r\n"
                                                       "END:VCARD\r\n"));
    ASSERT_TRUE(writeBytes(env.configHome() + "/rufwart/dinfo.ini",
                           "[AddressBook]\nSource=" + env.root().toUtf8() + "/karten.vcf\n"));
    for (int version : {0, 1}) {
        install(DINFO_STANDIN_EXE, version);
        DInfoClient client(folder, version);
        ASSERT_TRUE(client.ProgramExists());
        ASSERT_TRUE(client.Start());

        DInfoSearch found = client.Search("301234567");
        EXPECT_EQ(found.Outcome, DInfoOutcome::Found);
        EXPECT_EQ(found.Name, "Meier, Hans Elbwerk GmbH");
        DInfoAnswer::FileText text;
        ASSERT_TRUE(DInfoAnswer::ReadFile(client.AnswerFile(), &text));
        EXPECT_EQ(text.FirstLine, "R;301234567");
        // Two answers within one second (the same number again) are told apart.
        EXPECT_EQ(client.Search("0301234567").Name, "Meier, Hans Elbwerk GmbH");
        EXPECT_EQ(client.Search("401111").Outcome, DInfoOutcome::NotFound);

        // A request of more than 63 characters is refused, never cut into another number.
        EXPECT_EQ(client.Search(QString(61, '1')).Outcome, DInfoOutcome::NotFound);
        EXPECT_EQ(client.Search(QString(62, '1')).Outcome, DInfoOutcome::TooLong);

        client.Stop();
        DdeConversation probe;
        EXPECT_FALSE(probe.Open(client.Version().Service, client.Version().Topic)); // the program ended
        QFile::remove(client.ProgramFile());
    }
}

TEST_F(DInfoClientTest, FailingProgramsEndTheSearchWithoutAName)
{
    install(FAKE_DINFO_EXE, 0);
    DInfoClient::SetTimeoutsForTests(5000, 400);
    struct Case
    {
        QByteArray mode;
        DInfoOutcome outcome;
        QString name;
    };
    const QByteArray overlong = "R;555\r\nNA: " + QByteArray(300, 'x') + ";VN: y\r\n";
    const char garbageBytes[] = "write\n\x00\xFF\xFE garbage \x01\x02\r\n\xDB\xDB\xDB";
    const QByteArray garbage(garbageBytes, sizeof garbageBytes - 1);
    const Case cases[] = {
        {"hang", DInfoOutcome::TimedOut, ""},
        {"crash", DInfoOutcome::NoProgram, ""},
        {"refuse", DInfoOutcome::Refused, ""},
        {garbage, DInfoOutcome::NotFound, ""},
        {"write\nR;555\r\nNA: M\x81ller;VN: J\x81rgen;ZUS: ;STR: \r\n", DInfoOutcome::Found,
         "Müller, Jürgen"},
        {"write\n" + overlong, DInfoOutcome::Found, QString(251, 'x')},
        // The answer to the previous request comes first, then ours: ours counts.
        {"late", DInfoOutcome::Found, "Name-555"},
        // An answer that cannot be read is tried a bounded number of times.
        {"directory", DInfoOutcome::Unreadable, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode.left(8).toStdString());
        fakeMode(c.mode);
        DInfoClient client(folder, 0);
        ASSERT_TRUE(client.Start());
        QElapsedTimer clock;
        clock.start();
        const DInfoSearch search = client.Search("555");
        EXPECT_EQ(search.Outcome, c.outcome);
        EXPECT_EQ(search.Name, c.name);
        EXPECT_LT(clock.elapsed(), 5000);
        if (c.mode == "refuse") {
            EXPECT_EQ(search.Detail, "kaputt");
        }
        // After a crash the next search fails at once, without waiting for an answer.
        if (c.mode == "crash") {
            clock.restart();
            EXPECT_EQ(client.Search("556").Outcome, DInfoOutcome::NoProgram);
            EXPECT_LT(clock.elapsed(), 300);
        }
        client.Stop();
        QFile::remove(client.AnswerFile());
        QDir().rmdir(client.AnswerFile());
    }
}

TEST_F(DInfoClientTest, StartGivesUpWithinItsTime)
{
    install(FAKE_DINFO_EXE, 1);
    DInfoClient::SetTimeoutsForTests(600, 400);
    QElapsedTimer clock;

    // A program that runs but never serves: waited for the start time, not longer.
    fakeMode("noendpoint");
    {
        DInfoClient client(folder, 1);
        clock.start();
        EXPECT_FALSE(client.Start());
        EXPECT_GE(clock.elapsed(), 550);
        EXPECT_LT(clock.elapsed(), 5000);
        client.Stop();
    }
    // A program that ends with an error, and one that is no program, are not waited for.
    DInfoClient::SetTimeoutsForTests(20000, 400);
    fakeMode("fail");
    {
        DInfoClient client(folder, 1);
        clock.restart();
        EXPECT_FALSE(client.Start());
        EXPECT_LT(clock.elapsed(), 5000);
    }
    QFile::remove(folder + "dinfo32.exe");
    ASSERT_TRUE(writeBytes(folder + "dinfo32.exe", "kein Programm"));
    {
        DInfoClient client(folder, 1);
        clock.restart();
        EXPECT_FALSE(client.Start());
        EXPECT_LT(clock.elapsed(), 5000);
    }
}

TEST_F(DInfoClientTest, AbortDuringTheWaitGivesNoName)
{
    install(FAKE_DINFO_EXE, 0);
    fakeMode("hang");
    // The file holds an earlier answer that must not be taken.
    WriteFileAtomic(folder + "dinfo.prz", DInfoAnswer::FileBytes("R;555", "NA: Alt;VN: ;ZUS: ;STR: "));
    DInfoClient client(folder, 0);
    ASSERT_TRUE(client.Start());
    DInfoOutcome nested = DInfoOutcome::Found;
    QTimer::singleShot(100, [&] {
        // A second search while one waits does not mix their answers.
        nested = client.Search("556").Outcome;
        client.Abort();
    });
    const DInfoSearch search = client.Search("555");
    EXPECT_EQ(search.Outcome, DInfoOutcome::Aborted);
    EXPECT_TRUE(search.Name.isEmpty());
    EXPECT_EQ(nested, DInfoOutcome::Busy);
    client.Stop();
}

// Anyone who may change the D-Info folder or the program file could put a program of theirs in
// its place, to be run by us. The program file is judged by what its link points to, so the link
// the default folder holds (every link has all rights) is no reason to refuse.
TEST_F(DInfoClientTest, AFolderOrProgramOthersMayChangeIsNotStarted)
{
    const QString program = installCopy(0);
    fakeMode("echo");
    QString failure;
    ASSERT_TRUE(starts(&failure)) << failure.toStdString();

    for (const mode_t mode : {0775, 0757}) {
        ASSERT_EQ(chmodPath(folder, mode), 0);
        EXPECT_FALSE(starts(&failure)) << std::oct << mode;
        EXPECT_TRUE(failure.contains(QDir(folder).canonicalPath())) << failure.toStdString();
        EXPECT_TRUE(failure.contains("anderen Benutzern")) << failure.toStdString();
    }
    ASSERT_EQ(chmodPath(folder, 0755), 0);
    for (const mode_t mode : {0775, 0757}) {
        ASSERT_EQ(chmodPath(program, mode), 0);
        EXPECT_FALSE(starts(&failure)) << std::oct << mode;
        EXPECT_TRUE(failure.contains(program)) << failure.toStdString();
    }
    ASSERT_EQ(chmodPath(program, 0755), 0);
    EXPECT_TRUE(starts(&failure)) << failure.toStdString();

    // The default folder, made under a mask that lets the group write, holds links to the stand-in.
    const mode_t mask = ::umask(002);
    EXPECT_TRUE(ProvisionDInfoFolder(DefaultDInfoFolder()));
    ::umask(mask);
    EXPECT_EQ(DInfoClient(DefaultDInfoFolder(), 1).Untrusted(), "");
}

TEST_F(DInfoClientTest, AFolderOrProgramOfAnotherUserIsNotStarted)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file to another user needs root";
    const QString program = installCopy(0);
    fakeMode("echo");
    const uid_t nobody = 65534;
    QString failure;
    ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), nobody, nobody), 0);
    EXPECT_FALSE(starts(&failure));
    EXPECT_TRUE(failure.contains("gehört einem anderen Benutzer")) << failure.toStdString();
    ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 0, 0), 0);
    ASSERT_EQ(::chown(QFile::encodeName(program).constData(), nobody, nobody), 0);
    EXPECT_FALSE(starts(&failure));
    EXPECT_TRUE(failure.contains(program)) << failure.toStdString();
    ASSERT_EQ(::chown(QFile::encodeName(program).constData(), 0, 0), 0);
    EXPECT_TRUE(starts(&failure)) << failure.toStdString();
}
