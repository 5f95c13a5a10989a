#pragma once

#include "widgets/ToolDialog.h"

#include <QPointer>

class CallJournal;
class CallerDirectory;
class DInfoService;
class JournalModel;
class QMenu;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class StatisticsDialog;
class TGridView;

// "Anrufjournal": every call of the journal, oldest first, with date, time, MSN and the caller's
// name as the caller directory knows it when the window opens. The newest call is the current
// row; "&Löschen" empties the journal after asking.
//
// The filter field shows only the calls whose number, name, MSN or date hold what is typed; a
// row's context menu names ("Anrufer bearbeiten") or blocks ("Anrufer sperren") its caller (a
// call journalled under a group key names no caller of its own: blocking it asks first, since
// it blocks the whole group);
// "&Exportieren ..." writes the calls shown to a CSV file; the chart button beside the filter
// opens the statistics of the calls shown, which follow the filter while both are open.
class TfmHistorie : public TToolDialog
{
    Q_OBJECT
public:
    static constexpr int kClientWidth = 457;
    static constexpr int kClientHeight = 301;
    static constexpr int kColumnWidths[4] = {57, 39, 55, 257}; // the last less the scroll bar from 13 rows on

    TfmHistorie(CallJournal &journal, CallerDirectory &callers, DInfoService *dinfo = nullptr,
                QWidget *parent = nullptr);

    // Reads the journal and resolves its callers against one read of the directory. A journal
    // that cannot be read is reported; the result is then false and the window is not to be shown.
    bool LoadJournal();
    // The context menu of a row (none for the empty row).
    QMenu *RowMenu(int row);

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void EditRowCaller(int row);
    void BlockRowCaller(int row);
    void DelBtnClick();
    void EdFilterChange();
    // Asks for a file and writes the calls shown as CSV; a failed write is reported.
    void ExportBtnClick();
    void StatBtnClick();

    QLabel *Image1;
    TGridView *dbl;
    JournalModel *model;
    QLineEdit *EdFilter;
    QToolButton *StatBtn;
    QPushButton *ExportBtn;
    QPushButton *DelBtn;
    QPushButton *CloseBtn;

    void SelectNewest();
    // Names as the directory knows them now, after a caller was named or blocked.
    void ReloadCallers();

    CallJournal &FJournal;
    CallerDirectory &FCallers;
    // Handed to the caller record dialog of the row menu.
    DInfoService *FDInfo;
    QPointer<StatisticsDialog> FStatistics;
};

// The main window's "Anrufe ...": loads the journal and shows it modally.
void ShowJournal(CallJournal &journal, CallerDirectory &callers, DInfoService *dinfo = nullptr,
                 QWidget *parent = nullptr);
