// The main window's side of incoming calls: it shows what the monitor hands over. The ring
// decision, the journal, learning and looking up callers run in the core (monitor/CallPipeline).
#include "mainwindow/MainWindow.h"

#include "capi/Capi20.h"
#include "mainwindow/OptionsPage.h"
#include "monitor/CallPipeline.h"
#include "monitor/CapiSession.h"
#include "monitor/DInfoService.h"
#include "notify/TrayIcon.h"
#include "sound/CallSound.h"
#include "transfer/TransferPages.h"
#include "ui_MainWindow.h"
#include "widgets/MessageDialog.h"
#include "windows/CallNotification.h"
#include "windows/DInfoProgress.h"

#include <QListWidget>

namespace {
// The call list keeps the newest calls; the journal keeps them all. A program that runs for
// months would otherwise keep every call of that time in memory.
constexpr int kCallListEntries = 1000;
} // namespace

MonitorOptions TfmMain::CurrentOptions() const
{
    MonitorOptions o = FOptionsPage->Options();
    o.ServerMode = ServerMode();
    o.CallListInView = isActiveWindow() && CallListShows();
    return o;
}

void TfmMain::OptionsChanged()
{
    FOptions = CurrentOptions();
    FPipeline->SetOptions(FOptions);
    FSession->SetServerMode(FOptions.ServerMode, FOptions.ShowExtWin);
}

void TfmMain::ConnectMonitor()
{
    connect(FSession.get(), &CapiSession::listenStateChanged, this, [this](CapiSession::ListenState state) {
        ShowListenStatus(CapiSession::ListenStateText(state));
    });
    connect(FSession.get(), &CapiSession::listenFailed, this,
            [] { ShowMessageDlg(CapiSession::ListenFailedText()); });
    // Server mode changes what the ring decision accepts and what listening asks for; the
    // transfer pages listen anew right after.
    connect(FTransfer, &TransferPages::serverModeChanged, this, &TfmMain::OptionsChanged);
    connect(FPipeline.get(), &CallPipeline::callShown, this, &TfmMain::ShowCall);
    connect(FPipeline.get(), &CallPipeline::storeError, this,
            [](const QString &message) { ShowMessageDlg(message); });
    connect(FPipeline.get(), &CallPipeline::lookUpStarted, this,
            [](const QString &number) { ShowDInfMsg(number, false); });
    connect(FPipeline.get(), &CallPipeline::lookUpFinished, this, [] { ShowDInfMsg(QString(), true); });
    connect(FPipeline.get(), &CallPipeline::soundDue, this,
            [this](const QString &msn) { PlayCallSound(FOptions.MsnList, msn, this); });
    connect(FDInfo.get(), &DInfoService::message, this, [](const QString &text) { ShowMessageDlg(text); });
    connect(FDInfo.get(), &DInfoService::status, this,
            [this](const QString &text) { ui->ISDNBar->setText(text); });
    connect(FDInfo.get(), &DInfoService::runningChanged, this,
            [this](bool running, bool trayIcon) { DInfoTask->setActive(running && trayIcon); });
}

bool TfmMain::RingsSettling() const
{
    return FPipeline->Settling();
}

void TfmMain::ShowAfterRings(std::function<void()> work)
{
    FPipeline->ShowAfterCalls(std::move(work));
}

void TfmMain::ShowCall(const ShownCall &call)
{
    Q_ASSERT(OnMainThread());
    const RingDecision &d = call.Decision;
    if (call.Missed)
        ShowMissedCalls();
    FCallerKey = d.OwnKey;
    if (!call.Node.isEmpty()) {
        if (FRemoteOwners.size() >= 1000)
            FRemoteOwners.clear();
        FRemoteOwners.insert(d.OwnKey, call.Node);
    }
    ui->ISDNBar->setText(d.Status);
    ui->Anrufer->setText(d.Label);
    ui->CallList->addItem(CallListEntry(call.Rang.time(), d));
    while (ui->CallList->count() > kCallListEntries)
        delete ui->CallList->takeItem(0);
    if (!d.ExtWin) {
        ui->nb_Call->setCurrentIndex(CallPageCaller);
        ShowAnimation(true);
    }
    ui->CallList->setCurrentRow(ui->CallList->count() - 1);
    if (call.Show && !d.ExtWin)
        RestoreMainWindow();
    if (d.ExtWin) {
        ShowExternalCall(d, call.Msn);
    } else {
        // Back to the call list (and hidden, with "Autom. minimieren") after the display time;
        // a time of 0 keeps the call shown.
        const int interval = CallMsgCloseInterval(FOptionsPage->DisplayTime());
        Timer.setInterval(interval);
        if (interval > 0)
            Timer.start();
        else
            Timer.stop();
    }
}

void TfmMain::Image3Click()
{
    // Turned away as busy, as blocked callers are (0 would accept: the caller would be connected
    // to nothing and charged).
    Capi2->Answer(RingResult::Busy);
}
