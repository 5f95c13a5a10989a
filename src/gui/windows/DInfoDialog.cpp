#include "windows/DInfoDialog.h"

#include "monitor/DInfoService.h"
#include "notify/TrayIcon.h"
#include "widgets/Icons.h"
#include "widgets/MessageDialog.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>

namespace {
const char *const kStartText = QT_TRANSLATE_NOOP("TfmDInfo", "Starten Sie die Suche ....");
const char *const kSearching = QT_TRANSLATE_NOOP("TfmDInfo", "Suche Eintrag ...");
const char *const kNewSearch = QT_TRANSLATE_NOOP("TfmDInfo", "Neue Suche ?");
const char *const kTooLong = QT_TRANSLATE_NOOP("TfmDInfo", "Nummer zu lang !");
} // namespace

TTrayIcon *MakeDInfoTrayIcon(QObject *parent)
{
    auto *icon = new TTrayIcon(parent);
    icon->setObjectName(QStringLiteral("DInfoTask"));
    icon->setToolTip(QCoreApplication::translate("TTrayIcon", "D-Info 97 - Datenbank"));
    icon->setIcon(QIcon(Icons::convertFrames(22).constFirst()));
    return icon;
}

TfmDInfo::TfmDInfo(DInfoService *service, QWidget *parent) : TToolDialog(parent), m_service(service)
{
    setObjectName(QStringLiteral("fmDInfo"));
    setWindowTitle(tr("D-Info - Suche"));
    setAttribute(Qt::WA_QuitOnClose, false);
    constexpr int width = 330;

    lbMsg = new QLabel(tr(kStartText), this);
    lbMsg->setObjectName(QStringLiteral("lbMsg"));
    lbMsg->setGeometry(8, 8, width - 16, 18);

    auto *lbSearch = new QLabel(tr("Suchen nach :"), this);
    lbSearch->setGeometry(8, 36, 84, 24);
    edNummer = new QLineEdit(this);
    edNummer->setObjectName(QStringLiteral("edNummer"));
    edNummer->setGeometry(94, 36, 194, 24);
    lbSearch->setBuddy(edNummer);
    searchBtn = new QToolButton(this);
    searchBtn->setObjectName(QStringLiteral("searchBtn"));
    searchBtn->setGeometry(294, 35, 28, 26);
    searchBtn->setToolTip(tr("Suche starten"));
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

    AbortBtn = new QPushButton(tr("&Abrechen"), this);
    AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
    AbortBtn->setGeometry(width - 2 * 90 - 12, 116, 90, 26);
    AbortBtn->setAutoDefault(false);
    ChangeBtn = new QPushButton(tr("Über&nehmen"), this);
    ChangeBtn->setObjectName(QStringLiteral("ChangeBtn"));
    ChangeBtn->setGeometry(width - 90 - 8, 116, 90, 26);
    ChangeBtn->setAutoDefault(false);
    setFixedSize(width, 150);
    setFocusOnShow(edNummer);

    // Return in the number field searches.
    connect(edNummer, &QLineEdit::returnPressed, this, &TfmDInfo::searchBtnClick);
    connect(searchBtn, &QToolButton::clicked, this, &TfmDInfo::searchBtnClick);
    connect(ChangeBtn, &QPushButton::clicked, this, &TfmDInfo::accept);
    connect(AbortBtn, &QPushButton::clicked, this, &TfmDInfo::AbortBtnClick);

    if (service && service->Running()) {
        m_shared = service->Client();
        // The connection ends (the options page, the end of the program): so does the search.
        connect(service, &DInfoService::runningChanged, this, [this](bool running) {
            if (!running && isVisible())
                reject();
        });
    } else {
        m_own = DInfoService::MakeClient(this);
        DInfoTask = MakeDInfoTrayIcon(this);
    }
}

TfmDInfo::~TfmDInfo()
{
    // The program of a window must not outlive it (closing the window has normally ended it).
    if (m_own)
        m_own->Stop();
    if (m_service)
        m_service->DropEnded();
}

DInfoClient *TfmDInfo::Client() const
{
    return m_own ? m_own : m_shared.data();
}

bool TfmDInfo::ProgramExists() const
{
    return m_own ? m_own->ProgramExists() : m_shared != nullptr;
}

bool TfmDInfo::StartDInfo()
{
    if (!m_own || m_own->IsOpen())
        return true;
    QString failure;
    if (!DInfoService::StartProgram(*m_own, &failure)) {
        if (failure.isEmpty())
            return false; // the user or the end of the program broke the start off
        searchBtn->setEnabled(false);
        ChangeBtn->setEnabled(false);
        ShowMessageDlg(failure);
        return false;
    }
    if (m_own->Version().TrayIcon)
        DInfoTask->setActive(true);
    return true;
}

void TfmDInfo::showEvent(QShowEvent *event)
{
    TToolDialog::showEvent(event);
    raise();
    activateWindow();
    // A program of its own is started once the window is on screen, so the user sees what waits.
    if (m_own && !m_started) {
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
    m_found = false;
    const QString before = lbMsg->text();
    lbMsg->setText(tr(kSearching));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QPointer<DInfoClient> client = Client();
    const DInfoSearch search =
        client ? client->Search(edNummer->text()) : DInfoSearch{DInfoOutcome::NoProgram};
    QApplication::restoreOverrideCursor();
    switch (search.Outcome) {
    case DInfoOutcome::Aborted:
        return;
    case DInfoOutcome::NoProgram:
    case DInfoOutcome::Refused:
    case DInfoOutcome::Busy:
        // The request could not be carried out.
        lbMsg->setText(before);
        lbTN->setText(tr(kDdeError));
        return;
    case DInfoOutcome::TooLong:
        lbTN->setText(tr(kTooLong));
        break;
    case DInfoOutcome::Found:
        m_found = true;
        lbTN->setText(search.Name);
        break;
    default:
        // Nobody, no answer in time, or an answer that could not be read.
        lbTN->setText(tr(kNotFound));
        break;
    }
    lbMsg->setText(tr(kNewSearch));
}

void TfmDInfo::searchBtnClick()
{
    if (!searchBtn->isEnabled())
        return;
    Search();
    ChangeBtn->setFocus();
}

void TfmDInfo::AbortBtnClick()
{
    m_found = false;
    if (DInfoClient *client = Client())
        client->Abort();
    reject();
}

void TfmDInfo::done(int result)
{
    // Closing a window with a program of its own ends the program; the standing connection runs on.
    if (m_own) {
        m_own->Stop();
        DInfoTask->setActive(false);
    }
    TToolDialog::done(result);
}

QString TfmDInfo::LookUp(const QString &number, const QString &name)
{
    edNummer->setText(number);
    lbTN->setText(name);
    lbMsg->setText(tr(kStartText));
    m_found = false;
    QPointer<TfmDInfo> self(this);
    exec();
    if (self && m_found)
        return lbTN->text();
    return name;
}

QString DInfoLookup(DInfoService *service, const QString &number, const QString &name)
{
    TfmDInfo dialog(service);
    if (!dialog.ProgramExists()) {
        ShowMessageDlg(DInfoService::NotInstalledText());
        return name;
    }
    return dialog.LookUp(number, name);
}
