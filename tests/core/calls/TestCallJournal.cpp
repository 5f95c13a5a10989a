#include "calls/CallJournal.h"
#include "common/Clock.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "settings/SettingsStore.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"
#include "support/WriteFailure.h"

#include <QDir>
#include <QFile>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

// A record of the older 32-byte form.
QByteArray oldRecord(double time, const QByteArray &key)
{
    QByteArray r(32, '\x55'); // undefined bytes need not be zero
    quint64 bits;
    std::memcpy(&bits, &time, 8);
    qToLittleEndian(bits, r.data());
    r[8] = char(key.size());
    std::memcpy(r.data() + 9, key.constData(), size_t(key.size()));
    return r;
}

class CallJournalTest : public ::testing::Test
{
protected:
    TestEnv env;
    CallJournal journal;
    const QDateTime noon{QDate(2024, 1, 2), QTime(12, 0)};

    void SetUp() override
    {
        Clock::setSource([this] { return noon; });
    }
    void TearDown() override { Clock::setSource({}); }
};

} // namespace

TEST_F(CallJournalTest, AppendWritesFortyByteRecords)
{
    ASSERT_FALSE(QFile::exists(journal.path()));
    journal.AppendCall("0301234567", QString::fromUtf8("4711"));
    const QByteArray bytes = readBytes(journal.path());
    ASSERT_EQ(bytes.size(), 40);
    double time;
    const quint64 bits = qFromLittleEndian<quint64>(bytes.constData());
    std::memcpy(&time, &bits, 8);
    EXPECT_DOUBLE_EQ(time, 45293.5); // days since 30 December 1899
    EXPECT_EQ(bytes.mid(8, 11), QByteArray("\x0a"
                                           "0301234567"));
    EXPECT_EQ(bytes.mid(19, 10), QByteArray(10, '\0'));
    EXPECT_EQ(bytes.mid(29, 5), QByteArray("\x04"
                                           "4711"));
    EXPECT_EQ(bytes.mid(34), QByteArray(6, '\0'));

    journal.AppendCall(QString(25, 'k'), "123456789012");
    const QList<JournalRecord> calls = journal.ReadCalls();
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0].callDateTime(), noon);
    EXPECT_EQ(calls[1].CallerKey, QString(20, 'k'));
    EXPECT_EQ(calls[1].Msn, "1234567890");
    EXPECT_EQ(JournalRecord::fromBytes(calls[1].toBytes().constData()), calls[1]);

    // Wall-clock times survive the days on which the clocks change.
    qputenv("TZ", "Europe/Berlin");
    for (const QDateTime &when :
         {QDateTime(QDate(2024, 3, 31), QTime(12, 0)), QDateTime(QDate(2024, 10, 27), QTime(23, 59, 59)),
          QDateTime(QDate(1999, 12, 31), QTime(0, 0))}) {
        JournalRecord r{JournalRecord::toCallTime(when), "1", ""};
        EXPECT_EQ(r.callDateTime(), when) << when.toString().toStdString();
    }
    qunsetenv("TZ");
}

TEST_F(CallJournalTest, PartialRecordsAreIgnoredAndOverwritten)
{
    JournalRecord r{JournalRecord::toCallTime(noon), QString::fromUtf8("Müller"), "1"};
    ASSERT_TRUE(writeBytes(journal.path(), r.toBytes() + r.toBytes() + "xxxxx"));
    EXPECT_EQ(journal.ReadCalls().size(), 2); // 85 bytes
    EXPECT_EQ(journal.ReadCalls()[0].CallerKey, QString::fromUtf8("Müller"));
    journal.AppendCall("030", "2");
    EXPECT_EQ(readBytes(journal.path()).size(), 120);
    EXPECT_EQ(journal.ReadCalls().last().CallerKey, "030");

    journal.ClearJournal();
    EXPECT_TRUE(QFile::exists(journal.path()));
    EXPECT_EQ(readBytes(journal.path()).size(), 0);

    QFile::remove(journal.path());
    EXPECT_TRUE(journal.ReadCalls().isEmpty());
    EXPECT_TRUE(QFile::exists(journal.path())); // created empty by the reader
}

// Found by fuzzing: the time of a damaged record was turned into a day count whatever it held.
TEST_F(CallJournalTest, ADamagedRecordHasNoDateAndTheOthersStillRead)
{
    QByteArray bytes;
    for (const double time : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, -4.98572e+216, 1e12 + 1})
        bytes += JournalRecord{time, "1", ""}.toBytes();
    bytes += JournalRecord{JournalRecord::toCallTime(noon), "2", ""}.toBytes();
    const QList<JournalRecord> calls = CallJournal::RecordsOf(bytes);
    ASSERT_EQ(calls.size(), 7);
    for (qsizetype i = 0; i < 6; ++i)
        EXPECT_FALSE(calls[i].callDateTime().isValid()) << i;
    EXPECT_EQ(calls[6].callDateTime(), noon);
    const JournalRecord early{-1.25, "", ""};
    EXPECT_EQ(early.callDateTime(), QDateTime(QDate(1899, 12, 28), QTime(18, 0)));
}

