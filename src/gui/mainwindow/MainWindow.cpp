#include "mainwindow/MainWindow.h"

#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "calls/ServiceSet.h"
#include "capi/Capi20.h"
#include "capi/CapiCodec.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "notify/TrayIcon.h"
#include "notify/TrayWatcher.h"
#include "settings/SettingsStore.h"
#include "ui_MainWindow.h"
#include "widgets/ButtonEdit.h"
#include "widgets/Icons.h"
#include "widgets/MessageDialog.h"
#include "widgets/StandardDialogs.h"
#include "windows/AboutDialog.h"
#include "windows/CallerListDialog.h"
#include "windows/CallerRecordDialog.h"
#include "windows/CapiInfoDialog.h"
#include "windows/DInfoDialog.h"
#include "windows/JournalDialog.h"
#include "windows/MsnSoundDialog.h"
#include "windows/NotificationSettings.h"
#include "windows/ReleaseNotesDialog.h"
#include "windows/ServiceDialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>
#include <QScreen>
#include <QSessionManager>
#include <QStyle>

namespace {
const QString kTitle = QStringLiteral("Rufwart 32  v2.2");
const QString kListenOn = QStringLiteral("Autom. Anruferkennung aktiviert ...");
const QString kListenOff = QStringLiteral("Autom. Anruferkennung deaktiviert ...");
const QString kListenStarting = QStringLiteral("Autom. Anruferkennung wird aktiviert ...");
const QString kAutostartName = QStringLiteral("Rufwart");
// Added to the status line while the desktop has no notification area.
const QString kNoTrayNote = QStringLiteral(" (kein Infobereich)");
// How long a remote CAPI server may take to take a connection before registering gives up.
constexpr int kRemoteAnswerMs = 5000;
// The D-Info 97 program files that need the service pack are those dated before this day.
const QDate kDInfo97Fixed(1997, 7, 21);

QString withTrailingSlash(QString dir)
{
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

bool isWholeNumber(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    return digits.match(text).hasMatch();
}
} // namespace

int TfmMain::HeightOfPage(int index)
{
    switch (index) {
    case PageOptions:
        return 306;
    case PageProgress:
    case PageDial:
    case PageUpload:
        return 227;
    default:
        return 144;
    }
}

// Empty transfer folders fall back to folders of their own inside the data folder: never the
// data folder itself, whose caller directory and journal a server would otherwise offer to
// every caller.
QString TfmMain::DefaultSendDir()
{
    const QString dir = Paths::dataDir() + QStringLiteral("senden/");
    QDir().mkpath(dir);
    return dir;
}

QString TfmMain::DefaultReceiveDir()
{
    const QString dir = Paths::dataDir() + QStringLiteral("empfang/");
    QDir().mkpath(dir);
    return dir;
}

TfmMain::TfmMain(QWidget *parent) : QWidget(parent, Qt::Tool), ui(std::make_unique<Ui::TfmMain>())
{
    ui->setupUi(this);
    FormCreate();
}

TfmMain::~TfmMain()
{
    FormClose();
    FinishRegistration();
}

void TfmMain::FormCreate()
{
    FMainTitle = kTitle;
    setWindowTitle(FMainTitle);
    setWindowIcon(Icons::trayIcon());

    // Start-page buttons.
    const QSize iconSize(24, 24);
    struct ButtonIcon
    {
        QToolButton *button;
        QStyle::StandardPixmap pixmap;
    };
    const ButtonIcon buttons[] = {
        {ui->Image1, QStyle::SP_MessageBoxInformation}, {ui->EditBtn, QStyle::SP_FileDialogContentsView},
        {ui->ServiceBtn, QStyle::SP_DriveNetIcon},      {ui->OptBtn, QStyle::SP_FileDialogDetailedView},
        {ui->HistBtn, QStyle::SP_FileDialogListView},   {ui->Image3, QStyle::SP_DialogCancelButton},
        {ui->MsnBtn, QStyle::SP_MediaVolume},
    };
    for (const ButtonIcon &b : buttons) {
        b.button->setIcon(style()->standardIcon(b.pixmap));
        b.button->setIconSize(iconSize);
    }
    ui->Image1->setIcon(Icons::trayIcon());
    ui->Ani->setFrames(Icons::ringFrames(24));
    ui->Ani->setVisible(false);
    ui->ISDNBar->setText(QString());
    // Every call list entry is one line: the list need not measure each one again whenever a call
    // is added, which made adding slower the longer the list grew.
    ui->CallList->setUniformItemSizes(true);

    // Options page: a digits-only time field, directory edits with a chooser button (also F2).
    ui->IsdnTimeMinimize->setDigitsOnly(true);
    const QString home = withTrailingSlash(QDir::homePath());
    for (TButtonEdit *edit : {ui->OptEmpfangDir, ui->OptSendDir, ui->OptDInfoDir}) {
        edit->setText(home);
        edit->setButtonVisible(true);
        connect(edit, &TButtonEdit::buttonClicked, this, [this, edit] { ChooseDirectoryFor(edit); });
    }

    Timer.setInterval(3000);
    connect(&Timer, &QTimer::timeout, this, &TfmMain::TimerTimer);
    FShowTimer.setSingleShot(true);
    connect(&FShowTimer, &QTimer::timeout, this, &TfmMain::ShowRings);

    BuildPopupMenu();
    ConnectControls();
    ConnectTrayIcons();
    ConnectNotifications();

    // The component binds the CAPI library and registers right away, beside the window (see
    // BeginRegistration); its handlers are all set before, since its threads read them.
    Capi2 = std::make_unique<TCapi20>();
    Capi2->SetRemoteCapi(CapiRemote());
    Capi2->SetRemoteAnswerMs(kRemoteAnswerMs);
    // The library from the system's library folders, or from a path the user set.
    if (const QString library = Settings::Read(Settings::CapiLibrary); !library.isEmpty())
        Capi2->SetLibraryName(library);
    Capi2->OnError = [this](TCustomCapi20 *sender, uint32_t command, uint32_t subCommand, uint32_t) {
        if (command == Capi::CMD_LISTEN && subCommand == Capi::SUB_CONF) {
            // The network refused a listen request; its answer comes on the message thread.
            ++FListenRefusals;
            QMetaObject::invokeMethod(
                this, [this] { ListenRefused(); }, Qt::QueuedConnection);
        } else if (!sender->IsMessageThread()) {
            ++FCapiErrors;
        }
    };
    Capi2->OnRing = [this](TCapi20 *sender, const TCallDaten &daten) { return Capi2Ring(sender, daten); };
    ConnectTransfer();
    BeginRegistration();

    if (auto *guiApp = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(guiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
            CommitData(
                {[&manager] { return manager.allowsInteraction(); }, [&manager] { manager.release(); }});
        });
        // A termination signal, or the session's end while the window is hidden.
        connect(guiApp, &QCoreApplication::aboutToQuit, this, [this] { FormClose(false); });
        guiApp->installEventFilter(this);
    }

