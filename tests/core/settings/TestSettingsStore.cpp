#include "common/Errors.h"
#include "common/Paths.h"
#include "settings/SettingsStore.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"
#include "support/WriteFailure.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(Reg32, NamesMatchWithoutCaseAndKeepTheirFirstSpelling)
{
    TestEnv env;
    WriteSettingString("ISDN_MSN", "4711,4712,,,,,,");
    EXPECT_EQ(ReadSettingString("ISDN_Msn"), "4711,4712,,,,,,");
    WriteSettingString("isdn_msn", "0815");
    EXPECT_EQ(ReadSettingString("ISDN_MSN"), "0815");

    const QByteArray ini = readBytes(Paths::settingsFile());
    EXPECT_TRUE(ini.startsWith("[General]")) << ini.constData();
    EXPECT_TRUE(ini.contains("ISDN_MSN=0815")) << ini.constData();
    EXPECT_FALSE(ini.contains("isdn_msn")) << ini.constData();
}

TEST(Reg32, CommaListsReadBackAsOneText)
{
    TestEnv env;
    WriteSettingString("ISDN_Service", "FAX3,DATA_64K");
    EXPECT_EQ(ReadSettingString("ISDN_Service"), "FAX3,DATA_64K");
    // What QSettings itself hands to another reader is the same single text.
    EXPECT_EQ(QSettings(Paths::settingsFile(), QSettings::IniFormat).value("ISDN_Service").toString(),
              "FAX3,DATA_64K");

    // A list typed into the file by hand, without quotes.
    ASSERT_TRUE(writeBytes(Paths::settingsFile(), "[General]\nISDN_MSN=111,222,333\n"));
    EXPECT_EQ(ReadSettingString("ISDN_Msn"), "111,222,333");
}

TEST(Reg32, IntegerAndFlagReadsNeverFail)
{
    TestEnv env;
    WriteSettingFlag("ISDN_Beep", true);
    EXPECT_TRUE(ReadSettingFlag("ISDN_Beep"));
    EXPECT_EQ(ReadSettingString("ISDN_Beep"), "1");
    WriteSettingFlag("ISDN_Beep", false);
    EXPECT_FALSE(ReadSettingFlag("ISDN_Beep"));
    WriteSettingInteger("ISDN_CallMsg_Left", -1234);
    EXPECT_EQ(ReadSettingInteger("isdn_callmsg_left"), -1234);

    ASSERT_TRUE(writeBytes(Paths::settingsFile(), "[General]\nISDN_Show=abc\nISDN_Big=99999999999\n"
                                                  "ISDN_Rect=@Rect(1 2 3 4)\nISDN_Two=2\n"));
    EXPECT_FALSE(ReadSettingFlag("ISDN_Show"));
    EXPECT_EQ(ReadSettingInteger("ISDN_Big"), 0);
    EXPECT_FALSE(ReadSettingFlag("ISDN_Rect"));
    EXPECT_FALSE(ReadSettingFlag("ISDN_Missing"));
    EXPECT_TRUE(ReadSettingFlag("ISDN_Two"));
    // A value of another type is an error for a text read, not a silent empty text.
    EXPECT_THROW(ReadSettingString("ISDN_Rect"), IoError);
}

TEST(Reg32, TypedKeysReadTheirFallbacksAndAnySpelling)
{
    TestEnv env;
    // Nothing stored: each key's fallback.
    EXPECT_TRUE(Settings::Read(Settings::Minimize));
    EXPECT_FALSE(Settings::Read(Settings::Beep));
    EXPECT_EQ(Settings::Read(Settings::MaxEmpfang), 100);
    EXPECT_EQ(Settings::Read(Settings::CallMsgLeft), 0);
    EXPECT_EQ(Settings::Read(Settings::TimeMinimize), "3");
    EXPECT_EQ(Settings::Read(Settings::Msn), "");

    // Spelt otherwise by another writer, empty, no number, no text.
    ASSERT_TRUE(writeBytes(Paths::settingsFile(), "[General]\nisdn_msn=4711\nISDN_MINIMIZE=0\n"
                                                  "ISDN_ShowExtWin=\nISDN_UseExtern=abc\n"
                                                  "ISDN_MaxEmpfang=-5\nISDN_CallMsg_Left=-20\n"
                                                  "isdn_sound3=/a.wav\nISDN_BmpDir=@Rect(1 2 3 4)\n"));
    EXPECT_EQ(Settings::Read(Settings::Msn), "4711");
    EXPECT_FALSE(Settings::Read(Settings::Minimize));
    EXPECT_TRUE(Settings::Read(Settings::ShowExtWin));
    EXPECT_FALSE(Settings::Read(Settings::UseExtern));
    EXPECT_EQ(Settings::Read(Settings::MaxEmpfang), 100);
    EXPECT_EQ(Settings::Read(Settings::CallMsgLeft), -20);
    EXPECT_EQ(Settings::Read(Settings::Sound{3}), "/a.wav");
    EXPECT_EQ(Settings::Read(Settings::BmpDir), "");
    EXPECT_EQ(Settings::StoredText(Settings::ShowExtWin), "");

    // Writes land under the spelling already stored, new names as the keys spell them.
    Settings::Write(Settings::Msn, "0815");
    Settings::Write(Settings::Sound{8}, "/acht.wav");
    Settings::Write(Settings::MaxEmpfang, 250);
    Settings::Write(Settings::UseExtern, true);
    EXPECT_EQ(Settings::Read(Settings::MaxEmpfang), 250);
    EXPECT_TRUE(Settings::Read(Settings::UseExtern));
    const QByteArray ini = readBytes(Paths::settingsFile());
    EXPECT_TRUE(ini.contains("isdn_msn=0815")) << ini.constData();
    EXPECT_TRUE(ini.contains("ISDN_SOUND8=/acht.wav")) << ini.constData();
    EXPECT_TRUE(ini.contains("ISDN_UseExtern=1")) << ini.constData();
}

