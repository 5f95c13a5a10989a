// The command line: options of our own run in the terminal, and everything else (Qt's own
// options, which a session manager hands back at a restart) starts the monitor.
#include "calls/CallJournal.h"
#include "calls/JournalExport.h"
#include "platform/CommandLine.h"
#include "settings/SettingsStore.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {
QStringList args(std::initializer_list<const char *> list)
{
    QStringList out{QStringLiteral("rufwart")};
    for (const char *a : list)
        out << QString::fromLatin1(a);
    return out;
}
} // namespace

TEST(CommandLine, OwnOptionsRunInTheTerminalQtOptionsStartTheMonitor)
{
    EXPECT_FALSE(CommandLine::isTerminalRun(args({})));
    EXPECT_FALSE(CommandLine::isTerminalRun(args({"-session", "1234_5678"})));
    EXPECT_FALSE(CommandLine::isTerminalRun(args({"-platform", "offscreen"})));
    EXPECT_TRUE(CommandLine::isTerminalRun(args({"--version"})));
    EXPECT_TRUE(CommandLine::isTerminalRun(args({"-session", "x", "--help"})));
    EXPECT_TRUE(CommandLine::isTerminalRun(args({"--no-such-option"})));
    // The headless monitor is a start, alone; with another option it is a usage error.
    EXPECT_TRUE(CommandLine::isHeadlessRun(args({"-platform", "minimal", "--headless"})));
    EXPECT_FALSE(CommandLine::isTerminalRun(args({"--headless"})));
    EXPECT_FALSE(CommandLine::isHeadlessRun(args({"--headless", "--version"})));
    EXPECT_TRUE(CommandLine::isTerminalRun(args({"--headless", "--version"})));
}

TEST(CommandLine, ExitStatusTellsUsageErrorsApart)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(CommandLine::run(args({"--version"})), 0);
    EXPECT_EQ(CommandLine::run(args({"--no-such-option"})), 2);
    EXPECT_EQ(CommandLine::run(args({"--version", "stray"})), 2);
    EXPECT_EQ(CommandLine::run(args({"--headless", "--version"})), 2);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find("Rufwart 32"), std::string::npos) << out;
    EXPECT_NE(err.find("no-such-option"), std::string::npos) << err;
    EXPECT_NE(err.find("stray"), std::string::npos) << err;
}

TEST(CommandLine, ExportJournalWritesAFileOrStandardOutput)
{
    TestEnv env;
    CallJournal journal;
    journal.AppendCall(QStringLiteral("0301234"), QStringLiteral("4711"));
    const QByteArray csv = ExportJournalCsv(journal, CallerDirectory());
    ASSERT_EQ(csv.count("\r\n"), 2); // the header and the call

    const QString file = env.root() + QStringLiteral("/journal.csv");
    ASSERT_TRUE(writeBytes(file, "old"));
    testing::internal::CaptureStdout();
    EXPECT_EQ(CommandLine::run({QStringLiteral("rufwart"), QStringLiteral("--export-journal"), file}), 0);
    EXPECT_EQ(CommandLine::run(
                  {QStringLiteral("rufwart"), QStringLiteral("--export-journal"), QStringLiteral("-")}),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), csv.toStdString());
    EXPECT_EQ(readBytes(file), csv);

    // A name planted as a link in a shared folder: the link itself is replaced, never the file it
    // points to.
    const QString victim = env.root() + QStringLiteral("/victim");
    const QString planted = env.root() + QStringLiteral("/planted.csv");
    ASSERT_TRUE(writeBytes(victim, "keep"));
    ASSERT_TRUE(QFile::link(victim, planted));
    EXPECT_EQ(CommandLine::run({QStringLiteral("rufwart"), QStringLiteral("--export-journal"), planted}), 0);
    EXPECT_EQ(readBytes(victim), "keep");
    EXPECT_FALSE(QFileInfo(planted).isSymLink());
    EXPECT_EQ(readBytes(planted), csv);

    // A place that cannot be written: said on standard error, status 1.
    testing::internal::CaptureStderr();
    EXPECT_EQ(CommandLine::run({QStringLiteral("rufwart"), QStringLiteral("--export-journal"),
                                env.root() + QStringLiteral("/missing/folder/journal.csv")}),
              1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("missing/folder"), std::string::npos);
}

// A journal that was never converted (the monitor has not run since an update) holds 32-byte
// records: the export converts it first, and refuses one whose form is unclear.
TEST(CommandLine, ExportJournalConvertsAnOldJournalFirst)
{
    TestEnv env;
    CallJournal journal;
    const auto oldRecord = [](double time, const QByteArray &key) {
        QByteArray r(32, '\0');
        qToLittleEndian(time, r.data());
        r[8] = char(key.size());
        r.replace(9, key.size(), key);
        return r;
    };
    const QByteArray old = oldRecord(45293.5, "0301234") + oldRecord(45294.25, "030*");
    ASSERT_TRUE(writeBytes(journal.path(), old));
    WriteSettingString(QStringLiteral("ISDN_MSN"), QStringLiteral("4711,0815,,,,,,"));
    const QString file = env.root() + QStringLiteral("/journal.csv");
    EXPECT_EQ(CommandLine::run({QStringLiteral("rufwart"), QStringLiteral("--export-journal"), file}), 0);
    EXPECT_EQ(readBytes(file), QByteArray("Datum,Uhrzeit,MSN,Rufnummer,Name\r\n"
                                          "2024-01-02,12:00:00,4711,0301234,\r\n"
                                          "2024-01-03,06:00:00,4711,030*,\r\n"));
    EXPECT_EQ(readBytes(journal.backupPath()), old);

    // Neither form: said on standard error, naming the journal, and nothing written.
    WriteSettingFlag(QStringLiteral("ISDN_Update20"), false);
    ASSERT_TRUE(writeBytes(journal.path(), QByteArray(160, '\xff')));
    QFile::remove(file);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CommandLine::run({QStringLiteral("rufwart"), QStringLiteral("--export-journal"), file}), 1);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(journal.path().toStdString()), std::string::npos) << err;
    EXPECT_FALSE(QFileInfo::exists(file));
}
