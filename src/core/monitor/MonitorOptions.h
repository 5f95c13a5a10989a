#pragma once

#include "calls/RingDecision.h"

#include <QString>

// What the monitor does with a call, as one value: the stored options as they stand, and the few
// states the window sets that are never stored. The window hands a new value over whenever one of
// them changes; nothing in the monitor reads a control.
struct MonitorOptions
{
    // ---- stored options
    QString MsnList;         // the MSN list setting: the MSN filter and the sound per MSN
    bool CreateNull = false; // "Null erzeugen": a "0" goes in front of the calling number
    bool ShowExtWin = false; // "Externes Fenster": calls are shown in the notification window
    bool Show = false;       // "Anzeigen bei Anruf": a call brings the main window up
    bool Beep = false;       // "Beep / Sound  bei Anruf"
    bool WriteLog = false;   // "Protokoll schreiben": calls go to the journal
    bool RunDInfo = false;   // "Anrufer bei Anruf aus D-Info ermitteln": unknown callers are looked up

    // ---- states of the window, never stored
    bool IgnoreCalls = false;    // "Anrufe ignorieren": every call that passes the MSN filter is turned away
    bool ServerMode = false;     // data calls are accepted for the file transfer
    bool CallListInView = false; // the user looks at the call list: calls are not missed

    // The stored options as the settings hold them; the window's states stay as they are.
    static MonitorOptions FromSettings();

    RingOptions Ring() const
    {
        RingOptions o;
        o.MsnList = MsnList;
        o.CreateNull = CreateNull;
        o.ShowExtWin = ShowExtWin;
        o.IgnoreCalls = IgnoreCalls;
        o.ServerMode = ServerMode;
        return o;
    }
};