    ui->nb->setCurrentIndex(PageStart);
    ui->nb_Call->setCurrentIndex(CallPageList);
    nbPageChanged(PageStart);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TfmMain::BuildPopupMenu()
{
    PM = new QMenu(this);
    PM->setObjectName(QStringLiteral("PM"));
    auto item = [this](QMenu *menu, const char *name, const QString &caption, const QKeySequence &key = {}) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty()) {
            action->setShortcut(key);
            // Shortcuts also work while the window has the focus and the menu is closed.
            addAction(action);
        }
        return action;
    };
    mnuEdit = item(PM, "mnuEdit", QStringLiteral("Anruferübersicht"));
    mnuService = item(PM, "mnuService", QStringLiteral("Service-Konfiguration"));
    mnuOpt = item(PM, "mnuOpt", QStringLiteral("Optionen"));
    mnuHist = item(PM, "mnuHist", QStringLiteral("Anrufe ..."));
    mnuExtWinConfig = item(PM, "mnuExtWinConfig", QStringLiteral("Anrufdialog konfigurieren"));
    mnuMsn = item(PM, "mnuMsn", QStringLiteral("MSN / Sound Konfiguration"));
    mnuDFU = PM->addMenu(QStringLiteral("Datenübertragung"));
    mnuDFU->setObjectName(QStringLiteral("mnuDFU"));
    mnuServermode = item(mnuDFU, "mnuServermode", QStringLiteral("Servermodus"), QKeySequence(Qt::Key_F9));
    Clientmodus1 =
        item(mnuDFU, "Clientmodus1", QStringLiteral("Verbindungsaufbau"), QKeySequence(Qt::Key_F10));
    mnuDFU->addSeparator()->setObjectName(QStringLiteral("N2"));
    mnuDFUStatus = item(mnuDFU, "mnuDFUStatus", QStringLiteral("Status"));
    mnuDFUStatus->setEnabled(false);
    mnuCapiInfo = item(PM, "mnuCapiInfo", QStringLiteral("Information zur ISDN-Karte / CAPI"));
    mnuReadme = item(PM, "mnuReadme", QStringLiteral("Hinweise / Release Information"));
    mnuInfo = item(PM, "mnuInfo", QStringLiteral("Über Rufwart 32"));
    PM->addSeparator()->setObjectName(QStringLiteral("N1"));
    mnuClose = item(PM, "mnuClose", QStringLiteral("Programm beenden"), QKeySequence(Qt::Key_F12));

    // The popup menu is also the context menu of these controls.
    for (QWidget *w : {static_cast<QWidget *>(ui->nb), static_cast<QWidget *>(ui->Image1),
                       static_cast<QWidget *>(ui->Image3), static_cast<QWidget *>(ui->ISDNBar),
                       static_cast<QWidget *>(ui->CallList)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w](const QPoint &pos) { ShowPopupMenu(w->mapToGlobal(pos)); });
    }
}

