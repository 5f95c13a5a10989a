#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

struct RingDecision;

// The calls that came since the user last looked (at the main window's call list or the
// journal): their number, and the newest few with time and caller for the notification-area
// icon's tool tip. Kept in memory only.
class MissedCalls
{
public:
    // How many calls the tool tip lists.
    static constexpr int kListed = 5;

    struct Call
    {
        QDateTime When;
        QString Caller; // as shown: the name, or the number
    };

    // Whether a shown call is one the user may have missed: not a blocked caller (turned away
    // without a ring at the telephones) and not a data call taken in server mode.
    static bool Counts(const RingDecision &decision);

    void Add(const QDateTime &when, const QString &caller);
    // The user looked: nothing is missed any more.
    void Clear();
    int Count() const { return m_count; }
    // The newest calls, newest first, at most kListed.
    const QList<Call> &Newest() const { return m_newest; }

    // The icon's tool tip: `title` alone while nothing is missed; else the title, "1 Anruf in
    // Abwesenheit" / "<n> Anrufe in Abwesenheit" and one line per listed call, "hh:mm  caller"
    // (calls of another day than `today` with "dd.MM. " in front).
    QString ToolTip(const QString &title, const QDate &today) const;

private:
    int m_count = 0;
    QList<Call> m_newest;
};
