// The ring decision on its own: the texts it prepares for the status line, the notification
// window and the call list, and the numbers it looks up. The whole path through the exchange is
// in test_main_ring.
#include "calls/CallerDirectory.h"
#include "calls/RingDecision.h"
#include "capi/Capi20.h"
#include "common/Paths.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

namespace {

class RingDecisionTest : public ::testing::Test
{
protected:
    TestEnv env;
    CallerDirectory directory;
    RingOptions options;

    void SetUp() override
    {
        ASSERT_TRUE(writeBytes(Paths::dataDir() + "anruf.dat",
                               "[Anrufer]\r\n0301*=T#Sperre\r\n040=F#Hamburg\r\n0511=Alt\r\n"));
    }
    RingDecision decide(const QString &from, const QString &msn = "4711", int service = 3)
    {
        return DecideRing(RingCall{service, from, msn}, options, directory);
    }
};

} // namespace

TEST(ServiceNameTest, NamesByTheLowSevenBits)
{
    EXPECT_EQ(ServiceName(2), "Analog");
    EXPECT_EQ(ServiceName(3), "Digital");
    EXPECT_EQ(ServiceName(4), "Fax Gr.3");
    EXPECT_EQ(ServiceName(5), "Fax Gr.4");
    EXPECT_EQ(ServiceName(6), QString::fromUtf8("DFÜ 64000 bps"));
    EXPECT_EQ(ServiceName(7), QString::fromUtf8("DFÜ 56000 bps"));
    EXPECT_EQ(ServiceName(0x80 | 4), "Fax Gr.3");
    for (int other : {0, 1, 8, 9, 0x7F})
        EXPECT_EQ(ServiceName(other), "Unbekannt");
}

TEST_F(RingDecisionTest, TextsOfAnOrdinaryCall)
{
    options.ShowExtWin = true;
    const RingDecision d = decide("04012345", "4711", 4);
    EXPECT_TRUE(d.Passed);
    EXPECT_EQ(d.Result, RingResult::AlertOnly);
    EXPECT_EQ(d.Status, "Anruf auf 4711 !");
    EXPECT_EQ(d.Hint, "Fax Gr.3");
    EXPECT_EQ(d.CallMsgNumber, "4711 !");
    EXPECT_EQ(d.Label, "Hamburg");
    EXPECT_EQ(d.CallerKey, "040");
    // Naming or blocking this caller acts on its own number, not on the shorter key that matched.
    EXPECT_EQ(d.OwnKey, "04012345");
    EXPECT_EQ(CallListEntry(QTime(9, 5, 7), d), "09:05:07 - Hamburg");

    // Without the notification window there is no hint; an older value is its own name.
    options.ShowExtWin = false;
    const RingDecision old = decide("05119", "4711", 4);
    EXPECT_EQ(old.Hint, "");
    EXPECT_EQ(old.Label, "Alt");
    EXPECT_FALSE(old.Blocked);
}

TEST_F(RingDecisionTest, BlockedIgnoredAndServerModeTexts)
{
    options.ShowExtWin = true;
    RingDecision d = decide("03015");
    EXPECT_EQ(d.Result, RingResult::Busy);
    EXPECT_EQ(d.Status, "Anrufer ist gesperrt !");
    EXPECT_EQ(d.Hint, "Anrufer ist gesperrt !");
    EXPECT_EQ(CallListEntry(QTime(23, 59, 59), d), "23:59:59 - Sperre --> gesperrt");

    options.IgnoreCalls = true;
    d = decide("03015");
    EXPECT_EQ(d.Result, RingResult::Busy);
    EXPECT_EQ(d.Status, "Anruf wird ignoriert !");
    EXPECT_EQ(d.Hint, "Anruf wird ignoriert !");
    EXPECT_EQ(d.ListSuffix, " --> gesperrt");

    // Server mode takes data calls whoever calls; other services are decided as always.
    options.ServerMode = true;
    d = decide("03015", "4711", 6);
    EXPECT_EQ(d.Result, RingResult::Accept);
    EXPECT_EQ(d.Status, "Anruf auf 4711 ! --> DATA_64K");
    EXPECT_EQ(d.Hint, QString::fromUtf8("DFÜ 64000 bps"));
    EXPECT_EQ(d.ListSuffix, "");
    EXPECT_EQ(decide("03015", "4711", 7).Result, RingResult::Busy);
}

