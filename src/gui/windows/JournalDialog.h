#pragma once

#include "widgets/ToolDialog.h"

class CallJournal;
class CallerDirectory;
class JournalModel;
class QLabel;
class QPushButton;
class TGridView;

// "Anrufjournal": every call of the journal, oldest first, with date, time, MSN and the caller's
// name as the caller directory knows it when the window opens. The newest call is the current
// row; "&Löschen" empties the journal after asking.
class TfmHistorie : public TToolDialog
{
    Q_OBJECT
public:
    static constexpr int kClientWidth = 457;
    static constexpr int kClientHeight = 301;
    static constexpr int kColumnWidths[4] = {57, 39, 55, 257}; // the last less the scroll bar from 13 rows on

    TfmHistorie(CallJournal &journal, CallerDirectory &callers, QWidget *parent = nullptr);

    QLabel *Image1;
    TGridView *dbl;
    JournalModel *model;
    QPushButton *DelBtn;
    QPushButton *CloseBtn;

    // Reads the journal and resolves its callers against one read of the directory. A journal
    // that cannot be read is reported; the result is then false and the window is not to be shown.
    bool LoadJournal();
    void DelBtnClick();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void SelectNewest();

    CallJournal &FJournal;
    CallerDirectory &FCallers;
};

// The main window's "Anrufe ...": loads the journal and shows it modally.
void ShowJournal(CallJournal &journal, CallerDirectory &callers, QWidget *parent = nullptr);
