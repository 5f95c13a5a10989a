// The network gives a terminal a few seconds to react to a call while the other phones already
// ring, so Ring() decides with what is fast and local and the component answers at once. The
// journal record, learning an unknown caller, showing the call and the sound follow on the main
// thread, call by call in the order they rang.
#include "monitor/CallPipeline.h"

#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "capi/Capi20.h"
#include "common/Clock.h"
#include "common/Errors.h"
#include "monitor/CapiSession.h"
#include "monitor/DInfoService.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QMetaObject>
#include <QPointer>
#include <QUuid>

#include <algorithm>

namespace {
// Calls are shown when no further ring has come for this long, but at the latest this long after
// the first of them rang: in a storm of calls each one still reaches the journal and the
// directory within moments of its answer.
constexpr int kRingSettleMs = 20;
constexpr int kRingSettleLimitMs = 200;
// The same failing save is reported again after this long at the earliest.
constexpr qint64 kStoreErrorQuietSeconds = 60;
// Calls whose end is waited for, at most.
constexpr size_t kLiveCalls = 64;
// The network's reason when another telephone on the line took the call.
constexpr uint16_t kNonSelectedUserClearing = 0x349A;

QString kindName(CallEvent::Kind kind)
{
    switch (kind) {
    case CallEvent::Kind::Ringing:
        return QStringLiteral("ringing");
    case CallEvent::Kind::Alerted:
        return QStringLiteral("alerted");
    case CallEvent::Kind::Accepted:
        return QStringLiteral("accepted");
    case CallEvent::Kind::Rejected:
        return QStringLiteral("rejected");
    case CallEvent::Kind::Ignored:
        return QStringLiteral("ignored");
    case CallEvent::Kind::Ended:
        return QStringLiteral("ended");
    case CallEvent::Kind::Missed:
        return QStringLiteral("missed");
    case CallEvent::Kind::Named:
        break;
    }
    return QStringLiteral("named");
}
} // namespace

CallPipeline::CallPipeline(CapiSession &session, DInfoService &dinfo, QObject *parent)
    : QObject(parent), m_session(session), m_dinfo(dinfo)
{
    m_showTimer.setSingleShot(true);
    connect(&m_showTimer, &QTimer::timeout, this, &CallPipeline::ShowRings);
    session.Capi().OnRing = [this](TCapi20 *, const TCallDaten &daten) { return Ring(daten); };
    session.Capi().OnCallEnded = [this](TCapi20 *, uint32_t plci, uint16_t reason) {
        CallEnded(plci, reason);
    };
    m_runId = QUuid::createUuid().toString(QUuid::WithoutBraces);
}

CallPipeline::~CallPipeline()
{
    // The component's message thread must not reach a pipeline that is gone.
    m_session.Capi().OnRing = nullptr;
    m_session.Capi().OnCallEnded = nullptr;
}

void CallPipeline::Open()
{
    m_callers = std::make_unique<CallerDirectory>();
    m_journal = std::make_unique<CallJournal>();
    // Queued saves fail on the stores' worker threads; the message goes to the main thread.
    auto report = [this](const IoError &error) {
        QMetaObject::invokeMethod(
            this, [this, error] { ReportStoreError(error); }, Qt::QueuedConnection);
    };
    m_callers->SetWriteErrorHandler(report);
    m_journal->SetWriteErrorHandler(report);
}

void CallPipeline::SetOptions(const MonitorOptions &options)
{
    m_options = options;
}

uint32_t CallPipeline::Ring(const TCallDaten &daten)
{
    if (!m_callers)
        return RingResult::Ignore; // not started yet: the call is left to the other terminals
    const RingCall call = RingCall::fromCallDaten(daten);
    AnsweredRing ring;
    ring.Rang = Clock::now();
    ring.Decision = DecideRing(call, m_options.Ring(), *m_callers);
    ring.CallId = m_runId + QLatin1Char('-') + QString::number(++m_callCount);
    // Told once the component has answered: the answer waits for nothing but the decision. Only
    // when someone listens (a broker is set): otherwise a ring costs nothing more.
    if (isSignalConnected(QMetaMethod::fromSignal(&CallPipeline::callEvent))) {
        RingFacts facts{daten.Plci, daten.CIPValue, call, ring.Decision, ring.Rang, ring.CallId};
        QMetaObject::invokeMethod(
            this, [this, facts = std::move(facts)] { TellRing(facts); }, Qt::QueuedConnection);
    }
    if (!ring.Decision.Passed)
        return ring.Decision.Result;
    ring.Msn = call.Msn;
    ring.Show = m_options.Show;
    ring.Beep = m_options.Beep;
    ring.WriteLog = m_options.WriteLog;
    const uint32_t result = ring.Decision.Result;
    QueueForShowing(std::move(ring));
    return result;
}

