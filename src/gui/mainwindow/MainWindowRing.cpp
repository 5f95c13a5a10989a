// The main window's handling of incoming calls.
//
// The network gives a terminal a few seconds to react to a call while the other phones already
// ring, so Capi2Ring decides with what is fast and local and the component answers at once.
// Showing the call, the notification window, the journal record, learning an unknown caller and
// the sound follow on the main thread, call by call in the order they rang.
#include "mainwindow/MainWindow.h"

#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "capi/Capi20.h"
#include "common/Clock.h"
#include "common/Errors.h"
#include "sound/CallSound.h"
#include "ui_MainWindow.h"
#include "widgets/MessageDialog.h"
#include "windows/CallNotification.h"
#include "windows/DInfoDialog.h"
#include "windows/DInfoProgress.h"

#include <QListWidget>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>

namespace {
// Calls are shown when no further ring has come for this long, but at the latest this long after
// the first of them rang: in a storm of calls each one still reaches the journal and the
// directory within moments of its answer.
constexpr int kRingSettleMs = 20;
constexpr int kRingSettleLimitMs = 200;
// The same failing save is reported again after this long at the earliest.
constexpr qint64 kStoreErrorQuietSeconds = 60;
// The call list keeps the newest calls; the journal keeps them all. A program that runs for
// months would otherwise keep every call of that time in memory.
constexpr int kCallListEntries = 1000;
} // namespace

RingOptions TfmMain::CurrentRingOptions() const
{
    RingOptions o;
    o.MsnList = FMsnList;
    o.CreateNull = ui->ISDNCreateNull->isChecked();
    o.ShowExtWin = ui->ISDNShowExtWin->isChecked();
    o.IgnoreCalls = ui->IsdnIgnore->isChecked();
    o.ServerMode = ServerMode();
    return o;
}

uint32_t TfmMain::Capi2Ring(TCapi20 *, const TCallDaten &CallDaten)
{
    Q_ASSERT(OnMainThread());
    if (!FCallers)
        return RingResult::Ignore; // not started yet: the call is left to the other terminals
    const RingCall call = RingCall::fromCallDaten(CallDaten);
    AnsweredRing ring;
    ring.Rang = Clock::now();
    ring.Decision = DecideRing(call, CurrentRingOptions(), *FCallers);
    if (!ring.Decision.Passed)
        return ring.Decision.Result;
    ring.Msn = call.Msn;
    ring.Show = ui->IsdnShow->isChecked();
    ring.Beep = ui->IsdnBeep->isChecked();
    ring.WriteLog = ui->IsdnWriteLog->isChecked();
    const uint32_t result = ring.Decision.Result;
    FAnswered.push_back(std::move(ring));
    // Shown once the rings have settled: while calls come in quick succession, the main thread
    // answers them first, and the calls are shown right after, in order.
    if (!FShowTimer.isActive())
        FShowDue.setRemainingTime(kRingSettleLimitMs);
    FShowTimer.start(int(std::min<qint64>(kRingSettleMs, FShowDue.remainingTime())));
    return result;
}

void TfmMain::StoreRings()
{
    // The records do not wait for the calls to be shown: however many calls ring at once, and
    // however long a look-up or a dialog keeps the showing, each reaches the journal (and an
    // unknown caller the directory, unless a look-up is to name it first) right after its answer.
    for (AnsweredRing &ring : FAnswered) {
        if (ring.LaterDisplay || ring.Stored)
            continue;
        ring.Stored = true;
        JournalRing(ring);
        if (!ring.Decision.Found && !WillLookUp(ring.Decision))
            LearnCaller(ring, ring.Decision.NameToStore);
    }
}

