// The service filter: tokens of the service window, the service set built from them and the
// CIP mask the listen request makes of it.
#include "calls/ServiceSet.h"
#include "capi/Capi20.h"

#include <gtest/gtest.h>

using namespace ServiceSet;

namespace {
constexpr quint16 All = ServiceBit::All, Analog = ServiceBit::AnalogTelephony,
                  Digital = ServiceBit::DigitalTelephony, Fax3 = ServiceBit::Fax3, Fax4 = ServiceBit::Fax4,
                  Data64 = ServiceBit::Data64K, Data56 = ServiceBit::Data56K, Unknown = ServiceBit::Unknown;

quint32 cipMask(quint16 set)
{
    return CipMaskOfServiceMask(set);
}

Choice only(std::initializer_list<int> boxes) // boxes numbered 1 to 8 as cbServ1 ... cbServ8
{
    Choice c{};
    for (int b : boxes)
        c[b - 1] = true;
    return c;
}
} // namespace

TEST(ServiceSet, NoSettingMeansAllCalls)
{
    EXPECT_EQ(choiceFromSetting(QString()), only({1}));
    EXPECT_EQ(fromSetting(QString()), All);
    EXPECT_EQ(cipMask(fromSetting(QString())), 0x1FFF03FFu);
}

TEST(ServiceSet, AllTogetherWithOthersIsAllAlone)
{
    const QString setting = settingFromChoice(only({1, 2}));
    EXPECT_EQ(setting, QStringLiteral("ALL,ANALOG_TELEPHONY,"));
    EXPECT_EQ(choiceFromSetting(setting), only({1, 2}));
    EXPECT_EQ(fromSetting(setting), All);
    EXPECT_EQ(cipMask(All | Analog | Fax3), 0x1FFF03FFu);
}

TEST(ServiceSet, NoBoxCheckedStoresEmptyAndMeansAllAgain)
{
    const QString setting = settingFromChoice(Choice{});
    EXPECT_TRUE(setting.isEmpty());
    EXPECT_EQ(choiceFromSetting(setting), only({1}));
    EXPECT_EQ(cipMask(fromSetting(setting)), 0x1FFF03FFu);
}

TEST(ServiceSet, SingleServicesAndTheirMasks)
{
    struct Case
    {
        int box;
        const char *setting;
        quint16 set;
        quint32 mask;
    };
    const Case cases[] = {
        {2, "ANALOG_TELEPHONY,", Analog, 0x00010},
        {3, "DIGITAL_TELEPHONY,", Digital, 0x00002},
        {4, "FAX3,", Fax3, 0x20010}, // fax group 3 also reports 3.1 kHz audio calls
        {5, "FAX4,", Fax4, 0x40004},
        {6, "DATA_64K,", Data64, 0x00004},
        {7, "DATA_56K,", Data56, 0x00100}, // 56 kbit/s data calls, not nothing
        {8, "UNKNOWN,", Unknown, 0x00000}, // no CIP value stands for "unknown": reports nothing
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.setting);
        EXPECT_EQ(settingFromChoice(only({c.box})), QString::fromLatin1(c.setting));
        EXPECT_EQ(choiceFromSetting(QString::fromLatin1(c.setting)), only({c.box}));
        EXPECT_EQ(fromSetting(QString::fromLatin1(c.setting)), c.set);
        EXPECT_EQ(cipMask(c.set), c.mask);
    }
}

TEST(ServiceSet, CombinedServicesUniteTheirMasks)
{
    const QString setting = settingFromChoice(only({3, 6}));
    EXPECT_EQ(setting, QStringLiteral("DIGITAL_TELEPHONY,DATA_64K,"));
    EXPECT_EQ(cipMask(fromSetting(setting)), 0x00006u);
    EXPECT_EQ(cipMask(Analog | Data64), 0x00014u);
    EXPECT_EQ(cipMask(Fax3 | Fax4 | Data56), 0x20010u | 0x40004u | 0x100u);
    EXPECT_EQ(cipMask(0), 0u); // the empty set ends listening
}

TEST(ServiceSet, TokensFoundAnywhereInTheText)
{
    // A hand-edited setting without commas or in another order still selects its services.
    EXPECT_EQ(fromSetting(QStringLiteral("FAX4 FAX3")), Fax3 | Fax4);
    EXPECT_EQ(choiceFromSetting(QStringLiteral("DATA_64K,ANALOG_TELEPHONY,")), only({2, 6}));
    EXPECT_EQ(fromSetting(QStringLiteral("nonsense")), 0);
}

TEST(ServiceSet, EveryChoiceReadsBackAsItself)
{
    for (int bits = 1; bits < 256; ++bits) {
        Choice c{};
        for (int i = 0; i < 8; ++i)
            c[i] = bits & (1 << i);
        EXPECT_EQ(choiceFromSetting(settingFromChoice(c)), c) << bits;
    }
}

TEST(ServiceSet, ServerMode)
{
    // With the external notification window only data 64 kbit/s calls are reported ...
    EXPECT_EQ(forServerMode(All, true), Data64);
    EXPECT_EQ(cipMask(forServerMode(Analog | Fax3, true)), 0x00004u);
    // ... otherwise they are reported in addition.
    EXPECT_EQ(forServerMode(Analog, false), Analog | Data64);
    EXPECT_EQ(cipMask(forServerMode(All, false)), 0x1FFF03FFu);
}