void CallPipeline::QueueForShowing(AnsweredRing ring)
{
    m_answered.push_back(std::move(ring));
    // Shown once the rings have settled: while calls come in quick succession, the main thread
    // answers them first, and the calls are shown right after, in order.
    if (!m_showTimer.isActive())
        m_showDue.setRemainingTime(kRingSettleLimitMs);
    m_showTimer.start(int(std::min<qint64>(kRingSettleMs, m_showDue.remainingTime())));
}

void CallPipeline::ShowRemoteCall(const QString &node, const CallEvent &event)
{
    switch (event.What) {
    case CallEvent::Kind::Alerted:
    case CallEvent::Kind::Accepted:
    case CallEvent::Kind::Rejected:
    case CallEvent::Kind::Ignored:
        break;
    default:
        return;
    }
    if (m_closed)
        return;
    AnsweredRing ring;
    ring.Decision = DecideRemoteCall(event, m_options.Ring());
    if (!ring.Decision.Passed)
        return;
    ring.CallId = event.CallId;
    ring.Node = node;
    ring.Msn = event.Msn;
    ring.Rang = event.Time.isValid() ? event.Time.toLocalTime() : Clock::now();
    ring.Show = m_options.Show;
    ring.Beep = m_options.Beep;
    ring.Stored = true; // the owning copy journals and learns it
    QueueForShowing(std::move(ring));
}

void CallPipeline::StoreRings()
{
    // The records do not wait for the calls to be shown: however many calls ring at once, and
    // however long a look-up or a dialog keeps the showing, each reaches the journal (and an
    // unknown caller the directory, unless a look-up is to name it first) right after its answer.
    for (AnsweredRing &ring : m_answered) {
        if (ring.LaterDisplay || ring.Stored)
            continue;
        ring.Stored = true;
        JournalRing(ring);
        if (!ring.Decision.Found && !WillLookUp(ring.Decision))
            LearnCaller(ring, ring.Decision.NameToStore);
    }
}

void CallPipeline::ShowRings()
{
    StoreRings();
    // A call that rings while an earlier one is being shown (a look-up or a dialog may wait for
    // events) is taken by the loop that is already running, so the order holds.
    if (m_showingRings || m_answered.empty())
        return;
    // Calls that ring while the directory program comes up are answered, and shown once it is
    // there to name them.
    if (m_dinfo.Starting()) {
        m_showTimer.start(kRingSettleMs);
        return;
    }
    m_showingRings = true;
    const AnsweredRing ring = std::move(m_answered.front());
    m_answered.pop_front();
    QPointer<CallPipeline> self(this);
    if (ring.LaterDisplay)
        ring.LaterDisplay();
    else
        ShowRing(ring);
    if (!self)
        return;
    m_showingRings = false;
    // One call per turn of the event loop, so a ring that comes meanwhile is answered before
    // the next call is shown (and puts the showing off until the rings settle again).
    if (!m_answered.empty())
        m_showTimer.start(0);
    else
        PlaySounds();
}

void CallPipeline::ShowAfterCalls(std::function<void()> work)
{
    if (m_answered.empty() && !m_showingRings) {
        work();
        return;
    }
    AnsweredRing later;
    later.LaterDisplay = std::move(work);
    m_answered.push_back(std::move(later));
    if (!m_showTimer.isActive())
        m_showTimer.start(0);
}

void CallPipeline::ShowRing(const AnsweredRing &ring)
{
    if (!ring.Stored)
        JournalRing(ring);
    if (ring.Decision.Found || !ring.Node.isEmpty()) {
        Display(ring);
    } else {
        // An unknown caller is looked up before the call is shown, so the window, the call list
        // and the directory all name the caller the look-up found.
        AnsweredRing named = ring;
        const QString name = LookUpUnknownCaller(ring);
        if (m_closed)
            return; // the program ended during the look-up and has stored the call
        if (name != ring.Decision.NameToStore) {
            TakeLookedUpName(named.Decision, name);
            CallEvent event;
            event.CallId = ring.CallId;
            event.Number = named.Decision.Number;
            event.Name = named.Decision.Label;
            event.Msn = ring.Msn;
            event.Service = named.Decision.Service;
            Tell(event, CallEvent::Kind::Named);
        }
        named.Decision.Status += m_lookUpFailure;
        m_lookUpFailure.clear();
        Display(named);
        LearnCaller(named, named.Decision.NameToStore);
    }
    if (ring.Beep)
        m_sounds.push_back(ring.Msn);
}