void TfmMain::ConnectControls()
{
    connect(ui->nb, &QStackedWidget::currentChanged, this, &TfmMain::nbPageChanged);

    // Start page and menu.
    connect(ui->Image1, &QToolButton::clicked, this, &TfmMain::ShowAbout);
    connect(mnuInfo, &QAction::triggered, this, &TfmMain::ShowAbout);
    connect(ui->OptBtn, &QToolButton::clicked, this, &TfmMain::OptBtnClick);
    connect(mnuOpt, &QAction::triggered, this, &TfmMain::mnuOptClick);
    connect(mnuClose, &QAction::triggered, this, &TfmMain::mnuCloseClick);
    connect(ui->ServiceBtn, &QToolButton::clicked, this, &TfmMain::ServiceBtnClick);
    connect(mnuService, &QAction::triggered, this, &TfmMain::ServiceBtnClick);
    connect(ui->MsnBtn, &QToolButton::clicked, this, &TfmMain::MsnBtnClick);
    connect(mnuMsn, &QAction::triggered, this, &TfmMain::MsnBtnClick);
    connect(ui->Image3, &QToolButton::clicked, this, &TfmMain::Image3Click);
    connect(ui->ConfigWinBtn, &QToolButton::clicked, this, &ShowExtWinConfig);
    connect(mnuExtWinConfig, &QAction::triggered, this, &ShowExtWinConfig);
    connect(mnuCapiInfo, &QAction::triggered, this, [this] { ShowCapiInfo(*Capi2, this); });
    connect(mnuReadme, &QAction::triggered, this, [this] { ShowReadme(this); });

    connect(ui->EditBtn, &QToolButton::clicked, this, &TfmMain::ShowCallerList);
    connect(mnuEdit, &QAction::triggered, this, &TfmMain::ShowCallerList);
    connect(ui->HistBtn, &QToolButton::clicked, this, &TfmMain::ShowJournal);
    connect(mnuHist, &QAction::triggered, this, &TfmMain::ShowJournal);
    connect(ui->CallList, &QListWidget::itemDoubleClicked, this, &TfmMain::CallListDblClick);

    // Options that are written the moment they are clicked. `toggled` also fires when loading
    // the settings changes a box, which writes the same value back, as a click would.
    auto writesFlag = [this](QCheckBox *box, const Settings::Flag &key) {
        connect(box, &QCheckBox::toggled, this,
                [this, key](bool on) { StoreSetting([&] { Settings::Write(key, on); }); });
    };
    writesFlag(ui->IsdnShow, Settings::Show);
    writesFlag(ui->IsdnBeep, Settings::Beep);
    writesFlag(ui->IsdnWriteLog, Settings::WriteLog);
    writesFlag(ui->ISDNCreateNull, Settings::CreateNull);
    writesFlag(ui->ISDNRunDInfo, Settings::RunDInfo);
    connect(ui->IsdnMinimize, &QCheckBox::toggled, this, &TfmMain::IsdnMinimizeClick);
    connect(ui->ISDNAutoStart, &QCheckBox::toggled, this, &TfmMain::ISDNAutoStartClick);
    connect(ui->UndoBtn, &QPushButton::clicked, this, &TfmMain::UndoBtnClick);
}

