#include "common/Errors.h"
#include "common/Utils.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"
#include "support/WriteFailure.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

TEST(Utils, Cp850AndWindows1252RoundTrip)
{
    const QString german = QString::fromUtf8("Müller Ärger Öl Übel süß é");
    const QByteArray oem = EncodeOem(german);
    EXPECT_EQ(oem, QByteArray("M\x81ller \x8Erger \x99l \x9A"
                              "bel s\x81\xE1 \x82"));
    EXPECT_EQ(DecodeOem(oem), german);
    EXPECT_EQ(EncodeAnsi(german), german.toLatin1());
    EXPECT_EQ(DecodeAnsi("\x80\x9F"), QString::fromUtf8("€Ÿ"));
    EXPECT_EQ(EncodeAnsi(QString::fromUtf8("€Ÿ")), QByteArray("\x80\x9F"));

    // Every OEM byte decodes to a character that encodes back to the same byte.
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all.append(char(b));
    EXPECT_EQ(EncodeOem(DecodeOem(all)), all);
    EXPECT_EQ(EncodeAnsi(DecodeAnsi(all)), all);

    // Characters the set lacks are replaced, never dropped: lengths stay.
    EXPECT_EQ(EncodeOem(QString::fromUtf8("Šťa€\U0001F600x")), QByteArray("Sta??x"));
    EXPECT_FALSE(IsAnsiText(QString::fromUtf8("中")));
    EXPECT_TRUE(IsAnsiText(QString::fromUtf8("Grüße €")));
}

TEST(Utils, OemConversionsKeepTheirLengthLimits)
{
    EXPECT_EQ(AnsiToOemStr(QString(300, 'a')).size(), 254);
    EXPECT_EQ(OemToAnsiStr(QByteArray(300, 'a')).size(), 255);
    EXPECT_EQ(OemToAnsiStr("\x84"), QString::fromUtf8("ä"));
    EXPECT_EQ(AnsiToOemStr(QString::fromUtf8("ä")), QByteArray("\x84"));
}

TEST(Utils, FolderAndFileHelpers)
{
    TestEnv env;
    const QString deep = env.root() + "/a/b/c";
    EXPECT_TRUE(ForceDirectoriesEx(deep));
    EXPECT_TRUE(QFileInfo(deep).isDir());
    EXPECT_TRUE(ForceDirectoriesEx(deep));
    QFile plain(env.root() + "/plain");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.write("x");
    plain.close();
    EXPECT_FALSE(ForceDirectoriesEx(env.root() + "/plain/sub"));
    EXPECT_FALSE(ForceDirectoriesEx(""));

    EXPECT_FALSE(FileDateTimeOf(env.root() + "/missing").isValid());
    EXPECT_LE(qAbs(FileDateTimeOf(env.root() + "/plain").secsTo(QDateTime::currentDateTime())), 60);

    QByteArray content(100000, '\0');
    for (int i = 0; i < content.size(); ++i)
        content[i] = char(i * 7);
    QFile src(env.root() + "/src.bin");
    ASSERT_TRUE(src.open(QIODevice::WriteOnly));
    src.write(content);
    src.close();
    CopyFileByStream(src.fileName(), deep + "/copy.bin");
    QFile copy(deep + "/copy.bin");
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), content);
    copy.close();

    EXPECT_THROW(CopyFileByStream(env.root() + "/missing", deep + "/x"), IoError);
    QFile old(deep + "/old.bin");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    {
        FileSizeLimit limit(1000);
        try {
            CopyFileByStream(src.fileName(), deep + "/old.bin");
            FAIL() << "the copy should have failed";
        } catch (const IoError &e) {
            EXPECT_EQ(e.path(), deep + "/old.bin");
        }
    }
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "old");
}

TEST(Utils, ASymlinkIsFollowedForOwnFilesAndReplacedForExports)
{
    // A data file kept elsewhere (a synced or shared folder) and linked into place: a save
    // writes the file the link points to and leaves the link as it was.
    TestEnv env;
    const QString elsewhere = env.root() + "/elsewhere";
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QString target = elsewhere + "/anruf.dat";
    const QString link = env.root() + "/anruf.dat";
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    ASSERT_TRUE(QFile::link(target, link));

    WriteFileAtomic(link, "new");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    QFile written(target);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), "new");
    written.close();

    // The same for a file moved into place and for a link whose file does not exist yet.
    const QString fresh = env.root() + "/fresh.dat";
    ASSERT_TRUE(QFile::link(elsewhere + "/fresh.dat", fresh));
    QFile scratch(env.root() + "/scratch.dat");
    ASSERT_TRUE(scratch.open(QIODevice::WriteOnly));
    scratch.write("moved");
    scratch.close();
    RenameOver(scratch.fileName(), fresh);
    EXPECT_TRUE(QFileInfo(fresh).isSymLink());
    QFile moved(elsewhere + "/fresh.dat");
    ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
    EXPECT_EQ(moved.readAll(), "moved");
    moved.close();

    // An export replaces the link itself, also one whose file does not exist, and never writes
    // where a link points.
    WriteFileAtomic(link, "export", LinkMode::ReplaceLink);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readBytes(link), "export");
    EXPECT_EQ(readBytes(target), "new");
    const QString dangling = env.root() + "/dangling.csv";
    ASSERT_TRUE(QFile::link(elsewhere + "/nothing.csv", dangling));
    WriteFileAtomic(dangling, "export", LinkMode::ReplaceLink);
    EXPECT_FALSE(QFileInfo(dangling).isSymLink());
    EXPECT_EQ(readBytes(dangling), "export");
    EXPECT_FALSE(QFileInfo::exists(elsewhere + "/nothing.csv"));
}

TEST(Utils, AKillDuringASaveLeavesTheOldFileAndNothingElse)
{
    TestEnv env;
    const QString folder = env.root() + "/data";
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = folder + "/anruf.dat";
    ASSERT_TRUE(writeBytes(file, "old"));
    const pid_t child = fork();
    if (child == 0) {
        WriteFileAtomic(file, QByteArray(256 << 20, 'x'));
        _exit(0);
    }
    // Killed while the new file is being written.
    const auto writing = [&] {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(child));
        for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            char target[4096];
            const ssize_t n =
                ::readlink(QFile::encodeName(fds.filePath(fd)).constData(), target, sizeof target);
            if (n > 0 && QByteArray(target, n).startsWith(QFile::encodeName(folder + "/")))
                return true;
        }
        return false;
    };
    QElapsedTimer clock;
    clock.start();
    while (!writing() && clock.elapsed() < 60000)
        QThread::yieldCurrentThread();
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(readBytes(file), "old");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System).join(","), "anruf.dat");
}

TEST(Utils, DelayMsWaitsAndKeepsEventsRunning)
{
    bool ran = false;
    QTimer::singleShot(5, [&] { ran = true; });
    QElapsedTimer clock;
    clock.start();
    DelayMs(60);
    EXPECT_GE(clock.elapsed(), 60);
    EXPECT_TRUE(ran);
}

// Last in this file: it tells the application to quit, after which nested event loops no longer
// run.
TEST(Utils, WaitForGoesOnWaitingWhileTheApplicationQuits)
{
    // The end of the program waits for its helpers (the directory program closing) after the
    // quit request of a signal.
    QCoreApplication::exit(0);
    bool done = false;
    QTimer::singleShot(30, [&] { done = true; });
    EXPECT_TRUE(WaitFor([&] { return done; }, 5000));
}
