#include "windows/JournalDialog.h"

#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "common/Errors.h"
#include "widgets/GridView.h"
#include "widgets/Icons.h"
#include "windows/JournalModel.h"
#include "windows/MessageDialog.h"

#include <QEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

TfmHistorie::TfmHistorie(CallJournal &journal, CallerDirectory &callers, QWidget *parent)
    : TToolDialog(parent), FJournal(journal), FCallers(callers)
{
    setObjectName(QStringLiteral("fmHistorie"));
    setWindowTitle(QStringLiteral("Anrufjournal"));
    setEscapeFirst(true);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(Icons::trayIcon().pixmap(24, 24));

    dbl = new TGridView(this);
    dbl->setObjectName(QStringLiteral("dbl"));
    model = new JournalModel(this);
    dbl->setModel(model);
    dbl->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dbl->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Date and time as wide as they are written in the user's format.
    const QDateTime sample(QDate(2000, 12, 28), QTime(20, 58));
    dbl->setColumns({std::begin(kColumnWidths), std::end(kColumnWidths)},
                    {QLocale().toString(sample.date(), QLocale::ShortFormat),
                     sample.time().toString(QStringLiteral("hh:mm"))});

    DelBtn = new QPushButton(QStringLiteral("&Löschen"), this);
    DelBtn->setObjectName(QStringLiteral("DelBtn"));
    CloseBtn = new QPushButton(QStringLiteral("&Schließen"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));

    // The grid as wide as its columns and as high as the window allows, the icon and the
    // buttons under it.
    const int buttonsTop = kClientHeight - 8 - 25;
    const int gridWidth = std::min(dbl->widthForColumns(), kClientWidth - 16);
    dbl->setGeometry((kClientWidth - gridWidth) / 2, 8, gridWidth, buttonsTop - 8 - 8);
    Image1->setGeometry(dbl->x(), buttonsTop, 24, 24);
    CloseBtn->setGeometry(kClientWidth - 8 - 80, buttonsTop, 80, 25);
    DelBtn->setGeometry(kClientWidth - 8 - 2 * 80 - 6, buttonsTop, 80, 25);
    for (QPushButton *button : {DelBtn, CloseBtn})
        button->setAutoDefault(false);
    setFixedSize(kClientWidth, kClientHeight);
    setFocusOnShow(dbl);

    connect(DelBtn, &QPushButton::clicked, this, &TfmHistorie::DelBtnClick);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfmHistorie::LoadJournal()
{
    TBusyCursor busy;
    QList<JournalRecord> calls;
    try {
        calls = FJournal.ReadCalls();
    } catch (const IoError &e) {
        ShowMessageDlg(e.message());
        return false;
    }
    model->setCalls(std::move(calls), FCallers.BatchResolver());
    DelBtn->setEnabled(model->callCount() > 0);
    dbl->setColumnWidthByRows(JournalModel::ColCaller);
    return true;
}

void TfmHistorie::SelectNewest()
{
    const QModelIndex newest = model->index(model->rowCount() - 1, 0);
    dbl->setCurrentIndex(newest);
    dbl->scrollTo(newest);
}

void TfmHistorie::showEvent(QShowEvent *event)
{
    TToolDialog::showEvent(event);
    SelectNewest();
}

void TfmHistorie::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        SelectNewest();
        update();
    }
    TToolDialog::changeEvent(event);
}

void TfmHistorie::DelBtnClick()
{
    if (!AskMessageDlg(QStringLiteral("Anrufjournal löschen ?"), 0))
        return;
    try {
        FJournal.ClearJournal();
    } catch (const IoError &e) {
        ShowMessageDlg(e.message());
        return;
    }
    model->clear();
    dbl->setColumnWidthByRows(JournalModel::ColCaller);
}

void ShowJournal(CallJournal &journal, CallerDirectory &callers, QWidget *parent)
{
    TfmHistorie fmHistorie(journal, callers, parent);
    if (fmHistorie.LoadJournal())
        fmHistorie.exec();
}
