#include "windows/CallerListDialog.h"

#include "capi/Capi20.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "contacts/ContactImport.h"
#include "contacts/StandInSettings.h"
#include "settings/SettingsStore.h"
#include "widgets/GridView.h"
#include "widgets/Icons.h"
#include "widgets/MessageDialog.h"
#include "widgets/StandardDialogs.h"
#include "windows/CallerListModel.h"
#include "windows/DInfoDialog.h"

#include <QEvent>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QtConcurrent/QtConcurrentRun>

namespace {
// Telephony (CIP 16).
constexpr uint8_t kTelephonyService = 3;
constexpr int kMaxDialNumber = 255;

// Cells hand every keystroke to the model, as a grid whose editor writes into its cell: what is
// typed counts when the window closes, whichever way it closes.
class TypedCellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *edit = qobject_cast<QLineEdit *>(editor)) {
            connect(edit, &QLineEdit::textEdited, this,
                    [this, edit] { emit const_cast<TypedCellDelegate *>(this)->commitData(edit); });
        }
        return editor;
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        // The cell took the editor's own text: leave the cursor where it is.
        auto *edit = qobject_cast<QLineEdit *>(editor);
        if (edit && edit->text() == index.data(Qt::EditRole).toString())
            return;
        QStyledItemDelegate::setEditorData(editor, index);
    }
};
} // namespace

