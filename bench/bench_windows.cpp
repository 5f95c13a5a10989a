// Times the caller list and the journal window on generated data, offscreen: opening the
// journal of 100,000 calls against a directory of 10,000 entries (and formatting every one of
// its rows, as scrolling through all of them would), filtering it as the user types, opening
// the statistics of those calls (read, counted and drawn), opening the caller list of 10,000
// entries, and saving it.
#include "BenchDirectory.h"
#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "common/Utils.h"
#include "widgets/MessageDialog.h"
#include "windows/CallerListDialog.h"
#include "windows/CallerListModel.h"
#include "windows/JournalDialog.h"
#include "windows/JournalModel.h"
#include "windows/StatisticsDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>

namespace {
double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir root;
    if (!root.isValid())
        return 1;
    qputenv("XDG_DATA_HOME", (root.path() + "/data").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (root.path() + "/config").toLocal8Bit());
    // Every question is answered with the right-hand button ("&Ja").
    MsgDlgHook::setHandler([](const QString &, int) { return true; });

    constexpr int kEntries = 10000;
    const QList<CallerRecord> rows = BenchCallerRows(kEntries);
    CallerDirectory directory;
    directory.WriteCallerList(rows);

    // Calls of known callers (some through group keys), of unknown numbers and without number.
    constexpr int kRecords = 100000;
    CallJournal journal;
    QByteArray bytes;
    bytes.reserve(kRecords * JournalRecord::kSize);
    for (int i = 0; i < kRecords; ++i) {
        QString key = rows[(i * 7919) % kEntries].Number;
        if (i % 10 == 3)
            key = QStringLiteral("0999%1").arg(i % 5000);
        else if (i % 10 == 7)
            key = QStringLiteral("0");
        bytes += JournalRecord{45000.0 + i / 100.0, key, QStringLiteral("4711")}.toBytes();
    }
    WriteFileAtomic(journal.path(), bytes);

    QElapsedTimer timer;
    timer.start();
    double journalOpen = 0;
    double journalAllRows = 0;
    double journalFilter = 0;
    {
        TfmHistorie window(journal, directory);
        if (!window.LoadJournal())
            return 2;
        window.show();
        window.repaint();
        journalOpen = msSince(timer);
        // The window's own grid model and filter field, as the user reaches them.
        auto *model = window.findChild<JournalModel *>();
        auto *filter = window.findChild<QLineEdit *>(QStringLiteral("EdFilter"));
        if (!model || !filter)
            return 3;
        if (model->callCount() != kRecords)
            return 3;
        // Rows are resolved when shown: scrolling through all of them resolves every record.
        timer.restart();
        qsizetype named = 0;
        for (int row = 0; row < kRecords; ++row)
            named += model->index(row, JournalModel::ColCaller).data().toString().size();
        journalAllRows = msSince(timer);
        if (named == 0)
            return 3;

        // Typing a name and a number into the filter, then deleting it again, a keystroke at a
        // time, each shown: the slowest keystroke (the first one reads every record's texts).
        const QString typed = QString::fromUtf8("müller 12");
        QStringList keystrokes;
        for (int i = 1; i <= typed.size(); ++i)
            keystrokes << typed.left(i);
        for (int i = typed.size() - 1; i >= 0; --i)
            keystrokes << typed.left(i);
        for (const QString &text : keystrokes) {
            timer.restart();
            filter->setText(text);
            window.repaint();
            journalFilter = std::max(journalFilter, msSince(timer));
        }
        if (model->shownCount() != kRecords)
            return 3;
    }

    // The statistics from the menu: the journal read, every call counted, the first chart drawn;
    // then the slowest of the other charts to draw.
    timer.restart();
    double statisticsOpen = 0;
    double statisticsChart = 0;
    {
        StatisticsDialog statistics(journal, directory);
        if (!statistics.Reload())
            return 6;
        statistics.show();
        // Painted for certain, also where the offscreen window is not exposed.
        if (statistics.grab().isNull())
            return 6;
        statisticsOpen = msSince(timer);
        if (statistics.statistics().Calls != kRecords)
            return 6;
        auto *charts = statistics.findChild<QTabWidget *>(QStringLiteral("Charts"));
        for (int page = 1; charts && page < charts->count(); ++page) {
            charts->setCurrentIndex(page);
            timer.restart();
            charts->currentWidget()->grab();
            statisticsChart = std::max(statisticsChart, msSince(timer));
        }
    }

    // The peer: resolving each record on its own, a read of the directory file each time.
    constexpr int kSingle = 500;
    const QList<JournalRecord> calls = journal.ReadCalls();
    timer.restart();
    for (int i = 0; i < kSingle; ++i)
        directory.ResolveCaller(calls[i * (kRecords / kSingle)].CallerKey);
    const double singleAll = msSince(timer) / kSingle * kRecords;

    timer.restart();
    TfmAnruf list(directory, nullptr);
    list.show();
    list.repaint();
    const double listOpen = msSince(timer);
    auto *listModel = list.findChild<CallerListModel *>();
    if (!listModel || listModel->rowCount() != kEntries)
        return 4;

    // A changed name, then closing with "&Ja": the whole list is written.
    listModel->setData(listModel->index(0, CallerListModel::ColName), QStringLiteral("Geändert"));
    timer.restart();
    list.reject();
    const double listSave = msSince(timer);
    if (list.isVisible() || directory.ListKeys().size() != kEntries)
        return 5;

    std::printf("journal_open_ms: %.1f\n", journalOpen);
    std::printf("journal_all_rows_ms: %.1f\n", journalAllRows);
    // How many times longer resolving every record one by one would take.
    std::printf("journal_one_by_one_ratio: %.0f\n", singleAll / journalAllRows);
    // The slowest keystroke in the filter of the 100,000 calls (limit: 100).
    std::printf("journal_filter_ms: %.1f\n", journalFilter);
    // Opening the statistics of the 100,000 calls (limit: 300).
    std::printf("statistics_open_ms: %.1f\n", statisticsOpen);
    std::printf("statistics_chart_ms: %.1f\n", statisticsChart);
    std::printf("caller_list_open_ms: %.1f\n", listOpen);
    std::printf("caller_list_save_ms: %.1f\n", listSave);
    return 0;
}
