// The journal as CSV: names from a directory in code page 850 come out as UTF-8, separators,
// quotes and the time of day survive, calls without a name or number keep their columns, and no
// cell runs as a formula in a spreadsheet.
#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "calls/JournalExport.h"
#include "common/Clock.h"
#include "contacts/CsvReader.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"

#include <QFile>
#include <gtest/gtest.h>

TEST(JournalExport, CsvOfAJournalWithOemNamesAndSeparators)
{
    TestEnv env;
    CallerDirectory callers;
    // ü is 0x81, ß 0xE1 in code page 850.
    ASSERT_TRUE(writeBytes(callers.path(), "[Anrufer]\r\n"
                                           "0301=F#M\x81ller, Hans\r\n"
                                           "0402=F#\"Die\" Stra\xE1"
                                           "e\r\n"
                                           "030*=T#Berlin; Mitte\r\n"
                                           "0403=F#Al\r\n"));
    CallJournal journal;
    // No journal yet: the header alone, and no file is made.
    EXPECT_EQ(ExportJournalCsv(journal, callers), QByteArray("Datum,Uhrzeit,MSN,Rufnummer,Name\r\n"));
    EXPECT_FALSE(QFile::exists(journal.path()));

    const QDateTime times[] = {QDateTime(QDate(2024, 1, 2), QTime(7, 5, 59)),
                               QDateTime(QDate(2024, 12, 31), QTime(23, 59, 58)),
                               QDateTime(QDate(2025, 1, 1), QTime(0, 0, 1))};
    int next = 0;
    Clock::setSource([&] { return times[std::min(next, 2)]; });
    for (const char *key : {"0301", "0402", "030*", "0", "0403", "0999"}) {
        journal.AppendCall(QString::fromLatin1(key), QStringLiteral("4711"));
        ++next;
    }
    Clock::setSource({});

    const QByteArray expected = "Datum,Uhrzeit,MSN,Rufnummer,Name\r\n"
                                "2024-01-02,07:05:59,4711,0301,\"M\xC3\xBCller, Hans\"\r\n"
                                "2024-12-31,23:59:58,4711,0402,\"\"\"Die\"\" Stra\xC3\x9F"
                                "e\"\r\n"
                                "2025-01-01,00:00:01,4711,030*,Berlin; Mitte\r\n"
                                "2025-01-01,00:00:01,4711,0,Analog\r\n"
                                // A name of 2 characters is no name, as in the journal window.
                                "2025-01-01,00:00:01,4711,0403,\r\n"
                                "2025-01-01,00:00:01,4711,0999,\r\n";
    EXPECT_EQ(ExportJournalCsv(journal, callers), expected);
}

TEST(JournalExport, CellsThatASpreadsheetWouldRunAsAFormulaAreGuarded)
{
    // Names come from address books, D-Info and the line: a cell beginning with =, +, -, @, a tab
    // or a CR gets an apostrophe in front, so that a spreadsheet shows it as text. A number such as
    // +4930123456 stays as it is. Read back, every cell is the one written, apart from that guard.
    TestEnv env;
    CallerDirectory callers;
    ASSERT_TRUE(writeBytes(callers.path(), "[Anrufer]\r\n"
                                           "0501=F#=HYPERLINK(\"http://x.example\";\"Hilfe\")\r\n"
                                           "0502=F#+1+cmd|' /C calc'!A0\r\n"
                                           "0503=F#-2+3\r\n"
                                           "0504=F#@SUM(A1:A9)\r\n"
                                           "0505=F#Meier-Schulze\r\n"));
    const double when = JournalRecord::toCallTime(QDateTime(QDate(2024, 1, 2), QTime(7, 5, 59)));
    QList<JournalRecord> calls;
    const QStringList keys = {"0501",   "0502", "0503", "0504",       "0505", "+4930123456",
                              "\t=1+1", "\r=1", "-",    "+49 30 123", "+"};
    for (const QString &key : keys)
        calls.append({when, key, key == "\r=1" ? QStringLiteral("=2+2") : QStringLiteral("4711")});

    const QByteArray csv = JournalCsv(calls, callers.BatchResolver());
    const QList<QStringList> rows = ParseCsv(QString::fromUtf8(csv), QLatin1Char(','));
    const auto row = [](const QString &msn, const QString &key, const QString &name) {
        return QStringList{"2024-01-02", "07:05:59", msn, key, name};
    };
    const QList<QStringList> expected = {
        {"Datum", "Uhrzeit", "MSN", "Rufnummer", "Name"},
        row("4711", "0501", "'=HYPERLINK(\"http://x.example\";\"Hilfe\")"),
        row("4711", "0502", "'+1+cmd|' /C calc'!A0"),
        row("4711", "0503", "'-2+3"),
        row("4711", "0504", "'@SUM(A1:A9)"),
        row("4711", "0505", "Meier-Schulze"),
        row("4711", "+4930123456", ""),
        row("4711", "'\t=1+1", ""),
        row("'=2+2", "'\r=1", ""),
        row("4711", "'-", "Analog"),
        row("4711", "'+49 30 123", ""),
        row("4711", "'+", "Analog"),
    };
    EXPECT_EQ(rows, expected);
}
