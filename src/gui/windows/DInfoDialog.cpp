#include "windows/DInfoDialog.h"

#include "common/Errors.h"
#include "notify/TrayIcon.h"
#include "settings/SettingsStore.h"
#include "widgets/Icons.h"
#include "widgets/MessageDialog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>

bool DInfoRunning = false;
bool DInfoStarting = false;
QPointer<TfmDInfo> fmDInfo;

namespace {
const QString kStartText = QStringLiteral("Starten Sie die Suche ....");
const QString kSearching = QStringLiteral("Suche Eintrag ...");
const QString kNewSearch = QStringLiteral("Neue Suche ?");
const QString kTooLong = QStringLiteral("Nummer zu lang !");
const QString kNotInstalled = QStringLiteral("D-Info nicht installiert !");
const QString kLoadError = QStringLiteral("Fehler beim Laden von DInfo ...");

// The dialog of a connection that ended while it was in use; whoever used it deletes it after.
const char *const kRetired = "retired";

// The connection's dialog while DInfoStart waits for the program; DInfoStop ends that wait.
QPointer<TfmDInfo> g_starting;

void deleteIfRetired(TfmDInfo *dialog)
{
    if (dialog && dialog->property(kRetired).toBool())
        dialog->deleteLater();
}
} // namespace

TfmDInfo::TfmDInfo(QWidget *parent) : TToolDialog(parent)
{
    setObjectName(QStringLiteral("fmDInfo"));
    setWindowTitle(QStringLiteral("D-Info - Suche"));
    setAttribute(Qt::WA_QuitOnClose, false);
    constexpr int width = 330;

    lbMsg = new QLabel(kStartText, this);
    lbMsg->setObjectName(QStringLiteral("lbMsg"));
    lbMsg->setGeometry(8, 8, width - 16, 18);

    auto *lbSearch = new QLabel(QStringLiteral("Suchen nach :"), this);
    lbSearch->setGeometry(8, 36, 84, 24);
    edNummer = new QLineEdit(this);
    edNummer->setObjectName(QStringLiteral("edNummer"));
    edNummer->setGeometry(94, 36, 194, 24);
    lbSearch->setBuddy(edNummer);
    searchBtn = new QToolButton(this);
    searchBtn->setObjectName(QStringLiteral("searchBtn"));
    searchBtn->setGeometry(294, 35, 28, 26);
    searchBtn->setToolTip(QStringLiteral("Suche starten"));
    searchBtn->setIcon(QIcon(Icons::convertFrames(24).constFirst()));
    searchBtn->setIconSize(QSize(20, 20));

    auto *picture = new QLabel(this);
    picture->setGeometry(8, 76, 20, 20);
    picture->setPixmap(Icons::trayIcon().pixmap(16, 16));
    lbTN = new QLabel(this);
    lbTN->setObjectName(QStringLiteral("lbTN"));
    lbTN->setGeometry(34, 70, width - 42, 34);
    lbTN->setTextFormat(Qt::PlainText);
    lbTN->setWordWrap(true);
    lbTN->setTextInteractionFlags(Qt::TextSelectableByMouse);

    AbortBtn = new QPushButton(QStringLiteral("&Abrechen"), this);
    AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
    AbortBtn->setGeometry(width - 2 * 90 - 12, 116, 90, 26);
    AbortBtn->setAutoDefault(false);
    ChangeBtn = new QPushButton(QStringLiteral("Über&nehmen"), this);
    ChangeBtn->setObjectName(QStringLiteral("ChangeBtn"));
    ChangeBtn->setGeometry(width - 90 - 8, 116, 90, 26);
    ChangeBtn->setAutoDefault(false);
    setFixedSize(width, 150);
    setFocusOnShow(edNummer);

    DInfoTask = new TTrayIcon(this);
    DInfoTask->setObjectName(QStringLiteral("DInfoTask"));
    DInfoTask->setToolTip(QStringLiteral("D-Info 97 - Datenbank"));
    DInfoTask->setIcon(QIcon(Icons::convertFrames(22).constFirst()));

    // Return in the number field searches.
    connect(edNummer, &QLineEdit::returnPressed, this, &TfmDInfo::searchBtnClick);
    connect(searchBtn, &QToolButton::clicked, this, &TfmDInfo::searchBtnClick);
    connect(ChangeBtn, &QPushButton::clicked, this, &TfmDInfo::ChangeBtnClick);
    connect(AbortBtn, &QPushButton::clicked, this, &TfmDInfo::AbortBtnClick);

    ReadSettings();
}

TfmDInfo::~TfmDInfo()
{
    // The program of a dialog must not outlive it (closing the dialog has normally ended it).
    if (DDE1)
        DDE1->Stop();
}

void TfmDInfo::ReadSettings()
{
    QString folder = Settings::Read(Settings::DInfoDir).trimmed();
    if (folder.isEmpty())
        folder = DefaultDInfoFolder();
    DInfoVersion = Settings::Read(Settings::DInfoVersion) == 1 ? 1 : 0;
    delete DDE1;
    DDE1 = new DInfoClient(folder, DInfoVersion, this);
    DInfoDir = DDE1->Folder(); // ending with "/"
    DInfoExe = QString::fromLatin1(DDE1->Version().Exe);
    // A new user's default folder gets the stand-in under the program file names.
    QString error;
    if (!ProvisionDInfoFolder(DInfoDir, &error))
        qWarning("%s", qPrintable(error));
}

