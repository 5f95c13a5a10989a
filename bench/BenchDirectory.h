#pragma once

#include "calls/CallerDirectory.h"

#include <QList>
#include <QString>

// The caller directory the benchmarks measure against: numbers of many area codes, one group
// key in fifty, one blocked entry in seven, names with umlauts (stored in CP850).
inline QList<CallerRecord> BenchCallerRows(int entries = 10000)
{
    QList<CallerRecord> rows;
    rows.reserve(entries);
    for (int i = 0; i < entries; ++i) {
        const QString number = QStringLiteral("0%1%2").arg(30 + i % 70).arg(1000000 + i);
        rows.append({i % 50 == 0 ? number.chopped(2) + QLatin1Char('*') : number,
                     QString::fromUtf8("Müller-Lüdenscheidt %1").arg(i), i % 7 == 0});
    }
    return rows;
}