TEST_F(RingDecisionTest, NumbersLookedUpAndLearned)
{
    // "Null erzeugen": "0" in front, the whole cut to 33 characters.
    options.CreateNull = true;
    RingDecision d = decide("301777");
    EXPECT_EQ(d.Number, "0301777");
    EXPECT_TRUE(d.Blocked);
    d = decide(QString(40, '9'));
    EXPECT_EQ(d.Number, "0" + QString(32, '9'));
    EXPECT_FALSE(d.Found);
    EXPECT_EQ(d.CallerKey, d.Number);
    EXPECT_EQ(d.NameToStore, d.Number);

    // Without a number: "Analog", learned under "0", named "0" with "Null erzeugen", else nameless.
    d = decide(QString());
    EXPECT_EQ(d.Label, "Analog");
    EXPECT_EQ(d.CallerKey, "0");
    EXPECT_EQ(d.NameToStore, "0");
    options.CreateNull = false;
    d = decide(QString());
    EXPECT_EQ(d.Label, "Analog");
    EXPECT_EQ(d.CallerKey, "0");
    EXPECT_EQ(d.NameToStore, "");

    // One digit is never found and shows "Analog" too.
    d = decide("7");
    EXPECT_FALSE(d.Found);
    EXPECT_EQ(d.Label, "Analog");

    // A name a look-up found is shown whole but learned cut to what one directory value holds
    // beside its "F#": 252 characters.
    d = decide("0409999");
    const QString longName = QString(250, 'M') + QStringLiteral("eierei");
    TakeLookedUpName(d, longName);
    EXPECT_EQ(d.Label, longName);
    EXPECT_EQ(d.NameToStore, longName.left(252));
    directory.QueueAddCaller(d.Number, d.NameToStore);
    directory.Flush();
    EXPECT_EQ(CallerDirectory().ReadValue("0409999"), "F#" + longName.left(252));
}

TEST_F(RingDecisionTest, NullErzeugenFollowsTheTypeOfNumber)
{
    // The calling number as the line delivers it: type of number and plan, presentation, digits.
    const auto ring = [&](uint8_t typeAndPlan, const QByteArray &digits) {
        TCallDaten daten;
        daten.Service = 3;
        const QByteArray calling = QByteArray(1, char(typeAndPlan)) + char(0x81) + digits;
        daten.CallingPartyNumber = TCallNumber::FromBytes(
            reinterpret_cast<const uint8_t *>(calling.constData()), std::size_t(calling.size()));
        daten.CalledPartyNumber = TCallNumber::FromString(QChar(0x81) + QStringLiteral("4711"));
        return DecideRing(RingCall::fromCallDaten(daten), options, directory);
    };
    options.CreateNull = true;
    EXPECT_TRUE(ring(0x21, "301777").Blocked); // national: "0301777"
    const RingDecision international = ring(0x11, "33123456789");
    EXPECT_EQ(international.Number, "0033123456789");
    EXPECT_EQ(international.CallerKey, "0033123456789");
    EXPECT_EQ(ring(0x91, "4031234").Number, "004031234"); // the extension bit is no part of the type
    // Subscriber and unknown numbers get the one "0" as ever.
    EXPECT_EQ(ring(0x41, "1234567").Number, "01234567");
    EXPECT_EQ(ring(0x01, "0301777").Number, "00301777");
    // Without "Null erzeugen" the digits stay as they arrive.
    options.CreateNull = false;
    EXPECT_EQ(ring(0x11, "33123456789").Number, "33123456789");
}

TEST_F(RingDecisionTest, ForeignMsnDecidesNothingElse)
{
    options.MsnList = "4711,4712,,,,,,";
    const RingDecision d = decide("03015", "999");
    EXPECT_FALSE(d.Passed);
    EXPECT_EQ(d.Result, RingResult::Ignore);
    EXPECT_EQ(d.Status, "");
    EXPECT_EQ(d.CallerText, "");
    // A long MSN is cut in the notification window's number line.
    options.MsnList.clear();
    EXPECT_EQ(decide("03015", QString(40, '1')).CallMsgNumber, QString(34, '1'));
}
