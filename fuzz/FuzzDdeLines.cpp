// The lines of the directory program's conversation, both ends, over real local sockets:
// - the program's end (DdeServer) answers every whole line a client sends with exactly one
//   line, in order, and cuts off a client whose line grows beyond the longest there is;
// - the monitor's end (DdeConversation) takes any reply lines without a crash or a hang, gives
//   no value holding a line break, and matches a reply to no more than one request.
//
// Input: one byte of set-up, then what a client sends the server (up to a byte 0xFF), then for
// each of the conversation's requests the bytes a peer sends back when the request arrives.

#include "FuzzSupport.h"

#include "common/Utils.h"
#include "dinfo/DdeConversation.h"
#include "dinfo/DdeServer.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <cstdlib>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

// A reply that comes at all comes at once; this only bounds a hang.
constexpr int kReplyMs = 2000;

QString g_folder;
DdeServer *g_server = nullptr;
QLocalServer *g_peer = nullptr;

void removeFolder()
{
    QDir(g_folder).removeRecursively();
}

// The program's end: whole lines sent, their replies, and the cut-off.
void fuzzServer(const QByteArray &sent)
{
    QLocalSocket client;
    client.connectToServer(g_server->Path());
    FUZZ_CHECK(client.waitForConnected(1000));
    client.write(sent);
    client.flush();

    // Whole lines up to and including a CLOSE (the server stops reading there).
    int lines = 0;
    bool closes = false;
    qsizetype start = 0;
    for (qsizetype end; !closes && (end = sent.indexOf('\n', start)) >= 0; start = end + 1) {
        ++lines;
        QByteArray line = sent.mid(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        closes = line == "CLOSE" || line.startsWith("CLOSE ");
    }
    const bool tooLong = !closes && sent.size() - start > DdeConversation::kMaxLine;

    QByteArray replies;
    WaitFor(
        [&] {
            replies += client.readAll();
            return replies.count('\n') >= lines + (tooLong ? 1 : 0) ||
                   client.state() != QLocalSocket::ConnectedState;
        },
        kReplyMs);
    replies += client.readAll();
    const QList<QByteArray> got = replies.split('\n');
    FUZZ_CHECK(got.size() - 1 == lines + (tooLong ? 1 : 0)); // one line each, nothing else
    for (qsizetype i = 0; i + 1 < got.size(); ++i)
        FUZZ_CHECK(got[i] == "ACK" || got[i].startsWith("NACK ") || got[i].startsWith("DATA "));
    if (tooLong)
        FUZZ_CHECK(got[got.size() - 2] == "NACK Zeile zu lang");
    client.abort();
}

// The monitor's end against a peer that answers each request with the input's next bytes.
void fuzzConversation(FuzzedDataProvider &in)
{
    std::vector<QByteArray> answers;
    while (in.remaining_bytes() > 0 && answers.size() < 8)
        answers.push_back(QByteArray::fromStdString(in.ConsumeRandomLengthString(600)));
    const size_t requests = answers.size();
    // Whether request i waits for a reply. Nothing moves on the sockets outside a wait; in a wait
    // the peer answers every request line that reached it, and the conversation reads every line
    // of those answers at once, each line (but an ADVISE) answering the oldest open request, or
    // none when none is open. So a wait gets its reply exactly when that leaves no request open,
    // and otherwise waits in vain: it is not made (and nothing moves).
    QByteArray heardByModel;
    int open = 0;
    size_t answered = 0;
    auto waitsFor = [&](size_t request) {
        QByteArray buffer = heardByModel;
        for (size_t i = answered; i <= request; ++i)
            buffer += answers[i];
        int left = open;
        qsizetype start = 0;
        for (qsizetype end; (end = buffer.indexOf('\n', start)) >= 0; start = end + 1) {
            if (!buffer.sliced(start, end - start).startsWith("ADVISE") && left > 0)
                --left;
        }
        if (left > 0)
            return false;
        heardByModel = buffer.sliced(start);
        open = 0;
        answered = request + 1;
        return true;
    };

    DdeConversation conversation;
    FUZZ_CHECK(conversation.Open(QStringLiteral("FUZZ"), QStringLiteral("PEER")));
    FUZZ_CHECK(g_peer->waitForNewConnection(1000));
    std::unique_ptr<QLocalSocket> peer(g_peer->nextPendingConnection());
    FUZZ_CHECK(peer);
    QByteArray heard;
    size_t sent = 0;
    QObject::connect(peer.get(), &QLocalSocket::readyRead, peer.get(), [&] {
        heard += peer->readAll();
        for (qsizetype end; (end = heard.indexOf('\n')) >= 0; heard.remove(0, end + 1)) {
            if (sent == answers.size())
                continue;
            peer->write(answers[sent++]);
            peer->flush();
        }
    });

    for (size_t i = 0; i < requests && conversation.IsOpen(); ++i) {
        ++open;
        const int waitMs = i % 4 != 0 && waitsFor(i) ? kReplyMs : 0;
        switch (i % 4) {
        case 0:
            conversation.Execute(QStringLiteral("[Suche(\"030\")]"));
            break;
        case 1: {
            const std::optional<QString> value = conversation.Request(QStringLiteral("Name"), waitMs);
            FUZZ_CHECK(!value || !value->contains(QLatin1Char('\n')));
            break;
        }
        case 2:
            conversation.StartAdvise(QStringLiteral("Name"), waitMs);
            break;
        default:
            conversation.RequestClose(waitMs);
            break;
        }
        FUZZ_CHECK(!conversation.Refusal().contains(QLatin1Char('\n')));
    }
    conversation.Close();
    peer->abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    FuzzSupport::QuietQtMessages();
    const QString base =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QByteArray pattern = (base + QStringLiteral("/rufwart-fuzz-dde-XXXXXX")).toLocal8Bit();
    FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
    g_folder = QString::fromLocal8Bit(pattern);
    qputenv("XDG_RUNTIME_DIR", pattern);
    std::atexit(removeFolder);
    new QCoreApplication(*argc, *argv);

    g_server = new DdeServer;
    g_server->OnExecute = [](const QString &command, QString *refusal) {
        if (command.startsWith(QLatin1Char('[')))
            return true;
        *refusal = command; // the program may give the command back in its refusal
        return false;
    };
    g_server->OnRequest = [](const QString &item) -> std::optional<QString> {
        if (item.isEmpty())
            return std::nullopt;
        return item + QStringLiteral("\r\n") + item; // a value over two lines
    };
    g_server->OnAdvise = [](const QString &item) { return !item.startsWith(QLatin1Char('x')); };
    QString error;
    FUZZ_CHECK(g_server->Listen(QStringLiteral("FUZZ"), QStringLiteral("SERVER"), &error));

    g_peer = new QLocalServer;
    const QString peerPath = DdeConversation::EndpointPath(QStringLiteral("FUZZ"), QStringLiteral("PEER"));
    QLocalServer::removeServer(peerPath);
    FUZZ_CHECK(g_peer->listen(peerPath));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView all = FuzzSupport::View(data, size);
    const qsizetype split = all.indexOf('\xff');
    fuzzServer((split < 0 ? all : all.first(split)).toByteArray());
    if (split >= 0) {
        FuzzedDataProvider in(data + split + 1, size - size_t(split) - 1);
        fuzzConversation(in);
    }
    QCoreApplication::processEvents(); // sockets closed by either end go now
    return 0;
}
