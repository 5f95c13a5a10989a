#include "calls/CallStatistics.h"

#include "calls/JournalExport.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace {
const QDate kEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;
constexpr qint64 kMsPerHour = 3600000;
// Beyond the dates a journal record can hold (as JournalRecord::callDate sees it).
constexpr double kMaxDays = 1e12;

// Most calls first, equal counts in the order of their labels.
void SortBars(QList<CallStatistics::Bar> &bars)
{
    std::sort(bars.begin(), bars.end(), [](const CallStatistics::Bar &a, const CallStatistics::Bar &b) {
        if (a.Calls != b.Calls)
            return a.Calls > b.Calls;
        const int byCase = a.Label.compare(b.Label, Qt::CaseInsensitive);
        return byCase != 0 ? byCase < 0 : a.Label < b.Label;
    });
}
} // namespace

CallStatistics CountCalls(const QList<JournalRecord> &calls, const CallerResolver &callers, QDate lastDay,
                          int days, const QList<int> *only)
{
    CallStatistics stats;
    days = std::max(days, 0);
    stats.FirstDay = lastDay.addDays(1 - days);
    stats.PerDay.fill(0, days);
    const qint64 firstDay = kEpoch.daysTo(stats.FirstDay);
    // The weekday of the epoch (a Saturday) counted from Monday.
    const qint64 epochWeekday = kEpoch.dayOfWeek() - 1;

    // Distinct callers and MSNs are few: count by the stored texts, resolve each once afterwards.
    QHash<QString, int> perKey;
    QHash<QString, int> perMsn;
    const auto count = [&](const JournalRecord &call) {
        const double time = call.CallTime;
        if (!std::isfinite(time) || std::fabs(time) > kMaxDays)
            return;
        // Day and time of day as the journal reads them: a time that rounds to the end of its
        // day is the start of the next.
        qint64 day = qint64(std::floor(time));
        qint64 ms = std::llround((time - double(day)) * kMsPerDay);
        if (ms >= qint64(kMsPerDay)) {
            ++day;
            ms -= qint64(kMsPerDay);
        }
        ++stats.Calls;
        const qint64 bucket = day - firstDay;
        if (bucket >= 0 && bucket < days)
            ++stats.PerDay[bucket];
        const qint64 weekday = ((day + epochWeekday) % 7 + 7) % 7;
        ++stats.ByWeekdayHour[size_t(weekday)][size_t(ms / kMsPerHour)];
        ++perKey[call.CallerKey];
        ++perMsn[call.Msn];
    };
    if (only) {
        for (int i : *only) {
            if (i >= 0 && i < calls.size())
                count(calls[i]);
        }
    } else {
        for (const JournalRecord &call : calls)
            count(call);
    }

    QHash<QString, int> perName;
    for (auto it = perKey.cbegin(); it != perKey.cend(); ++it) {
        const ResolvedCaller resolved = callers.Resolve(it.key());
        (resolved.Blocked ? stats.FromBlocked : stats.FromOthers) += it.value();
        perName[JournalCallerText(resolved, it.key())] += it.value();
    }
    QList<CallStatistics::Bar> names;
    names.reserve(perName.size());
    for (auto it = perName.cbegin(); it != perName.cend(); ++it)
        names.append({it.key(), it.value()});
    SortBars(names);
    stats.TopCallers = names.mid(0, CallStatistics::kTopCallers);

    stats.PerMsn.reserve(perMsn.size());
    for (auto it = perMsn.cbegin(); it != perMsn.cend(); ++it)
        stats.PerMsn.append({it.key(), it.value()});
    SortBars(stats.PerMsn);
    return stats;
}