void CallPipeline::Display(const AnsweredRing &ring)
{
    ShownCall call;
    // Counted before the window shows it: the call list the user looks at is the one before.
    if (MissedCalls::Counts(ring.Decision) && !m_options.CallListInView) {
        m_missed.Add(ring.Rang, ring.Decision.Label);
        call.Missed = true;
    }
    call.Decision = ring.Decision;
    call.Msn = ring.Msn;
    call.Rang = ring.Rang;
    call.Show = ring.Show;
    call.Node = ring.Node;
    emit callShown(call);
}

bool CallPipeline::LookedAtCalls()
{
    if (m_missed.Count() == 0)
        return false;
    m_missed.Clear();
    return true;
}

void CallPipeline::JournalRing(const AnsweredRing &ring)
{
    if (!ring.WriteLog || !m_journal)
        return;
    // Stamped with the moment of the ring, written by the journal's worker thread.
    m_journal->QueueCall(ring.Decision.CallerKey, ring.Msn, ring.Rang);
}

QString CallPipeline::LookUpUnknownCaller(const AnsweredRing &ring)
{
    // Without the look-up the caller is learned by its number (or nameless); never while the
    // program ends, and never for a call without a number.
    const RingDecision &d = ring.Decision;
    if (!WillLookUp(d))
        return d.NameToStore;
    // The look-up waits for the directory program's answer while later calls are answered; the
    // call it serves is stored by Close() should the program end meanwhile.
    m_ringInLookUp = &ring;
    // Without a running directory program (its start failed) there is nothing to wait for.
    const bool progress = d.ExtWin && m_dinfo.Running();
    if (progress)
        emit lookUpStarted(d.Number);
    QString name = d.NameToStore;
    const DInfoSearch search = m_dinfo.LookUp(d.Number, name);
    if (progress)
        emit lookUpFinished();
    m_ringInLookUp = nullptr;
    if (!search.failed()) {
        m_lookUpFailureTold = false;
    } else if (!m_lookUpFailureTold && !m_closed) {
        // Told once, in the status line of the call, until a look-up succeeds again; the caller
        // keeps the number.
        m_lookUpFailureTold = true;
        m_lookUpFailure = LookUpFailureText(search);
    }
    return search.found() ? name : d.NameToStore;
}

bool CallPipeline::WillLookUp(const RingDecision &decision) const
{
    return !m_closing && !m_closed && m_options.RunDInfo && decision.Number.size() >= 2;
}

QString CallPipeline::LookUpFailureText(const DInfoSearch &search)
{
    switch (search.Outcome) {
    case DInfoOutcome::Refused:
        return QCoreApplication::translate("CallPipeline", " (D-Info: Anfrage abgelehnt)");
    case DInfoOutcome::TimedOut:
        return QCoreApplication::translate("CallPipeline", " (D-Info: keine Antwort)");
    case DInfoOutcome::Unreadable:
        return QCoreApplication::translate("CallPipeline", " (D-Info: Antwort unlesbar)");
    default:
        return QCoreApplication::translate("CallPipeline", " (D-Info nicht erreichbar)");
    }
}

void CallPipeline::LearnCaller(const AnsweredRing &ring, const QString &name)
{
    if (!m_callers)
        return;
    const RingDecision &d = ring.Decision;
    // The same unknown number may have rung again before its first call was shown: it is learned
    // once. Reads include additions still queued for the disk.
    if (m_callers->MatchCaller(d.Number).Found)
        return;
    try {
        m_callers->QueueAddCaller(d.Number, name);
    } catch (const InvalidInput &e) {
        // A number the directory cannot hold (the network sent characters no key may contain):
        // the call is shown and journalled, only not learned.
        qWarning("%s", qPrintable(e.message()));
    }
}

void CallPipeline::PlaySounds()
{
    // Sounds wait for their end; a call that rings meanwhile is answered and shown, and its
    // sound follows this one.
    if (m_playingSounds)
        return;
    m_playingSounds = true;
    QPointer<CallPipeline> self(this);
    while (self && !m_closed && !m_sounds.empty()) {
        const QString msn = m_sounds.front();
        m_sounds.pop_front();
        emit soundDue(msn);
    }
    if (self)
        m_playingSounds = false;
}

