#pragma once

#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"

#include <QDate>
#include <QList>
#include <QString>

#include <array>

// What the statistics window draws of the journal, counted in one pass over its records.
//
// A record's day, weekday and hour are those of its stored wall-clock time (as the journal window
// shows them), so a day on which daylight saving time starts or ends is a day like any other.
// Records whose time is no date (damaged ones) are not counted.
struct CallStatistics
{
    static constexpr int kTopCallers = 10;

    // A bar: what it stands for and its calls.
    struct Bar
    {
        QString Label;
        int Calls = 0;

        bool operator==(const Bar &) const = default;
    };

    // The calls counted.
    int Calls = 0;
    // Calls on each day from FirstDay to the last day asked for, oldest first (calls outside these
    // days count in everything else).
    QDate FirstDay;
    QList<int> PerDay;
    // Calls by weekday (0 is Monday) and hour of the day.
    std::array<std::array<int, 24>, 7> ByWeekdayHour{};
    // The callers with the most calls, by the name the directory gives them now (keys that
    // resolve to one name are one caller); most calls first, equal counts by name.
    QList<Bar> TopCallers;
    // The calls per called MSN, most calls first, equal counts by MSN.
    QList<Bar> PerMsn;
    // Calls whose caller the directory holds as blocked (also through a group key), and the rest.
    int FromBlocked = 0;
    int FromOthers = 0;
};

// Counts `calls` (only those at the indexes `only` lists, when it is given) against the
// directory as `callers` read it, with `days` days of PerDay ending with `lastDay`.
CallStatistics CountCalls(const QList<JournalRecord> &calls, const CallerResolver &callers, QDate lastDay,
                          int days, const QList<int> *only = nullptr);
