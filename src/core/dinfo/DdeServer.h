#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

// The program side of the directory program's conversation (docs/dinfo-wire.md): listens on the
// endpoint of a service and topic and answers each client's transactions in order, one reply
// line per transaction. Only the user who runs it can connect.
class DdeServer : public QObject
{
    Q_OBJECT
public:
    explicit DdeServer(QObject *parent = nullptr);
    ~DdeServer() override;

    // Serves the endpoint. False, with the reason, when another program already serves it or the
    // endpoint cannot be made; a left-over endpoint of a program that ended is taken over.
    bool Listen(const QString &service, const QString &topic, QString *error);
    QString Path() const;

    // An execute request: true accepts it; false refuses it with *refusal.
    std::function<bool(const QString &command, QString *refusal)> OnExecute;
    // The value of an item, or nothing when the item is unknown.
    std::function<std::optional<QString>(const QString &item)> OnRequest;
    // Whether an advise link on the item can be set up (without: every item can).
    std::function<bool(const QString &item)> OnAdvise;
    // The request to close: runs after the confirmation has been sent.
    std::function<void()> OnClose;

    // Tells every client with an advise link on `item` that it changed.
    void Advise(const QString &item);

private:
    struct Client
    {
        QByteArray Buffer;
        QSet<QString> Advised;
    };
    void Accept();
    void ReadFrom(QLocalSocket *socket);
    QByteArray Answer(Client &client, const QByteArray &line, bool *close);

    QLocalServer *m_server = nullptr;
    QHash<QLocalSocket *, Client> m_clients;
};
