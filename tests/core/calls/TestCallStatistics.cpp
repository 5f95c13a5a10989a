// The statistics of the journal: days, weekdays and hours as the journal shows them (also on the
// days the clocks change), the calls a filter lets through, blocked callers by the directory's
// flag, and the most frequent callers by the name they resolve to.
#include "calls/CallStatistics.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
JournalRecord Call(const QDateTime &when, const QString &key = QStringLiteral("0301"),
                   const QString &msn = QStringLiteral("4711"))
{
    return {JournalRecord::toCallTime(when), key, msn};
}

CallerResolver Directory(const QByteArray &lines)
{
    return CallerDirectory::InMemory("[Anrufer]\r\n" + lines)->BatchResolver();
}

int At(const CallStatistics &stats, QDate day)
{
    return stats.PerDay.value(stats.FirstDay.daysTo(day), -1);
}
} // namespace

TEST(CallStatistics, DaysWeekdaysAndHoursAreThoseOfTheWallClock)
{
    // Where a day is not 24 hours long twice a year.
    qputenv("TZ", "Europe/Berlin");
    const QList<JournalRecord> calls = {
        Call(QDateTime(QDate(2024, 3, 30), QTime(23, 59, 59))), // Saturday
        Call(QDateTime(QDate(2024, 3, 31), QTime(0, 0))),       // Sunday, the clocks go forward at 2:00
        Call(QDateTime(QDate(2024, 3, 31), QTime(3, 30))),
        Call(QDateTime(QDate(2024, 3, 31), QTime(23, 30))),
        Call(QDateTime(QDate(2024, 4, 1), QTime(0, 30))),   // Monday
        Call(QDateTime(QDate(2024, 10, 27), QTime(2, 30))), // Sunday, the clocks go back at 3:00
        Call(QDateTime(QDate(2024, 10, 27), QTime(23, 59))),
        // Half a millisecond before midnight: the journal shows the next day at 00:00.
        {std::floor(JournalRecord::toCallTime(QDateTime(QDate(2024, 10, 28), QTime(0, 0)))) -
             0.5 / 86400000.0,
         QStringLiteral("0301"), QStringLiteral("4711")},
        Call(QDateTime(QDate(2023, 1, 1), QTime(12, 0))),               // before the days shown
        {std::nan(""), QStringLiteral("0301"), QStringLiteral("4711")}, // damaged: no date
    };
    qunsetenv("TZ");

    const CallStatistics spring = CountCalls(calls, CallerResolver(), QDate(2024, 4, 1), 3);
    EXPECT_EQ(spring.Calls, 9);
    EXPECT_EQ(spring.FirstDay, QDate(2024, 3, 30));
    EXPECT_EQ(spring.PerDay, QList<int>({1, 3, 1}));
    const CallStatistics autumn = CountCalls(calls, CallerResolver(), QDate(2024, 10, 28), 30);
    ASSERT_EQ(autumn.PerDay.size(), 30);
    EXPECT_EQ(At(autumn, QDate(2024, 10, 27)), 2);
    EXPECT_EQ(At(autumn, QDate(2024, 10, 28)), 1);

    // Monday is row 0; the hours as written, also on the days the clocks change.
    const auto &grid = spring.ByWeekdayHour;
    EXPECT_EQ(grid[5][23], 1); // Saturday 23:59:59
    EXPECT_EQ(grid[6][0], 1);  // Sunday 0:00
    EXPECT_EQ(grid[6][3], 1);
    EXPECT_EQ(grid[6][2], 1);
    EXPECT_EQ(grid[6][23], 2);
    EXPECT_EQ(grid[0][0], 2); // Monday 0:30, and the 00:00 that rounding makes of 23:59:59.9995
    int total = 0;
    for (const auto &row : grid)
        for (int calls : row)
            total += calls;
    EXPECT_EQ(total, 9);
}

