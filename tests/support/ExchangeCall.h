#pragma once

#include "ControlClient.h"

#include <QString>
#include <QStringList>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

// What the virtual exchange reported for one call placed through its control interface.
struct ExchangeOffer
{
    QString reaction; // alerted, accepted, rejected, ignored (the program's first reaction)
    QString reject;   // the Reject value of a rejection
    QString result;   // the END result
    std::chrono::steady_clock::time_point answered; // when the reaction came
};

// Places a call and waits for its end on the calling thread (not the windows' thread); the caller
// hangs up once the program has let it ring or taken it. An empty `from` calls without number.
inline ExchangeOffer OfferExchangeCall(quint16 port, const QString &from, const QString &to,
                                       const QString &service = QStringLiteral("telephony"))
{
    ExchangeOffer offer;
    isdnsim::ControlClient control;
    std::string error, line;
    if (control.connect("127.0.0.1", port, &error) &&
        control.sendLine("CALL from=" + (from.isEmpty() ? std::string("-") : from.toStdString()) +
                         " to=" + to.toStdString() + " cip=" + service.toStdString())) {
        while (control.readLine(&line, 20000)) {
            const QString word = QString::fromStdString(line).section(QLatin1Char(' '), 0, 0).toLower();
            if (offer.reaction.isEmpty() &&
                (word == "alerted" || word == "accepted" || word == "rejected" || word == "ignored")) {
                offer.reaction = word;
                offer.reject = QString::fromStdString(isdnsim::lineValue(line, "reject"));
                offer.answered = std::chrono::steady_clock::now();
                if (word == "alerted" || word == "accepted")
                    control.sendLine("HANGUP");
            }
            if (word == "end") {
                offer.result = QString::fromStdString(isdnsim::lineValue(line, "result"));
                break;
            }
        }
    }
    return offer;
}

// The same while this thread keeps the windows running.
inline ExchangeOffer PlaceExchangeCall(quint16 port, const QString &from, const QString &to,
                                       const QString &service = QStringLiteral("telephony"))
{
    ExchangeOffer offer;
    std::atomic<bool> done{false};
    std::thread caller([&] {
        offer = OfferExchangeCall(port, from, to, service);
        done = true;
    });
    const bool ended = QTest::qWaitFor([&] { return done.load(); }, 30000);
    caller.join();
    if (!ended)
        qFatal("the call did not end");
    return offer;
}

// The exchange's log lines from `since` on; `since` moves past them.
inline QStringList ExchangeEvents(quint16 port, int &since)
{
    isdnsim::ControlClient control;
    std::string error;
    if (!control.connect("127.0.0.1", port, &error))
        qFatal("control: %s", error.c_str());
    QStringList lines;
    for (const std::string &line : control.request("EVENTS since=" + std::to_string(since), 10000)) {
        const QString text = QString::fromStdString(line);
        if (text.startsWith(QStringLiteral("END next=")))
            since = text.mid(9).toInt();
        else
            lines << text;
    }
    return lines;
}
