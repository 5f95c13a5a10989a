#pragma once

#include "MqttOptions.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <csignal>
#include <sys/prctl.h>

// A copy named `node` reaching a broker on this machine's loopback at `port`.
inline MqttOptions LoopbackOptions(int port, const QString &node)
{
    MqttOptions o;
    o.Host = QStringLiteral("127.0.0.1");
    o.Port = port;
    o.Node = node;
    return o;
}

// A Mosquitto broker of the test's own, never the system service: started from a configuration
// written into its own temporary folder, on a free loopback port, persistent (so a restart keeps
// the sessions and what they are owed), optionally with TLS (a CA and a server certificate made
// here with openssl) and a password file. Tests and benchmarks share it.
class MosquittoBroker
{
public:
    struct Setup
    {
        bool Tls;
        QString User; // with a password: anonymous clients are refused
        QString Password;
    };

    MosquittoBroker() : MosquittoBroker(Setup{false, {}, {}}) {}
    explicit MosquittoBroker(Setup setup) : m_setup(std::move(setup))
    {
        m_prepared = m_dir.isValid() && QDir().mkpath(Path("data"));
        if (m_setup.Tls) {
            m_prepared =
                m_prepared && MakeCa("ca") && MakeCa("other-ca") &&
                Run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout server.key "
                    "-out server.csr -subj /CN=localhost && "
                    "printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\\n' > san.ext && "
                    "openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -out "
                    "server.crt "
                    "-days 2 -extfile san.ext");
        }
        if (!m_setup.User.isEmpty())
            m_prepared = m_prepared && Run(QStringLiteral("mosquitto_passwd -b -c passwords '%1' '%2'")
                                               .arg(m_setup.User, m_setup.Password));
    }
    ~MosquittoBroker() { Stop(); }

    QString Path(const QString &name) const { return m_dir.filePath(name); }
    int Port() const { return m_port; }
    // The CA that signed the broker's certificate, and one that did not.
    QString CaFile() const { return Path("ca.crt"); }
    QString OtherCaFile() const { return Path("other-ca.crt"); }

    // Starts it (again on the same port after Stop); true once it takes connections.
    bool Start()
    {
        if (!m_prepared)
            return false;
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (m_port == 0 || attempt > 0)
                m_port = FreePort();
            if (StartOn(m_port))
                return true;
            if (m_restart)
                return false; // the port is taken now: a restart cannot move
        }
        return false;
    }

    // Ends it as a service manager would (SIGTERM: it saves its sessions first).
    void Stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(20000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
        m_restart = true;
    }

private:
    static int FreePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

    bool StartOn(int port)
    {
        QFile conf(Path("mosquitto.conf"));
        if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        QByteArray text = QStringLiteral("listener %1 127.0.0.1\n").arg(port).toUtf8();
        text += "persistence true\npersistence_location " + Path("data").toUtf8() + "/\n";
        text +=
            "user root\nmax_queued_messages 100000\nlog_dest file " + Path("mosquitto.log").toUtf8() + "\n";
        if (m_setup.User.isEmpty())
            text += "allow_anonymous true\n";
        else
            text += "allow_anonymous false\npassword_file " + Path("passwords").toUtf8() + "\n";
        if (m_setup.Tls)
            text += "cafile " + CaFile().toUtf8() + "\ncertfile " + Path("server.crt").toUtf8() +
                    "\nkeyfile " + Path("server.key").toUtf8() + "\n";
        conf.write(text);
        conf.close();
        m_process.setProgram(QStringLiteral("mosquitto"));
        m_process.setArguments({QStringLiteral("-c"), conf.fileName()});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // It ends with the test, also when the test is killed.
        m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return false;
        // Up once it takes a connection; gone at once when the port was taken meanwhile.
        return WaitUntil([&] {
                   if (m_process.state() == QProcess::NotRunning)
                       return true;
                   QTcpSocket socket;
                   socket.connectToHost(QHostAddress::LocalHost, quint16(port));
                   return socket.waitForConnected(200);
               }) &&
               m_process.state() == QProcess::Running;
    }

    bool MakeCa(const QString &name)
    {
        return Run(QStringLiteral("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                                  "-keyout %1.key -out %1.crt -days 2 -subj '/CN=Rufwart test %1'")
                       .arg(name));
    }

    bool Run(const QString &command)
    {
        QProcess shell;
        shell.setWorkingDirectory(m_dir.path());
        shell.setProcessChannelMode(QProcess::MergedChannels);
        shell.start(QStringLiteral("bash"), {QStringLiteral("-c"), command});
        if (shell.waitForFinished(60000) && shell.exitStatus() == QProcess::NormalExit &&
            shell.exitCode() == 0)
            return true;
        qWarning("%s failed: %s", qPrintable(command), shell.readAll().constData());
        return false;
    }

    Setup m_setup;
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    bool m_restart = false;
    bool m_prepared = false;
};

// A TCP relay in front of the broker, on the main thread: Cut() ends every connection at once
// (the broker sees a connection lost without a goodbye) and takes no new ones until Resume().
class CuttableRelay : public QObject
{
public:
    explicit CuttableRelay(int brokerPort) : m_brokerPort(brokerPort)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        m_port = m_server.serverPort();
        connect(&m_server, &QTcpServer::newConnection, this, &CuttableRelay::Accept);
    }
    int Port() const { return m_port; }

    void Cut()
    {
        m_server.close();
        for (QTcpSocket *socket : findChildren<QTcpSocket *>())
            socket->abort();
        qDeleteAll(findChildren<QTcpSocket *>());
    }
    void Resume() { m_server.listen(QHostAddress::LocalHost, quint16(m_port)); }

private:
    void Accept()
    {
        while (QTcpSocket *client = m_server.nextPendingConnection()) {
            client->setParent(this);
            auto *broker = new QTcpSocket(this);
            broker->connectToHost(QHostAddress::LocalHost, quint16(m_brokerPort));
            connect(client, &QTcpSocket::readyRead, broker,
                    [client, broker] { broker->write(client->readAll()); });
            connect(broker, &QTcpSocket::readyRead, client,
                    [client, broker] { client->write(broker->readAll()); });
            connect(client, &QTcpSocket::disconnected, broker, &QTcpSocket::disconnectFromHost);
            connect(broker, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        }
    }

    QTcpServer m_server;
    int m_brokerPort;
    int m_port = 0;
};
