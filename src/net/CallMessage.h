#pragma once

#include "calls/CallEvent.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The JSON form of call events and commands on the broker (schema 1, docs/mqtt.md). Parsing
// takes any bytes from anyone: it refuses what is not a well-formed message of this schema with
// a short reason, and never trusts a size or a type.
namespace CallMessage {

inline constexpr int kSchema = 1;
// Longer payloads are refused unread; longer texts refuse the message.
inline constexpr qsizetype kMaxPayload = 16 * 1024;
inline constexpr qsizetype kMaxText = 1024;

QString EventName(CallEvent::Kind kind);
std::optional<CallEvent::Kind> KindNamed(const QString &name);

// Local time with its offset from UTC, to the second: "2026-12-09T19:02:03+01:00".
QString FormatTime(const QDateTime &time);

QByteArray Encode(const CallEvent &event, const QString &node);

struct Parsed
{
    bool Ok = false;
    QString Error; // why it was refused
    QString Node;
    CallEvent Event;
};
Parsed Parse(QByteArrayView payload);

// A copy that only shows calls asks the node owning the line to block a caller.
struct Command
{
    QString Id;
    QString Number;
    QString From; // the asking copy's node
};
QByteArray EncodeBlock(const Command &command);

struct ParsedCommand
{
    bool Ok = false;
    QString Error;
    Command Block;
};
ParsedCommand ParseCommand(QByteArrayView payload);

} // namespace CallMessage
