#include "dinfo/DdeConversation.h"

#include "common/Paths.h"
#include "common/Utils.h"

#include <QLocalSocket>

namespace {
// A local connection is accepted or refused at once; this only bounds a peer whose queue of
// waiting connections is full.
constexpr int kConnectMs = 500;

QString endpointPart(QString text)
{
    text.replace(QLatin1Char('/'), QLatin1Char('_'));
    return text;
}
} // namespace

DdeConversation::DdeConversation(QObject *parent) : QObject(parent) {}

DdeConversation::~DdeConversation()
{
    Close();
}

QString DdeConversation::EndpointPath(const QString &service, const QString &topic)
{
    return Paths::runtimeDir() + QStringLiteral("/dde-") + endpointPart(service) + QLatin1Char('-') +
           endpointPart(topic);
}

bool DdeConversation::Open(const QString &service, const QString &topic)
{
    Close();
    auto *socket = new QLocalSocket(this);
    socket->connectToServer(EndpointPath(service, topic));
    if (!socket->waitForConnected(kConnectMs)) {
        delete socket;
        return false;
    }
    m_socket = socket;
    m_ended = false;
    m_buffer.clear();
    m_pending.clear();
    m_replies.clear();
    connect(m_socket, &QLocalSocket::readyRead, this, &DdeConversation::ReadLines);
    connect(m_socket, &QLocalSocket::disconnected, this, &DdeConversation::OnDisconnected);
    return true;
}

bool DdeConversation::IsOpen() const
{
    return m_socket && !m_ended && m_socket->state() == QLocalSocket::ConnectedState;
}

void DdeConversation::Close()
{
    if (!m_socket)
        return;
    QLocalSocket *socket = m_socket;
    m_socket = nullptr;
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    // Not deleted at once: Close may run while the socket is delivering a signal.
    socket->deleteLater();
    m_pending.clear();
    m_replies.clear();
}

quint64 DdeConversation::Send(Kind kind, const QByteArray &verb, const QString &argument)
{
    if (!IsOpen())
        return 0;
    // One transaction is one line: a line break or a zero inside it would end it early and
    // slip in a second transaction.
    for (const QChar c : argument) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c.unicode() == 0)
            return 0;
    }
    QByteArray line = verb;
    if (!argument.isEmpty())
        line += ' ' + argument.toUtf8();
    line += '\n';
    if (line.size() > kMaxLine)
        return 0;
    if (m_socket->write(line) != line.size())
        return 0;
    m_socket->flush();
    const quint64 id = m_nextId++;
    m_pending.emplace_back(id, kind);
    return id;
}

bool DdeConversation::Execute(const QString &command)
{
    m_executeRefused = false;
    m_refusal.clear();
    return Send(Kind::Execute, "EXECUTE", command) != 0;
}

std::optional<DdeConversation::Reply> DdeConversation::WaitReply(quint64 id, int timeoutMs)
{
    if (id == 0)
        return std::nullopt;
    WaitFor([&] { return m_replies.count(id) > 0 || !IsOpen(); }, timeoutMs);
    const auto it = m_replies.find(id);
    if (it == m_replies.end())
        return std::nullopt;
    Reply reply = it->second;
    m_replies.erase(it);
    return reply;
}

bool DdeConversation::StartAdvise(const QString &item, int timeoutMs)
{
    const auto reply = WaitReply(Send(Kind::Advise, "ADVSTART", item), timeoutMs);
    return reply && reply->Ok;
}

std::optional<QString> DdeConversation::Request(const QString &item, int timeoutMs)
{
    const auto reply = WaitReply(Send(Kind::Request, "REQUEST", item), timeoutMs);
    if (!reply || !reply->Ok)
        return std::nullopt;
    return reply->Data;
}

bool DdeConversation::RequestClose(int timeoutMs)
{
    const auto reply = WaitReply(Send(Kind::Close, "CLOSE", QString()), timeoutMs);
    return reply && reply->Ok;
}

void DdeConversation::ReadLines()
{
    if (!m_socket)
        return;
    m_buffer += m_socket->readAll();
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n', start);
        if (end < 0)
            break;
        QByteArray line = m_buffer.mid(start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith("ADVISE"))
            continue; // an advised item changed; nothing here uses its value
        if (m_pending.empty())
            continue; // a reply nobody asked for
        const auto [id, kind] = m_pending.front();
        m_pending.pop_front();
        Reply reply;
        if (line == "ACK" || line == "DATA" || line.startsWith("DATA ")) {
            reply.Ok = true;
            reply.Data = QString::fromUtf8(line.mid(5));
        } else {
            reply.Data = QString::fromUtf8(line.startsWith("NACK ") ? line.mid(5) : line);
        }
        if (kind == Kind::Execute) {
            if (!reply.Ok) {
                m_executeRefused = true;
                m_refusal = reply.Data;
            }
        } else {
            m_replies[id] = reply;
        }
    }
    m_buffer.remove(0, start);
    if (m_buffer.size() > kMaxLine) {
        // No line of the conversation is this long: the peer is not the directory program.
        m_socket->abort();
        OnDisconnected();
    }
}

void DdeConversation::OnDisconnected()
{
    if (m_ended)
        return;
    m_ended = true;
    emit ended();
}
