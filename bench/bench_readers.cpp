// The address book readers on generated worst cases, one per run, so that /usr/bin/time -v gives
// the peak memory of that case alone:
//
//   bench_readers csv ROWS [COLUMNS]  a header of COLUMNS number columns, then ROWS short rows
//   bench_readers vcard LINES         a quoted-printable line without colon, LINES soft breaks
//   bench_readers import DIGITS       the import of one contact whose number has DIGITS digits
//   bench_readers file MIB csv|vcard [import]
//                                     a file of MIB MiB of the smallest contacts, read as a file;
//                                     with "import" also planned as the caller list's import does
//   bench_readers photos MIB          a vCard file of MIB MiB of cards with photos, read and
//                                     planned as the caller list's import does it (on a worker
//                                     thread: the time the main thread would otherwise stand still)
//
// Each prints readers_ms (the read alone) and contacts (how many came out).
#include "BenchSupport.h"
#include "contacts/Contact.h"
#include "contacts/ContactImport.h"
#include "contacts/CsvReader.h"
#include "contacts/VCardReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void report(const QElapsedTimer &timer, qsizetype contacts)
{
    std::printf("readers_ms: %lld\ncontacts: %lld\n", static_cast<long long>(timer.elapsed()),
                static_cast<long long>(contacts));
}

// Writes `mib` MiB of `record` (after `head`) in pieces, so that the writing needs no memory.
QString writeFile(const QTemporaryDir &dir, const QByteArray &head, const QByteArray &record, qint64 mib)
{
    const QString path = dir.path() + QStringLiteral("/book");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail("cannot write the address book");
    file.write(head);
    QByteArray piece;
    while (piece.size() < 1024 * 1024)
        piece += record;
    for (qint64 written = head.size(); written < mib * 1024 * 1024; written += piece.size())
        file.write(piece);
    file.resize(mib * 1024 * 1024); // the last record may end short
    return path;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        fail("usage: bench_readers csv|vcard|import|file N [...]");
    const QString mode = args[1];
    const qint64 n = args[2].toLongLong();
    QElapsedTimer timer;
    if (mode == QLatin1String("csv")) {
        const qint64 columns = args.size() > 3 ? args[3].toLongLong() : 100000;
        QString text = QStringLiteral("Name");
        for (qint64 i = 0; i < columns; ++i)
            text += QStringLiteral(",Tel");
        text += QLatin1Char('\n');
        for (qint64 i = 0; i < n; ++i)
            text += QStringLiteral("a\n");
        timer.start();
        report(timer, ReadCsvContacts(text).size());
    } else if (mode == QLatin1String("vcard")) {
        QByteArray bytes = "BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE;ENCODING=QUOTED-PRINTABLE=\r\n";
        for (qint64 i = 0; i < n; ++i)
            bytes += "a=\r\n";
        bytes += "a\r\nN:Nach;Vor\r\nTEL:030 1234567\r\nEND:VCARD\r\n";
        timer.start();
        report(timer, ReadVCards(bytes).size());
    } else if (mode == QLatin1String("import")) {
        Contact contact;
        contact.Surname = QStringLiteral("Lang");
        contact.Phones << QStringLiteral("+") + QString(n, QLatin1Char('1'));
        const QList<CallerRecord> rows = {{QStringLiteral("01*"), QStringLiteral("Gruppe"), false}};
        timer.start();
        const ContactImport plan =
            PlanContactImport(rows, {contact}, NumberPlan::fromText("49", "30"), true, false);
        report(timer, plan.New);
    } else if (mode == QLatin1String("file") && args.size() > 3) {
        QTemporaryDir dir;
        const bool csv = args[3] == QLatin1String("csv");
        const QString path = csv ? writeFile(dir, "Name;Tel\n", "a;1\n", n)
                                 : writeFile(dir, "", "BEGIN:VCARD\nN:a\nTEL:1\nEND:VCARD\n", n);
        timer.start();
        QString error;
        qsizetype contacts = 0;
        if (args.value(4) == QLatin1String("import")) {
            const ContactImportPlans plans =
                ReadContactImport(path, {}, NumberPlan::fromText("49", "30"), true);
            contacts = plans.KeepNamed.New + plans.KeepNamed.SkippedTotal();
            error = plans.Error;
        } else {
            contacts = ReadContactFile(path, &error).size();
        }
        report(timer, contacts);
        if (!error.isEmpty())
            std::printf("error: %s\n", qPrintable(error));
    } else if (mode == QLatin1String("photos")) {
        QTemporaryDir dir;
        QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Kontakt;Jürgen;;;\r\nTEL:+49 30 1234567\r\n"
                          "PHOTO;ENCODING=b;TYPE=JPEG:";
        card += QByteArray(40 * 1024, 'A').toBase64();
        card += "\r\nEND:VCARD\r\n";
        const QString path = writeFile(dir, "", card, n);
        timer.start();
        const ContactImportPlans plans = ReadContactImport(path, {}, NumberPlan::fromText("49", "30"), true);
        report(timer, plans.KeepNamed.New + plans.KeepNamed.Skipped[ContactImport::Twice]);
        if (!plans.Error.isEmpty())
            std::printf("error: %s\n", qPrintable(plans.Error));
    } else {
        fail("unknown mode");
    }
    return 0;
}