void TfmMain::ShowRings()
{
    StoreRings();
    // A call that rings while an earlier one is being shown (a look-up or a dialog may wait for
    // events) is taken by the loop that is already running, so the order holds.
    if (FShowingRings || FAnswered.empty())
        return;
    // Calls that ring while the directory program comes up are answered, and shown once it is
    // there to name them.
    if (DInfoStarting) {
        FShowTimer.start(kRingSettleMs);
        return;
    }
    FShowingRings = true;
    const AnsweredRing ring = std::move(FAnswered.front());
    FAnswered.pop_front();
    if (ring.LaterDisplay)
        ring.LaterDisplay();
    else
        ShowRing(ring);
    FShowingRings = false;
    // One call per turn of the event loop, so a ring that comes meanwhile is answered before
    // the next call is shown (and puts the showing off until the rings settle again).
    if (!FAnswered.empty())
        FShowTimer.start(0);
    else
        PlayRingSounds();
}

void TfmMain::ShowAfterRings(std::function<void()> work)
{
    if (FAnswered.empty() && !FShowingRings) {
        work();
        return;
    }
    AnsweredRing later;
    later.LaterDisplay = std::move(work);
    FAnswered.push_back(std::move(later));
    if (!FShowTimer.isActive())
        FShowTimer.start(0);
}

void TfmMain::ShowRing(const AnsweredRing &ring)
{
    Q_ASSERT(OnMainThread());
    if (!ring.Stored)
        JournalRing(ring);
    if (ring.Decision.Found) {
        DisplayRing(ring);
    } else {
        // An unknown caller is looked up before the call is shown, so the window, the call list
        // and the directory all name the caller the look-up found.
        AnsweredRing named = ring;
        const QString name = LookUpUnknownCaller(ring);
        if (FClosed)
            return; // the program ended during the look-up and has stored the call
        if (name != ring.Decision.NameToStore)
            TakeLookedUpName(named.Decision, name);
        named.Decision.Status += FLookUpFailure;
        FLookUpFailure.clear();
        DisplayRing(named);
        LearnCaller(named, named.Decision.NameToStore);
    }
    if (ring.Beep)
        FSounds.push_back(ring.Msn);
}

void TfmMain::DisplayRing(const AnsweredRing &ring)
{
    const RingDecision &d = ring.Decision;
    CountMissedCall(d, ring.Rang);
    FCallerKey = d.CallerKey;
    ui->ISDNBar->setText(d.Status);
    ui->Anrufer->setText(d.Label);
    ui->CallList->addItem(CallListEntry(ring.Rang.time(), d));
    while (ui->CallList->count() > kCallListEntries)
        delete ui->CallList->takeItem(0);
    if (!d.ExtWin) {
        ui->nb_Call->setCurrentIndex(CallPageCaller);
        ShowAnimation(true);
    }
    ui->CallList->setCurrentRow(ui->CallList->count() - 1);
    if (ring.Show && !d.ExtWin)
        RestoreMainWindow();
    if (d.ExtWin) {
        ShowExternalCall(d, ring.Msn);
    } else {
        // Back to the call list (and hidden, with "Autom. minimieren") after the display time;
        // a time of 0 keeps the call shown.
        const int interval = CallMsgCloseInterval(ui->IsdnTimeMinimize->text());
        Timer.setInterval(interval);
        if (interval > 0)
            Timer.start();
        else
            Timer.stop();
    }
}

void TfmMain::JournalRing(const AnsweredRing &ring)
{
    if (!ring.WriteLog || !FJournal)
        return;
    // Stamped with the moment of the ring, written by the journal's worker thread.
    FJournal->QueueCall(ring.Decision.CallerKey, ring.Msn, ring.Rang);
}

QString TfmMain::LookUpUnknownCaller(const AnsweredRing &ring)
{
    // Without the look-up the caller is learned by its number (or nameless); never while the
    // program ends, and never for a call without a number.
    const RingDecision &d = ring.Decision;
    if (!WillLookUp(d))
        return d.NameToStore;
    // The look-up waits for the directory program's answer while later calls are answered; the
    // call it serves is stored by FormClose should the program end meanwhile.
    FRingInLookUp = &ring;
    // Without a running directory program (its start failed) there is nothing to wait for.
    const bool progress = d.ExtWin && DInfoRunning;
    if (progress)
        ShowDInfMsg(d.Number, false);
    QString name = d.NameToStore;
    const DInfoSearch search = DInfoAutoLookup(d.Number, name);
    if (progress)
        ShowDInfMsg(QString(), true);
    FRingInLookUp = nullptr;
    if (!search.failed()) {
        FLookUpFailureTold = false;
    } else if (!FLookUpFailureTold && !FClosed) {
        // Told once, in the status line of the call, until a look-up succeeds again; the caller
        // keeps the number.
        FLookUpFailureTold = true;
        FLookUpFailure = LookUpFailureText(search);
    }
    return search.found() ? name : d.NameToStore;
}