void TfmMain::ConnectTrayIcons()
{
    FTrayAvailable = TTrayIcon::trayAvailable();
    // A panel that starts after the program brings its notification area later: it is looked
    // for whenever the desktop tells that one may have appeared.
    if (!FTrayAvailable) {
        FTrayWatcher = new TrayWatcher(this);
        connect(FTrayWatcher, &TrayWatcher::changed, this, &TfmMain::LookForTray);
    }
    TaskIcon1 = new TTrayIcon(this);
    TaskIcon1->setObjectName(QStringLiteral("TaskIcon1"));
    TaskIcon1->setIcon(Icons::trayIcon());
    TaskIcon1->setToolTip(QStringLiteral("Rufwart 32"));
    ConnectTray = new TTrayIcon(this);
    ConnectTray->setObjectName(QStringLiteral("ConnectTray"));
    ConnectTray->setToolTip(QStringLiteral("Datenübertragung"));
    for (TTrayIcon *icon : {TaskIcon1, ConnectTray}) {
        // A left click brings the window up; the right click opens PM (the notification
        // area opens the menu it was given itself).
        icon->OnClick = [this](TTrayIcon *) { TaskIcon1Click(); };
        icon->setPopupMenu(PM);
    }
    TaskIcon1->setActive(true);
}

void TfmMain::LookForTray()
{
    if (!TTrayIcon::trayAvailable())
        return;
    if (FTrayAvailable)
        return;
    if (FTrayWatcher)
        FTrayWatcher->deleteLater();
    FTrayWatcher = nullptr;
    FTrayAvailable = true;
    // The icons are added to the new area afresh.
    for (TTrayIcon *icon : {TaskIcon1, ConnectTray}) {
        if (icon->Active()) {
            icon->setActive(false);
            icon->setActive(true);
        }
    }
    const QString status = ui->ISDNBar->text();
    if (status.endsWith(kNoTrayNote))
        ui->ISDNBar->setText(status.chopped(kNoTrayNote.size()));
    // The window goes behind its icon, as at a start with a notification area, unless the user
    // is at work in it (another page, a dialog open, a call on show).
    const bool idle = ui->nb->currentIndex() == PageStart && QApplication::activeModalWidget() == nullptr &&
                      !Timer.isActive();
    if (isMinimized() || idle)
        hide();
}

void TfmMain::TaskIcon1Click()
{
    RestoreMainWindow();
}

void TfmMain::ServiceBtnClick()
{
    {
        TfmServMap fmServMap(this);
        fmServMap.exec();
    }
    // The new choice takes effect at once, saved or not, while monitoring is on ("Aktiv").
    if (ui->isdnUse->isChecked())
        StartListen();
}

void TfmMain::MsnBtnClick()
{
    {
        TfmMsnMap fmMsnMap(this);
        fmMsnMap.exec();
    }
    FMsnList = Settings::Read(Settings::Msn);
}

void TfmMain::ShowPopupMenu(const QPoint &globalPos)
{
    PM->popup(globalPos);
}

bool TfmMain::StoreSetting(const std::function<void()> &write)
{
    try {
        write();
        return true;
    } catch (const IoError &e) {
        ShowMessageDlg(e.message());
    }
    return false;
}

void TfmMain::IsdnMinimizeClick(bool checked)
{
    StoreSetting([&] { Settings::Write(Settings::Minimize, checked); });
    ui->Label2->setEnabled(checked);
    ui->IsdnTimeMinimize->setEnabled(checked);
}

void TfmMain::ISDNAutoStartClick(bool checked)
{
    const QString value = checked ? QCoreApplication::applicationFilePath() : QString();
    StoreSetting(
        [&] { WriteRegString(RegRoot::CurrentUser, QString::fromLatin1(kRunKey), kAutostartName, value); });
}

int TfmMain::DInfoVersionIndex() const
{
    return ui->rbDInfo97->isChecked() ? 1 : 0;
}

