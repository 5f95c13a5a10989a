#pragma once

// What the program does with an incoming call, decided from what is fast and local: the MSN
// filter, the caller directory, the options and server mode. The main window's ring handler
// answers the network with `Result` at once and shows, journals, learns and sounds the call
// afterwards from the same decision, so every step of a call sees the same texts.

#include "calls/CallEvent.h"

#include <QString>
#include <QTime>
#include <cstdint>

class CallerDirectory;
struct TCallDaten;

// Display name of a service code; only its low 7 bits count ("Unbekannt" for codes without one).
QString ServiceName(int code);

// The caller of a number, as the directory names it. This is the look-up of the ring handler;
// learning an unknown caller and the journal record come after the answer (TfmMain).
struct FoundCaller
{
    QString Text;   // the caller text: the found value with flag and marker, else the number; "Analog" for
                    // fewer than 2 digits
    QString Key;    // the matched key ("030*" for a group key), or the number to learn ("0" when empty)
    QString OwnKey; // the caller's own key: the number ("0" when empty), also when a group key matched
    bool Found = false;   // matched a directory entry
    bool Blocked = false; // the matched entry is blocked (also when its name is empty)
    QString NameToStore;  // the name an unknown caller is learned with: the number, or empty
};
FoundCaller FindCaller(const QString &number, const CallerDirectory &directory);

// The options the decision reads, as the main window holds them when the call rings.
struct RingOptions
{
    QString MsnList;          // FMsnList, the text of ISDN_Msn
    bool CreateNull = false;  // "Null erzeugen": the prefix of its type goes in front of the calling number
    bool ShowExtWin = false;  // "Externes Fenster": the notification window instead of the main window
    bool IgnoreCalls = false; // "Anrufe ignorieren": every call that passes the MSN filter is turned away
    bool ServerMode = false;  // data calls (service 6) are accepted
};

// The parts of an incoming call the decision uses.
struct RingCall
{
    int Service = 0;       // service number (2 analog ... 8 unknown)
    QString CallingNumber; // digits of the calling party number; empty for a call without number
    QString Msn;           // digits of the called party number
    // Type of number of the calling party number (its first octet, mask 0x70).
    enum class NumberType
    {
        Unknown = 0,
        International = 1,
        National = 2,
        Subscriber = 4
    };
    NumberType CallingType = NumberType::Unknown;

    static RingCall fromCallDaten(const TCallDaten &daten);
};

struct RingDecision
{
    // Ring result for the component: 0 accept, 1 ignore, 3 busy, 0xF000 alert and leave ringing.
    uint32_t Result = 1;
    // False when the MSN filter turned the call away: then nothing else is shown or stored.
    bool Passed = false;

    QString Number;     // the number looked up ("0", "00" for an international one, in front with
                        // "Null erzeugen"; may be empty)
    QString CallerText; // the directory's text for the caller, flag and marker included
    QString Label;      // the caller as shown: CallerText without flag and marker
    QString CallerKey;  // the matched key ("030*" for a group key), or the number to learn ("0" when empty)
    // The caller's own key, which naming or blocking this caller acts on: the number ("0" when
    // empty), also when a group key such as 030* or a shorter number matched.
    QString OwnKey;
    bool Found = false; // matched a directory entry
    bool Blocked = false;
    QString NameToStore; // the name an unknown caller is learned with

    QString Status;        // the final status line text
    QString Hint;          // hint of the notification window (empty: the window keeps its own)
    QString ListSuffix;    // appended to the call list entry: " --> gesperrt" for a blocked caller
    QString CallMsgNumber; // number line of the notification window: MSN + " !", at most 34 characters
    QString Service;       // the service's display name (ServiceName)

    bool ExtWin = false; // shown in the notification window (else in the main window)
};

// Decides a call. Reads the directory (queued additions included) and nothing else; writes
// nothing. A directory that cannot be read is an empty one.
RingDecision DecideRing(const RingCall &call, const RingOptions &options, const CallerDirectory &directory);

// A call another copy on the network answered (this copy shows calls only): the same texts as a
// call of this line, from what that copy told (CallEvent: its answer), filtered by this copy's
// MSN list. Its result is "ignore": nothing here answers it.
RingDecision DecideRemoteCall(const CallEvent &event, const RingOptions &options);

// An unknown caller named by the directory look-up: the call shows `name` (as the directory
// would show the value "F#<name>") and is learned with it, cut to what a directory value holds.
void TakeLookedUpName(RingDecision &decision, const QString &name);

// The call list entry: time as hh:mm:ss, " - ", the caller as shown, and the suffix.
QString CallListEntry(const QTime &time, const RingDecision &decision);

// What a double-click on a call list entry opens the caller record dialog for. The entry is
// its head (time and " - ", 11 characters) and the caller as shown. A caller shown by a name
// (or as "Analog") stands for the last call's key (the window passes the caller's own key,
// RingDecision::OwnKey), and only while its entry is the last one;
// otherwise the caller shown is the number, without the mark of a blocked caller. `Key` is
// empty when the entry opens nothing.
struct CallListTarget
{
    QString Head;
    QString Key;
};
CallListTarget CallListEntryTarget(const QString &entry, bool isLastEntry, const QString &lastCallerKey);
