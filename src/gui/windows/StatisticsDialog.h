#pragma once

#include "calls/CallStatistics.h"

#include <QDialog>

class CallJournal;
class CallerDirectory;
class JournalModel;
class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
class StatisticsChart;

// "Statistik": the calls of the journal as pictures, one chart a page (StatisticsChart): calls
// per day over the last 30 or 90 days, by weekday and hour, the ten most frequent callers, calls
// per MSN, and blocked callers against the others. It counts the calls the journal window's
// filter lets through (all calls when opened from the menu), and the page shown can be saved as a
// PNG picture. The owner calls Reload when a call came in or the journal changed.
class StatisticsDialog : public QDialog
{
    Q_OBJECT
public:
    StatisticsDialog(CallJournal &journal, CallerDirectory &callers, QWidget *parent = nullptr);

    // Reads the journal and the directory anew (the filter stays). A journal that cannot be read
    // leaves the counts as they were and says so under the charts; the result is then false.
    bool Reload();
    // Starts from the calls as the journal window holds them, with its filter.
    void SetCalls(const JournalModel &journal);
    // Counts only the calls that match `text`, as the journal window's filter does.
    void SetFilter(const QString &text);
    const CallStatistics &statistics() const { return m_stats; }

private:
    void Recount();
    // Asks for a file and writes the chart shown as PNG; a failed write is reported.
    void SaveBtnClick();

    QTabWidget *Charts;
    QLabel *LbSummary;
    QComboBox *CbDays;
    QPushButton *SaveBtn;
    QPushButton *CloseBtn;

    CallJournal &m_journal;
    CallerDirectory &m_callers;
    // The calls and the filter, as the journal window keeps them.
    JournalModel *m_calls;
    CallStatistics m_stats;
    QString m_readError;
};

// The menu's "Statistik ...": the statistics of the whole journal in a window of their own, one
// at a time for each parent (raised when it is open already). It closes with the parent.
void ShowStatistics(CallJournal &journal, CallerDirectory &callers, QWidget *parent);