TEST(CallStatistics, OnlyTheCallsTheFilterLetsThroughCount)
{
    const QDateTime when(QDate(2024, 5, 6), QTime(10, 0));
    const QList<JournalRecord> calls = {Call(when, "0301", "1"), Call(when, "0302", "2"),
                                        Call(when.addDays(1), "0301", "2"), Call(when, "0303", "1")};
    const CallerResolver callers = Directory("0301=F#Meier\r\n0303=T#Werbung\r\n");
    const QList<int> shown = {0, 2};
    const CallStatistics stats = CountCalls(calls, callers, QDate(2024, 5, 7), 2, &shown);
    EXPECT_EQ(stats.Calls, 2);
    EXPECT_EQ(stats.PerDay, QList<int>({1, 1}));
    EXPECT_EQ(stats.TopCallers, QList<CallStatistics::Bar>({{"Meier", 2}}));
    EXPECT_EQ(stats.PerMsn, QList<CallStatistics::Bar>({{"1", 1}, {"2", 1}}));
    EXPECT_EQ(stats.FromBlocked, 0);
    EXPECT_EQ(stats.FromOthers, 2);
    const QList<int> none;
    EXPECT_EQ(CountCalls(calls, callers, QDate(2024, 5, 7), 2, &none).Calls, 0);
    EXPECT_EQ(CountCalls(calls, callers, QDate(2024, 5, 7), 2).Calls, 4);
}

TEST(CallStatistics, BlockedCallersAreThoseTheDirectoryBlocksNow)
{
    const QDateTime when(QDate(2024, 5, 6), QTime(10, 0));
    // A group key blocks its numbers unless their own entry answers first; an unknown number,
    // a call without number and a blocked entry without name.
    const CallerResolver callers = Directory("0301=F#Meier\r\n030*=T#Berlin\r\n0401=T#\r\n");
    QList<JournalRecord> calls;
    for (const char *key : {"0301", "0302", "030*", "0401", "0499", "0", "0301"})
        calls.append(Call(when, QString::fromLatin1(key)));
    const CallStatistics stats = CountCalls(calls, callers, QDate(2024, 5, 6), 1);
    EXPECT_EQ(stats.FromBlocked, 3);
    EXPECT_EQ(stats.FromOthers, 4);
}

TEST(CallStatistics, TheTenMostFrequentCallersByNameWithTiesInNameOrder)
{
    const QDateTime when(QDate(2024, 5, 6), QTime(10, 0));
    QByteArray lines;
    QList<JournalRecord> calls;
    // Twelve callers with 1 to 3 calls; two numbers share the name "Meier" and count as one.
    for (int i = 0; i < 12; ++i) {
        const QString key = QStringLiteral("040%1").arg(i, 2, 10, QLatin1Char('0'));
        lines += key.toLatin1() + "=F#Name " + QByteArray(1, char('L' - i)) + "\r\n";
        for (int n = 0; n <= i % 3; ++n)
            calls.append(Call(when, key));
    }
    lines += "0501=F#Meier\r\n0502=F#Meier\r\n";
    for (const char *key : {"0501", "0501", "0502", "0502"})
        calls.append(Call(when, QString::fromLatin1(key)));
    const CallStatistics stats = CountCalls(calls, Directory(lines), QDate(2024, 5, 6), 1);
    // 3 calls: Name J, G, D, A (i = 2, 5, 8, 11); 2 calls: Name K, H, E, B (i = 1, 4, 7, 10).
    const QList<CallStatistics::Bar> expected = {{"Meier", 4},  {"Name A", 3}, {"Name D", 3}, {"Name G", 3},
                                                 {"Name J", 3}, {"Name B", 2}, {"Name E", 2}, {"Name H", 2},
                                                 {"Name K", 2}, {"Name C", 1}};
    EXPECT_EQ(stats.TopCallers, expected);
    EXPECT_EQ(stats.Calls, 28);
}