void TfmMain::SetDInfoVersionIndex(int index)
{
    (index == 1 ? ui->rbDInfo97 : ui->rbDInfo30)->setChecked(true);
}

void TfmMain::FormShow()
{
    if (FShown)
        return;
    FShown = true;

    FMainTitle = kTitle;
    ui->IsdnBeep->setChecked(Settings::Read(Settings::Beep));
    ui->IsdnShow->setChecked(Settings::Read(Settings::Show));
    ui->ISDNAutoStart->setChecked(
        !ReadRegString(RegRoot::CurrentUser, QString::fromLatin1(kRunKey), kAutostartName, QString())
             .isEmpty());
    ui->IsdnMinimize->setChecked(Settings::Read(Settings::Minimize));
    // The time field takes whole seconds only; a stored text that is no such number shows
    // the default, as an empty one does.
    const QString time = Settings::Read(Settings::TimeMinimize).trimmed();
    ui->IsdnTimeMinimize->setText(isWholeNumber(time) ? time
                                                      : QString::fromLatin1(Settings::TimeMinimize.fallback));
    ui->IsdnWriteLog->setChecked(Settings::Read(Settings::WriteLog));
    ui->ISDNShowExtWin->setChecked(Settings::Read(Settings::ShowExtWin));
    ui->ISDNCreateNull->setChecked(Settings::Read(Settings::CreateNull));

    OpenStores();
    FMsnList = Settings::Read(Settings::Msn);

    ui->OptSendDir->setText(Settings::Read(Settings::SendDir));
    ui->OptEmpfangDir->setText(Settings::Read(Settings::EmpfangDir));
    ui->OptDInfoDir->setText(Settings::Read(Settings::DInfoDir));
    SetDInfoVersionIndex(Settings::Read(Settings::DInfoVersion));
    if (ui->OptSendDir->text().isEmpty())
        ui->OptSendDir->setText(DefaultSendDir());
    if (ui->OptEmpfangDir->text().isEmpty())
        ui->OptEmpfangDir->setText(DefaultReceiveDir());
    if (ui->OptDInfoDir->text().isEmpty())
        ui->OptDInfoDir->setText(DefaultDInfoFolder());
    ui->OptCapiRemote->setText(Settings::Read(Settings::CapiRemote));

    // The only place where the transfer directories reach the component: later changes count
    // from the next start.
    Capi2->ReceivePath = ui->OptEmpfangDir->text();
    Capi2->SendPath = ui->OptSendDir->text();
    // No caller fills the disk: larger files are refused.
    Capi2->MaxReceiveSize = int64_t(Settings::Read(Settings::MaxEmpfang)) * 1024 * 1024;

    ui->cbAutoDisconnect->setChecked(Settings::Read(Settings::AutoDisconnect));
    ui->cbDialWith->setChecked(Settings::Read(Settings::Nebenstelle));

    ui->isdnUse->setChecked(Settings::Read(Settings::UseExtern));
    if (ui->isdnUse->isChecked())
        StartListen();
    else
        StopListen();

    ui->ISDNRunDInfo->setChecked(Settings::Read(Settings::RunDInfo));
    if (ui->ISDNRunDInfo->isChecked())
        ApplyRunDInfo();
    mnuInfo->setText(mnuInfo->text() + QStringLiteral(" v2.2"));

    // Only now does "Aktiv" start and stop listening, so loading it did not do it twice.
    connect(ui->isdnUse, &QCheckBox::toggled, this, &TfmMain::isdnUseClick);
}

void TfmMain::isdnUseClick(bool checked)
{
    StoreSetting([&] { Settings::Write(Settings::UseExtern, checked); });
    if (checked)
        StartListen();
    else
        StopListen();
}

void TfmMain::nbPageChanged(int index)
{
    setFixedSize(kClientWidth, HeightOfPage(index));
    if (index == PageOptions)
        FRunDInfoOnOpen = ui->ISDNRunDInfo->isChecked();
}

void TfmMain::OptBtnClick()
{
    ui->nb->setCurrentIndex(PageOptions);
}

void TfmMain::mnuOptClick()
{
    RestoreMainWindow();
    ui->nb->setCurrentIndex(PageOptions);
}

