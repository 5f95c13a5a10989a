#include "HomeAssistant.h"

#include "MqttTopics.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace HomeAssistant {
namespace {

// Home Assistant takes only these characters in an object id.
QString ObjectId(const QString &node)
{
    QString id = QStringLiteral("rufwart_");
    for (const QChar c : node)
        id += (c.isLetterOrNumber() && c.unicode() < 0x80) || c == QLatin1Char('-') ? c : QLatin1Char('_');
    return id;
}

} // namespace

QList<MqttClient::Message> DiscoveryMessages(const QString &node)
{
    const QString id = ObjectId(node);
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{id}},
        {QStringLiteral("name"), QStringLiteral("Rufwart 32 (%1)").arg(node)},
        {QStringLiteral("manufacturer"), QStringLiteral("Elbwerk")},
        {QStringLiteral("model"), QStringLiteral("Rufwart 32")},
    };
    auto config = [&](const QString &component, const QString &object, const char *name, QJsonObject fields) {
        fields.insert(QStringLiteral("name"), QCoreApplication::translate("HomeAssistant", name));
        fields.insert(QStringLiteral("unique_id"), id + QLatin1Char('_') + object);
        fields.insert(QStringLiteral("availability_topic"), MqttTopics::Status(node));
        fields.insert(QStringLiteral("payload_available"), QStringLiteral("online"));
        fields.insert(QStringLiteral("payload_not_available"), QStringLiteral("offline"));
        fields.insert(QStringLiteral("device"), device);
        return MqttClient::Message{QStringLiteral("homeassistant/%1/%2/%3/config").arg(component, id, object),
                                   QJsonDocument(fields).toJson(QJsonDocument::Compact), true};
    };
    return {
        config(QStringLiteral("sensor"), QStringLiteral("last_caller"), "Letzter Anrufer",
               {{QStringLiteral("state_topic"), MqttTopics::LastCall(node)},
                {QStringLiteral("value_template"), QStringLiteral("{{ value_json.name }}")},
                {QStringLiteral("json_attributes_topic"), MqttTopics::LastCall(node)},
                {QStringLiteral("icon"), QStringLiteral("mdi:phone-incoming")}}),
        config(QStringLiteral("binary_sensor"), QStringLiteral("ringing"), "Es klingelt",
               {{QStringLiteral("state_topic"), MqttTopics::Ringing(node)},
                {QStringLiteral("payload_on"), QStringLiteral("ON")},
                {QStringLiteral("payload_off"), QStringLiteral("OFF")},
                {QStringLiteral("icon"), QStringLiteral("mdi:phone-ring")}}),
        config(QStringLiteral("sensor"), QStringLiteral("missed_calls"), "Verpasste Anrufe",
               {{QStringLiteral("state_topic"), MqttTopics::Missed(node)},
                {QStringLiteral("state_class"), QStringLiteral("total_increasing")},
                {QStringLiteral("icon"), QStringLiteral("mdi:phone-missed")}}),
    };
}

} // namespace HomeAssistant
