#pragma once

// Helpers of the window tests.

#include "windows/MessageDialog.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTest>
#include <QWidget>

#include <type_traits>

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

// A loopback port on which nobody answers: CAPI over TCP to it fails at once.
inline quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

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