void TfmMain::ChooseDirectoryFor(QLineEdit *edit)
{
    const QString chosen = ChooseDirectory(this, QStringLiteral("Verzeichnis auswählen ..."), edit->text());
    if (chosen.size() > 1)
        edit->setText(withTrailingSlash(QDir::cleanPath(chosen)));
}

void TfmMain::UndoBtnClick()
{
    // An emptied folder field means its default folder (a bare "/" would offer the root folder).
    const std::pair<QLineEdit *, QString> defaults[] = {{ui->OptSendDir, DefaultSendDir()},
                                                        {ui->OptEmpfangDir, DefaultReceiveDir()},
                                                        {ui->OptDInfoDir, DefaultDInfoFolder()}};
    for (const auto &[edit, fallback] : defaults) {
        if (edit->text().trimmed().isEmpty())
            edit->setText(fallback);
    }
    QLineEdit *const dirs[] = {ui->OptSendDir, ui->OptEmpfangDir, ui->OptDInfoDir};
    for (QLineEdit *edit : dirs)
        edit->setText(withTrailingSlash(edit->text()));
    QString dinfoDirBefore = Settings::Read(Settings::DInfoDir).trimmed();
    if (dinfoDirBefore.isEmpty())
        dinfoDirBefore = DefaultDInfoFolder();
    const bool dinfoMoved = ui->OptDInfoDir->text() != withTrailingSlash(dinfoDirBefore) ||
                            DInfoVersionIndex() != Settings::Read(Settings::DInfoVersion);

    if (!ForceDirectoriesEx(ui->OptSendDir->text()))
        ShowMessageDlg(QStringLiteral("Sendeverzeichnis ungültig ."));
    if (!ForceDirectoriesEx(ui->OptEmpfangDir->text()))
        ShowMessageDlg(QStringLiteral("Empfangsverzeichnis ungültig ."));

    // The field takes digits only; left empty it stands for the default.
    if (!isWholeNumber(ui->IsdnTimeMinimize->text()))
        ui->IsdnTimeMinimize->setText(QString::fromLatin1(Settings::TimeMinimize.fallback));
    StoreSetting([&] {
        Settings::Write(Settings::SendDir, ui->OptSendDir->text());
        Settings::Write(Settings::EmpfangDir, ui->OptEmpfangDir->text());
        Settings::Write(Settings::DInfoDir, ui->OptDInfoDir->text());
        Settings::Write(Settings::TimeMinimize, QString::number(ui->IsdnTimeMinimize->text().toInt()));
        Settings::Write(Settings::DInfoVersion, DInfoVersionIndex());
        Settings::Write(Settings::ShowExtWin, ui->ISDNShowExtWin->isChecked());
    });
    ApplyCapiRemote();

    const QString dinfoExe = ui->OptDInfoDir->text() + QStringLiteral("dinfo32.exe");
    if (DInfoVersionIndex() == 1 && QFileInfo::exists(dinfoExe) &&
        FileDateTimeOf(dinfoExe).date() < kDInfo97Fixed) {
        ShowMessageDlg(QStringLiteral("DINFO-97 HINWEIS !\r\rNur lauffähig mit DInfo 97 32Bit\r"
                                      "ServicePack B oder höher .\r\rDownload: www.dinfo.de"));
    }

    ui->nb->setCurrentIndex(PageStart);
    repaint();

    if (ui->ISDNRunDInfo->isChecked() != FRunDInfoOnOpen) {
        ApplyRunDInfo();
        FRunDInfoOnOpen = ui->ISDNRunDInfo->isChecked();
        RestoreMainWindow();
    } else if (DInfoRunning && dinfoMoved) {
        // Another folder or version: the standing connection moves to that program.
        DInfoStop();
        ApplyRunDInfo();
    }
}

void TfmMain::ApplyRunDInfo()
{
    if (!ui->ISDNRunDInfo->isChecked()) {
        DInfoStop();
        return;
    }
    DInfoStart();
    // A program file that is missing switched the look-up off.
    ui->ISDNRunDInfo->setChecked(Settings::Read(Settings::RunDInfo));
}

