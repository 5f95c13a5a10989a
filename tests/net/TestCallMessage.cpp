// The JSON form of call events and commands: what one node writes, another reads back whole;
// what anyone else may write is refused with a reason, never trusted.

#include "CallMessage.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

CallEvent Sample(CallEvent::Kind what)
{
    CallEvent e;
    e.What = what;
    e.CallId = QStringLiteral("c1");
    e.MessageId = QStringLiteral("m1");
    e.Time = QDateTime(QDate(2026, 12, 9), QTime(19, 2, 3), QTimeZone(3600));
    e.Number = QStringLiteral("0301234567");
    e.Name = QStringLiteral("Müller, Jürgen \"Jo\"");
    e.Msn = QStringLiteral("4711");
    e.Service = QStringLiteral("Telefonie");
    e.Cip = 16;
    e.Blocked = true;
    e.Cause = 0x3490;
    return e;
}

} // namespace

TEST(CallMessage, EveryEventReadsBackAsItWasWritten)
{
    for (CallEvent::Kind what :
         {CallEvent::Kind::Ringing, CallEvent::Kind::Alerted, CallEvent::Kind::Accepted,
          CallEvent::Kind::Rejected, CallEvent::Kind::Ignored, CallEvent::Kind::Ended,
          CallEvent::Kind::Missed, CallEvent::Kind::Named}) {
        const CallEvent sent = Sample(what);
        const QByteArray json = CallMessage::Encode(sent, QStringLiteral("büro"));
        EXPECT_TRUE(json.contains("\"time\":\"2026-12-09T19:02:03+01:00\"")) << json.constData();
        const CallMessage::Parsed got = CallMessage::Parse(json);
        ASSERT_TRUE(got.Ok) << got.Error.toStdString();
        EXPECT_EQ(got.Node, "büro");
        const CallEvent &e = got.Event;
        EXPECT_EQ(e.What, what);
        EXPECT_EQ(e.CallId, sent.CallId);
        EXPECT_EQ(e.MessageId, sent.MessageId);
        EXPECT_EQ(e.Time, sent.Time);
        EXPECT_EQ(e.Time.offsetFromUtc(), 3600);
        EXPECT_EQ(e.Number, sent.Number);
        EXPECT_EQ(e.Name, sent.Name);
        EXPECT_EQ(e.Msn, sent.Msn);
        EXPECT_EQ(e.Service, sent.Service);
        EXPECT_EQ(e.Cip, sent.Cip);
        EXPECT_TRUE(e.Blocked);
        // The cause belongs to the end of a call only.
        const bool ends = what == CallEvent::Kind::Ended || what == CallEvent::Kind::Missed;
        EXPECT_EQ(e.Cause, ends ? 0x3490 : 0);
        EXPECT_EQ(json.contains("\"cause\""), ends);
    }
    // West of Greenwich, and fields a later writer may add.
    CallEvent west = Sample(CallEvent::Kind::Ringing);
    west.Time = QDateTime(QDate(2026, 7, 1), QTime(8, 0), QTimeZone(-5 * 3600 - 1800));
    QByteArray json = CallMessage::Encode(west, QStringLiteral("n"));
    EXPECT_TRUE(json.contains("2026-07-01T08:00:00-05:30")) << json.constData();
    json.replace("{", "{\"colour\":[1,2],");
    const CallMessage::Parsed got = CallMessage::Parse(json);
    ASSERT_TRUE(got.Ok) << got.Error.toStdString();
    EXPECT_EQ(got.Event.Time.toSecsSinceEpoch(), west.Time.toSecsSinceEpoch());
}

TEST(CallMessage, WhatIsNoMessageOfThisSchemaIsRefused)
{
    const QByteArray good = CallMessage::Encode(Sample(CallEvent::Kind::Ended), QStringLiteral("n"));
    ASSERT_TRUE(CallMessage::Parse(good).Ok);
    const QList<QByteArray> bad{
        QByteArray(),
        QByteArray("\x00\xff{", 3),
        "[1,2]",
        "null",
        QByteArray(good).replace("\"schema\":1", "\"schema\":2"),
        QByteArray(good).replace("\"schema\":1", "\"schema\":\"1\""),
        QByteArray(good).replace("\"event\":\"ended\"", "\"event\":\"exploded\""),
        QByteArray(good).replace("\"number\":\"0301234567\"", "\"number\":301234567"),
        QByteArray(good).replace("\"blocked\":true", "\"blocked\":\"yes\""),
        QByteArray(good).replace("\"cip\":16", "\"cip\":-1"),
        QByteArray(good).replace("\"cip\":16", "\"cip\":1.5"),
        QByteArray(good).replace("\"cause\":13456", "\"cause\":70000"),
        QByteArray(good).replace("\"id\":\"m1\",", ""),
        QByteArray(good).replace("\"id\":\"m1\"", "\"id\":\"\""),
        QByteArray(good).replace("+01:00", ""),
        QByteArray(good).replace("2026-12-09T19:02:03+01:00", "gestern"),
        QByteArray(good).replace("Telefonie", QByteArray(CallMessage::kMaxText + 1, 'x')),
        QByteArray(good).replace("Telefonie", "Tele\\ud800fonie"), // half a character
        QByteArray(good).replace("Telefonie", QByteArray(CallMessage::kMaxPayload, ' ')),
    };
    for (const QByteArray &payload : bad) {
        const CallMessage::Parsed parsed = CallMessage::Parse(payload);
        EXPECT_FALSE(parsed.Ok) << payload.left(200).constData();
        EXPECT_FALSE(parsed.Error.isEmpty());
    }
}

TEST(CallMessage, ABlockCommandReadsBackAndOthersAreRefused)
{
    const QByteArray json = CallMessage::EncodeBlock(
        {QStringLiteral("id1"), QStringLiteral("0301234567"), QStringLiteral("küche")});
    const CallMessage::ParsedCommand got = CallMessage::ParseCommand(json);
    ASSERT_TRUE(got.Ok) << got.Error.toStdString();
    EXPECT_EQ(got.Block.Id, "id1");
    EXPECT_EQ(got.Block.Number, "0301234567");
    EXPECT_EQ(got.Block.From, "küche");
    EXPECT_FALSE(CallMessage::ParseCommand(QByteArray(json).replace("\"block\"", "\"unblock\"")).Ok);
    EXPECT_FALSE(
        CallMessage::ParseCommand(QByteArray(json).replace("\"number\":\"0301234567\"", "\"number\":\"\""))
            .Ok);
    EXPECT_FALSE(CallMessage::ParseCommand(QByteArray(json).replace("\"from\"", "\"by\"")).Ok);
}
