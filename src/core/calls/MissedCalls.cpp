#include "calls/MissedCalls.h"

#include "calls/RingDecision.h"
#include "capi/CapiTypes.h"

#include <QCoreApplication>

bool MissedCalls::Counts(const RingDecision &decision)
{
    return decision.Passed && !decision.Blocked && decision.Result != RingResult::Accept;
}

void MissedCalls::Add(const QDateTime &when, const QString &caller)
{
    ++m_count;
    m_newest.prepend({when, caller});
    if (m_newest.size() > kListed)
        m_newest.removeLast();
}

void MissedCalls::Clear()
{
    m_count = 0;
    m_newest.clear();
}

QString MissedCalls::ToolTip(const QString &title, const QDate &today) const
{
    if (m_count == 0)
        return title;
    QString tip =
        title + QLatin1Char('\n') +
        (m_count == 1 ? QCoreApplication::translate("MissedCalls", "1 Anruf in Abwesenheit")
                      : QCoreApplication::translate("MissedCalls", "%1 Anrufe in Abwesenheit").arg(m_count));
    for (const Call &call : m_newest) {
        tip += QLatin1Char('\n');
        if (call.When.date() != today)
            tip += call.When.toString(QStringLiteral("dd.MM. "));
        tip += call.When.toString(QStringLiteral("hh:mm")) + QStringLiteral("  ") + call.Caller;
    }
    return tip;
}
