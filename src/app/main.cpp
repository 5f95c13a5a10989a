// Rufwart 32: starts hidden behind its notification-area icon and reports incoming ISDN calls.
// Options of its own (--help, --version ...) run in the terminal instead (CommandLine).
#include "Headless.h"
#include "mainwindow/MainWindow.h"
#include "platform/CommandLine.h"
#include "platform/Language.h"
#include "platform/Startup.h"
#include "widgets/MessageDialog.h"
#include "windows/JournalConversion.h"

#include <QApplication>
#include <QLockFile>
#include <QLoggingCategory>

// What the program runs on, for whoever looks into a desktop problem:
// QT_LOGGING_RULES="rufwart.session.info=true" prints it at the start.
Q_LOGGING_CATEGORY(lcSession, "rufwart.session", QtWarningMsg)

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationVersion(QStringLiteral(RUFWART_VERSION));
    {
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QString::fromLocal8Bit(argv[i]);
        if (CommandLine::isTerminalRun(arguments)) {
            QCoreApplication app(argc, argv);
            return CommandLine::run(app.arguments());
        }
        // No QGuiApplication: it would need a display.
        if (CommandLine::isHeadlessRun(arguments)) {
            QCoreApplication app(argc, argv);
            QCoreApplication::setApplicationName(QStringLiteral("Rufwart 32"));
            Language::Install(Language::FromSettings());
            return Headless::Run();
        }
    }

    QApplication app(argc, argv);
    // The language of every text from here on: the "Sprache" option, else the desktop's.
    Language::Install(Language::FromSettings());
    qCInfo(lcSession, "platform: %s", qPrintable(QGuiApplication::platformName()));

    // One copy per user: a second start ends at once and shows nothing. A lock folder that is not
    // the user's own is refused with a message.
    QString refusal;
    const std::unique_ptr<QLockFile> instance = Startup::acquireSingleInstance(&refusal);
    if (!instance) {
        // A second start of the window ends quietly; the headless monitor in its way is named.
        if (refusal.isEmpty() && Startup::runningCopy() == Startup::RunningCopy::Headless)
            refusal = QCoreApplication::translate(
                "Startup",
                "Rufwart 32 läuft bereits ohne Fenster (rufwart --headless). Das Fenster kann erst "
                "starten, wenn dieser Monitor beendet ist.");
        if (refusal.isEmpty())
            return 0;
        ShowMessageDlg(refusal);
        return 1;
    }

    QApplication::setApplicationName(QStringLiteral("Rufwart 32"));
    QApplication::setDesktopFileName(QStringLiteral("de.elbwerk.rufwart"));
    // The program lives in the notification area: closing a window never ends it.
    QApplication::setQuitOnLastWindowClosed(false);
    Startup::quitOnTerminationSignals();

    // The one-time journal conversion, with its window, unless ISDN_Update20 says it has run.
    RunJournalConversion();

    TfmMain main;
    main.FormShow();
    // A signal that came while a start-up message was open ended only that message's loop.
    if (Startup::terminationRequested())
        return 0;
    // Without a notification area the window is the only way in, so it is shown.
    if (!main.TrayAvailable())
        main.RestoreMainWindow();
    return app.exec();
}
