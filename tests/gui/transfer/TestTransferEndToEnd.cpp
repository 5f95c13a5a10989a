// Two main windows exchange files through the virtual exchange, unthrottled: one in server mode
// with files in its send folder, the other dials it from the dial page, fetches the list,
// receives the ticked files, sends one back, meets a server that hangs up, and ends with
// "Nach Empfang trennen", and a client closed while the call is up. Both windows run in this
// process with CAPI registrations of their own.
#include "capi/Capi20.h"
#include "common/Paths.h"
#include "mainwindow/MainWindow.h"
#include "monitor/CapiSession.h"
#include "notify/TrayIcon.h"
#include "settings/SettingsStore.h"
#include "support/ExchangeCall.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "transfer/TransferPages.h"
#include "widgets/StandardDialogs.h"

#include "ControlClient.h"
#include "SimProcess.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <mutex>

namespace {

QByteArray randomBytes(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator{uint32_t(size)};
    for (char &c : data)
        c = char(generator.bounded(256));
    return data;
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QString kNormalTitle = QStringLiteral("Rufwart 32  v2.2");
const QString kReceiveTitle = QStringLiteral("Rufwart 32 - Empfangen");
constexpr int kStepMs = 20000;
} // namespace

class TestTransferE2E : public QObject
{
    Q_OBJECT
    isdnsim::SimProcess sim;
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<TfmMain> server;
    std::unique_ptr<TfmMain> client;
    QString serverSend, serverReceive, clientSend, clientReceive;
    QStringList messages;

    static int page(TfmMain *w) { return child<QStackedWidget>(w, "nb")->currentIndex(); }
    static QString text(TfmMain *w, const char *label) { return child<QLabel>(w, label)->text(); }
    static QPushButton *button(TfmMain *w, const char *name) { return child<QPushButton>(w, name); }

    // Clicks a button whose handler waits for the transfer; a watchdog ends the session should
    // the transfer hang, so the test fails instead of stalling.
    void clickWithWatchdog(const char *name)
    {
        QTimer watchdog;
        watchdog.setSingleShot(true);
        bool fired = false;
        connect(&watchdog, &QTimer::timeout, this, [&] {
            fired = true;
            button(client.get(), "EndSessionBtn")->click();
        });
        watchdog.start(60000);
        button(client.get(), name)->click();
        watchdog.stop();
        QVERIFY2(!fired, name);
    }

