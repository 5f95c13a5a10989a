#pragma once

#include <QByteArray>
#include <QString>

// The address book the look-up benchmarks answer from: `contacts` vCard 3.0 cards, contact i
// with the number 0777 1xxxxx (i in the last five digits), written in the forms people use,
// every third card with a company. Contact i is "Kontakt <i>, Jürgen".
inline QByteArray BenchContactsVCard(int contacts = 10000)
{
    QByteArray file;
    file.reserve(contacts * 120);
    for (int i = 0; i < contacts; ++i) {
        const QString digits = QStringLiteral("1%1").arg(i, 5, 10, QLatin1Char('0'));
        QString number;
        switch (i % 3) {
        case 0:
            number = QStringLiteral("+49 777 ") + digits;
            break;
        case 1:
            number = QStringLiteral("0777/") + digits.left(3) + QLatin1Char(' ') + digits.mid(3);
            break;
        default:
            number = QStringLiteral("0049 (0)777-") + digits;
            break;
        }
        QString card = QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Kontakt %1;Jürgen;;;\r\n").arg(i);
        if (i % 3 == 0)
            card += QStringLiteral("ORG:Elbwerk %1 GmbH\r\n").arg(i);
        card += QStringLiteral("TEL;TYPE=work:") + number + QStringLiteral("\r\nEND:VCARD\r\n");
        file += card.toUtf8();
    }
    return file;
}

// The number of contact i as the line delivers it (national, without its 0).
inline QString BenchContactLineNumber(int i)
{
    return QStringLiteral("7771%1").arg(i, 5, 10, QLatin1Char('0'));
}