void TfmMain::ApplyCapiRemote()
{
    const QString remote = ui->OptCapiRemote->text().trimmed();
    if (!remote.isEmpty() && !TCustomCapi20::ParseRemoteCapi(remote)) {
        ShowMessageDlg(
            QStringLiteral("CAPI über TCP: bitte als Host:Port angeben, z.B. 192.168.178.1:5031 ."));
        return;
    }
    if (remote == Settings::Read(Settings::CapiRemote))
        return;
    if (!StoreSetting([&] { Settings::Write(Settings::CapiRemote, remote); }))
        return;
    UseRemoteCapiInForce();
}

bool TfmMain::UseRemoteCapiInForce()
{
    // A new address counts from the next registration; the environment variable still wins. A
    // registration under way reads the address: its report comes back here.
    const QString inForce = CapiRemote();
    if (FRegistering || inForce == Capi2->RemoteCapi())
        return false;
    const bool listen = FListenWanted;
    StopListen();
    Capi2->SetRemoteCapi(inForce);
    if (listen)
        StartListen();
    return true;
}

void TfmMain::RestoreMainWindow()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void TfmMain::HideMainWindow()
{
    if (FTrayAvailable)
        hide();
    else
        showMinimized();
}

void TfmMain::ShowAnimation(bool on)
{
    ui->Ani->setVisible(on);
    if (on)
        ui->Ani->play();
    else
        ui->Ani->stop();
}

void TfmMain::TimerTimer()
{
    if (ui->IsdnMinimize->isChecked() && (ServerMode() || ui->nb->currentIndex() == PageStart))
        HideMainWindow();
    Timer.stop();
    ShowAnimation(false);
    ui->nb_Call->setCurrentIndex(CallPageList);
}

QString TfmMain::CapiRemote()
{
    return TCustomCapi20::RemoteCapiSetting(Settings::Read(Settings::CapiRemote));
}

void TfmMain::StartListen()
{
    setWindowTitle(FMainTitle);
    FListenWanted = true;
    if (!FRegistering && Capi2->Registered()) {
        ListenNow();
        return;
    }
    // Not registered yet: the registration runs beside the window, and its report listens.
    ShowListenStatus(kListenStarting);
    if (!FRegistering)
        BeginRegistration();
}

void TfmMain::ListenNow()
{
    quint16 services = ServiceSet::fromSetting(Settings::Read(Settings::Service));
    bool listening = Capi2->Registered();
    if (listening) {
        if (ServerMode())
            services = ServiceSet::forServerMode(services, ui->ISDNShowExtWin->isChecked());
        const int errorsBefore = FCapiErrors;
        Capi2->Listen(services);
        listening = FCapiErrors == errorsBefore && Capi2->Registered();
    }
    if (!listening) {
        ShowMessageDlg(QStringLiteral("Capi20 nicht installiert !"));
        ShowListenStatus(kListenOff);
        return;
    }
    // The network's answer follows on the message thread; a refusal is told (ListenRefused).
    ShowListenStatus(kListenOn);
}

void TfmMain::StopListen()
{
    FListenWanted = false;
    // Failures of either step change nothing here. A registration under way is released when
    // it reports.
    if (!FRegistering && Capi2 && Capi2->Registered()) {
        Capi2->Listen(0);
        Capi2->ReleaseApplication();
    }
    ShowListenStatus(kListenOff);
}

void TfmMain::ShowListenStatus(const QString &text)
{
    ui->ISDNBar->setText(FTrayAvailable ? text : text + kNoTrayNote);
}

void TfmMain::BeginRegistration()
{
    // With a remote CAPI the library connects to the server, which takes what the network takes
    // (the component bounds it); the window works on meanwhile. Only atomic state of the
    // component is read here until the report (RegistrationDone) has come.
    FRegistering = true;
    TCapi20 *capi = Capi2.get();
    FRegistration = std::thread([this, capi] {
        // The first run binds the library, and binding registers (AutoRegister).
        if (capi->LibraryBound())
            capi->RegisterApplication();
        else
            capi->Loaded();
        QMetaObject::invokeMethod(
            this, [this] { RegistrationDone(); }, Qt::QueuedConnection);
    });
}

void TfmMain::FinishRegistration()
{
    if (FRegistration.joinable())
        FRegistration.join();
    FRegistering = false;
}

