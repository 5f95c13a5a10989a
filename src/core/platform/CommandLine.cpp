#include "platform/CommandLine.h"

#include "common/Paths.h"

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

} // namespace

bool CommandLine::isTerminalRun(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument.startsWith(QLatin1String("--")) || argument == QLatin1String("-h") ||
            argument == QLatin1String("-v") || argument == QLatin1String("-?"))
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
    parser.addOption(help);
    parser.addOption(version);

    if (!parser.parse(arguments)) {
        print(stderr, QStringLiteral("rufwart: %1\nTry 'rufwart --help'.\n").arg(parser.errorText()));
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        print(stderr, QStringLiteral("rufwart: unexpected argument '%1'\nTry 'rufwart --help'.\n")
                          .arg(parser.positionalArguments().first()));
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
    return 0;
}
