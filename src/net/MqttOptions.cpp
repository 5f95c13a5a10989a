#include "MqttOptions.h"

#include "settings/SettingsStore.h"

#include <QSysInfo>

QString MqttOptions::Address() const
{
    return Host.trimmed() + QLatin1Char(':') + QString::number(Port);
}

QString MqttOptions::TopicNode(const QString &node)
{
    QString name = node.trimmed();
    if (name.isEmpty())
        name = QSysInfo::machineHostName();
    if (name.isEmpty())
        name = QStringLiteral("rufwart");
    for (QChar &c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#') || c.unicode() < 0x20 ||
            c.unicode() == 0x7F)
            c = QLatin1Char('_');
    }
    return name;
}

MqttOptions MqttOptions::FromSettings()
{
    MqttOptions o;
    o.Host = Settings::Read(Settings::MqttHost).trimmed();
    const qint32 port = Settings::Read(Settings::MqttPort);
    o.Port = port > 0 && port <= 65535 ? port : Settings::MqttPort.fallback;
    o.Tls = Settings::Read(Settings::MqttTls);
    o.CaFile = Settings::Read(Settings::MqttCaFile);
    o.User = Settings::Read(Settings::MqttUser);
    o.Password = Settings::Read(Settings::MqttPassword);
    o.Node = TopicNode(Settings::Read(Settings::MqttNode));
    o.Discovery = Settings::Read(Settings::MqttDiscovery);
    return o;
}