void TfmMain::RegistrationDone()
{
    FinishRegistration();
    // Before FormShow the loaded options decide; after FormClose nothing is wanted any more.
    if (!FShown || FClosed)
        return;
    if (UseRemoteCapiInForce())
        return; // the options page chose another server meanwhile
    if (FListenWanted)
        ListenNow(); // registered, or says that it is not
    else
        StopListen(); // "Aktiv" went off meanwhile
}

void TfmMain::WaitForRegistration()
{
    // The worker gives up within the time the component gives the server; the window works on.
    WaitFor([this] { return !FRegistering; }, 6 * kRemoteAnswerMs);
}

void TfmMain::ListenRefused()
{
    // One message for the refusals so far; none once listening was given up or released since.
    const int refusals = FListenRefusals.load();
    if (refusals == FListenRefusalsTold)
        return;
    FListenRefusalsTold = refusals;
    if (FClosed || FRegistering || !FListenWanted || !Capi2->Registered())
        return;
    ShowMessageDlg(QStringLiteral("Capi20 nicht installiert !"));
    ShowListenStatus(kListenOff);
}

bool TfmMain::ServerMode() const
{
    return mnuServermode->isChecked();
}

void TfmMain::ShowCallerList()
{
    if (FCallers)
        ::ShowCallerList(*FCallers, Capi2.get(), this);
}

void TfmMain::ShowJournal()
{
    if (!FJournal || !FCallers)
        return;
    LookedAtCalls();
    ::ShowJournal(*FJournal, *FCallers, this);
}

void TfmMain::CallListDblClick()
{
    const QList<QListWidgetItem *> selected = ui->CallList->selectedItems();
    if (selected.isEmpty() || !FCallers)
        return;
    QListWidgetItem *item = selected.first();
    const bool last = ui->CallList->row(item) == ui->CallList->count() - 1;
    const CallListTarget target = CallListEntryTarget(item->text(), last, FCallerKey);
    if (target.Key.isEmpty())
        return;
    const QString name = EditCaller(*FCallers, target.Key, this);
    item->setText(target.Head + name);
}

void TfmMain::ShowAbout()
{
    TfmAbout about(this);
    about.exec();
}

void TfmMain::closeEvent(QCloseEvent *event)
{
    if (!FClosing) {
        // The close box only hides the window.
        event->ignore();
        HideMainWindow();
        return;
    }
    FormClose(!FSessionEnding);
    event->accept();
    QCoreApplication::exit(0);
}

void TfmMain::mnuCloseClick()
{
    FClosing = true;
    close();
}

void TfmMain::CommitData(const SessionManagerAccess &session)
{
    // Also asked for a checkpoint, or for a logout the user may still cancel: save, and run on.
    // The program ends when the session really ends (the application is then told to quit).
    bool asked = false;
    bool allowed = false;
    FlushStores([&] {
        if (!asked) {
            asked = true;
            allowed = session.allowsInteraction && session.allowsInteraction();
        }
        return allowed;
    });
    if (allowed && session.release)
        session.release();
}

bool TfmMain::eventFilter(QObject *watched, QEvent *event)
{
    // The application is told to quit (the session ends): the main window closes for good then,
    // instead of only hiding, and asks nobody anything on its way out.
    if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit) {
        FClosing = true;
        FSessionEnding = true;
    }
    return QWidget::eventFilter(watched, event);
}

void TfmMain::FlushStores(const std::function<bool()> &mayAsk)
{
    for (;;) {
        try {
            if (FCallers)
                FCallers->Flush();
            if (FJournal)
                FJournal->Flush();
            return;
        } catch (const IoError &e) {
            if (!mayAsk() || !AskMessageDlg(e.message() + QStringLiteral("\r\rNochmals versuchen ?"), 0))
                return;
        }
    }
}

void TfmMain::FormClose(bool mayAsk)
{
    if (FClosed)
        return;
    FClosed = true;
    Timer.stop();
    FDialNumbers.clear();
    // The directory program ends with the program; a look-up that waits for it ends now.
    DInfoStop();
    // Calls answered but not yet shown still reach the files, and nothing queued is dropped
    // silently: a save that fails now (a full disk) is shown, and the user may try again.
    StoreUnshownRings();
    FlushStores([mayAsk] { return mayAsk; });
    FCallers.reset();
    FJournal.reset();
    // A registration under way ends within the time the component gives the server.
    FinishRegistration();
    StopListen();
}
