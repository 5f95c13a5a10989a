#pragma once

// Display servers of a test's (or benchmark's) own, so that the built program can be run on a
// real platform plugin rather than offscreen: a headless Weston for Wayland, an Xvfb for X11.
// Each lives as long as its object and ends with the process that started it, however that ends.

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>

#include <atomic>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

class DisplayServer
{
public:
    DisplayServer() = default;
    DisplayServer(const DisplayServer &) = delete;
    DisplayServer &operator=(const DisplayServer &) = delete;
    virtual ~DisplayServer()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(10000))
                m_server.kill();
            m_server.waitForFinished(10000);
        }
    }

    // Why start() failed: the program is not installed, or it did not come up.
    QString error() const { return m_error; }
    // True when start() failed because the server program is not installed.
    bool missing() const { return m_missing; }

    // Points a client's environment at this server, with QT_QPA_PLATFORM set to its plugin.
    virtual void addTo(QProcessEnvironment &env) const = 0;

protected:
    // Starts `program` with `arguments` in `env`; false (with the reason) when it is not installed.
    bool launch(const QString &program, const QStringList &arguments, const QProcessEnvironment &env)
    {
        const QString path = QStandardPaths::findExecutable(program);
        if (path.isEmpty()) {
            m_missing = true;
            m_error = program + QStringLiteral(" is not installed");
            return false;
        }
        // What the server says goes to a file: a pipe that nobody reads would stop it once full.
        m_log.open();
        m_server.setStandardErrorFile(m_log.fileName());
        m_server.setProcessEnvironment(env);
        m_server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        m_server.start(path, arguments);
        if (!m_server.waitForStarted(10000)) {
            m_error = program + QStringLiteral(" did not start: ") + m_server.errorString();
            return false;
        }
        return true;
    }
    // Waits up to `limitMs` for `ready`, while the server runs.
    template<typename Ready> bool waitFor(Ready ready, const QString &what, int limitMs = 30000)
    {
        for (int waited = 0; waited < limitMs; waited += 20) {
            if (ready())
                return true;
            if (m_server.state() == QProcess::NotRunning) {
                QFile log(m_log.fileName());
                log.open(QIODevice::ReadOnly);
                m_error =
                    what + QStringLiteral(" ended: ") + QString::fromLocal8Bit(log.readAll().right(2000));
                return false;
            }
            QThread::msleep(20);
        }
        m_error = what + QStringLiteral(": no answer within the time");
        return false;
    }

    QProcess m_server;
    QTemporaryFile m_log;
    QString m_error;
    bool m_missing = false;
};

// Weston with its headless back end, on a socket of its own in a runtime folder of its own
// (mode 0700), started with --debug so that a client can read its scene graph.
class HeadlessWeston : public DisplayServer
{
public:
    bool start()
    {
        if (!m_runtime.isValid()) {
            m_error = QStringLiteral("no temporary folder");
            return false;
        }
        static std::atomic<int> count{0};
        m_socket = QStringLiteral("rufwart-%1-%2").arg(::getpid()).arg(count++);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("DISPLAY"));
        m_server.setStandardOutputFile(QProcess::nullDevice());
        if (!launch(QStringLiteral("weston"),
                    {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--socket=") + m_socket,
                     QStringLiteral("--idle-time=0"), QStringLiteral("--debug")},
                    env))
            return false;
        return waitFor([this] { return QFileInfo::exists(socketPath()); }, QStringLiteral("weston"));
    }

    // The socket's full path: a client finds it there whatever its own XDG_RUNTIME_DIR.
    QString socketPath() const { return m_runtime.path() + QLatin1Char('/') + m_socket; }

    void addTo(QProcessEnvironment &env) const override
    {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), socketPath());
    }

    // What the compositor shows now, as `weston-debug scene-graph` prints it: a view per
    // surface, with its role, the client's PID and the window's title.
    QString sceneGraph() const
    {
        QProcess debug;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), m_socket);
        debug.setProcessEnvironment(env);
        debug.start(QStringLiteral("weston-debug"), {QStringLiteral("scene-graph")});
        if (!debug.waitForFinished(10000))
            debug.kill();
        return QString::fromLocal8Bit(debug.readAllStandardOutput());
    }

private:
    QTemporaryDir m_runtime;
    QString m_socket;
};

// Xvfb on the first free display number (it names it itself).
class VirtualX : public DisplayServer
{
public:
    bool start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!launch(QStringLiteral("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                     QStringLiteral("1280x1024x24")},
                    env))
            return false;
        return waitFor(
            [this] {
                m_server.waitForReadyRead(20);
                m_output += m_server.readAllStandardOutput();
                return m_output.endsWith('\n');
            },
            QStringLiteral("Xvfb"));
    }

    QString display() const { return QLatin1Char(':') + QString::fromLatin1(m_output.trimmed()); }

    void addTo(QProcessEnvironment &env) const override
    {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), display());
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    }

private:
    QByteArray m_output;
};
