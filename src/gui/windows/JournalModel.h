#pragma once

#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QStringList>

// The rows of the journal window: one per call, oldest first, with date (the user's short
// format), time "hh:mm", MSN and the caller as the directory knew it when the journal was
// loaded (JournalCallerText). Rows are formatted and resolved only when shown; an empty journal
// shows one empty row.
//
// A filter limits the rows to the calls whose number, name, MSN or shown date hold every word
// of it (without regard to case). Calls share few days, MSNs and callers: each of these texts
// is made and searched once, and a call only looks up whether its own matched.
class JournalModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        ColDate = 0,  // "Datum"
        ColTime = 1,  // "Uhrzeit"
        ColMsn = 2,   // "MSN"
        ColCaller = 3 // "Anrufer"
    };

    explicit JournalModel(QObject *parent = nullptr);

    void setCalls(QList<JournalRecord> calls, CallerResolver callers);
    // The directory changed: names as it knows them now (the filter stays).
    void setCallers(CallerResolver callers);
    // No calls: one empty row.
    void clear();
    int callCount() const { return int(m_calls.size()); }
    // Every call, and the indexes of those shown while a filter is set (null: all are shown).
    const QList<JournalRecord> &calls() const { return m_calls; }
    const QList<int> *shownIndexes() const { return m_filtered ? &m_shown : nullptr; }

    // Shows only the calls that match `text` (all calls for an empty text).
    void setFilter(const QString &text);
    QString filter() const { return m_filter; }
    // The calls shown, in their order.
    int shownCount() const { return m_filtered ? int(m_shown.size()) : callCount(); }
    QList<JournalRecord> shownCalls() const;
    // The call of a row; null for the empty row.
    const JournalRecord *callAt(int row) const;
    const CallerResolver &callers() const { return m_callers; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void buildSearchTexts();
    void applyFilter();

    QList<JournalRecord> m_calls;
    CallerResolver m_callers;
    QString m_filter;
    bool m_filtered = false;
    // Indexes into m_calls of the rows shown while filtered.
    QList<int> m_shown;
    // What the filter searches, in lower case: the distinct dates, MSNs and callers (key and
    // name), and for each call which of them are its own.
    struct SearchRow
    {
        int Date;
        int Msn;
        int Caller;
    };
    QStringList m_dateTexts;
    QStringList m_msnTexts;
    QStringList m_callerTexts;
    QList<SearchRow> m_searchRows;
};
