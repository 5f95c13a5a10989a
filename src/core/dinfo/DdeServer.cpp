#include "dinfo/DdeServer.h"

#include "dinfo/DdeConversation.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

DdeServer::DdeServer(QObject *parent) : QObject(parent) {}

DdeServer::~DdeServer()
{
    for (QLocalSocket *socket : m_clients.keys())
        disconnect(socket, nullptr, this, nullptr);
    if (m_server)
        m_server->close(); // removes the endpoint
}

QString DdeServer::Path() const
{
    return m_server ? m_server->fullServerName() : QString();
}

bool DdeServer::Listen(const QString &service, const QString &topic, QString *error)
{
    const QString path = DdeConversation::EndpointPath(service, topic);
    {
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(500)) {
            if (error)
                *error = QCoreApplication::translate("DdeServer",
                                                     "%1 wird schon von einem anderen Programm bedient")
                             .arg(path);
            return false;
        }
    }
    // Nobody answers there: what is left is the endpoint of a program that ended.
    QLocalServer::removeServer(path);
    auto *server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, server->errorString());
        delete server;
        return false;
    }
    m_server = server;
    connect(m_server, &QLocalServer::newConnection, this, &DdeServer::Accept);
    return true;
}

void DdeServer::Accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        m_clients.insert(socket, Client());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            m_clients.remove(socket);
            socket->deleteLater();
        });
        // Lines may have come with the connection.
        if (socket->bytesAvailable() > 0)
            ReadFrom(socket);
    }
}

void DdeServer::ReadFrom(QLocalSocket *socket)
{
    auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    it->Buffer += socket->readAll();
    bool close = false;
    for (;;) {
        const qsizetype end = it->Buffer.indexOf('\n');
        if (end < 0)
            break;
        QByteArray line = it->Buffer.left(end);
        it->Buffer.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray reply = Answer(*it, line, &close);
        socket->write(reply + '\n');
        socket->flush();
        if (close)
            break;
        it = m_clients.find(socket); // a handler may have run the event loop
        if (it == m_clients.end())
            return;
    }
    if (!close && it->Buffer.size() > DdeConversation::kMaxLine) {
        socket->write("NACK Zeile zu lang\n");
        socket->flush();
        socket->disconnectFromServer();
        return;
    }
    if (close && OnClose)
        QTimer::singleShot(0, this, [this] {
            if (OnClose)
                OnClose();
        });
}

QByteArray DdeServer::Answer(Client &client, const QByteArray &line, bool *close)
{
    const qsizetype blank = line.indexOf(' ');
    const QByteArray verb = blank < 0 ? line : line.left(blank);
    const QString argument = blank < 0 ? QString() : QString::fromUtf8(line.mid(blank + 1));
    if (verb == "EXECUTE") {
        QString refusal;
        if (OnExecute && OnExecute(argument, &refusal))
            return "ACK";
        return "NACK " + (refusal.isEmpty() ? QByteArray("Befehl abgelehnt") : refusal.toUtf8());
    }
    if (verb == "REQUEST") {
        const std::optional<QString> value = OnRequest ? OnRequest(argument) : std::nullopt;
        if (!value)
            return "NACK unbekanntes Element";
        QString text = *value;
        text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
        return "DATA " + text.toUtf8();
    }
    if (verb == "ADVSTART") {
        if (OnAdvise && !OnAdvise(argument))
            return "NACK unbekanntes Element";
        client.Advised.insert(argument);
        return "ACK";
    }
    if (verb == "ADVSTOP") {
        client.Advised.remove(argument);
        return "ACK";
    }
    if (verb == "CLOSE") {
        *close = true;
        return "ACK";
    }
    return "NACK unbekannte Transaktion";
}

void DdeServer::Advise(const QString &item)
{
    const QByteArray line = "ADVISE " + item.toUtf8() + '\n';
    for (auto it = m_clients.begin(); it != m_clients.end(); ++it) {
        if (it->Advised.contains(item)) {
            it.key()->write(line);
            it.key()->flush();
        }
    }
}
