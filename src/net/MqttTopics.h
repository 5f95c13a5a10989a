#pragma once

#include <QString>
#include <QStringList>

// The topics of one node (docs/mqtt.md). Node names are made fit for topics by
// MqttOptions::TopicNode.
namespace MqttTopics {

inline QString Call(const QString &node)
{
    return QStringLiteral("rufwart/%1/call").arg(node);
}
inline QString LastCall(const QString &node)
{
    return QStringLiteral("rufwart/%1/last_call").arg(node);
}
inline QString Status(const QString &node)
{
    return QStringLiteral("rufwart/%1/status").arg(node);
}
inline QString Command(const QString &node)
{
    return QStringLiteral("rufwart/%1/cmd").arg(node);
}
// "ON" while a call rings, else "OFF" (retained).
inline QString Ringing(const QString &node)
{
    return QStringLiteral("rufwart/%1/ringing").arg(node);
}
// The missed calls since the publishing copy started (retained).
inline QString Missed(const QString &node)
{
    return QStringLiteral("rufwart/%1/missed").arg(node);
}
// The call events of every node.
inline QString AllCalls()
{
    return QStringLiteral("rufwart/+/call");
}

// The node of a call topic, or empty when the topic is none.
inline QString NodeOfCall(const QString &topic)
{
    const QStringList parts = topic.split(QLatin1Char('/'));
    if (parts.size() != 3 || parts[0] != QLatin1String("rufwart") || parts[2] != QLatin1String("call"))
        return {};
    return parts[1];
}

} // namespace MqttTopics
