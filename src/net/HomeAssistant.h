#pragma once

#include "MqttClient.h"

#include <QList>

// Home Assistant's MQTT discovery: the retained configurations that make a node's "last caller"
// sensor, its "ringing" binary sensor and its "missed calls" counter appear on their own.
namespace HomeAssistant {

QList<MqttClient::Message> DiscoveryMessages(const QString &node);

} // namespace HomeAssistant