TEST_F(CallJournalTest, FailedAppendKeepsEarlierRecordsAndNamesTheFile)
{
    journal.AppendCall("1", "");
    journal.AppendCall("2", "");
    {
        FileSizeLimit limit(100); // room for two records and half of a third
        try {
            journal.AppendCall("3", "");
            FAIL() << "the append should have failed";
        } catch (const IoError &e) {
            EXPECT_EQ(e.path(), journal.path());
            EXPECT_TRUE(e.message().contains(journal.path()));
        }
    }
    EXPECT_EQ(journal.ReadCalls().size(), 2);
    journal.AppendCall("4", "");
    EXPECT_EQ(readBytes(journal.path()).size(), 120);
    EXPECT_EQ(journal.ReadCalls().last().CallerKey, "4");

    CallJournal nowhere(env.root() + "/missing/folder");
    EXPECT_THROW(nowhere.AppendCall("1", ""), IoError);
    EXPECT_THROW(nowhere.ReadCalls(), IoError);
}

TEST_F(CallJournalTest, QueuedCallsAreReadAtOnceAndNeverLost)
{
    {
        CallJournal queued;
        queued.SetWriteErrorHandler([](const IoError &) {});
        journal.AppendCall("first", "");
        {
            FileSizeLimit limit(40);
            queued.QueueCall("second", "");
            queued.QueueCall("third", "");
            const QList<JournalRecord> calls = queued.ReadCalls();
            ASSERT_EQ(calls.size(), 3);
            EXPECT_EQ(calls[2].CallerKey, "third");
            EXPECT_THROW(queued.Flush(), IoError);
            EXPECT_TRUE(queued.HasPending());
        }
        queued.AppendCall("fourth", ""); // goes after what was queued before it
        EXPECT_FALSE(queued.HasPending());
        QStringList keys;
        for (const JournalRecord &r : journal.ReadCalls())
            keys << r.CallerKey;
        EXPECT_EQ(keys, QStringList({"first", "second", "third", "fourth"}));

        // While the worker writes, every read shows each record exactly once, in order.
        for (int i = 0; i < 300; ++i) {
            queued.QueueCall(QString::number(i), "");
            const QList<JournalRecord> calls = queued.ReadCalls();
            ASSERT_EQ(calls.size(), 4 + i + 1);
            for (int j = 0; j <= i; ++j)
                ASSERT_EQ(calls[4 + j].CallerKey, QString::number(j));
        }
        queued.QueueCall("last", ""); // written when the journal goes away
    }
    EXPECT_EQ(readBytes(journal.path()).size(), 40 * 305);
    EXPECT_EQ(journal.ReadCalls().last().CallerKey, "last");
}

TEST_F(CallJournalTest, ConvertsOldRecordsOnceAndKeepsTheOriginal)
{
    const double t0 = 36000.25;
    const QByteArray old = oldRecord(t0, "0301234") + oldRecord(t0 + 1, "030*") + oldRecord(t0 + 2, "0");
    ASSERT_TRUE(writeBytes(journal.path(), old));
    // A longer scratch file left by a failed earlier run.
    ASSERT_TRUE(writeBytes(journal.scratchPath(), QByteArray(400, '\x7f')));
    WriteSettingString("ISDN_MSN", "4711,0815,,,,,,");

    std::vector<std::pair<qint64, qint64>> steps;
    const auto result =
        journal.ConvertJournal([&](qint64 done, qint64 total) { steps.emplace_back(done, total); });
    EXPECT_EQ(result, CallJournal::Conversion::Converted);
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.front(), std::make_pair(qint64(0), qint64(3)));
    EXPECT_EQ(steps.back(), std::make_pair(qint64(3), qint64(3)));

    const QList<JournalRecord> calls = journal.ReadCalls();
    ASSERT_EQ(calls.size(), 3);
    EXPECT_DOUBLE_EQ(calls[0].CallTime, t0);
    EXPECT_DOUBLE_EQ(calls[2].CallTime, t0 + 2);
    EXPECT_EQ(calls[1].CallerKey, "030*");
    for (const JournalRecord &r : calls)
        EXPECT_EQ(r.Msn, "4711");
    EXPECT_EQ(readBytes(journal.backupPath()), old);
    EXPECT_FALSE(QFile::exists(journal.scratchPath()));
    EXPECT_TRUE(ReadSettingFlag("ISDN_Update20"));

    // Once done, never again.
    const QByteArray converted = readBytes(journal.path());
    EXPECT_EQ(journal.ConvertJournal(), CallJournal::Conversion::AlreadyDone);
    EXPECT_EQ(readBytes(journal.path()), converted);
}