    void dialServer()
    {
        child<QAction>(client.get(), "Clientmodus1")->trigger();
        QCOMPARE(child<QComboBox>(client.get(), "ChangeCallers")->currentText(), QStringLiteral("Server"));
        button(client.get(), "CallBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(page(client.get()), int(TfmMain::PageUpload), kStepMs);
        QCOMPARE(client->windowTitle(), kReceiveTitle);
        QCOMPARE(text(client.get(), "lbConnectMsg"),
                 QStringLiteral("B-Kanal Verbindung wird aufgebaut  ..."));
        QTRY_COMPARE_WITH_TIMEOUT(text(server.get(), "ISDNBar"), QStringLiteral("Datenübertragung ..."),
                                  kStepMs);
        QVERIFY(child<TTrayIcon>(client.get(), "ConnectTray")->Active());
    }

    void fetchList(int expected)
    {
        button(client.get(), "FileListBtn")->click();
        QTRY_COMPARE_WITH_TIMEOUT(child<QListWidget>(client.get(), "UploadList")->count(), expected, kStepMs);
    }

    // The exchange's log lines from `since` on; `since` moves past them.
    QStringList exchangeEvents(int &since) { return ExchangeEvents(sim.port(), since); }

    // Ticks exactly the list items whose file name is in `names`.
    void tickOnly(const QStringList &names)
    {
        auto *list = child<QListWidget>(client.get(), "UploadList");
        for (int i = 0; i < list->count(); ++i) {
            const QString name = TransferPages::FileNameOfListItem(list->item(i)->text());
            list->item(i)->setCheckState(names.contains(name) ? Qt::Checked : Qt::Unchecked);
        }
    }

private slots:
    void initTestCase()
    {
        std::string error;
        QVERIFY2(sim.start(ISDNSIM_EXE, {"--rate", "0", "--die-with-parent"}, &error), error.c_str());
        qputenv("RUFWART_CAPI_REMOTE", QByteArray("127.0.0.1:") + QByteArray::number(sim.port()));
        MsgDlgHook::setHandler([this](const QString &text, int) {
            messages << text;
            return false;
        });
        env = std::make_unique<TestEnv>();
        serverSend = env->root() + QStringLiteral("/server/send/");
        serverReceive = env->root() + QStringLiteral("/server/receive/");
        clientSend = env->root() + QStringLiteral("/client/send/");
        clientReceive = env->root() + QStringLiteral("/client/receive/");
        for (const QString &dir : {serverSend, serverReceive, clientSend, clientReceive})
            QVERIFY(QDir().mkpath(dir));

        // Each window takes its transfer folders from the settings when it starts.
        WriteSettingString(QStringLiteral("ISDN_SendDir"), serverSend);
        WriteSettingString(QStringLiteral("ISDN_EmpfangDir"), serverReceive);
        server = std::make_unique<TfmMain>();
        server->FormShow();
        child<QAction>(server.get(), "mnuServermode")->trigger();
        QVERIFY(server->ServerMode());

        QFile directory(Paths::dataDir() + QStringLiteral("anruf.dat"));
        QVERIFY(directory.open(QIODevice::WriteOnly));
        directory.write("[Anrufer]\r\n4711=F#Server\r\n");
        directory.close();
        WriteSettingString(QStringLiteral("ISDN_LastDFUConnect"), QStringLiteral("Server"));
        WriteSettingString(QStringLiteral("ISDN_SendDir"), clientSend);
        WriteSettingString(QStringLiteral("ISDN_EmpfangDir"), clientReceive);
        client = std::make_unique<TfmMain>();
        client->FormShow();
        // Both register beside their windows; the test goes on once both listen.
        for (TfmMain *w : {server.get(), client.get()})
            QTRY_VERIFY_WITH_TIMEOUT(
                text(w, "ISDNBar").startsWith(QStringLiteral("Autom. Anruferkennung aktiviert")), kStepMs);
        QCOMPARE(messages, QStringList());
    }
    void cleanupTestCase()
    {
        DialogHook::setHandler({});
        client.reset();
        server.reset();
        env.reset();
    }

    void receivesTheTickedFilesAndSendsOneBack()
    {
        const QByteArray alpha = "alpha\r\n";
        const QByteArray bravo = randomBytes(100000);
        QVERIFY(writeFile(serverSend + QStringLiteral("alpha.txt"), alpha));
        QVERIFY(writeFile(serverSend + QStringLiteral("Bravo.bin"), bravo));
        QVERIFY(writeFile(serverSend + QStringLiteral("empty.dat"), QByteArray()));
        QVERIFY(writeFile(serverSend + QStringLiteral("skip.txt"), "not wanted"));

        CHECKED(dialServer());
        CHECKED(fetchList(4));
        tickOnly({"alpha.txt", "bravo.bin", "empty.dat"});
        CHECKED(clickWithWatchdog("UploadBtn"));

        QCOMPARE(readFile(clientReceive + QStringLiteral("alpha.txt")), alpha);
        QCOMPARE(readFile(clientReceive + QStringLiteral("Bravo.bin")), bravo);
        QVERIFY(QFileInfo(clientReceive + QStringLiteral("empty.dat")).isFile());
        QCOMPARE(QFileInfo(clientReceive + QStringLiteral("empty.dat")).size(), 0);
        QVERIFY(!QFileInfo::exists(clientReceive + QStringLiteral("skip.txt")));
        auto *done = child<QListWidget>(client.get(), "dfuList");
        QCOMPARE(done->count(), 3);
        QCOMPARE(done->item(1)->text(), QStringLiteral("Bravo.bin erfolgreich empfangen ..."));
        QVERIFY(child<QWidget>(client.get(), "Gauge")->isHidden());
        QCOMPARE(page(client.get()), int(TfmMain::PageUpload));
        QCOMPARE(client->windowTitle(), kReceiveTitle);
        // The server showed its side in its status line.
        QTRY_COMPARE_WITH_TIMEOUT(text(server.get(), "ISDNBar"),
                                  serverSend + QStringLiteral("empty.dat erfolgreich gesendet ..."), kStepMs);

        // Sending: the file dialog opens on the send folder; the file lands in the server's
        // receive folder.
        const QByteArray upload = randomBytes(50000);
        QVERIFY(writeFile(clientSend + QStringLiteral("upload.bin"), upload));
        QString askedIn;
        DialogHook::setHandler([&](const DialogHook::Request &request) -> QVariant {
            askedIn = request.initialDir;
            return clientSend + QStringLiteral("upload.bin");
        });
        CHECKED(clickWithWatchdog("SendBtn"));
        QCOMPARE(askedIn, clientSend);
        QCOMPARE(client->windowTitle(), kReceiveTitle);
        QCOMPARE(page(client.get()), int(TfmMain::PageProgress));
        QCOMPARE(done->item(done->count() - 1)->text(),
                 clientSend + QStringLiteral("upload.bin erfolgreich gesendet ..."));
        QTRY_COMPARE_WITH_TIMEOUT(text(server.get(), "ISDNBar"),
                                  QStringLiteral("upload.bin erfolgreich empfangen ..."), kStepMs);
        QCOMPARE(readFile(serverReceive + QStringLiteral("upload.bin")), upload);
    }

    // A name with blanks is asked for whole; a refused request and a file that cannot be stored
    // end only their own file, each with its line in the list.
    void failuresEndOnlyTheirFileAndAreShown()
    {
        const QByteArray holiday = randomBytes(3000);
        QVERIFY(writeFile(serverSend + QStringLiteral("Urlaub 2023.jpg"), holiday));
        CHECKED(fetchList(5));
        auto *list = child<QListWidget>(client.get(), "UploadList");
        tickOnly({"urlaub 2023.jpg"});
        auto *item = new QListWidgetItem(QStringLiteral("ohneblank"), list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        CHECKED(clickWithWatchdog("UploadBtn"));
        QCOMPARE(readFile(clientReceive + QStringLiteral("Urlaub 2023.jpg")), holiday);
        auto *done = child<QListWidget>(client.get(), "dfuList");
        QCOMPARE(done->count(), 2);
        QCOMPARE(done->item(1)->text(), QStringLiteral(" fehlgeschlagen (Anforderung abgelehnt) ..."));

        // The receive folder is gone: the file cannot be stored.
        QVERIFY(QDir(clientReceive).removeRecursively());
        delete item;
        tickOnly({"alpha.txt"});
        CHECKED(clickWithWatchdog("UploadBtn"));
        QVERIFY(QDir().mkpath(clientReceive));
        QCOMPARE(done->count(), 1);
        QCOMPARE(done->item(0)->text(), QStringLiteral("alpha.txt fehlgeschlagen (Schreibfehler) ..."));
        QCOMPARE(client->Session().Capi().CallState(), 3);
    }

    void theServerHangingUpEndsTheRun()
    {
        // The server hangs up as soon as the first block of the file is out.
        std::atomic<bool> cut{false};
        const TCapiSendFileEvent shown = server->Session().Capi().OnSendFile;
        server->Session().Capi().OnSendFile = [&](TCapi20 *sender, const QString &, int64_t, int64_t,
                                                  TTransferBlock b) {
            if (b == tbFileData && !cut.exchange(true))
                sender->Disconnect(1);
        };
        tickOnly({"bravo.bin"});
        CHECKED(clickWithWatchdog("UploadBtn"));
        server->Session().Capi().OnSendFile = shown;

        QVERIFY(cut);
        QTRY_COMPARE_WITH_TIMEOUT(text(client.get(), "lbConnectMsg"),
                                  QStringLiteral("Verbindung getrennt  ..."), kStepMs);
        // The window stays where it was until the user leaves.
        QCOMPARE(page(client.get()), int(TfmMain::PageUpload));
        QCOMPARE(client->windowTitle(), kReceiveTitle);
        QVERIFY(!child<TTrayIcon>(client.get(), "ConnectTray")->Active());
    }

    void afterReceivingTheSessionEndsWhenAsked()
    {
        CHECKED(dialServer());
        CHECKED(fetchList(5));
        child<QCheckBox>(client.get(), "cbAutoDisconnect")->setChecked(true);
        QFile::remove(clientReceive + QStringLiteral("alpha.txt"));
        tickOnly({"alpha.txt"});
        CHECKED(clickWithWatchdog("UploadBtn"));

        QVERIFY(QFileInfo::exists(clientReceive + QStringLiteral("alpha.txt")));
        QCOMPARE(page(client.get()), int(TfmMain::PageStart));
        QCOMPARE(client->windowTitle(), kNormalTitle);
        QVERIFY(!child<TTrayIcon>(client.get(), "ConnectTray")->Active());
        QCOMPARE(client->Session().Capi().CallState(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(text(server.get(), "ISDNBar"), QStringLiteral("Verbindung getrennt  ..."),
                                  kStepMs);
        QCOMPARE(server->windowTitle(), QStringLiteral("Rufwart 32 - Servermodus (DATA 64K)"));
        QCOMPARE(messages, QStringList());
    }

    // Closing the program while a call it dialled is up hangs that call up: the exchange clears
    // it, and the server sees it end. (Last: the client is gone afterwards.)
    void closingTheProgramHangsUpTheDialledCall()
    {
        int since = 0;
        exchangeEvents(since);
        CHECKED(dialServer());
        const QStringList dialled = exchangeEvents(since);
        const auto placed = std::find_if(dialled.begin(), dialled.end(), [](const QString &line) {
            return line.contains(QStringLiteral(" PLACED "));
        });
        QVERIFY(placed != dialled.end());
        const QString call = placed->section(QLatin1Char(' '), 2, 2) + QLatin1Char(' '); // "call=N "
        QVERIFY2(dialled.filter(call + QStringLiteral("CONNECTED")).size() == 1,
                 qPrintable(dialled.join(QLatin1Char('\n'))));

        client->mnuCloseClick();
        client.reset();
        QStringList ended;
        QTRY_VERIFY_WITH_TIMEOUT(
            (ended += exchangeEvents(since)).filter(call + QStringLiteral("END ")).size() == 1, kStepMs);
        // Cleared from the caller's end, the program's.
        QVERIFY2(ended.filter(call + QStringLiteral("CALLER ")).size() == 1,
                 qPrintable(ended.join(QLatin1Char('\n'))));
        QTRY_COMPARE_WITH_TIMEOUT(text(server.get(), "ISDNBar"), QStringLiteral("Verbindung getrennt  ..."),
                                  kStepMs);
    }
};

QTEST_MAIN(TestTransferE2E)
#include "TestTransferEndToEnd.moc"
