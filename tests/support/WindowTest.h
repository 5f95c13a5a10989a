#pragma once

// Helpers of the window tests.

#include <QHostAddress>
#include <QString>
#include <QTcpServer>
#include <QWidget>

// The control of `w` with this object name; a missing control ends the test run.
template<typename T> T *child(QWidget *w, const char *name)
{
    T *found = w->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// A loopback port on which nobody answers: CAPI over TCP to it fails at once.
inline quint16 closedPort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}