TEST(Reg32, MissingAndClearFlagsDifferAsText)
{
    TestEnv env;
    EXPECT_EQ(ReadSettingString("ISDN_Minimize"), "");
    EXPECT_EQ(ReadRegString(RegRoot::LocalMachine, kProgramKey, "ISDN_Minimize", "dflt"), "dflt");
    WriteSettingFlag("ISDN_Minimize", false);
    EXPECT_EQ(ReadSettingString("ISDN_Minimize"), "0");
    EXPECT_EQ(ReadRegString(RegRoot::LocalMachine, "software\\elbwerk\\zahlwerk", "ISDN_MINIMIZE", "dflt"),
              "0");
}

TEST(Reg32, FailingWriteNamesTheFileAndKeepsIt)
{
    TestEnv env;
    WriteSettingString("ISDN_BmpDir", QString(300, 'x'));
    const QByteArray before = readBytes(Paths::settingsFile());
    {
        FileSizeLimit limit(before.size() / 2);
        try {
            WriteSettingString("ISDN_SendDir", QString(400, 'y'));
            FAIL() << "the write should have failed";
        } catch (const IoError &e) {
            EXPECT_EQ(e.path(), Paths::settingsFile());
            EXPECT_TRUE(e.message().contains(Paths::settingsFile()));
        }
    }
    EXPECT_EQ(readBytes(Paths::settingsFile()), before);

    // A settings folder that cannot be made: its parent is a regular file.
    ASSERT_TRUE(writeBytes(env.root() + "/plainfile", "x"));
    qputenv("XDG_CONFIG_HOME", (env.root() + "/plainfile/config").toLocal8Bit());
    EXPECT_THROW(WriteSettingFlag("ISDN_Beep", true), IoError);
    EXPECT_THROW(WriteRegString(RegRoot::CurrentUser, kRunKey, "Rufwart", "/usr/bin/rufwart"), IoError);
    EXPECT_FALSE(ReadSettingFlag("ISDN_Beep"));
}

TEST(Reg32, ASettingsFileLinkedIntoPlaceStaysALink)
{
    // Settings kept with the user's other dotfiles and linked into the configuration folder.
    TestEnv env;
    const QString kept = env.root() + "/dotfiles/Zahlwerk.ini";
    ASSERT_TRUE(QDir().mkpath(env.root() + "/dotfiles"));
    ASSERT_TRUE(writeBytes(kept, "[General]\nISDN_Beep=1\n"));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(Paths::settingsFile()).absolutePath()));
    ASSERT_TRUE(QFile::link(kept, Paths::settingsFile()));

    WriteSettingString("ISDN_Show", "1");
    EXPECT_TRUE(QFileInfo(Paths::settingsFile()).isSymLink());
    const QByteArray ini = readBytes(kept);
    EXPECT_TRUE(ini.contains("ISDN_Beep=1")) << ini.constData();
    EXPECT_TRUE(ini.contains("ISDN_Show=1")) << ini.constData();
    EXPECT_TRUE(ReadSettingFlag("ISDN_Show"));
    // Nothing of the write is left behind in either folder.
    EXPECT_EQ(QDir(env.root() + "/dotfiles").entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_EQ(
        QDir(QFileInfo(Paths::settingsFile()).absolutePath()).entryList(QDir::Files | QDir::Hidden).size(),
        1);
}

