#include "platform/CommandLine.h"

#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "calls/JournalExport.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "common/Utils.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

void print(FILE *to, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

QString whereFilesLive()
{
    return QStringLiteral("Files:\n"
                          "  settings          %1\n"
                          "  caller directory  %2/rufwart/anruf.dat\n"
                          "  call journal      %2/rufwart/anruf2.dat\n"
                          "  release notes     %3\n")
        .arg(Paths::settingsFile(), Paths::dataHome(), Paths::sharedFile(QStringLiteral("readme.txt")));
}

// Writes the journal as CSV to `target`, "-" for standard output. Returns the exit status.
int writeJournalCsv(const QString &target)
{
    try {
        CallJournal journal;
        // A journal the monitor has not converted yet (it has not run since the update) still holds
        // the older 32-byte records: it is converted first, as the monitor's start would. One whose
        // records fit neither form would come out garbled either way.
        if (journal.ConvertJournal() == CallJournal::Conversion::Undecided) {
            print(stderr, QStringLiteral("rufwart: %1: the records fit neither journal form; nothing was "
                                         "exported\n")
                              .arg(journal.path()));
            return 1;
        }
        const QByteArray csv = ExportJournalCsv(journal, CallerDirectory());
        if (target == QLatin1String("-")) {
            if (std::fwrite(csv.constData(), 1, size_t(csv.size()), stdout) != size_t(csv.size()) ||
                std::fflush(stdout) != 0) {
                print(stderr,
                      QStringLiteral("rufwart: the journal could not be written to standard output\n"));
                return 1;
            }
        } else {
            WriteFileAtomic(target, csv, LinkMode::ReplaceLink);
        }
    } catch (const IoError &e) {
        print(stderr, QStringLiteral("rufwart: %1\n").arg(e.message()));
        return 1;
    }
    return 0;
}

} // namespace

namespace {
bool isOwnOption(const QString &argument)
{
    return argument.startsWith(QLatin1String("--")) || argument == QLatin1String("-h") ||
           argument == QLatin1String("-v") || argument == QLatin1String("-?");
}
} // namespace

bool CommandLine::isHeadlessRun(const QStringList &arguments)
{
    int own = 0;
    bool headless = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (isOwnOption(arguments[i])) {
            ++own;
            headless = headless || arguments[i] == QLatin1String("--headless");
        }
    }
    return headless && own == 1;
}

bool CommandLine::isTerminalRun(const QStringList &arguments)
{
    if (isHeadlessRun(arguments))
        return false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (isOwnOption(arguments[i]))
            return true;
    }
    return false;
}

int CommandLine::run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Rufwart 32 monitors incoming calls on an ISDN line through CAPI 2.0. Started "
                       "without options, it lives behind its icon in the notification area."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and where the program's files live."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the program's version."));
    const QCommandLineOption exportJournal(
        QStringLiteral("export-journal"),
        QStringLiteral("Writes the call journal as CSV (UTF-8; date, time, MSN, number, name) to FILE, "
                       "- for standard output, without starting the monitor."),
        QStringLiteral("FILE"));
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Runs the monitor without a display: it answers the line, keeps the journal and the "
                       "caller directory and looks unknown callers up, with messages on standard error, "
                       "until SIGTERM. Takes no other option."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(exportJournal);
    parser.addOption(headless);

    if (!parser.parse(arguments)) {
        print(stderr, QStringLiteral("rufwart: %1\nTry 'rufwart --help'.\n").arg(parser.errorText()));
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        print(stderr, QStringLiteral("rufwart: unexpected argument '%1'\nTry 'rufwart --help'.\n")
                          .arg(parser.positionalArguments().first()));
        return 2;
    }
    if (parser.isSet(headless) && !parser.isSet(help)) {
        print(stderr, QStringLiteral("rufwart: --headless takes no other option\nTry 'rufwart --help'.\n"));
        return 2;
    }
    if (parser.isSet(help)) {
        print(stdout, parser.helpText() + QLatin1Char('\n') + whereFilesLive());
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("Rufwart 32 %1\n").arg(QCoreApplication::applicationVersion()));
        return 0;
    }
    if (parser.isSet(exportJournal))
        return writeJournalCsv(parser.value(exportJournal));
    return 0;
}
