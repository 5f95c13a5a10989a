#pragma once

// What the call logic (src/core/calls) shares with the CAPI component without needing the
// component itself: the answers to a ring and the services a listen request selects. The
// incoming-call record TCallDaten is decoded with its numbers in capi/CapiCodec.h.

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
