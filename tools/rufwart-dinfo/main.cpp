// rufwart-dinfo: a telephone directory for Rufwart's reverse look-up, answering from the user's
// own address books (vCard, CSV). Rufwart starts it as "dinfowin.exe /DDE" or "dinfo32.exe /DDE"
// from its D-Info folder; it then serves the conversation of that version and writes each
// answer to dinfo.prz in that folder. See docs/dinfo-wire.md.
#include "StandIn.h"

#include "common/Errors.h"
#include "dinfo/DInfoClient.h"
#include "dinfo/DdeServer.h"
#include "platform/Startup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

// Which versions' endpoints to serve: the one the program file's name stands for, else both.
QList<int> versionsFor(const QString &choice, const QString &programName)
{
    if (choice == QLatin1String("3.0"))
        return {0};
    if (choice == QLatin1String("97"))
        return {1};
    if (choice == QLatin1String("both"))
        return {0, 1};
    const QString name = programName.toLower();
    for (int index : {0, 1}) {
        if (name == QLatin1String(DInfoVersion::of(index).Exe))
            return {index};
    }
    return {0, 1};
}

// The folder of the program file as it was started (a link in the D-Info folder stays in it).
QString startFolder(const QString &argv0)
{
    if (argv0.contains(QLatin1Char('/')))
        return QFileInfo(argv0).absolutePath();
    return QDir::currentPath();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rufwart-dinfo"));
    const QString argv0 = QString::fromLocal8Bit(argv[0]);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Answers Rufwart's reverse look-ups (D-Info) from your vCard and CSV address books.\n"
                       "Settings: %1")
            .arg(StandInSettings::File()));
    parser.addHelpOption();
    const QCommandLineOption sourceOption(QStringLiteral("source"),
                                          QStringLiteral("Address book file or folder (repeatable)."),
                                          QStringLiteral("path"));
    const QCommandLineOption countryOption(QStringLiteral("country"),
                                           QStringLiteral("Your country code (49)."), QStringLiteral("code"));
    const QCommandLineOption areaOption(
        QStringLiteral("area"), QStringLiteral("Your area code (30 for Berlin)."), QStringLiteral("code"));
    const QCommandLineOption saveOption(
        QStringLiteral("save"), QStringLiteral("Store --source, --country and --area as the settings."));
    const QCommandLineOption lookupOption(QStringLiteral("lookup"),
                                          QStringLiteral("Print the answer for a number and end."),
                                          QStringLiteral("number"));
    const QCommandLineOption versionOption(QStringLiteral("serve"),
                                           QStringLiteral("Endpoints to serve: 3.0, 97 or both (default: by "
                                                          "the program file's name)."),
                                           QStringLiteral("version"));
    const QCommandLineOption folderOption(QStringLiteral("folder"),
                                          QStringLiteral("Folder for the answer file (default: the program "
                                                         "file's folder)."),
                                          QStringLiteral("folder"));
    parser.addOptions(
        {sourceOption, countryOption, areaOption, saveOption, lookupOption, versionOption, folderOption});
    parser.addPositionalArgument(QStringLiteral("/DDE"), QStringLiteral("Started by Rufwart."));
    parser.process(app);

    const bool startedByProgram =
        parser.positionalArguments().contains(QStringLiteral("/DDE"), Qt::CaseInsensitive);
    if (startedByProgram) {
        // Started by Rufwart: it ends with it, also when Rufwart is killed.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() == 1)
            return 0;
    }

    StandInSettings settings = StandInSettings::Read();
    if (parser.isSet(sourceOption)) {
        settings.Sources.clear();
        for (const QString &source : parser.values(sourceOption))
            settings.Sources << QFileInfo(source).absoluteFilePath();
    }
    if (parser.isSet(countryOption))
        settings.CountryCode = parser.value(countryOption);
    if (parser.isSet(areaOption))
        settings.AreaCode = parser.value(areaOption);
    if (parser.isSet(saveOption)) {
        try {
            settings.Write();
        } catch (const IoError &e) {
            std::fprintf(stderr, "rufwart-dinfo: %s\n", qPrintable(e.message()));
            return 1;
        }
        std::printf("%s\n", qPrintable(StandInSettings::File()));
        return 0;
    }

    const QString folder = parser.isSet(folderOption) ? parser.value(folderOption) : startFolder(argv0);
    StandIn standIn(settings, folder);

    if (parser.isSet(lookupOption)) {
        const QString answer = standIn.AnswerFor(parser.value(lookupOption));
        std::printf("%s\n", answer.isEmpty() ? "nicht gefunden" : qPrintable(answer));
        return answer.isEmpty() ? 3 : 0;
    }

    std::vector<std::unique_ptr<DdeServer>> servers;
    for (int index : versionsFor(parser.value(versionOption), QFileInfo(argv0).fileName())) {
        const DInfoVersion &version = DInfoVersion::of(index);
        auto server = std::make_unique<DdeServer>();
        QString error;
        if (!server->Listen(QString::fromLatin1(version.Service), QString::fromLatin1(version.Topic),
                            &error)) {
            // Another copy serves this version already: the client talks to that one.
            std::fprintf(stderr, "rufwart-dinfo: %s\n", qPrintable(error));
            continue;
        }
        DdeServer *s = server.get();
        const QString item = version.AdviseItem ? QString::fromLatin1(version.AdviseItem) : QString();
        s->OnExecute = [&standIn, s, item](const QString &command, QString *refusal) {
            if (!standIn.Execute(command, refusal))
                return false;
            if (!item.isEmpty())
                s->Advise(item);
            return true;
        };
        s->OnRequest = [&standIn, item](const QString &asked) -> std::optional<QString> {
            if (item.isEmpty() || asked != item)
                return std::nullopt;
            return standIn.LastRequest();
        };
        s->OnAdvise = [item](const QString &asked) { return !item.isEmpty() && asked == item; };
        s->OnClose = [] { QCoreApplication::quit(); };
        servers.push_back(std::move(server));
    }
    if (servers.empty())
        return 0;
    // Ended by a signal, it still removes its endpoints.
    Startup::quitOnTerminationSignals();
    return app.exec();
}
