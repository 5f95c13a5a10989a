#pragma once

#include <QString>
#include <QtGlobal>
#include <array>

// The service filter: which kinds of incoming call the CAPI driver is asked to report. The
// choice is stored as tokens in ISDN_Service; the main window turns it into a service set (one
// bit per service code) when it starts listening, and the listen request turns the set into
// the CIP mask.
namespace ServiceSet {
enum Bit : quint16
{
    All = 0x0001,
    Analog = 0x0004,
    Digital = 0x0008,
    Fax3 = 0x0010,
    Fax4 = 0x0020,
    Data64 = 0x0040,
    Data56 = 0x0080,
    Unknown = 0x0100,
};

// CIP mask bits of the listen request.
inline constexpr quint32 kCipAll = 0x1FFF03FF; // CIP values 0 to 9 and 16 to 28
inline constexpr quint32 LISTEN_ANALOG_TELEPHONY = 0x00010;
inline constexpr quint32 LISTEN_DIGITAL_TELEPHONY = 0x00002;
inline constexpr quint32 LISTEN_FAX3 = 0x20010;
inline constexpr quint32 LISTEN_FAX4 = 0x40004;
inline constexpr quint32 LISTEN_DATA_64K = 0x00004;
inline constexpr quint32 LISTEN_DATA_56K = 0x00100;

struct Service
{
    const char *caption; // check box of the service window
    const char *token;   // stored in ISDN_Service, followed by ","
    quint16 bit;
};
// In the order of the service window's boxes cbServ1 to cbServ8.
inline constexpr std::array<Service, 8> kServices = {{
    {"Alle Anrufe", "ALL", All},
    {"Analog", "ANALOG_TELEPHONY", Analog},
    {"Digital", "DIGITAL_TELEPHONY", Digital},
    {"Fax Gruppe 3", "FAX3", Fax3},
    {"Fax Gruppe 4", "FAX4", Fax4},
    {"DFÜ 64K", "DATA_64K", Data64},
    {"DFÜ 56K", "DATA_56K", Data56},
    {"Unbekannte Dienste", "UNKNOWN", Unknown},
}};

using Choice = std::array<bool, kServices.size()>;

// The boxes as the service window shows them: an empty setting checks "Alle Anrufe" alone;
// otherwise a box is checked exactly when its token occurs in the setting.
Choice choiceFromSetting(const QString &setting);
// The setting for the checked boxes: their tokens in box order, each followed by ",".
QString settingFromChoice(const Choice &choice);
// The service set of a setting: {All} when it is empty or contains "ALL"; otherwise the bit of
// each service whose token occurs in it.
quint16 fromSetting(const QString &setting);
// Server mode: with the external notification window on, only data 64 kbit/s calls; otherwise
// data 64 kbit/s calls in addition.
quint16 forServerMode(quint16 set, bool externalWindow);
// The CIP mask of a service set: All gives the whole mask by itself; otherwise the union of the
// chosen services' bits. "DFÜ 56K" selects 56 kbit/s data calls; "Unbekannte Dienste" adds no
// bit (calls of other services reach the program only through "Alle Anrufe").
quint32 cipMask(quint16 set);
} // namespace ServiceSet
