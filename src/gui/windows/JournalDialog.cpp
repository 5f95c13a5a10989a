#include "windows/JournalDialog.h"

#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "calls/JournalExport.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "widgets/GridView.h"
#include "widgets/Icons.h"
#include "widgets/MessageDialog.h"
#include "widgets/StandardDialogs.h"
#include "windows/CallerRecordDialog.h"
#include "windows/JournalModel.h"
#include "windows/StatisticsDialog.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

TfmHistorie::TfmHistorie(CallJournal &journal, CallerDirectory &callers, DInfoService *dinfo, QWidget *parent)
    : TToolDialog(parent), FJournal(journal), FCallers(callers), FDInfo(dinfo)
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
    model->setObjectName(QStringLiteral("model"));
    dbl->setModel(model);
    dbl->setEditTriggers(QAbstractItemView::NoEditTriggers);
    dbl->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Date and time as wide as they are written in the user's format.
    const QDateTime sample(QDate(2000, 12, 28), QTime(20, 58));
    dbl->setColumns({std::begin(kColumnWidths), std::end(kColumnWidths)},
                    {QLocale().toString(sample.date(), QLocale::ShortFormat),
                     sample.time().toString(QStringLiteral("hh:mm"))});

    EdFilter = new QLineEdit(this);
    EdFilter->setObjectName(QStringLiteral("EdFilter"));
    EdFilter->setPlaceholderText(QStringLiteral("Suchen ..."));
    EdFilter->setClearButtonEnabled(true);
    EdFilter->setToolTip(QStringLiteral("Rufnummer, Name, MSN oder Datum (Strg+F)"));
    auto *find = new QAction(this);
    find->setShortcut(QKeySequence::Find);
    addAction(find);
    connect(find, &QAction::triggered, EdFilter, [this] { EdFilter->setFocus(); });
    StatBtn = new QToolButton(this);
    StatBtn->setObjectName(QStringLiteral("StatBtn"));
    StatBtn->setIcon(Icons::statisticsIcon());
    StatBtn->setToolTip(tr("Statistik"));
    ExportBtn = new QPushButton(QStringLiteral("&Exportieren ..."), this);
    ExportBtn->setObjectName(QStringLiteral("ExportBtn"));
    DelBtn = new QPushButton(QStringLiteral("&Löschen"), this);
    DelBtn->setObjectName(QStringLiteral("DelBtn"));
    CloseBtn = new QPushButton(QStringLiteral("&Schließen"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));

    // The grid as wide as its columns and as high as the window allows; under it the icon, the
    // filter field in the room the buttons leave, and the buttons.
    const int buttonsTop = kClientHeight - 8 - 25;
    const int gridWidth = std::min(dbl->widthForColumns(), kClientWidth - 16);
    dbl->setGeometry((kClientWidth - gridWidth) / 2, 8, gridWidth, buttonsTop - 8 - 8);
    Image1->setGeometry(dbl->x(), buttonsTop, 24, 24);
    CloseBtn->setGeometry(kClientWidth - 8 - 80, buttonsTop, 80, 25);
    DelBtn->setGeometry(kClientWidth - 8 - 2 * 80 - 6, buttonsTop, 80, 25);
    const int exportWidth = std::max(80, ExportBtn->sizeHint().width());
    ExportBtn->setGeometry(DelBtn->x() - 6 - exportWidth, buttonsTop, exportWidth, 25);
    StatBtn->setGeometry(ExportBtn->x() - 6 - 25, buttonsTop, 25, 25);
    const int filterLeft = Image1->x() + 24 + 6;
    EdFilter->setGeometry(filterLeft, buttonsTop, StatBtn->x() - 4 - filterLeft, 25);
    for (QPushButton *button : {ExportBtn, DelBtn, CloseBtn})
        button->setAutoDefault(false);
    setFixedSize(kClientWidth, kClientHeight);
    setFocusOnShow(dbl);

    connect(DelBtn, &QPushButton::clicked, this, &TfmHistorie::DelBtnClick);
    connect(ExportBtn, &QPushButton::clicked, this, &TfmHistorie::ExportBtnClick);
    connect(StatBtn, &QToolButton::clicked, this, &TfmHistorie::StatBtnClick);
    connect(EdFilter, &QLineEdit::textChanged, this, &TfmHistorie::EdFilterChange);
    dbl->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(dbl, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        const QModelIndex index = dbl->indexAt(pos);
        if (QMenu *menu = RowMenu(index.row())) {
            dbl->setCurrentIndex(index);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(dbl->viewport()->mapToGlobal(pos));
        }
    });
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
    if (FStatistics)
        FStatistics->Reload();
}

