#pragma once

#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"

#include <QAbstractTableModel>
#include <QList>

// The rows of the journal window: one per call, oldest first, with date (the user's short
// format), time "hh:mm", MSN and the caller as the directory knew it when the journal was
// loaded. Rows are formatted and resolved only when shown; an empty journal shows one empty row.
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
    // No calls: one empty row.
    void clear();
    int callCount() const { return int(m_calls.size()); }

    // The caller column: the name the key resolves to, when it is longer than 2 characters,
    // else the stored key ("Analog" for a key shorter than 2 characters).
    static QString CallerText(const ResolvedCaller &resolved, const QString &key);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QList<JournalRecord> m_calls;
    CallerResolver m_callers;
};