bool TfmDInfo::StartDInfo()
{
    if (DDE1->IsOpen())
        return true;
    if (!DDE1->Start()) {
        const bool aborted = DDE1->WasAborted();
        DDE1->Stop(); // a program that came up too late, or never, is ended
        if (aborted)
            return false; // the user or the end of the program broke the start off
        searchBtn->setEnabled(false);
        ChangeBtn->setEnabled(false);
        ShowMessageDlg(kLoadError);
        return false;
    }
    if (DDE1->Version().TrayIcon)
        DInfoTask->setActive(true);
    return true;
}

void TfmDInfo::showEvent(QShowEvent *event)
{
    TToolDialog::showEvent(event);
    raise();
    activateWindow();
    // The program is started once the dialog is on screen, so the user sees what waits.
    if (!ServesConnection && !m_started) {
        m_started = true;
        searchBtn->setEnabled(false); // until the program is there
        QTimer::singleShot(0, this, &TfmDInfo::StartOnShow);
    }
}

void TfmDInfo::StartOnShow()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool started = StartDInfo();
    QApplication::restoreOverrideCursor();
    if (!started) {
        reject();
        return;
    }
    searchBtn->setEnabled(true);
}

void TfmDInfo::Search()
{
    Found = false;
    Aborted = false;
    const QString before = lbMsg->text();
    lbMsg->setText(kSearching);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    LastSearch = DDE1->Search(edNummer->text());
    QApplication::restoreOverrideCursor();
    switch (LastSearch.Outcome) {
    case DInfoOutcome::Aborted:
        Aborted = true;
        return;
    case DInfoOutcome::NoProgram:
    case DInfoOutcome::Refused:
    case DInfoOutcome::Busy:
        // The request could not be carried out.
        lbMsg->setText(before);
        lbTN->setText(QString::fromLatin1(kDdeError));
        return;
    case DInfoOutcome::TooLong:
        lbTN->setText(kTooLong);
        break;
    case DInfoOutcome::Found:
        Found = true;
        lbTN->setText(LastSearch.Name);
        break;
    default:
        // Nobody, no answer in time, or an answer that could not be read.
        lbTN->setText(QString::fromLatin1(kNotFound));
        break;
    }
    lbMsg->setText(kNewSearch);
}

void TfmDInfo::searchBtnClick()
{
    if (!searchBtn->isEnabled())
        return;
    Search();
    ChangeBtn->setFocus();
}

void TfmDInfo::ChangeBtnClick()
{
    accept();
}

void TfmDInfo::AbortBtnClick()
{
    Aborted = true;
    Found = false;
    DDE1->Abort();
    reject();
}

void TfmDInfo::done(int result)
{
    // Closing a dialog of its own ends the program; the standing connection's dialog only hides.
    if (!ServesConnection) {
        DDE1->Stop();
        DInfoTask->setActive(false);
    }
    TToolDialog::done(result);
}

QString DInfoLookup(const QString &Number, const QString &Name)
{
    QString result = Name;
    std::unique_ptr<TfmDInfo> own;
    QPointer<TfmDInfo> dialog;
    if (DInfoRunning && fmDInfo) {
        dialog = fmDInfo;
    } else {
        own = std::make_unique<TfmDInfo>();
        dialog = own.get();
    }
    if (!dialog->DDE1->ProgramExists()) {
        ShowMessageDlg(kNotInstalled);
        return result;
    }
    dialog->edNummer->setText(Number);
    dialog->lbTN->setText(Name);
    dialog->lbMsg->setText(kStartText);
    dialog->Found = false;
    dialog->exec();
    if (dialog && dialog->Found)
        result = dialog->lbTN->text();
    if (!own)
        deleteIfRetired(dialog);
    return result;
}

DInfoSearch DInfoAutoLookup(const QString &Number, QString &Name)
{
    DInfoSearch search;
    if (!DInfoRunning || !fmDInfo) {
        search.Outcome = DInfoOutcome::NoProgram;
        return search;
    }
    // The search goes to the connection's program directly: an open search dialog keeps what
    // the user typed and saw.
    const QPointer<TfmDInfo> dialog = fmDInfo;
    Name = Number;
    search = dialog->DDE1->Search(Number);
    if (search.found())
        Name = search.Name;
    deleteIfRetired(dialog);
    return search;
}

void DInfoStart()
{
    if (DInfoRunning)
        return;
    auto dialog = std::make_unique<TfmDInfo>();
    dialog->ServesConnection = true;
    if (!dialog->DDE1->ProgramExists()) {
        try {
            Settings::Write(Settings::RunDInfo, false);
        } catch (const IoError &e) {
            ShowMessageDlg(e.message());
        }
        ShowMessageDlg(kNotInstalled + QStringLiteral("\rFunktion wurde deaktiviert ."));
        return;
    }
    DInfoStarting = true;
    g_starting = dialog.get();
    const bool started = dialog->StartDInfo();
    const bool stopped = !g_starting; // DInfoStop came meanwhile
    g_starting = nullptr;
    DInfoStarting = false;
    if (!started || stopped)
        return;
    fmDInfo = dialog.release();
    DInfoRunning = true;
}

void DInfoStop()
{
    if (g_starting) {
        // Stopped while it starts: the start ends, and no connection is set up.
        g_starting->DDE1->Abort();
        g_starting = nullptr;
    }
    if (!DInfoRunning)
        return;
    DInfoRunning = false;
    TfmDInfo *dialog = fmDInfo;
    fmDInfo = nullptr;
    if (!dialog)
        return;
    // Ends a waiting search too; failures to close the program are of no concern here.
    dialog->DDE1->Stop();
    dialog->DInfoTask->setActive(false);
    if (dialog->DDE1->Searching() || dialog->isVisible()) {
        // In use further up: the user of the dialog deletes it when done with it.
        dialog->setProperty(kRetired, true);
        if (dialog->isVisible())
            dialog->reject();
        return;
    }
    delete dialog;
}
