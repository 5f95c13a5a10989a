// The journal as CSV: names from a directory in code page 850 come out as UTF-8, separators,
// quotes and the time of day survive, and calls without a name or number keep their columns.
#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "calls/JournalExport.h"
#include "common/Clock.h"
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
