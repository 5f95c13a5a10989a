#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <map>
#include <optional>

class QLocalSocket;

// The client side of a conversation with the directory program: a local socket in the runtime
// folder named after the program's service and topic, carrying text lines (docs/dinfo-wire.md).
// It offers what the program needs of a DDE client conversation: execute requests, an advise
// link, requests for an item's value and the request to close. It lives on the main thread;
// its waits keep processing events.
class DdeConversation : public QObject
{
    Q_OBJECT
public:
    explicit DdeConversation(QObject *parent = nullptr);
    ~DdeConversation() override;

    // "<runtime folder>/dde-<service>-<topic>".
    static QString EndpointPath(const QString &service, const QString &topic);

    // Connects to the endpoint; true when it accepted the connection (the program is there).
    // Waits no longer than a local connection takes.
    bool Open(const QString &service, const QString &topic);
    bool IsOpen() const;
    // Ends the conversation (the program goes on running).
    void Close();

    // Sends an execute request without waiting for its result; false when the conversation is
    // not open or the request cannot be sent. A refusal that comes back later shows in
    // ExecuteRefused().
    bool Execute(const QString &command);
    // Sets up an advise link without data on `item`; true when the program confirmed it in time.
    bool StartAdvise(const QString &item, int timeoutMs);
    // The current value of `item`, when the program gave it in time.
    std::optional<QString> Request(const QString &item, int timeoutMs);
    // Asks the program to end; true when it confirmed in time. The conversation stays open
    // until the program closes it or Close() is called.
    bool RequestClose(int timeoutMs);

    // Since the last Execute: the program refused it, and why.
    bool ExecuteRefused() const { return m_executeRefused; }
    QString Refusal() const { return m_refusal; }
    // The program ended the conversation (it closed, or it died).
    bool Ended() const { return m_ended; }

    // The longest line either side sends; a peer that sends longer lines is cut off.
    static constexpr int kMaxLine = 4096;

signals:
    // The program ended the open conversation (not Close()).
    void ended();

private:
    enum class Kind
    {
        Execute,
        Advise,
        Request,
        Close,
    };
    struct Reply
    {
        bool Ok = false;
        QString Data;
    };
    quint64 Send(Kind kind, const QByteArray &verb, const QString &argument);
    std::optional<Reply> WaitReply(quint64 id, int timeoutMs);
    void ReadLines();
    void OnDisconnected();

    QLocalSocket *m_socket = nullptr;
    QByteArray m_buffer;
    quint64 m_nextId = 1;
    std::deque<std::pair<quint64, Kind>> m_pending; // sent, not yet answered, in order
    std::map<quint64, Reply> m_replies;             // answers of waited-for transactions
    bool m_executeRefused = false;
    QString m_refusal;
    bool m_ended = false;
};