TfmAnruf::TfmAnruf(CallerDirectory &callers, TCapi20 *capi, DInfoService *dinfo, QWidget *parent)
    : TToolDialog(parent), FCallers(callers), FCapi(capi), FDInfo(dinfo)
{
    setObjectName(QStringLiteral("fmAnruf"));
    setWindowTitle(tr("Anrufer"));
    setEscapeFirst(true);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(Icons::trayIcon().pixmap(32, 32));
    Image1->setGeometry(8, 8, 32, 32);

    Label1 = new QLabel(tr("Sortieren nach : "), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    rbSortNummer = new QRadioButton(tr("Nummer"), this);
    rbSortNummer->setObjectName(QStringLiteral("rbSortNummer"));
    rbSortName = new QRadioButton(tr("Name"), this);
    rbSortName->setObjectName(QStringLiteral("rbSortName"));
    rbSortName->setChecked(true);

    dbl = new TGridView(this);
    dbl->setObjectName(QStringLiteral("dbl"));
    model = new CallerListModel(this);
    model->setObjectName(QStringLiteral("model"));
    dbl->setModel(model);
    dbl->setItemDelegate(new TypedCellDelegate(dbl));
    // The editor is always shown: the current cell is open for typing.
    dbl->setEditTriggers(QAbstractItemView::AllEditTriggers);
    dbl->setSelectionBehavior(QAbstractItemView::SelectItems);
    dbl->setColumns({kNumberWidth, kNameWidth, kBlockedWidth});
    dbl->setColumnWidthByRows(CallerListModel::ColName);

    HinweisBtn = new QPushButton(tr("&Hinweis"), this);
    HinweisBtn->setObjectName(QStringLiteral("HinweisBtn"));
    DInfoBtn = new QPushButton(tr("&D-Info"), this);
    DInfoBtn->setObjectName(QStringLiteral("DInfoBtn"));
    NeuBtn = new QPushButton(tr("&Zufügen"), this);
    NeuBtn->setObjectName(QStringLiteral("NeuBtn"));
    DelBtn = new QPushButton(tr("&Löschen"), this);
    DelBtn->setObjectName(QStringLiteral("DelBtn"));
    DialBtn = new QPushButton(tr("&Anwahl"), this);
    DialBtn->setObjectName(QStringLiteral("DialBtn"));
    CloseBtn = new QPushButton(tr("Schli&eßen"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    ImportBtn = new QPushButton(tr("&Importieren ..."), this);
    ImportBtn->setObjectName(QStringLiteral("ImportBtn"));
    ImportBtn->setToolTip(tr("Namen aus einem Adressbuch (vCard oder CSV) übernehmen"));

    // Layout: the icon at the top left, the sort choice beside it, the grid under the choice,
    // as wide as its columns, and the buttons in one row at the bottom.
    const int gridWidth = std::min(dbl->widthForColumns(), kClientWidth - 16);
    const int gridLeft = kClientWidth - 8 - gridWidth;
    const int choiceLeft = std::max(gridLeft, 48);
    Label1->setGeometry(choiceLeft, 12, 100, 20);
    rbSortNummer->setGeometry(choiceLeft + 104, 12, 80, 20);
    rbSortName->setGeometry(choiceLeft + 188, 12, 80, 20);
    dbl->setGeometry(gridLeft, 40, gridWidth, kClientHeight - 40 - 8 - 25 - 8);
    // The import beside the sort choice, at the grid's right edge.
    const int importWidth = ImportBtn->sizeHint().width();
    ImportBtn->setGeometry(gridLeft + gridWidth - importWidth, 9, importWidth, 25);
    ImportBtn->setAutoDefault(false);
    constexpr int buttonWidth = 63, gap = 3;
    int left = (kClientWidth - 6 * buttonWidth - 5 * gap) / 2;
    for (QPushButton *button : {HinweisBtn, DInfoBtn, NeuBtn, DelBtn, DialBtn, CloseBtn}) {
        button->setGeometry(left, kClientHeight - 8 - 25, buttonWidth, 25);
        button->setAutoDefault(false);
        left += buttonWidth + gap;
    }
    setFixedSize(kClientWidth, kClientHeight);

    connect(HinweisBtn, &QPushButton::clicked, this, &TfmAnruf::HinweisBtnClick);
    connect(DInfoBtn, &QPushButton::clicked, this, &TfmAnruf::DInfoBtnClick);
    connect(NeuBtn, &QPushButton::clicked, this, &TfmAnruf::NeuBtnClick);
    connect(DelBtn, &QPushButton::clicked, this, &TfmAnruf::DelBtnClick);
    connect(DialBtn, &QPushButton::clicked, this, &TfmAnruf::DialBtnClick);
    connect(CloseBtn, &QPushButton::clicked, this, &TfmAnruf::reject);
    connect(ImportBtn, &QPushButton::clicked, this, &TfmAnruf::ImportBtnClick);
    connect(rbSortNummer, &QRadioButton::toggled, this, &TfmAnruf::SortChanged);
    connect(dbl->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { dbl->setColumnWidthByRows(CallerListModel::ColName); });
}

void TfmAnruf::FormShow()
{
    rbSortNummer->setChecked(Settings::Read(Settings::CallSortOrder));
    LoadList();
    // From now on a click on the sort choice loads the list in the new order.
    FReady = true;
}

void TfmAnruf::showEvent(QShowEvent *event)
{
    TToolDialog::showEvent(event);
    dbl->focusCurrentCell();
}

void TfmAnruf::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        dbl->focusCurrentCell();
    TToolDialog::changeEvent(event);
}

CallerSortOrder TfmAnruf::Order() const
{
    return rbSortNummer->isChecked() ? CallerSortOrder::ByNumber : CallerSortOrder::ByName;
}

void TfmAnruf::LoadList()
{
    {
        TBusyCursor busy;
        FLoaded = FCallers.ReadCallerList(Order());
        model->setCallers(FLoaded);
    }
    dbl->setColumnWidthByRows(CallerListModel::ColName);
    dbl->setCurrentIndex(model->index(0, CallerListModel::ColNumber));
}

bool TfmAnruf::SaveList()
{
    try {
        TBusyCursor busy;
        FCallers.WriteCallerList(model->callers(), FLoaded);
        return true;
    } catch (const InvalidInput &e) {
        ShowMessageDlg(e.message());
    } catch (const IoError &e) {
        ShowMessageDlg(e.message());
    }
    return false;
}

int TfmAnruf::CurrentRow() const
{
    const QModelIndex current = dbl->currentIndex();
    return current.isValid() ? current.row() : 0;
}

void TfmAnruf::SortChanged(bool)
{
    if (!FReady)
        return;
    // The list comes from the file again, in the new order: edits not saved are dropped.
    LoadList();
    dbl->focusCurrentCell();
}

void TfmAnruf::HinweisBtnClick()
{
    ShowMessageDlg(tr("Um einen Anrufer zu sperren,\rfügen Sie ein \"X\" in die\r"
                      "Spalte \"Gesperrt\" ein !"));
}

void TfmAnruf::NeuBtnClick()
{
    if (!AskMessageDlg(tr("Eintrag zufügen ?"), 0))
        return;
    const int row = model->appendEmptyRow();
    dbl->setColumnWidthByRows(CallerListModel::ColName);
    dbl->setCurrentIndex(model->index(row, CallerListModel::ColNumber));
    dbl->scrollTo(dbl->currentIndex());
    dbl->focusCurrentCell();
}

void TfmAnruf::DelBtnClick()
{
    if (!AskMessageDlg(tr("Eintrag löschen ?"), 0))
        return;
    // A row without number is dropped when the list is saved; the other edits are saved with it.
    model->setData(model->index(CurrentRow(), CallerListModel::ColNumber), QString());
    if (SaveList())
        LoadList();
    dbl->focusCurrentCell();
}

void TfmAnruf::DInfoBtnClick()
{
    const int row = CurrentRow();
    const QModelIndex name = model->index(row, CallerListModel::ColName);
    const QString found = DInfoLookup(FDInfo, model->index(row, CallerListModel::ColNumber).data().toString(),
                                      name.data().toString());
    model->setData(name, found);
    dbl->focusCurrentCell();
    update();
}

void TfmAnruf::DialBtnClick()
{
    if (DialTag == 0) {
        DialBtn->setText(tr("&Auflegen"));
        DialTag = 1;
        const QString number =
            model->index(CurrentRow(), CallerListModel::ColNumber).data().toString().left(kMaxDialNumber);
        // The result is not looked at: the button offers to hang up until it is pressed again.
        if (FCapi)
            FCapi->Dial(number, QString(), kTelephonyService);
        Image1->hide();
    } else {
        if (FCapi)
            FCapi->Disconnect(1);
        DialBtn->setText(tr("&Anwahl"));
        DialTag = 0;
        Image1->show();
    }
}

void TfmAnruf::ImportBtnClick()
{
    const QString path =
        ChooseOpenFile(this, tr("Adressbuch importieren"),
                       tr("Adressbücher|*.vcf;*.vcard;*.csv|Alle Dateien|*"), Paths::homeDir());
    if (path.isEmpty())
        return;
    // Keys as the ring handler looks callers up; numbers without area code in the user's area
    // (the number plan the directory program's settings give).
    const NumberPlan plan = StandInSettings::Read().Plan();
    const bool createNull = Settings::Read(Settings::CreateNull);
    // Read and planned on a worker thread: a large address book takes seconds, and rings are
    // answered on this thread meanwhile. The window takes no input until the plan is there, so
    // the rows it was planned on stay as they are; closing the window drops the plan.
    setEnabled(false);
    setCursor(Qt::BusyCursor);
    auto *reading = new QFutureWatcher<ContactImportPlans>(this);
    connect(reading, &QFutureWatcherBase::finished, this, [this, reading] {
        reading->deleteLater();
        unsetCursor();
        setEnabled(true);
        ImportPlanned(reading->result());
    });
    reading->setFuture(QtConcurrent::run(ReadContactImport, path, model->callers(), plan, createNull));
}

void TfmAnruf::ImportPlanned(const ContactImportPlans &plans)
{
    if (!plans.Error.isEmpty()) {
        ShowMessageDlg(plans.Error);
        return;
    }
    ContactImport import = plans.KeepNamed;
    if (import.NamedDiffering > 0 &&
        AskMessageDlg((import.NamedDiffering == 1
                           ? tr("Ein Eintrag trägt schon einen eigenen Namen,\r"
                                "den das Adressbuch anders nennt.\r\rAuch diesen Namen ersetzen ?")
                           : tr("%1 Einträge tragen schon eigene Namen,\r"
                                "die das Adressbuch anders nennt.\r\rAuch diese Namen ersetzen ?")
                                 .arg(import.NamedDiffering)),
                      0))
        import = plans.ReplaceNamed;
    if (!import.HasChanges()) {
        ShowMessageDlg(import.Summary() + tr("\r\rNichts zu übernehmen."));
        return;
    }
    if (!AskMessageDlg(import.Summary() + tr("\r\rÜbernehmen und die Liste speichern ?"), 0))
        return;
    model->setCallers(import.Rows);
    if (SaveList())
        LoadList();
    dbl->focusCurrentCell();
}

void TfmAnruf::reject()
{
    // A call dialled from here is not left running without a button to end it.
    if (DialTag == 1)
        DialBtnClick();
    try {
        Settings::Write(Settings::CallSortOrder, rbSortNummer->isChecked());
    } catch (const IoError &e) {
        ShowMessageDlg(e.message());
    }
    if (AskMessageDlg(tr("Änderungen speichern ?"), 0) && !SaveList())
        return; // the edits stay for the user to mend
    TToolDialog::reject();
}

void ShowCallerList(CallerDirectory &callers, TCapi20 *capi, DInfoService *dinfo, QWidget *parent)
{
    TfmAnruf fmAnruf(callers, capi, dinfo, parent);
    fmAnruf.exec();
}
