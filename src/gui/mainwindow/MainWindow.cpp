#include "mainwindow/MainWindow.h"

#include "CallNetwork.h"
#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "capi/Capi20.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "mainwindow/OptionsPage.h"
#include "monitor/CallPipeline.h"
#include "monitor/CapiSession.h"
#include "monitor/DInfoService.h"
#include "notify/TrayIcon.h"
#include "notify/TrayWatcher.h"
#include "settings/SettingsStore.h"
#include "transfer/TransferPages.h"
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
#include "windows/StatisticsDialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDate>
#include <QDebug>
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
// Added to the status line while the desktop has no notification area.
QString noTrayNote()
{
    return TfmMain::tr(" (kein Infobereich)");
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

TfmMain::TfmMain(QWidget *parent) : QWidget(parent, Qt::Tool), ui(std::make_unique<Ui::TfmMain>())
{
    ui->setupUi(this);
    FormCreate();
}

TfmMain::~TfmMain()
{
    FormClose();
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

    // A child, so tests find it by its name (a member, it leaves the window before the window ends).
    Timer.setParent(this);
    Timer.setObjectName(QStringLiteral("Timer"));
    Timer.setInterval(3000);
    connect(&Timer, &QTimer::timeout, this, &TfmMain::TimerTimer);

    // The monitor. The component binds the CAPI library and registers right away, beside the
    // window; its handlers are all set before, since its threads read them.
    FDInfo = std::make_unique<DInfoService>();
    FSession = std::make_unique<CapiSession>();
    FPipeline = std::make_unique<CallPipeline>(*FSession, *FDInfo);
    Capi2 = &FSession->Capi();
    FOptionsPage = new OptionsPage(*FDInfo, this);
    ui->nb->insertWidget(PageOptions, FOptionsPage);

    BuildPopupMenu();
    ConnectControls();
    ConnectTrayIcons();
    ConnectNotifications();

    ConnectTransfer();
    ConnectMonitor();
    OptionsChanged();
    // "Nur Anzeige" (read at the start): no CAPI is opened; the calls come from other copies.
    FDisplayOnly = Settings::Read(Settings::DisplayOnly);
    if (!FDisplayOnly)
        FSession->Start();
    FNetwork = std::make_unique<CallNetwork>(*FPipeline, FDisplayOnly);
    connect(FNetwork.get(), &CallNetwork::status, this,
            [this](const QString &text) { ui->ISDNBar->setText(text); });
    connect(FNetwork.get(), &CallNetwork::logLine, this,
            [](const QString &text) { qWarning().noquote() << text; });
    connect(FOptionsPage, &OptionsPage::networkChanged, FNetwork.get(), &CallNetwork::Start);

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
    mnuEdit = item(PM, "mnuEdit", tr("Anruferübersicht"));
    mnuService = item(PM, "mnuService", tr("Service-Konfiguration"));
    mnuOpt = item(PM, "mnuOpt", tr("Optionen"));
    mnuHist = item(PM, "mnuHist", tr("Anrufe ..."));
    mnuStat = item(PM, "mnuStat", tr("Statistik ..."));
    mnuExtWinConfig = item(PM, "mnuExtWinConfig", tr("Anrufdialog konfigurieren"));
    mnuMsn = item(PM, "mnuMsn", tr("MSN / Sound Konfiguration"));
    QMenu *mnuDFU = PM->addMenu(tr("Datenübertragung"));
    mnuDFU->setObjectName(QStringLiteral("mnuDFU"));
    mnuServermode = item(mnuDFU, "mnuServermode", tr("Servermodus"), QKeySequence(Qt::Key_F9));
    Clientmodus1 = item(mnuDFU, "Clientmodus1", tr("Verbindungsaufbau"), QKeySequence(Qt::Key_F10));
    mnuDFU->addSeparator()->setObjectName(QStringLiteral("N2"));
    mnuDFUStatus = item(mnuDFU, "mnuDFUStatus", tr("Status"));
    mnuDFUStatus->setEnabled(false);
    mnuCapiInfo = item(PM, "mnuCapiInfo", tr("Information zur ISDN-Karte / CAPI"));
    mnuReadme = item(PM, "mnuReadme", tr("Hinweise / Release Information"));
    mnuInfo = item(PM, "mnuInfo", tr("Über Rufwart 32"));
    PM->addSeparator()->setObjectName(QStringLiteral("N1"));
    mnuClose = item(PM, "mnuClose", tr("Programm beenden"), QKeySequence(Qt::Key_F12));

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
    connect(mnuExtWinConfig, &QAction::triggered, this, &ShowExtWinConfig);
    connect(mnuCapiInfo, &QAction::triggered, this, [this] { ShowCapiInfo(*Capi2, this); });
    connect(ui->nb_Call, &QStackedWidget::currentChanged, this, &TfmMain::CallListViewChanged);
    connect(mnuReadme, &QAction::triggered, this, [this] { ShowReadme(this); });

    connect(ui->EditBtn, &QToolButton::clicked, this, &TfmMain::ShowCallerList);
    connect(mnuEdit, &QAction::triggered, this, &TfmMain::ShowCallerList);
    connect(ui->HistBtn, &QToolButton::clicked, this, &TfmMain::ShowJournal);
    connect(mnuHist, &QAction::triggered, this, &TfmMain::ShowJournal);
    connect(mnuStat, &QAction::triggered, this, &TfmMain::ShowStatistics);
    // Open statistics (of the menu or of the journal window) count every call that comes in.
    connect(FPipeline.get(), &CallPipeline::callShown, this, [this] {
        for (StatisticsDialog *statistics : findChildren<StatisticsDialog *>())
            statistics->Reload();
    });
    connect(ui->CallList, &QListWidget::itemDoubleClicked, this, &TfmMain::CallListDblClick);

    // The options page: what the monitor reads, "Aktiv", a new CAPI address, and its end.
    connect(FOptionsPage, &OptionsPage::optionsChanged, this, &TfmMain::OptionsChanged);
    connect(FOptionsPage, &OptionsPage::activeChanged, this, [this](bool on) {
        if (on)
            StartListen();
        else
            StopListen();
    });
    connect(FOptionsPage, &OptionsPage::capiRemoteChanged, FSession.get(),
            &CapiSession::UseRemoteCapiInForce);
    connect(FOptionsPage, &OptionsPage::applied, this, [this] {
        ui->nb->setCurrentIndex(PageStart);
        repaint();
    });
    connect(FOptionsPage, &OptionsPage::windowWanted, this, &TfmMain::RestoreMainWindow);
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
    // A left click brings the window up; the right click opens PM (the notification area opens
    // the menu it was given itself). The same for the transfer icon (ConnectTransfer).
    TaskIcon1->OnClick = [this](TTrayIcon *) { TaskIcon1Click(); };
    TaskIcon1->setPopupMenu(PM);
    TaskIcon1->setActive(true);
    DInfoTask = MakeDInfoTrayIcon(this);
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
    // The icons are added to the new area afresh (until now they had no platform icon).
    for (TTrayIcon *icon : {TaskIcon1, FTransfer->ConnectTray(), DInfoTask}) {
        if (icon->Active()) {
            icon->setActive(false);
            icon->setActive(true);
        }
    }
    const QString status = ui->ISDNBar->text();
    if (const QString note = noTrayNote(); status.endsWith(note))
        ui->ISDNBar->setText(status.chopped(note.size()));
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
    if (FOptionsPage->Active())
        StartListen();
}

void TfmMain::MsnBtnClick()
{
    {
        TfmMsnMap fmMsnMap(this);
        fmMsnMap.exec();
    }
    FOptionsPage->ReloadMsnList();
}

void TfmMain::ShowPopupMenu(const QPoint &globalPos)
{
    PM->popup(globalPos);
}

void TfmMain::FormShow()
{
    if (FShown)
        return;
    FShown = true;

    FMainTitle = kTitle;
    FOptionsPage->Load();
    FPipeline->Open();
    FNetwork->Start();

    // The only place where the transfer directories reach the component: later changes count
    // from the next start.
    Capi2->ReceivePath = FOptionsPage->ReceiveFolder();
    Capi2->SendPath = FOptionsPage->SendFolder();
    // No caller fills the disk: larger files are refused.
    Capi2->MaxReceiveSize = int64_t(Settings::Read(Settings::MaxEmpfang)) * 1024 * 1024;
    FTransfer->SetSendFolder(FOptionsPage->SendFolder());
    FTransfer->LoadOptions();

    if (FDisplayOnly)
        ShowListenStatus(tr("Nur Anzeige: Anrufe anderer Rechner ..."));
    else if (FOptionsPage->Active())
        StartListen();
    else
        StopListen();
    if (FOptionsPage->Options().RunDInfo)
        FOptionsPage->ApplyRunDInfo();
    mnuInfo->setText(mnuInfo->text() + QStringLiteral(" v2.2"));
}

void TfmMain::nbPageChanged(int index)
{
    CallListViewChanged();
    setFixedSize(kClientWidth, HeightOfPage(index));
    if (index == PageOptions)
        FOptionsPage->Opened();
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
    if (FOptionsPage->AutoMinimize() && (ServerMode() || ui->nb->currentIndex() == PageStart))
        HideMainWindow();
    Timer.stop();
    ShowAnimation(false);
    ui->nb_Call->setCurrentIndex(CallPageList);
}

bool TfmMain::Registering() const
{
    return FSession->Registering();
}

void TfmMain::StartListen()
{
    if (FDisplayOnly)
        return;
    setWindowTitle(FMainTitle);
    FSession->StartListen();
}

void TfmMain::StopListen()
{
    if (FDisplayOnly)
        return;
    FSession->StopListen();
}

void TfmMain::ShowListenStatus(const QString &text)
{
    ui->ISDNBar->setText(FTrayAvailable ? text : text + noTrayNote());
}

bool TfmMain::ServerMode() const
{
    return FTransfer != nullptr && FTransfer->ServerMode();
}

void TfmMain::ConnectTransfer()
{
    FTransfer = new TransferPages(
        *Capi2, [this] { return FPipeline->Callers(); },
        [this](std::function<void()> work) { ShowAfterRings(std::move(work)); }, this);
    // The transfer pages keep their places in the notebook (Page), and so their window heights.
    // The file chooser of "Senden" opens in the send folder as the options page shows it.
    connect(FOptionsPage, &OptionsPage::sendFolderChanged, FTransfer, &TransferPages::SetSendFolder);
    ui->nb->insertWidget(PageProgress, FTransfer->ProgressPage());
    ui->nb->insertWidget(PageDial, FTransfer->DialPage());
    ui->nb->insertWidget(PageUpload, FTransfer->UploadPage());
    TTrayIcon *connectTray = FTransfer->ConnectTray();
    connectTray->OnClick = [this](TTrayIcon *) { TaskIcon1Click(); };
    connectTray->setPopupMenu(PM);

    mnuServermode->setCheckable(true);
    // The action has already toggled its check mark when `triggered` arrives.
    connect(mnuServermode, &QAction::triggered, FTransfer, &TransferPages::SetServerMode);
    connect(Clientmodus1, &QAction::triggered, FTransfer, &TransferPages::OpenDialPage);
    connect(mnuDFUStatus, &QAction::triggered, FTransfer, &TransferPages::ShowProgress);
    connect(FTransfer, &TransferPages::serverModeChanged, this, [this](bool on) {
        mnuDFUStatus->setEnabled(on);
        mnuServermode->setChecked(on);
    });
    connect(FTransfer, &TransferPages::listenAgainWanted, this, [this] {
        StopListen();
        StartListen();
    });
    connect(FTransfer, &TransferPages::titleWanted, this,
            [this](const QString &title) { setWindowTitle(title); });
    connect(FTransfer, &TransferPages::mainTitleWanted, this, [this] { setWindowTitle(FMainTitle); });
    connect(FTransfer, &TransferPages::statusWanted, this,
            [this](const QString &text) { ui->ISDNBar->setText(text); });
    connect(FTransfer, &TransferPages::pageWanted, this, [this](TransferPages::Page page) {
        switch (page) {
        case TransferPages::Page::Start:
            ui->nb->setCurrentIndex(PageStart);
            break;
        case TransferPages::Page::Progress:
            ui->nb->setCurrentIndex(PageProgress);
            break;
        case TransferPages::Page::Dial:
            ui->nb->setCurrentIndex(PageDial);
            break;
        case TransferPages::Page::Upload:
            ui->nb->setCurrentIndex(PageUpload);
            break;
        }
    });
    connect(FTransfer, &TransferPages::windowWanted, this, &TfmMain::RestoreMainWindow);
    connect(FTransfer, &TransferPages::registrationAwaited, FSession.get(),
            &CapiSession::WaitForRegistration);
}

void TfmMain::ShowCallerList()
{
    if (CallerDirectory *callers = FPipeline->Callers())
        ::ShowCallerList(*callers, Capi2, FDInfo.get(), this);
}

void TfmMain::ShowJournal()
{
    CallJournal *journal = FPipeline->Journal();
    CallerDirectory *callers = FPipeline->Callers();
    if (!journal || !callers)
        return;
    LookedAtCalls();
    ::ShowJournal(*journal, *callers, FDInfo.get(), this);
}

void TfmMain::ShowStatistics()
{
    CallJournal *journal = FPipeline->Journal();
    CallerDirectory *callers = FPipeline->Callers();
    if (journal && callers)
        ::ShowStatistics(*journal, *callers, this);
}

void TfmMain::CallListDblClick()
{
    const QList<QListWidgetItem *> selected = ui->CallList->selectedItems();
    CallerDirectory *callers = FPipeline->Callers();
    if (selected.isEmpty() || !callers)
        return;
    QListWidgetItem *item = selected.first();
    const bool last = ui->CallList->row(item) == ui->CallList->count() - 1;
    const CallListTarget target = CallListEntryTarget(item->text(), last, FCallerKey);
    if (target.Key.isEmpty())
        return;
    const QString name = EditCaller(*callers, target.Key, FDInfo.get(), this);
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
    FPipeline->BeginClose();
    close();
}

void TfmMain::CommitData(const SessionManagerAccess &session)
{
    // Also asked for a checkpoint, or for a logout the user may still cancel: save, and run on.
    // The program ends when the session really ends (the application is then told to quit).
    bool asked = false;
    bool allowed = false;
    FPipeline->Flush([&](const IoError &error) {
        if (!asked) {
            asked = true;
            allowed = session.allowsInteraction && session.allowsInteraction();
        }
        return allowed && AskMessageDlg(error.message() + tr("\r\rNochmals versuchen ?"), 0);
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
        FPipeline->BeginClose();
    }
    return QWidget::eventFilter(watched, event);
}

void TfmMain::FormClose(bool mayAsk)
{
    if (FClosed)
        return;
    FClosed = true;
    Timer.stop();
    // The directory program ends with the program; calls answered but not yet shown still reach
    // the files, and nothing queued is dropped silently: a save that fails now (a full disk) is
    // shown, and the user may try again.
    FPipeline->Close([mayAsk](const IoError &error) {
        return mayAsk && AskMessageDlg(error.message() + tr("\r\rNochmals versuchen ?"), 0);
    });
    // A registration under way ends within the time the component gives the server.
    FSession->Close();
    // "offline" is said last, once nothing more is to be told.
    FNetwork->Stop();
}
