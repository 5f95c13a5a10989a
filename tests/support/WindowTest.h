#pragma once

// Helpers of the window tests.

#include "widgets/MessageDialog.h"

#include <QApplication>
#include <QEvent>
#include <QHostAddress>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTest>
#include <QWidget>

#include <type_traits>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// QVERIFY and QCOMPARE in a helper of a test only leave the helper. A call of a helper that may
// fail the test goes through CHECKED, which then stops the calling test as well, before it runs on
// into what the helper did not set up.
#define CHECKED(call)                                                                                        \
    do {                                                                                                     \
        call;                                                                                                \
        if (QTest::currentTestFailed())                                                                      \
            return;                                                                                          \
    } while (false)

// The control of `w` with this object name. A missing control fails the running test and hands
// back a blank stand-in of the same type (deleted with `w`), so the expression it stands in
// neither crashes nor ends the other tests of the executable; the next check stops the test.
template<typename T> T *child(QWidget *w, const char *name)
{
    static_assert(!std::is_abstract_v<T>, "child<T> names the control's own type");
    if (T *found = w->findChild<T *>(QString::fromLatin1(name)))
        return found;
    QTest::qFail(qPrintable(QStringLiteral("no control %1 in %2").arg(QLatin1String(name), w->objectName())),
                 __FILE__, __LINE__);
    auto *standIn = new T;
    standIn->setParent(w);
    if constexpr (std::is_base_of_v<QWidget, T>)
        standIn->hide();
    return standIn;
}

// The window of type T shown last while this lives, or null once that one is gone: how a test
// finds the notification and progress windows the program opens and keeps no hold of.
template<typename T> class NewestWindow : public QObject
{
public:
    NewestWindow() { qApp->installEventFilter(this); }
    T *get() const { return m_newest.data(); }
    explicit operator bool() const { return !m_newest.isNull(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *window = qobject_cast<T *>(watched); window && window->isWindow())
                m_newest = window;
        }
        return false;
    }

private:
    QPointer<T> m_newest;
};

// A loopback port on which nobody answers: CAPI over TCP to it fails at once.
inline quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

// A loopback port that hears nothing: its queue of connections waiting to be accepted is full, so
// a further connect goes unanswered until the network's connect time-out (minutes), as with an
// address that cannot be reached.
class UnansweredPort
{
public:
    UnansweredPort()
    {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            ::listen(m_listener, 0) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            qFatal("UnansweredPort: no listening socket");
        m_port = ntohs(address.sin_port);
        // One connection waits to be accepted, and fills the queue.
        m_waiting = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(m_waiting, reinterpret_cast<sockaddr *>(&address), length) != 0)
            qFatal("UnansweredPort: the queue could not be filled");
    }
    ~UnansweredPort()
    {
        ::close(m_waiting);
        ::close(m_listener);
    }
    UnansweredPort(const UnansweredPort &) = delete;
    UnansweredPort &operator=(const UnansweredPort &) = delete;
    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    int m_waiting = -1;
    quint16 m_port = 0;
};

// Answers every notice and question while it lives, without showing them: records each text and
// answers questions with `yes` (the right-hand button, "&Ja").
struct MessageAnswers
{
    QStringList texts;
    bool yes = false;
    MessageAnswers()
    {
        MsgDlgHook::setHandler([this](const QString &text, int) {
            texts << text;
            return yes;
        });
    }
    ~MessageAnswers() { MsgDlgHook::setHandler({}); }
    MessageAnswers(const MessageAnswers &) = delete;
    MessageAnswers &operator=(const MessageAnswers &) = delete;
};
