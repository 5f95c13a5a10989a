#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

// One thing that happened to an incoming call, as the monitor tells it to other programs (the
// MQTT publisher) once the network has its answer. Every event of one call carries the same
// CallId; every event has a MessageId of its own, so a receiver that gets one twice can tell.
struct CallEvent
{
    enum class Kind
    {
        Ringing,  // the call came in (always the first event of a call)
        Alerted,  // left ringing at the telephones
        Accepted, // taken by this program (a data call in server mode)
        Rejected, // turned away as busy (a blocked caller, or "Anrufe ignorieren")
        Ignored,  // not for this line's MSNs, or not a service this program takes
        Ended,    // over, after someone took it (here or at another telephone)
        Missed,   // over before anyone took it
        Named,    // the look-up named the unknown caller afterwards
    };

    Kind What = Kind::Ringing;
    QString CallId;    // the same for every event of one call
    QString MessageId; // unique per event
    QDateTime Time;    // local time, with its offset from UTC
    QString Number;    // the calling number as the program has it (after "Null erzeugen"); may be empty
    QString Name;      // the caller as shown (the number when unknown)
    QString Msn;       // the called line number
    QString Service;   // the service's display name
    uint32_t Cip = 0;  // the service's CIP value
    bool Blocked = false;
    // Ended and Missed: the network's cause (CAPI reason, e.g. 0x3490 normal clearing); else 0.
    uint16_t Cause = 0;
};
