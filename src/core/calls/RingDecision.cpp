#include "calls/RingDecision.h"

#include "calls/CallerDirectory.h"
#include "calls/MsnList.h"
#include "capi/CapiTypes.h"

namespace {
const QString kBlockedSuffix = QStringLiteral(" --> gesperrt");
const QString kBlockedText = QStringLiteral("Anrufer ist gesperrt !");
const QString kIgnoredText = QStringLiteral("Anruf wird ignoriert !");
constexpr int kMaxNumber = 33;
constexpr int kMaxCallMsgNumber = 34;
constexpr int kDataService = 6;

// The texts of a call that passed the MSN filter, before it is turned away or not.
void ShowAsAnswered(RingDecision &d, const RingOptions &options, const QString &msn, const QString &service)
{
    d.ExtWin = options.ShowExtWin;
    if (options.ShowExtWin)
        d.Hint = service;
    d.Status = QStringLiteral("Anruf auf ") + msn + QStringLiteral(" !");
    d.CallMsgNumber = (msn + QStringLiteral(" !")).left(kMaxCallMsgNumber);
    d.Service = service;
}

// The texts of a call turned away as blocked, or as "Anrufe ignorieren" wants (its text stands
// for a blocked caller too).
void ShowTurnedAway(RingDecision &d, bool blocked, bool ignored)
{
    if (blocked) {
        d.ListSuffix = kBlockedSuffix;
        d.Status = kBlockedText;
        d.Hint = kBlockedText;
    }
    if (ignored) {
        d.Status = kIgnoredText;
        d.Hint = kIgnoredText;
    }
}

// The caller as shown: a text whose second character is the marker "#" without flag and marker.
QString labelOf(const QString &callerText)
{
    if (callerText.size() >= 2 && callerText.at(1) == QLatin1Char('#'))
        return callerText.mid(2);
    return callerText;
}
} // namespace

QString ServiceName(int code)
{
    switch (code & 0x7F) {
    case 2:
        return QStringLiteral("Analog");
    case 3:
        return QStringLiteral("Digital");
    case 4:
        return QStringLiteral("Fax Gr.3");
    case 5:
        return QStringLiteral("Fax Gr.4");
    case 6:
        return QStringLiteral("DFÜ 64000 bps");
    case 7:
        return QStringLiteral("DFÜ 56000 bps");
    default:
        return QStringLiteral("Unbekannt");
    }
}

FoundCaller FindCaller(const QString &number, const CallerDirectory &directory)
{
    // The caller text before the fall-backs to the number and "Analog" is the name an unknown
    // caller is learned with.
    const ResolvedCaller match = directory.MatchCaller(number);
    FoundCaller c;
    c.Found = match.Found;
    c.Blocked = match.Found && match.Blocked;
    c.Key = match.Found ? match.MatchedKey : match.Number;
    c.OwnKey = match.Number;
    c.NameToStore = match.Text;
    c.Text = CallerDirectory::FinishCallerText(match.Text, match.Number);
    return c;
}

RingCall RingCall::fromCallDaten(const TCallDaten &daten)
{
    RingCall call;
    call.Service = daten.Service;
    call.CallingNumber = CallingPartyDigits(daten.CallingPartyNumber);
    call.CallingType = RingCall::NumberType((daten.CallingPartyNumber.At(1) >> 4) & 0x07);
    call.Msn = CalledPartyDigits(daten.CalledPartyNumber);
    return call;
}

RingDecision DecideRing(const RingCall &call, const RingOptions &options, const CallerDirectory &directory)
{
    RingDecision d;
    // A call on a foreign MSN is left to the other terminals and leaves no trace here.
    if (!IsMsnAccepted(options.MsnList, call.Msn)) {
        d.Result = RingResult::Ignore;
        return d;
    }
    d.Passed = true;
    ShowAsAnswered(d, options, call.Msn, ServiceName(call.Service));

    // The line leaves out the national and international prefixes; "Null erzeugen" puts them back
    // as the directory writes numbers. A number of another type gets the "0" it always got.
    const QString prefix =
        call.CallingType == RingCall::NumberType::International ? QStringLiteral("00") : QStringLiteral("0");
    d.Number = options.CreateNull ? (prefix + call.CallingNumber).left(kMaxNumber) : call.CallingNumber;

    const FoundCaller caller = FindCaller(d.Number, directory);
    d.Found = caller.Found;
    d.Blocked = caller.Blocked;
    d.CallerKey = caller.Key;
    d.OwnKey = caller.OwnKey;
    d.NameToStore = caller.NameToStore;
    d.CallerText = caller.Text;
    d.Label = labelOf(d.CallerText);

    if (options.ServerMode && call.Service == kDataService) {
        // A data call for the transfer: accepted whoever calls.
        d.Status += QStringLiteral(" --> DATA_64K");
        d.Result = RingResult::Accept;
        return d;
    }
    d.Result = RingResult::AlertOnly;
    // A blocked entry is rejected also when its name is empty (it then shows the bare number).
    ShowTurnedAway(d, d.Blocked, options.IgnoreCalls);
    if (d.Blocked || options.IgnoreCalls)
        d.Result = RingResult::Busy;
    return d;
}

RingDecision DecideRemoteCall(const CallEvent &event, const RingOptions &options)
{
    RingDecision d;
    if (!IsMsnAccepted(options.MsnList, event.Msn))
        return d;
    d.Passed = true;
    ShowAsAnswered(d, options, event.Msn, event.Service);
    d.Number = event.Number;
    d.Blocked = event.Blocked;
    d.OwnKey = event.Number.isEmpty() ? QStringLiteral("0") : event.Number;
    d.CallerKey = d.OwnKey;
    d.Label = event.Name.isEmpty() ? d.OwnKey : event.Name;
    d.CallerText = d.Label;
    // Turned away there: blocked, or every call ignored on that copy.
    if (event.What == CallEvent::Kind::Rejected)
        ShowTurnedAway(d, event.Blocked, !event.Blocked);
    d.Result = RingResult::Ignore; // answered by the copy that owns the line
    return d;
}

void TakeLookedUpName(RingDecision &decision, const QString &name)
{
    // "F#" and the name must fit one directory value.
    decision.NameToStore = name.left(CallerDirectory::kMaxValueLength - 2);
    decision.CallerText = CallerDirectory::FinishCallerText(name, decision.Number);
    decision.Label = labelOf(decision.CallerText);
}

QString CallListEntry(const QTime &time, const RingDecision &decision)
{
    return time.toString(QStringLiteral("hh:mm:ss")) + QStringLiteral(" - ") + decision.Label +
           decision.ListSuffix;
}

CallListTarget CallListEntryTarget(const QString &entry, bool isLastEntry, const QString &lastCallerKey)
{
    constexpr int kHeadLength = 11; // "hh:mm:ss - "
    CallListTarget target;
    target.Head = entry.left(kHeadLength);
    QString tail = entry.mid(kHeadLength);
    if (!tail.isEmpty() && tail.front().isLetter()) {
        if (isLastEntry)
            target.Key = lastCallerKey;
        return target;
    }
    // A blocked caller without a name is shown by its number with the mark appended: the mark is
    // no part of the number.
    if (tail.endsWith(kBlockedSuffix))
        tail.chop(kBlockedSuffix.size());
    target.Key = tail;
    return target;
}
