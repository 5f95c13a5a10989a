// The message codec: the bytes of every message the program builds, the decoding of fetched
// messages, TCallNumber and the service tables; random and truncated messages through decoding.

#include "FakeCapi.h"
#include "capi/CapiCodec.h"

#include <gtest/gtest.h>

#include <random>

using namespace Capi;

namespace {

Bytes Build(uint8_t command, uint8_t subCommand, uint16_t msgNumber, const CapiParams &params,
            uint16_t applId = 0x0102)
{
    Bytes buffer(MessageBufferBytes, 0xEE);
    const std::size_t length = BuildMessage(buffer.data(), applId, command, subCommand, msgNumber, params);
    buffer.resize(length);
    return buffer;
}

const Bytes kAddInfo = {0x06, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00};

} // namespace

TEST(CodecBuild, ConnectReqDialling123AsData)
{
    const Bytes m = Build(0x02, 0x80, 5, ConnectReq(1, CipOfService(6), "123", TCallNumber(), 0, 0, 0));
    const Bytes expected = Cat({{0x2C, 0x00, 0x02, 0x01, 0x02, 0x80, 0x05, 0x00},
                                Le32(1),
                                {0x02, 0x00},
                                {0x04, 0x80, 0x31, 0x32, 0x33},
                                {0x02, 0x00, 0xA0},
                                {0x00},
                                {0x00},
                                {0x09, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                {0x00, 0x00, 0x00},
                                kAddInfo});
    EXPECT_EQ(m, expected);
    const Bytes own = Build(
        0x02, 0x80, 5, ConnectReq(1, 2, "123", TCallNumber::FromString(QStringLiteral("4711")), 0, 0, 0));
    EXPECT_EQ(own.size(), 48u);
    EXPECT_EQ(Bytes(own.begin() + 19, own.begin() + 26), (Bytes{0x06, 0x00, 0x80, 0x34, 0x37, 0x31, 0x31}));
}

TEST(CodecBuild, ConnectRespBothForms)
{
    const Bytes accept = Build(0x02, 0x83, 0x4001, ConnectResp(0x101, 0, 0, 0, 0, TCallNumber()));
    EXPECT_EQ(accept, Cat({{0x24, 0x00, 0x02, 0x01, 0x02, 0x83, 0x01, 0x40},
                           Le32(0x101),
                           {0x00, 0x00},
                           {0x09, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                           {0x02, 0x00, 0xA0},
                           {0x00, 0x00},
                           kAddInfo}));
    const Bytes busy = Build(0x02, 0x83, 0x4001, ConnectRespBusy(0x101));
    EXPECT_EQ(busy, Cat({{0x1F, 0x00, 0x02, 0x01, 0x02, 0x83, 0x01, 0x40},
                         Le32(0x101),
                         {0x03, 0x00},
                         {0x06, 0, 0, 0, 0, 0, 0},
                         {0x00},
                         {0x00, 0x00},
                         kAddInfo}));
}

TEST(CodecBuild, DataB3ReqCarriesA64BitAddressInData64)
{
    const char payload[] = "hello";
    const Bytes m = Build(0x86, 0x80, 9, DataB3Req(0x10101, payload, 5, 2));
    if (sizeof(void *) == 8) {
        ASSERT_EQ(m.size(), 30u);
        EXPECT_EQ(m[0], 30);
        EXPECT_EQ(ReadDword(m.data(), m.size(), 12), 0u);
        EXPECT_EQ(ReadQword(m.data(), m.size(), 22), uint64_t(reinterpret_cast<uintptr_t>(payload)));
    } else {
        ASSERT_EQ(m.size(), 22u);
        EXPECT_EQ(ReadDword(m.data(), m.size(), 12), uint32_t(reinterpret_cast<uintptr_t>(payload)));
    }
    EXPECT_EQ(ReadDword(m.data(), m.size(), 8), 0x10101u);
    EXPECT_EQ(ReadWord(m.data(), m.size(), 16), 5);
    EXPECT_EQ(ReadWord(m.data(), m.size(), 18), 2);
    EXPECT_EQ(ReadWord(m.data(), m.size(), 20), 0);
}

TEST(CodecBuild, ShortResponses)
{
    for (uint8_t command : {0x03, 0x04, 0x08, 0x83, 0x84})
        EXPECT_EQ(Build(command, 0x83, 7, DwordOnly(0x101)),
                  Cat({{0x0C, 0x00, 0x02, 0x01, command, 0x83, 0x07, 0x00}, Le32(0x101)}));
    EXPECT_EQ(Build(0x86, 0x83, 7, DataB3Resp(0x10101, 3)).size(), 14u);
    EXPECT_EQ(Build(0x82, 0x83, 7, ConnectB3Resp(0x10101, 1)),
              Cat({{0x0F, 0x00, 0x02, 0x01, 0x82, 0x83, 0x07, 0x00}, Le32(0x10101), {0x01, 0x00, 0x00}}));
}

TEST(CodecBuild, LongStructsUseTheEscapeAndOversizeMessagesAreRefused)
{
    const QByteArray big(300, 'x');
    CapiParams p;
    p.Struct(big);
    EXPECT_EQ(p.Size(), 303u);
    EXPECT_EQ(p.Bytes()[0], 0xFF);
    EXPECT_EQ(ReadWord(p.Bytes().data(), p.Size(), 1), 300);
    CapiParams huge;
    huge.Raw(Bytes(MessageBufferBytes, 1).data(), MessageBufferBytes);
    Bytes buffer(MessageBufferBytes);
    EXPECT_EQ(BuildMessage(buffer.data(), 1, 0x86, 0x80, 0, huge), 0u);
}

TEST(CodecServices, CipAndServiceTables)
{
    EXPECT_EQ(ServiceOfCip(16), 3);
    EXPECT_EQ(ServiceOfCip(0), 8);
    EXPECT_EQ(ServiceOfCip(9), 8);
    EXPECT_EQ(ServiceOfCip(19), 8);
    const uint8_t services[] = {1, 6, 8, 2, 8, 8, 8, 7};
    for (uint32_t cip = 1; cip <= 8; ++cip)
        EXPECT_EQ(ServiceOfCip(cip), services[cip - 1]) << cip;
    EXPECT_EQ(ServiceOfCip(17), 4);
    EXPECT_EQ(ServiceOfCip(18), 5);
    const uint16_t cips[] = {0, 1, 4, 16, 17, 18, 2, 8, 0};
    for (uint8_t s = 0; s <= 8; ++s)
        EXPECT_EQ(CipOfService(s), cips[s]);
    EXPECT_EQ(CipOfService(200), 0);
    for (uint8_t s = 1; s <= 7; ++s)
        EXPECT_EQ(ServiceOfCip(CipOfService(s)), s);
}

TEST(CodecDecode, ConnectIndSpreadsOverItsSlots)
{
    const Bytes params = Cat({Le32(0x0101),
                              {0x10, 0x00},
                              {0x04, 0x81, '1', '2', '3'},
                              {0x06, 0x01, 0x80, '4', '7', '1', '1'},
                              {0x02, 0xA0, 0x01},
                              {0x00},
                              {0x03, 0x88, 0x90, 0xA3},
                              {0x00},
                              {0x02, 0x91, 0x81},
                              {0x0A, 0x02, 0x05, 0x00, 0x02, '1', '2', 0x00, 0x02, 0x33, 0x44}});
    const Bytes m = Message(0x02, 0x82, 0x4001, params);
    IndicationDatenType d;
    const Capi::Header h = DecodeMessage(m.data(), m.size(), d);
    EXPECT_EQ(h.Command, 0x02);
    EXPECT_EQ(h.SubCommand, 0x82);
    EXPECT_EQ(h.MsgNumber, 0x4001);
    EXPECT_EQ(d.Dword(0), 0x0101u);
    EXPECT_EQ(d.Word(4), 16);
    EXPECT_EQ(d.Bytes[6], 4);
    EXPECT_EQ(d.Bytes[7], 0x81);
    EXPECT_EQ(d.Bytes[47], 6);
    EXPECT_EQ(d.Bytes[88], 2);
    EXPECT_EQ(d.Bytes[89], 0xA0);
    EXPECT_EQ(d.Bytes[109], 0);
    EXPECT_EQ(d.Bytes[130], 3);
    EXPECT_EQ(d.Bytes[133], 0xA3);
    EXPECT_EQ(d.Bytes[292], 2);
    EXPECT_EQ(d.Bytes[374], 1); // B channel information cut to its 2-byte slot
    EXPECT_EQ(d.Bytes[375], 0x05);
    EXPECT_EQ(d.Bytes[376], 2);
    EXPECT_EQ(d.Bytes[377], '1');
    EXPECT_EQ(d.Bytes[417], 0);
    EXPECT_EQ(d.Bytes[498], 2);
    EXPECT_EQ(d.Bytes[500], 0x44);

    const TCallDaten call = CallDatenFromIndication(d);
    EXPECT_EQ(call.Service, 3);
    EXPECT_EQ(call.CIPValue, 16u);
    EXPECT_EQ(call.CalledPartyNumber.Length, 4);
    EXPECT_EQ(call.CalledPartyNumber.At(1), 0x81);
    EXPECT_EQ(CalledPartyDigits(call.CalledPartyNumber), QStringLiteral("123"));
    EXPECT_EQ(CallingPartyDigits(call.CallingPartyNumber), QStringLiteral("4711"));
    EXPECT_EQ(call.CalledPartySubaddress.ToByteArray(), QByteArray("\xA0\x01", 2));
    EXPECT_TRUE(call.CallingPartySubaddress.IsEmpty());
}

TEST(CodecDecode, OverlongStructsStayInsideTheirSlotsAndNumbersAreCutTo32)
{
    Bytes called = {40};
    for (int i = 0; i < 40; ++i)
        called.push_back(uint8_t('0' + i % 10));
    Bytes calling = {0xFF, 60, 0}; // escaped length 60
    for (int i = 0; i < 60; ++i)
        calling.push_back('9');
    Bytes sub(31, 0x55);
    sub[0] = 30; // longer than the 21-byte slot
    const Bytes m = Message(0x02, 0x82, 1, Cat({Le32(1), {0x02, 0x00}, called, calling, sub, {0x00}}));
    IndicationDatenType d;
    DecodeMessage(m.data(), m.size(), d);
    EXPECT_EQ(d.Bytes[6], 40);
    EXPECT_EQ(d.Bytes[47], 40); // 60 cut to the slot
    EXPECT_EQ(d.Bytes[88], 20);
    EXPECT_EQ(d.Bytes[109], 0); // nothing of the subaddress spilled into the next slot
    const TCallDaten call = CallDatenFromIndication(d);
    EXPECT_EQ(call.CalledPartyNumber.Length, 32);
    EXPECT_EQ(call.CallingPartyNumber.Length, 32);
    EXPECT_EQ(call.CalledPartySubaddress.Length, 20);
}

TEST(CodecDecode, OtherMessagesAreCopiedAndCappedAt628Bytes)
{
    Bytes params(700);
    for (size_t i = 0; i < params.size(); ++i)
        params[i] = uint8_t(i);
    const Bytes m = Message(0x08, 0x82, 2, params);
    IndicationDatenType d;
    DecodeMessage(m.data(), m.size(), d);
    EXPECT_EQ(d.Length, 700u);
    EXPECT_EQ(d.Bytes[627], uint8_t(627));
    // A header that claims more than there is: only what is there is read.
    Bytes shortMessage = Message(0x05, 0x81, 3, Cat({Le32(1), {0x01, 0x20}}));
    shortMessage[0] = 0xFF;
    DecodeMessage(shortMessage.data(), shortMessage.size(), d);
    EXPECT_EQ(d.Length, 6u);
    EXPECT_EQ(d.Word(4), 0x2001);
    EXPECT_EQ(d.Bytes[6], 0);
}

TEST(CodecDecode, DataB3IndReadsData64)
{
    const uint8_t payload[] = {1, 2, 3};
    Bytes params = Cat({Le32(0x10101), Le32(0), {3, 0}, {7, 0}, {0, 0}});
    const uint64_t address = reinterpret_cast<uintptr_t>(payload);
    for (int i = 0; i < 8; ++i)
        params.push_back(uint8_t(address >> (8 * i)));
    const Bytes m = Message(0x86, 0x82, 4, params);
    ASSERT_EQ(m.size(), 30u);
    IndicationDatenType d;
    DecodeMessage(m.data(), m.size(), d);
    const DataB3Indication ind = DecodeDataB3Ind(d);
    EXPECT_EQ(ind.NCCI, 0x10101u);
    EXPECT_EQ(ind.Data, payload);
    EXPECT_EQ(ind.Length, 3);
    EXPECT_EQ(ind.Handle, 7);
    // The 22-byte form has no usable address on 64-bit: no data rather than a wild pointer.
    const Bytes shortForm =
        Message(0x86, 0x82, 4, Cat({Le32(0x10101), Le32(0x1234), {3, 0}, {7, 0}, {0, 0}}));
    DecodeMessage(shortForm.data(), shortForm.size(), d);
    if (sizeof(void *) == 8) {
        EXPECT_EQ(DecodeDataB3Ind(d).Data, nullptr);
        EXPECT_EQ(DecodeDataB3Ind(d).Length, 0);
    }
}

TEST(CodecDecode, InfoElementIsHandedOnWhole)
{
    const Bytes m = Message(0x08, 0x82, 5, Cat({Le32(0x101), {0x28, 0x00}, {0x03, 'a', 'b', 'c'}}));
    IndicationDatenType d;
    DecodeMessage(m.data(), m.size(), d);
    const CapiParameterType e = InfoElementOf(d);
    EXPECT_EQ(e[0], 3);
    EXPECT_EQ(e[3], 'c');
    // A claimed length beyond the message is cut to what arrived.
    const Bytes cut = Message(0x08, 0x82, 5, Cat({Le32(0x101), {0x28, 0x00}, {0x30, 'a'}}));
    DecodeMessage(cut.data(), cut.size(), d);
    EXPECT_EQ(InfoElementOf(d)[0], 1);
}

TEST(CodecTypes, TCallNumberAndFifoLikeLimits)
{
    const TCallNumber n = TCallNumber::FromString(QString(40, QLatin1Char('7')));
    EXPECT_EQ(n.Length, 32);
    EXPECT_EQ(n.At(0), 0);
    EXPECT_EQ(n.At(33), 0);
    EXPECT_EQ(CallingPartyDigits(TCallNumber::FromString(QStringLiteral("\x01"))), QString());
}

// Thousands of random and truncated messages: decoding must stay inside the message and the
// 628-byte buffer (run under AddressSanitizer to see it).
TEST(CodecFuzz, RandomAndTruncatedMessagesDecodeSafely)
{
    std::mt19937 random(20261207);
    IndicationDatenType d;
    for (int round = 0; round < 20000; ++round) {
        const std::size_t size = random() % 900;
        Bytes m(size);
        for (auto &b : m)
            b = uint8_t(random());
        if (size >= 6 && round % 3 == 0) {
            m[4] = 0x02; // favour CONNECT_IND and DATA_B3_IND
            m[5] = 0x82;
        } else if (size >= 6 && round % 3 == 1) {
            m[4] = 0x86;
            m[5] = 0x82;
        }
        // A heap copy of exactly `size` bytes, so reading past it is caught.
        auto exact = std::make_unique<uint8_t[]>(std::max<std::size_t>(size, 1));
        std::copy(m.begin(), m.end(), exact.get());
        DecodeMessage(exact.get(), size, d);
        ASSERT_LE(std::min(d.Length, IndicationDatenBytes), IndicationDatenBytes);
        const TCallDaten call = CallDatenFromIndication(d);
        ASSERT_LE(call.CalledPartyNumber.Length, 32);
        InfoElementOf(d);
    }
    // Every truncation of a valid CONNECT_IND.
    const Bytes full = Message(0x02, 0x82, 1,
                               Cat({Le32(1),
                                    {0x10, 0x00},
                                    {0x04, 0x81, '1', '2', '3'},
                                    {0x03, 0x01, 0x80, '4'},
                                    {0x00},
                                    {0x00},
                                    {0x02, 1, 2},
                                    {0x00},
                                    {0x00},
                                    {0x04, 0x02, 0x00, 0x00, 0x00}}));
    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        auto exact = std::make_unique<uint8_t[]>(std::max<std::size_t>(cut, 1));
        std::copy(full.begin(), full.begin() + long(cut), exact.get());
        DecodeMessage(exact.get(), cut, d);
    }
}