TEST_F(CallJournalTest, ConversionWithoutCommaOrJournal)
{
    EXPECT_EQ(journal.ConvertJournal(), CallJournal::Conversion::NoJournal);
    EXPECT_FALSE(QFile::exists(journal.path()));
    EXPECT_TRUE(ReadSettingFlag("ISDN_Update20"));

    WriteSettingFlag("ISDN_Update20", false);
    WriteSettingString("ISDN_MSN", "4711");
    ASSERT_TRUE(writeBytes(journal.path(), oldRecord(40000.5, "0301")));
    EXPECT_EQ(journal.ConvertJournal(), CallJournal::Conversion::Converted);
    ASSERT_EQ(journal.ReadCalls().size(), 1);
    EXPECT_EQ(journal.ReadCalls()[0].Msn, "");
}

TEST_F(CallJournalTest, AJournalAlreadyConvertedOrUnclearIsLeftAlone)
{
    // The settings were lost, the journal is already in the 40-byte form.
    for (int n : {1, 4, 5}) {
        journal.ClearJournal();
        for (int i = 0; i < n; ++i)
            journal.AppendCall(QStringLiteral("0301%1").arg(i), "4711");
        const QByteArray before = readBytes(journal.path());
        WriteSettingFlag("ISDN_Update20", false);
        EXPECT_EQ(journal.ConvertJournal(), CallJournal::Conversion::AlreadyConverted) << n;
        EXPECT_EQ(readBytes(journal.path()), before);
        EXPECT_TRUE(ReadSettingFlag("ISDN_Update20"));
    }
    // Bytes that are neither form.
    WriteSettingFlag("ISDN_Update20", false);
    const QByteArray junk(160, '\xff');
    ASSERT_TRUE(writeBytes(journal.path(), junk));
    EXPECT_EQ(journal.ConvertJournal(), CallJournal::Conversion::Undecided);
    EXPECT_EQ(readBytes(journal.path()), junk);
    // Undecided is not done: the next start looks again.
    EXPECT_FALSE(ReadSettingFlag("ISDN_Update20"));
}

TEST_F(CallJournalTest, MostRecordsDecideTheFormAndAnUnreadableMsnListIsNoMsn)
{
    // An old journal with one damaged record is still an old journal.
    QByteArray old;
    for (int i = 0; i < 10; ++i)
        old += oldRecord(40000 + i, "0301");
    old.replace(3 * 32, 8, QByteArray(8, '\xff'));
    ASSERT_TRUE(writeBytes(journal.path(), old));
    // Written by another program as no text: it reads as no MSN instead of failing every start.
    ASSERT_TRUE(writeBytes(Paths::settingsFile(), "[General]\nISDN_Msn=@Rect(1 2 3 4)\n"));
    EXPECT_EQ(journal.ConvertJournal(), CallJournal::Conversion::Converted);
    const QList<JournalRecord> calls = journal.ReadCalls();
    ASSERT_EQ(calls.size(), 10);
    EXPECT_DOUBLE_EQ(calls[9].CallTime, 40009);
    EXPECT_EQ(calls[9].Msn, "");
    EXPECT_TRUE(ReadSettingFlag("ISDN_Update20"));

    // The same for a journal already converted.
    QByteArray current = readBytes(journal.path());
    current.replace(5 * 40, 8, QByteArray(8, '\0'));
    ASSERT_TRUE(writeBytes(journal.path(), current));
    WriteSettingFlag("ISDN_Update20", false);
    EXPECT_EQ(journal.ConvertJournal(), CallJournal::Conversion::AlreadyConverted);
    EXPECT_EQ(readBytes(journal.path()), current);
}

TEST_F(CallJournalTest, FailedConversionLeavesJournalAndSettingForTheNextStart)
{
    QByteArray old;
    for (int i = 0; i < 50; ++i)
        old += oldRecord(40000 + i, "0301");
    ASSERT_TRUE(writeBytes(journal.path(), old));
    WriteSettingString("ISDN_MSN", "1,2");
    {
        FileSizeLimit limit(old.size()); // the converted file is larger
        try {
            journal.ConvertJournal();
            FAIL() << "the conversion should have failed";
        } catch (const IoError &e) {
            EXPECT_TRUE(e.message().contains(e.path())) << e.message().toStdString();
        }
    }
    EXPECT_EQ(readBytes(journal.path()), old);
    EXPECT_FALSE(ReadSettingFlag("ISDN_Update20"));
    EXPECT_EQ(journal.ConvertJournal(), CallJournal::Conversion::Converted);
    EXPECT_EQ(readBytes(journal.path()).size(), 50 * 40);
}