void TfmHistorie::EdFilterChange()
{
    model->setFilter(EdFilter->text());
    dbl->setColumnWidthByRows(JournalModel::ColCaller);
    SelectNewest();
}

void TfmHistorie::ExportBtnClick()
{
    const QString path =
        ChooseSaveFile(this, QStringLiteral("Anrufjournal exportieren"), QStringLiteral("CSV-Dateien|*.csv"),
                       Paths::homeDir() + QStringLiteral("/Anrufjournal.csv"), QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    try {
        TBusyCursor busy;
        WriteFileAtomic(path, JournalCsv(model->shownCalls(), model->callers()), LinkMode::ReplaceLink);
    } catch (const IoError &e) {
        ShowMessageDlg(e.message());
    }
}

void TfmHistorie::StatBtnClick()
{
    if (!FStatistics) {
        FStatistics = new StatisticsDialog(FJournal, FCallers, this);
        FStatistics->setAttribute(Qt::WA_DeleteOnClose);
        FStatistics->SetCalls(*model);
        connect(EdFilter, &QLineEdit::textChanged, FStatistics, &StatisticsDialog::SetFilter);
    }
    FStatistics->show();
    FStatistics->raise();
    FStatistics->activateWindow();
}

QMenu *TfmHistorie::RowMenu(int row)
{
    const JournalRecord *call = model->callAt(row);
    if (!call)
        return nullptr;
    const bool isCaller = IsCallerKey(call->CallerKey);
    auto *menu = new QMenu(this);
    QAction *edit =
        menu->addAction(QStringLiteral("Anrufer bearbeiten"), this, [this, row] { EditRowCaller(row); });
    edit->setEnabled(isCaller);
    QAction *block =
        menu->addAction(QStringLiteral("Anrufer sperren"), this, [this, row] { BlockRowCaller(row); });
    block->setEnabled(isCaller && !model->callers().Resolve(call->CallerKey).Blocked);
    return menu;
}

void TfmHistorie::EditRowCaller(int row)
{
    if (const JournalRecord *call = model->callAt(row)) {
        EditCaller(FCallers, call->CallerKey, FDInfo, this);
        ReloadCallers();
    }
}

void TfmHistorie::BlockRowCaller(int row)
{
    const JournalRecord *call = model->callAt(row);
    if (!call)
        return;
    // A call a group key matched is journalled under that key: the caller's own number is not
    // known here, and blocking the key blocks every caller of the group.
    const QString key = call->CallerKey;
    if (key.contains(QLatin1Char('*')) &&
        !AskMessageDlg(QStringLiteral("Zu diesem Anruf ist nur die Gruppe %1 bekannt, nicht die Rufnummer "
                                      "des Anrufers.\r\rAlle Anrufer der Gruppe %1 sperren ?")
                           .arg(key),
                       0))
        return;
    BlockCaller(FCallers, key);
    ReloadCallers();
}

void TfmHistorie::ReloadCallers()
{
    const int row = dbl->currentIndex().row();
    model->setCallers(FCallers.BatchResolver());
    dbl->setColumnWidthByRows(JournalModel::ColCaller);
    dbl->setCurrentIndex(model->index(std::min(row, model->rowCount() - 1), 0));
    if (FStatistics)
        FStatistics->Reload();
}

void ShowJournal(CallJournal &journal, CallerDirectory &callers, DInfoService *dinfo, QWidget *parent)
{
    TfmHistorie fmHistorie(journal, callers, dinfo, parent);
    if (fmHistorie.LoadJournal())
        fmHistorie.exec();
}
