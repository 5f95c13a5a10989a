#pragma once

#include "calls/CallEvent.h"
#include "calls/MissedCalls.h"
#include "calls/RingDecision.h"
#include "monitor/MonitorOptions.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>

class CallJournal;
class CallerDirectory;
class CapiSession;
class DInfoService;
class IoError;
struct DInfoSearch;
struct TCallDaten;

// A call the window is to show, once decided, journalled and (for an unknown caller) named.
struct ShownCall
{
    RingDecision Decision; // the texts, with the name a look-up found
    QString Msn;
    QDateTime Rang;      // when it rang: the call list time and the journal stamp
    bool Show = false;   // "Anzeigen bei Anruf"
    bool Missed = false; // counted among the missed calls (Missed() changed)
    QString Node;        // the copy on the network that owns the call; empty: this copy's line
};

// Everything an incoming call does that touches no window. The component's ring handler asks it
// for the answer (Ring(), at once, from what is fast and local); once the rings settle, it
// journals each call, names an unknown caller (the automatic look-up), learns it, counts the calls
// the user may miss and hands each call to the window (callShown), in the order they rang. Display
// work of later events of the line waits behind the calls answered before it (ShowAfterCalls).
// The sounds follow when no call is left to show.
//
// It owns the caller directory and the journal (Open()); a failed queued save is told through
// storeError, the same message not more than once a minute.
class CallPipeline : public QObject
{
    Q_OBJECT
public:
    // Installs itself as the session's ring handler.
    CallPipeline(CapiSession &session, DInfoService &dinfo, QObject *parent = nullptr);
    ~CallPipeline() override;

    // Opens the caller directory and the journal.
    void Open();
    CallerDirectory *Callers() const { return m_callers.get(); }
    CallJournal *Journal() const { return m_journal.get(); }

    void SetOptions(const MonitorOptions &options);
    const MonitorOptions &Options() const { return m_options; }

    // The ring handler, on the main thread while the network waits: the ring result.
    uint32_t Ring(const TCallDaten &daten);
    // Answered calls wait for the rings to settle before they are shown.
    bool Settling() const { return m_showTimer.isActive(); }
    // A call another copy on the network answered (this copy shows calls only): shown as a call
    // of this line would be, through this copy's MSN list, missed calls and sounds, but never
    // answered, journalled or learned. Its answer (alerted, accepted, rejected, ignored) shows
    // it; its other events change nothing here.
    void ShowRemoteCall(const QString &node, const CallEvent &event);
    // Runs display work of a later event of the line (connected, disconnected ...) after every
    // call that was answered before it has been shown, so the texts keep their order: at once
    // when none waits.
    void ShowAfterCalls(std::function<void()> work);

    // The calls that came since the user last looked at the call list or the journal.
    const MissedCalls &Missed() const { return m_missed; }
    // The user looked at the calls: the count and the list clear. False when nothing was missed.
    bool LookedAtCalls();

    // Asks for a retry of a failed save; false gives it up (what could not be written stays
    // unsaved).
    using RetryQuestion = std::function<bool(const IoError &error)>;
    // Writes what the stores have queued.
    void Flush(const RetryQuestion &retry);
    // The program is about to end: no look-up starts any more.
    void BeginClose() { m_closing = true; }
    // The end: the look-up waiting ends, the calls not yet shown still reach the journal and the
    // directory, everything queued is written, and the stores close.
    void Close(const RetryQuestion &retry);

signals:
    // One per call, in the order they rang.
    void callShown(const ShownCall &call);
    // The automatic look-up of a caller shown in the notification window starts and ends (the
    // window shows its progress window meanwhile).
    void lookUpStarted(const QString &number);
    void lookUpFinished();
    // A call's sound is due (the MSN it rang on); sounds come one after the other, after the
    // calls were shown. The receiver may wait for the sound's end.
    void soundDue(const QString &msn);
    // A queued save failed on a store's worker thread.
    void storeError(const QString &message);
    // Each thing that happens to a call, for other programs, once the network has its answer:
    // the ring and its answer, the end (ended or missed) of a call left ringing or taken, and a
    // name the look-up found later. Every call the line offers is told, also one on a foreign MSN
    // (Ignored), which leaves no other trace.
    void callEvent(const CallEvent &event);

private:
    // A call that has been answered and is still to be shown, journalled, learned and sounded.
    struct AnsweredRing
    {
        QString CallId;
        QString Node; // a call of another copy (ShowRemoteCall)
        RingDecision Decision;
        QString Msn;
        QDateTime Rang;
        bool Show = false;
        bool Beep = false;
        bool WriteLog = false;
        bool Stored = false; // journalled (and learned, unless a look-up is to name it)
        // Set instead of a call: display work of a later event, waiting its turn.
        std::function<void()> LaterDisplay;
    };
    void ShowRings();
    void StoreRings();
    void ShowRing(const AnsweredRing &ring);
    void Display(const AnsweredRing &ring);
    void QueueForShowing(AnsweredRing ring);
    void JournalRing(const AnsweredRing &ring);
    QString LookUpUnknownCaller(const AnsweredRing &ring);
    bool WillLookUp(const RingDecision &decision) const;
    static QString LookUpFailureText(const DInfoSearch &search);
    void LearnCaller(const AnsweredRing &ring, const QString &name);
    void PlaySounds();
    void StoreUnshownRings();
    void ReportStoreError(const IoError &error);
    // The events of a ring, told after the answer: posted to run once Ring() has returned.
    struct RingFacts
    {
        uint32_t Plci = 0;
        uint32_t Cip = 0;
        RingCall Call;
        RingDecision Decision; // as answered (for a call on a foreign MSN: only its result)
        QDateTime Rang;
        QString CallId;
    };
    void TellRing(const RingFacts &facts);
    void CallEnded(uint32_t plci, uint16_t reason);
    void Tell(CallEvent event, CallEvent::Kind what);

    CapiSession &m_session;
    DInfoService &m_dinfo;
    MonitorOptions m_options;
    std::unique_ptr<CallerDirectory> m_callers;
    std::unique_ptr<CallJournal> m_journal;
    MissedCalls m_missed;

    std::deque<AnsweredRing> m_answered;
    QTimer m_showTimer;
    QDeadlineTimer m_showDue; // the latest moment the waiting calls are shown
    std::deque<QString> m_sounds;
    bool m_showingRings = false;
    bool m_playingSounds = false;
    bool m_closing = false;
    bool m_closed = false;

    // The call whose look-up waits for the directory program, and the failure of the last
    // look-up, told in the status line once until a look-up succeeds again.
    const AnsweredRing *m_ringInLookUp = nullptr;
    bool m_lookUpFailureTold = false;
    QString m_lookUpFailure;
    // When each failed save was last reported.
    QHash<QString, QDateTime> m_storeErrorsTold;

    // Calls left ringing or taken, by PLCI, until the network ends them (at most kLiveCalls: a
    // call whose end never came gives way to newer ones).
    struct LiveCall
    {
        CallEvent Event; // the ring's event
        bool Taken = false;
        quint64 Order = 0;
    };
    std::map<uint32_t, LiveCall> m_liveCalls;
    // Call ids: this run's random part and a count.
    QString m_runId;
    quint64 m_callCount = 0;
};