bool TfmMain::WillLookUp(const RingDecision &decision) const
{
    return !FClosing && !FClosed && ui->ISDNRunDInfo->isChecked() && decision.Number.size() >= 2;
}

QString TfmMain::LookUpFailureText(const DInfoSearch &search)
{
    switch (search.Outcome) {
    case DInfoOutcome::Refused:
        return QStringLiteral(" (D-Info: Anfrage abgelehnt)");
    case DInfoOutcome::TimedOut:
        return QStringLiteral(" (D-Info: keine Antwort)");
    case DInfoOutcome::Unreadable:
        return QStringLiteral(" (D-Info: Antwort unlesbar)");
    default:
        return QStringLiteral(" (D-Info nicht erreichbar)");
    }
}

void TfmMain::LearnCaller(const AnsweredRing &ring, const QString &name)
{
    if (!FCallers)
        return;
    const RingDecision &d = ring.Decision;
    // The same unknown number may have rung again before its first call was shown: it is learned
    // once. Reads include additions still queued for the disk.
    if (FCallers->MatchCaller(d.Number).Found)
        return;
    try {
        FCallers->QueueAddCaller(d.Number, name);
    } catch (const InvalidInput &e) {
        // A number the directory cannot hold (the network sent characters no key may contain):
        // the call is shown and journalled, only not learned.
        qWarning("%s", qPrintable(e.message()));
    }
}

void TfmMain::PlayRingSounds()
{
    // Sounds wait for their end; a call that rings meanwhile is answered and shown, and its
    // sound follows this one.
    if (FPlayingSounds)
        return;
    FPlayingSounds = true;
    QPointer<TfmMain> self(this);
    while (self && !FClosed && !FSounds.empty()) {
        const QString msn = FSounds.front();
        FSounds.pop_front();
        PlayCallSound(FMsnList, msn, this);
    }
    if (self)
        FPlayingSounds = false;
}

void TfmMain::StoreUnshownRings()
{
    // A call whose look-up the end of the program broke off is learned by its number.
    if (FRingInLookUp) {
        LearnCaller(*FRingInLookUp, FRingInLookUp->Decision.NameToStore);
        FRingInLookUp = nullptr;
    }
    while (!FAnswered.empty()) {
        const AnsweredRing ring = std::move(FAnswered.front());
        FAnswered.pop_front();
        if (ring.LaterDisplay)
            continue; // nothing to show any more
        if (!ring.Stored)
            JournalRing(ring);
        if (!ring.Decision.Found)
            LearnCaller(ring, LookUpUnknownCaller(ring));
    }
    FSounds.clear();
}

void TfmMain::Image3Click()
{
    // Turned away as busy, as blocked callers are (0 would accept: the caller would be connected
    // to nothing and charged).
    Capi2->Answer(RingResult::Busy);
}

void TfmMain::OpenStores()
{
    FCallers = std::make_unique<CallerDirectory>();
    FJournal = std::make_unique<CallJournal>();
    // Queued saves fail on the stores' worker threads; the message goes to the main thread.
    auto report = [this](const IoError &error) {
        QMetaObject::invokeMethod(
            this, [this, error] { ReportStoreError(error); }, Qt::QueuedConnection);
    };
    FCallers->SetWriteErrorHandler(report);
    FJournal->SetWriteErrorHandler(report);
}

void TfmMain::ReportStoreError(const IoError &error)
{
    Q_ASSERT(OnMainThread());
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QDateTime &told = FStoreErrorsTold[error.message()];
    if (told.isValid() && told.secsTo(now) < kStoreErrorQuietSeconds)
        return;
    told = now;
    ShowMessageDlg(error.message());
}