void CallPipeline::StoreUnshownRings()
{
    // A call whose look-up the end of the program broke off is learned by its number.
    if (m_ringInLookUp) {
        LearnCaller(*m_ringInLookUp, m_ringInLookUp->Decision.NameToStore);
        m_ringInLookUp = nullptr;
    }
    while (!m_answered.empty()) {
        const AnsweredRing ring = std::move(m_answered.front());
        m_answered.pop_front();
        if (ring.LaterDisplay)
            continue; // nothing to show any more
        if (!ring.Stored)
            JournalRing(ring);
        if (!ring.Decision.Found && ring.Node.isEmpty())
            LearnCaller(ring, LookUpUnknownCaller(ring));
    }
    m_sounds.clear();
}

void CallPipeline::Flush(const RetryQuestion &retry)
{
    for (;;) {
        try {
            if (m_callers)
                m_callers->Flush();
            if (m_journal)
                m_journal->Flush();
            return;
        } catch (const IoError &e) {
            if (!retry(e))
                return;
        }
    }
}

void CallPipeline::Close(const RetryQuestion &retry)
{
    if (m_closed)
        return;
    m_closed = true;
    m_showTimer.stop();
    // The directory program ends with the program; a look-up that waits for it ends now.
    m_dinfo.Stop();
    // Calls answered but not yet shown still reach the files, and nothing queued is dropped
    // silently: a save that fails now (a full disk) is asked about, and may be tried again.
    StoreUnshownRings();
    Flush(retry);
    m_callers.reset();
    m_journal.reset();
}

void CallPipeline::ReportStoreError(const IoError &error)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QDateTime &told = m_storeErrorsTold[error.message()];
    if (told.isValid() && told.secsTo(now) < kStoreErrorQuietSeconds)
        return;
    told = now;
    emit storeError(error.message());
}

void CallPipeline::TellRing(const RingFacts &facts)
{
    RingDecision d = facts.Decision;
    // A call on a foreign MSN was answered without looking at the caller; it is named here,
    // after the answer, as it would be on an MSN of this line.
    if (!d.Passed && m_callers) {
        RingOptions all = m_options.Ring();
        all.MsnList.clear();
        const uint32_t result = d.Result;
        d = DecideRing(facts.Call, all, *m_callers);
        d.Result = result;
    }
    CallEvent event;
    event.CallId = facts.CallId;
    event.Time = facts.Rang;
    event.Number = d.Number;
    event.Name = d.Label;
    event.Msn = facts.Call.Msn;
    event.Service = d.Service;
    event.Cip = facts.Cip;
    event.Blocked = d.Blocked;
    Tell(event, CallEvent::Kind::Ringing);

    CallEvent::Kind answer = CallEvent::Kind::Ignored;
    switch (d.Result) {
    case RingResult::AlertOnly:
        answer = CallEvent::Kind::Alerted;
        break;
    case RingResult::Accept:
        answer = CallEvent::Kind::Accepted;
        break;
    case RingResult::Ignore:
        break;
    default:
        answer = CallEvent::Kind::Rejected;
        break;
    }
    Tell(event, answer);
    if (answer != CallEvent::Kind::Alerted && answer != CallEvent::Kind::Accepted)
        return;
    // Its end is told when the network ends it.
    m_liveCalls[facts.Plci] = {event, answer == CallEvent::Kind::Accepted, m_callCount};
    if (m_liveCalls.size() > kLiveCalls) {
        auto oldest =
            std::min_element(m_liveCalls.begin(), m_liveCalls.end(),
                             [](const auto &a, const auto &b) { return a.second.Order < b.second.Order; });
        m_liveCalls.erase(oldest);
    }
}

void CallPipeline::CallEnded(uint32_t plci, uint16_t reason)
{
    const auto it = m_liveCalls.find(plci);
    if (it == m_liveCalls.end())
        return; // turned away, or not one of the calls told
    CallEvent event = it->second.Event;
    const bool taken = it->second.Taken;
    m_liveCalls.erase(it);
    event.Cause = reason;
    // Another telephone took it: answered, not missed.
    const bool answered = taken || reason == kNonSelectedUserClearing;
    Tell(event, answered ? CallEvent::Kind::Ended : CallEvent::Kind::Missed);
}

void CallPipeline::Tell(CallEvent event, CallEvent::Kind what)
{
    event.What = what;
    event.MessageId = event.CallId + QLatin1Char('/') + kindName(what);
    if (what != CallEvent::Kind::Ringing || !event.Time.isValid())
        event.Time = Clock::now();
    emit callEvent(event);
}
