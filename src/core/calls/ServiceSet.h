#pragma once

#include <QString>
#include <QtGlobal>
#include <array>

// The service filter: which kinds of incoming call the CAPI driver is asked to report. The
// choice is stored as tokens in ISDN_Service; the main window turns it into a service set (one
// bit per service code) when it starts listening, and the listen request turns the set into
// the CIP mask (CipMaskOfServiceMask of the CAPI component).
namespace ServiceSet {
struct Service
{
    const char *caption; // check box of the service window (translated in the context "ServiceSet")
    const char *token;   // stored in ISDN_Service, followed by ","
    quint16 bit;         // the service's bit (ServiceBit of the CAPI component)
};
// In the order of the service window's boxes cbServ1 to cbServ8.
inline constexpr std::array<Service, 8> kServices = {{
    {QT_TRANSLATE_NOOP("ServiceSet", "Alle Anrufe"), "ALL", 0x0001},
    {QT_TRANSLATE_NOOP("ServiceSet", "Analog"), "ANALOG_TELEPHONY", 0x0004},
    {QT_TRANSLATE_NOOP("ServiceSet", "Digital"), "DIGITAL_TELEPHONY", 0x0008},
    {QT_TRANSLATE_NOOP("ServiceSet", "Fax Gruppe 3"), "FAX3", 0x0010},
    {QT_TRANSLATE_NOOP("ServiceSet", "Fax Gruppe 4"), "FAX4", 0x0020},
    {QT_TRANSLATE_NOOP("ServiceSet", "DFÜ 64K"), "DATA_64K", 0x0040},
    {QT_TRANSLATE_NOOP("ServiceSet", "DFÜ 56K"), "DATA_56K", 0x0080},
    {QT_TRANSLATE_NOOP("ServiceSet", "Unbekannte Dienste"), "UNKNOWN", 0x0100},
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
} // namespace ServiceSet