TEST(Reg32, AFileHoldingAPasswordIsReadableByItsOwnerOnly)
{
    TestEnv env;
    WriteSettingString("ISDN_Beep", "1");
    ASSERT_TRUE(
        QFile::setPermissions(Paths::settingsFile(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                         QFileDevice::ReadGroup | QFileDevice::ReadOther));
    WriteSettingString("ISDN_Show", "1");
    EXPECT_TRUE(QFileInfo(Paths::settingsFile()).permissions() & QFileDevice::ReadOther);
    Settings::Write(Settings::MqttPassword, QStringLiteral("geheim"));
    struct stat st = {};
    ASSERT_EQ(::stat(QFile::encodeName(Paths::settingsFile()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Settings::Read(Settings::MqttPassword), "geheim");
}

TEST(Reg32, NamesThatWouldLandInAGroupAreNeitherWrittenNorRead)
{
    TestEnv env;
    EXPECT_THROW(WriteSettingString("ISDN/Sub", "x"), InvalidInput);
    EXPECT_THROW(WriteSettingString("", "x"), InvalidInput);
    EXPECT_THROW(WriteRegString(RegRoot::LocalMachine, "Software\\Other", "X", "x"), InvalidInput);
    EXPECT_EQ(ReadRegString(RegRoot::LocalMachine, "Software\\Other", "X", "d"), "d");
    // Nor does such a name read another value: not one in a section of a file written by hand,
    // nor the value a slash at either end would stand for.
    ASSERT_TRUE(writeBytes(Paths::settingsFile(), "ISDN_Msn=1\n[ISDN]\nSub=2\n"));
    for (const char *name : {"ISDN/Sub", "/ISDN_Msn", "ISDN_Msn/", "ISDN_Msn\\"})
        EXPECT_EQ(ReadRegString(RegRoot::LocalMachine, kProgramKey, name, "d"), "d") << name;
    EXPECT_EQ(ReadSettingString("ISDN_Msn"), "1");
}

TEST(Reg32, TwoProcessesWritingAtOnceLoseNothing)
{
    TestEnv env;
    constexpr int kPerWriter = 25;
    pid_t children[2];
    for (int w = 0; w < 2; ++w) {
        children[w] = fork();
        ASSERT_GE(children[w], 0);
        if (children[w] == 0) {
            int rc = 0;
            try {
                for (int i = 0; i < kPerWriter; ++i) {
                    WriteSettingInteger(QStringLiteral("W%1_%2").arg(w).arg(i), i);
                    // Both writers also write one name in their own spelling.
                    WriteSettingInteger(w == 0 ? "ISDN_Shared" : "isdn_shared", i);
                }
            } catch (...) {
                rc = 1;
            }
            _exit(rc);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int w = 0; w < 2; ++w)
        for (int i = 0; i < kPerWriter; ++i)
            EXPECT_EQ(ReadSettingInteger(QStringLiteral("W%1_%2").arg(w).arg(i)), i) << w << " " << i;
    EXPECT_EQ(ReadSettingInteger("ISDN_SHARED"), kPerWriter - 1);
    const QStringList keys = QSettings(Paths::settingsFile(), QSettings::IniFormat).childKeys();
    EXPECT_EQ(keys.filter("isdn_shared", Qt::CaseInsensitive).size(), 1);
}

TEST(Reg32, AWriterThatDiedOrHangsDoesNotStandInTheWay)
{
    TestEnv env;
    WriteSettingString("ISDN_MSN", "4711");
    const QString folder = QFileInfo(Paths::settingsFile()).absolutePath();
    // Another writer holds the lock, then is killed: its lock and its half-made copies stay.
    const auto holdLock = [&](bool hang) {
        const pid_t child = fork();
        if (child == 0) {
            QLockFile lock(Paths::settingsFile() + ".rufwart-lock");
            lock.lock();
            for (const char *name : {".4242-7.tmp", ".4242-7.tmp.lock", ".4242-8.tmp.AbC123"})
                writeBytes(Paths::settingsFile() + name, "[General]\nISDN_MSN=halb\n");
            if (!hang)
                raise(SIGKILL);
            pause();
            _exit(0);
        }
        while (!QFileInfo::exists(Paths::settingsFile() + ".4242-8.tmp.AbC123"))
            QThread::msleep(5);
        return child;
    };
    const pid_t died = holdLock(false);
    int status = 0;
    ASSERT_EQ(waitpid(died, &status, 0), died);
    ASSERT_TRUE(writeBytes(folder + "/Zahlwerk.ini.bak", "kept"));
    WriteSettingString("ISDN_MSN", "4712");
    EXPECT_EQ(ReadSettingString("ISDN_MSN"), "4712");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).join(","), "Zahlwerk.ini,Zahlwerk.ini.bak");

    // One that hangs holding the lock: the write gives up after a while and says so.
    const pid_t hangs = holdLock(true);
    EXPECT_THROW(WriteSettingString("ISDN_MSN", "4713"), IoError);
    EXPECT_EQ(ReadSettingString("ISDN_MSN"), "4712");
    kill(hangs, SIGKILL);
    ASSERT_EQ(waitpid(hangs, &status, 0), hangs);
    WriteSettingString("ISDN_MSN", "4713");
    EXPECT_EQ(ReadSettingString("ISDN_MSN"), "4713");
}

TEST(Reg32, AutostartIsAnXdgEntry)
{
    TestEnv env;
    EXPECT_EQ(ReadRegString(RegRoot::CurrentUser, kRunKey, "Rufwart", ""), "");

    const QString path = "/opt/Ruf wart/100% \"echt\"/bin\\rufwart";
    WriteRegString(RegRoot::CurrentUser, kRunKey, "Rufwart", path);
    const QByteArray entry = readBytes(Paths::autostartFile());
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n")) << entry.constData();
    EXPECT_TRUE(entry.contains("\nExec=\"")) << entry.constData();
    EXPECT_FALSE(entry.contains("Hidden=true")) << entry.constData();
    EXPECT_EQ(ReadRegString(RegRoot::CurrentUser, kRunKey, "rufwart", ""), path);

    WriteRegString(RegRoot::CurrentUser, kRunKey, "Rufwart", "");
    EXPECT_TRUE(readBytes(Paths::autostartFile()).contains("\nHidden=true\n"));
    EXPECT_EQ(ReadRegString(RegRoot::CurrentUser, kRunKey, "Rufwart", "dflt"), "");

    // An entry written by hand with an unquoted Exec line.
    ASSERT_TRUE(
        writeBytes(Paths::autostartFile(), "[Desktop Entry]\nType=Application\nExec=/usr/bin/rufwart --x\n"));
    EXPECT_EQ(ReadRegString(RegRoot::CurrentUser, kRunKey, "Rufwart", ""), "/usr/bin/rufwart");
}

TEST(Reg32, EveryReadSeesTheLatestWrite)
{
    TestEnv env;
    // Values of one length in quick succession: the file keeps its size each time.
    for (int i = 0; i < 20; ++i) {
        WriteSettingFlag("ISDN_Beep", i % 2);
        ASSERT_EQ(ReadSettingFlag("ISDN_Beep"), bool(i % 2)) << i;
    }
}

// Every write replaces the whole file and syncs it: a value that already reads back as the text
// given is not written again (the window writes back every option it loads at each start).
TEST(Reg32, UnchangedValuesAreNotWrittenAgain)
{
    TestEnv env;
    auto inode = [](const QString &path) {
        struct stat st = {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    WriteSettingFlag("ISDN_Beep", true);
    WriteSettingString("ISDN_MSN", "4711,4712,,,,,,");
    WriteSettingInteger("ISDN_TimeMinimize", 12);
    WriteRegString(RegRoot::CurrentUser, kRunKey, "Rufwart", "/usr/bin/rufwart");
    const ino_t settings = inode(Paths::settingsFile());
    const ino_t autostart = inode(Paths::autostartFile());
    // Held open, neither file's inode can be handed to a replacement meanwhile.
    QFile heldSettings(Paths::settingsFile()), heldAutostart(Paths::autostartFile());
    ASSERT_TRUE(heldSettings.open(QIODevice::ReadOnly) && heldAutostart.open(QIODevice::ReadOnly));

    WriteSettingFlag("ISDN_Beep", true);
    WriteSettingString("isdn_msn", "4711,4712,,,,,,");
    WriteSettingInteger("ISDN_TimeMinimize", 12);
    WriteRegString(RegRoot::CurrentUser, kRunKey, "Rufwart", "/usr/bin/rufwart");
    EXPECT_EQ(inode(Paths::settingsFile()), settings);
    EXPECT_EQ(inode(Paths::autostartFile()), autostart);

    // A change, or a value not stored yet (even an empty one), is written.
    WriteSettingFlag("ISDN_Beep", false);
    EXPECT_NE(inode(Paths::settingsFile()), settings);
    WriteSettingString("ISDN_Show", "");
    EXPECT_TRUE(QSettings(Paths::settingsFile(), QSettings::IniFormat).contains("ISDN_Show"));
    WriteRegString(RegRoot::CurrentUser, kRunKey, "Rufwart", "");
    EXPECT_NE(inode(Paths::autostartFile()), autostart);
    EXPECT_EQ(ReadRegString(RegRoot::CurrentUser, kRunKey, "Rufwart", "dflt"), "");
    EXPECT_FALSE(ReadSettingFlag("ISDN_Beep"));
    EXPECT_EQ(ReadSettingString("ISDN_Msn"), "4711,4712,,,,,,");
}
