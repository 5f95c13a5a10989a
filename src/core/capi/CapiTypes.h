#pragma once

// What the call logic (src/core/calls) shares with the CAPI component without needing the
// component itself: the incoming-call record with its numbers, the answers to a ring and the
// services a listen request selects. The record is decoded in capi/CapiCodec.

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

// Ring results (what OnRing returns).
namespace RingResult {
constexpr uint32_t Accept = 0;
constexpr uint32_t Ignore = 1;
constexpr uint32_t Busy = 3;
constexpr uint32_t AlertOnly = 0xF000;
} // namespace RingResult

// ServiceMask bits of Listen and the CIP mask bits they select.
namespace ServiceBit {
constexpr uint16_t All = 0x0001;
constexpr uint16_t AnalogTelephony = 0x0004;
constexpr uint16_t DigitalTelephony = 0x0008;
constexpr uint16_t Fax3 = 0x0010;
constexpr uint16_t Fax4 = 0x0020;
constexpr uint16_t Data64K = 0x0040;
constexpr uint16_t Data56K = 0x0080;
constexpr uint16_t Unknown = 0x0100;
} // namespace ServiceBit
constexpr uint32_t LISTEN_ALL = 0x1FFF03FF;
constexpr uint32_t LISTEN_ANALOG_TELEPHONY = 0x00010;
constexpr uint32_t LISTEN_DIGITAL_TELEPHONY = 0x00002;
constexpr uint32_t LISTEN_FAX3 = 0x20010;
constexpr uint32_t LISTEN_FAX4 = 0x40004;
constexpr uint32_t LISTEN_DATA_64K = 0x00004;
constexpr uint32_t LISTEN_DATA_56K = 0x00100;

uint32_t CipMaskOfServiceMask(uint16_t serviceMask);

// A counted string of at most 32 characters holding a party-number struct as received (its type,
// plan and presentation octets in front of the digits), or the own number as typed.
struct TCallNumber
{
    static constexpr std::size_t MaxLength = 32;
    uint8_t Length = 0;
    std::array<uint8_t, MaxLength> Chars{};

    static TCallNumber FromBytes(const uint8_t *data, std::size_t count);
    static TCallNumber FromString(const QString &text); // Latin-1, cut to 32 characters
    QByteArray ToByteArray() const;
    QString ToString() const; // all characters, Latin-1
    bool IsEmpty() const { return Length == 0; }
    // Character n (1-based, as the octets are counted); 0 beyond the length.
    uint8_t At(int n) const
    {
        return n >= 1 && n <= Length && n <= int(MaxLength) ? Chars[std::size_t(n - 1)] : 0;
    }
    bool operator==(const TCallNumber &other) const
    {
        return Length == other.Length &&
               std::equal(Chars.begin(), Chars.begin() + Length, other.Chars.begin());
    }
};

// The digits of a calling party number (from character 3) and of a called party number (from
// character 2).
QString CallingPartyDigits(const TCallNumber &number);
QString CalledPartyDigits(const TCallNumber &number);

// The incoming-call record handed to the ring event.
struct TCallDaten
{
    uint32_t Plci = 0; // the call's PLCI: its end (OnCallEnded) names it
    uint8_t Service = 0;
    uint32_t CIPValue = 0;
    TCallNumber CallingPartyNumber;
    TCallNumber CallingPartySubaddress;
    TCallNumber CalledPartyNumber;
    TCallNumber CalledPartySubaddress;
};
