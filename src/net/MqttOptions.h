#pragma once

#include <QString>

// Where this copy's call events go: the broker, how to reach it, and the node name that names
// this copy in every topic (rufwart/<node>/...). An empty host means no broker: nothing is sent.
struct MqttOptions
{
    QString Host;
    int Port = 1883;
    bool Tls = false;
    QString CaFile; // the certificate authority the broker's certificate must be signed by (TLS)
    QString User;
    QString Password; // never written to a log
    QString Node;
    bool Discovery = false; // Home Assistant discovery

    bool Enabled() const { return !Host.trimmed().isEmpty(); }
    // "host:port", for messages.
    QString Address() const;

    // The stored options; the node is the host name when none is stored.
    static MqttOptions FromSettings();
    // A node name as it can stand in a topic: "/", "+" and "#" and control characters become
    // "_"; an empty name becomes the host name.
    static QString TopicNode(const QString &node);
};
