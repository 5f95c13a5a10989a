// The transfer pages in the main window without a line: server mode, the dial page, the
// connection and transfer events as the component reports them (also from another thread),
// and the progress page. CAPI points at a port where nobody answers.
#include "capi/Capi20.h"
#include "common/Paths.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/OptionsPage.h"
#include "monitor/CapiSession.h"
#include "notify/TrayIcon.h"
#include "settings/SettingsStore.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "widgets/ElidedLabel.h"
#include "widgets/Icons.h"
#include "widgets/MessageDialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTest>

#include <thread>

namespace {

QStringList itemTexts(QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

QStringList itemTexts(QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

const QString kNormalTitle = QStringLiteral("Rufwart 32  v2.2");
const QString kServerTitle = QStringLiteral("Rufwart 32 - Servermodus (DATA 64K)");
const QString kReceiveTitle = QStringLiteral("Rufwart 32 - Empfangen");
} // namespace

class TestTransferPages : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<TfmMain> w;
    QStringList messages;

    int page() const { return child<QStackedWidget>(w.get(), "nb")->currentIndex(); }
    QString text(const char *label) const { return child<QLabel>(w.get(), label)->text(); }
    QProgressBar *gauge() const { return child<QProgressBar>(w.get(), "Gauge"); }
    QAction *action(const char *name) const { return child<QAction>(w.get(), name); }
    TTrayIcon *connectTray() const { return child<TTrayIcon>(w.get(), "ConnectTray"); }

    // The component's events, as its message thread or a transfer raises them.
    TCapi20 &capi() const { return w->Session().Capi(); }
    void sendStep(const QString &name, int64_t size, int64_t progress, TTransferBlock block) const
    {
        capi().OnSendFile(&capi(), name, size, progress, block);
    }
    void receiveStep(const QString &name, int64_t size, int64_t progress, TTransferBlock block) const
    {
        capi().OnReceiveFile(&capi(), name, size, progress, block);
    }

    // Server mode. Switching registers anew, beside the window (here in vain: nobody answers);
    // its report is waited for, so it cannot write the status line in the middle of a check.
    void serverModeOn()
    {
        action("mnuServermode")->trigger();
        QTRY_VERIFY(!w->Registering());
    }

    void writeDirectory(const QByteArray &lines)
    {
        QFile file(Paths::dataDir() + QStringLiteral("anruf.dat"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Anrufer]\r\n" + lines);
    }

private slots:
    void initTestCase()
    {
        qputenv("RUFWART_CAPI_REMOTE", QByteArray("127.0.0.1:") + QByteArray::number(closedPort()));
        MsgDlgHook::setHandler([this](const QString &text, int) {
            messages << text;
            return false;
        });
    }
    void init()
    {
        env = std::make_unique<TestEnv>();
        messages.clear();
    }
    void cleanup()
    {
        w.reset();
        env.reset();
    }

    void dialPageListsTheDirectoryAndPreselectsTheLastChoice()
    {
        // Values of 2 characters or fewer are left out; group keys count like numbers.
        writeDirectory("0301234=F#Alice\r\n040*=F#Hamburg Gruppe\r\n0511=ab\r\n0812=Bob\r\n"
                       "0999=T#X\r\n");
        WriteSettingString(QStringLiteral("ISDN_LastDFUConnect"), QStringLiteral("Bob"));
        w = std::make_unique<TfmMain>();
        w->FormShow();
        action("Clientmodus1")->trigger();

        auto *callers = child<QComboBox>(w.get(), "ChangeCallers");
        QCOMPARE(page(), int(TfmMain::PageDial));
        QCOMPARE(w->windowTitle(), QStringLiteral("Rufwart 32 - Verbindungsaufbau"));
        QCOMPARE(itemTexts(callers), QStringList({"Alice", "Hamburg Gruppe", "Bob", "X"}));
        QCOMPARE(callers->currentText(), QStringLiteral("Bob"));
        QCOMPARE(child<QLineEdit>(w.get(), "ChangeNumber")->text(), QStringLiteral("0812"));
        QVERIFY(child<QPushButton>(w.get(), "CallBtn")->isEnabled());
        QVERIFY(!child<QPushButton>(w.get(), "DFUoutBtn")->isEnabled());
        QCOMPARE(text("lbConnectMsg"), QStringLiteral("Bitte wählen Sie ..."));

        // A choice fills the number and is remembered; Enter moves on to the number.
        callers->setFocus();
        QTest::keyClick(callers, Qt::Key_Up);
        QCOMPARE(callers->currentText(), QStringLiteral("Hamburg Gruppe"));
        QCOMPARE(child<QLineEdit>(w.get(), "ChangeNumber")->text(), QStringLiteral("040*"));
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_LastDFUConnect")), QStringLiteral("Hamburg Gruppe"));
        QTest::keyClick(callers, Qt::Key_Return);
        QTRY_VERIFY(child<QLineEdit>(w.get(), "ChangeNumber")->hasFocus());
        // Each name dials its own number.
        QStringList numbers;
        for (int i = 0; i < callers->count(); ++i) {
            callers->setCurrentIndex(i);
            emit callers->activated(i);
            numbers << child<QLineEdit>(w.get(), "ChangeNumber")->text();
        }
        QCOMPARE(numbers, QStringList({"0301234", "040*", "0812", "0999"}));

        // A remembered name that is no longer listed selects nothing.
        WriteSettingString(QStringLiteral("ISDN_LastDFUConnect"), QStringLiteral("Nobody"));
        action("Clientmodus1")->trigger();
        QCOMPARE(callers->currentIndex(), -1);
        QCOMPARE(child<QLineEdit>(w.get(), "ChangeNumber")->text(), QString());
        QVERIFY(!child<QPushButton>(w.get(), "CallBtn")->isEnabled());
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_LastDFUConnect")), QStringLiteral("Nobody"));
    }

    void extensionPrefixIsAddedOncePerOpening()
    {
        writeDirectory("0812=Bob\r\n");
        WriteSettingString(QStringLiteral("ISDN_LastDFUConnect"), QStringLiteral("Bob"));
        WriteSettingInteger(QStringLiteral("ISDN_MaxEmpfang"), 5);
        w = std::make_unique<TfmMain>();
        w->FormShow();
        QCOMPARE(w->Session().Capi().MaxReceiveSize.load(), int64_t(5) << 20);
        auto *dialWith = child<QCheckBox>(w.get(), "cbDialWith");
        // Outside the dial page the box writes nothing.
        dialWith->setChecked(true);
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_Nebenstelle")), QString());
        dialWith->setChecked(false);

        action("Clientmodus1")->trigger();
        dialWith->click();
        QCOMPARE(ReadSettingFlag(QStringLiteral("ISDN_Nebenstelle")), true);
        auto *callBtn = child<QPushButton>(w.get(), "CallBtn");
        // No line here: the dial fails and shows nothing more than the dialling text.
        callBtn->click();
        callBtn->click();
        QCOMPARE(child<QLineEdit>(w.get(), "ChangeNumber")->text(), QStringLiteral("00812"));
        QCOMPARE(text("lbConnectMsg"), QStringLiteral("Wähle 00812 ..."));
        QVERIFY(child<QPushButton>(w.get(), "DFUoutBtn")->isEnabled());

        // A new opening starts from the directory's number again.
        action("Clientmodus1")->trigger();
        callBtn->click();
        QCOMPARE(child<QLineEdit>(w.get(), "ChangeNumber")->text(), QStringLiteral("00812"));
    }

    void serverModeSwitchesListeningTitleAndStatusEntry()
    {
        w = std::make_unique<TfmMain>();
        w->FormShow();
        // Received files are capped at 100 MB unless the settings say otherwise.
        QCOMPARE(w->Session().Capi().MaxReceiveSize.load(), int64_t(100) << 20);
        QVERIFY(action("mnuServermode")->isEnabled());
        QVERIFY(!action("mnuDFUStatus")->isEnabled());

        action("mnuServermode")->trigger();
        QVERIFY(w->ServerMode());
        QVERIFY(action("mnuServermode")->isChecked());
        QVERIFY(action("mnuDFUStatus")->isEnabled());
        QCOMPARE(w->windowTitle(), kServerTitle);
        action("mnuDFUStatus")->trigger();
        QCOMPARE(page(), int(TfmMain::PageProgress));
        // "Zurück ..." leads to the start page in server mode ...
        child<QPushButton>(w.get(), "Undo2Btn")->click();
        QCOMPARE(page(), int(TfmMain::PageStart));

        // ... and to the file page otherwise. The menu toggles the mode as F9 does.
        action("mnuServermode")->trigger();
        QVERIFY(!w->ServerMode());
        QVERIFY(!action("mnuDFUStatus")->isEnabled());
        QCOMPARE(w->windowTitle(), kNormalTitle);
        action("mnuServermode")->trigger();
        QVERIFY(w->ServerMode());
        action("Clientmodus1")->trigger();
        QVERIFY(!w->ServerMode());
        QVERIFY(!action("mnuServermode")->isChecked());
        child<QStackedWidget>(w.get(), "nb")->setCurrentIndex(TfmMain::PageProgress);
        child<QPushButton>(w.get(), "Undo2Btn")->click();
        QCOMPARE(page(), int(TfmMain::PageUpload));
    }

    // An emptied folder field means the default folder, never the root folder, whose files a
    // server would otherwise offer from the next start on.
    void emptiedTransferFoldersMeanTheDefaultFolders()
    {
        WriteSettingFlag(QStringLiteral("ISDN_UseExtern"), false);
        w = std::make_unique<TfmMain>();
        w->FormShow();
        child<QLineEdit>(w.get(), "OptSendDir")->setText(QString());
        child<QLineEdit>(w.get(), "OptEmpfangDir")->setText(QStringLiteral("  "));
        child<QPushButton>(w.get(), "UndoBtn")->click();
        QCOMPARE(messages, QStringList());
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_SendDir")), OptionsPage::DefaultSendDir());
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_EmpfangDir")), OptionsPage::DefaultReceiveDir());
        QCOMPARE(child<QLineEdit>(w.get(), "OptSendDir")->text(), OptionsPage::DefaultSendDir());
    }

    void connectionEventsShowTheirTextsWhereTheModeSays()
    {
        w = std::make_unique<TfmMain>();
        w->FormShow();
        action("Clientmodus1")->trigger();
        capi().OnConnect(&capi());
        QCOMPARE(text("lbConnectMsg"), QStringLiteral("Warte auf B-Kanal  ..."));
        capi().OnBConnect(&capi(), 0x10001);
        QCOMPARE(text("lbConnectMsg"), QStringLiteral("B-Kanal Verbindung wird aufgebaut  ..."));
        QCOMPARE(page(), int(TfmMain::PageUpload));
        QCOMPARE(w->windowTitle(), kReceiveTitle);
        QVERIFY(connectTray()->Active());

        // The other side ends the call: the page and title stay until the user leaves.
        capi().OnBDisconnect(&capi(), 0x10001, 0);
        QCOMPARE(text("lbConnectMsg"), QStringLiteral("B-Kanal Verbindung beendet  ..."));
        QVERIFY(!connectTray()->Active());
        capi().OnDisconnect(&capi(), 0x3490);
        QCOMPARE(text("lbConnectMsg"), QStringLiteral("Verbindung getrennt  ..."));
        QCOMPARE(page(), int(TfmMain::PageUpload));
        QCOMPARE(w->windowTitle(), kReceiveTitle);

        // "Empfangen" with the link gone does not wait for files that cannot come.
        child<QCheckBox>(w.get(), "cbAutoDisconnect")->setChecked(true);
        QCOMPARE(ReadSettingFlag(QStringLiteral("ISDN_AutoDisconnect")), true);
        capi().OnReceiveFileList(&capi(), QStringLiteral("a.txt [01.02.2024 10:00:00, Größe : 3]"));
        child<QPushButton>(w.get(), "UploadBtn")->click();
        QCOMPARE(page(), int(TfmMain::PageStart));
        QCOMPARE(w->windowTitle(), kNormalTitle);

        // In server mode the start page's status line shows them, and no page changes.
        CHECKED(serverModeOn());
        capi().OnConnect(&capi());
        QCOMPARE(text("ISDNBar"), QStringLiteral("Warte auf B-Kanal  ..."));
        capi().OnBConnect(&capi(), 0x10001);
        QCOMPARE(text("ISDNBar"), QStringLiteral("Datenübertragung ..."));
        QCOMPARE(page(), int(TfmMain::PageStart));
        QCOMPARE(w->windowTitle(), kServerTitle);
        capi().OnBDisconnect(&capi(), 0x10001, 0);
        QCOMPARE(text("ISDNBar"), QStringLiteral("Datenübertragung beendet ..."));
        capi().OnDisconnect(&capi(), 0);
        QCOMPARE(text("ISDNBar"), QStringLiteral("Verbindung getrennt  ..."));
        QCOMPARE(text("lbConnectMsg"), QStringLiteral("Verbindung getrennt  ..."));
    }

    void serverModeProgressGoesToTheStatusLineAndLeavesTheGauge()
    {
        w = std::make_unique<TfmMain>();
        w->FormShow();
        CHECKED(serverModeOn());
        gauge()->setValue(7);
        receiveStep(QStringLiteral("in.bin"), 0, 0, tbFileName);
        receiveStep(QStringLiteral("in.bin"), 4000, 0, tbFileSize);
        receiveStep(QStringLiteral("in.bin"), 4000, 2000, tbFileData);
        QCOMPARE(text("ISDNBar"), QStringLiteral("Empfange in.bin ( 50 % erledigt )"));
        sendStep(QStringLiteral("/srv/out.bin"), 0, 0, tbFileName);
        sendStep(QStringLiteral("/srv/out.bin"), 4000, 1000, tbFileData);
        QCOMPARE(text("ISDNBar"), QStringLiteral("Sende /srv/out.bin ( 25 % erledigt )"));
        QVERIFY(gauge()->isHidden());
        QVERIFY(child<QLabel>(w.get(), "ProgressLabel")->isHidden());
        QCOMPARE(gauge()->value(), 7);
        QCOMPARE(text("lbByteSec"), QStringLiteral("0"));

        receiveStep(QStringLiteral("in.bin"), 4000, 4000, tbFileEnd);
        QCOMPARE(text("ISDNBar"), QStringLiteral("in.bin erfolgreich empfangen ..."));
        sendStep(QStringLiteral("/srv/out.bin"), 4000, 4000, tbFileEnd);
        QCOMPARE(text("ISDNBar"), QStringLiteral("/srv/out.bin erfolgreich gesendet ..."));
        QCOMPARE(itemTexts(child<QListWidget>(w.get(), "dfuList")),
                 QStringList({"in.bin erfolgreich empfangen ...", "/srv/out.bin erfolgreich gesendet ..."}));
        // A failed transfer shows why, also when it is reported on the message thread.
        receiveStep(QStringLiteral("in.bin"), 4000, 100, tbFileError);
        std::thread([this] {
            capi().OnTransferError(&capi(), QStringLiteral("in.bin"), CapiError::ERR_TRANSFER_INCOMPLETE);
        }).join();
        QTRY_COMPARE(text("ISDNBar"), QStringLiteral("in.bin fehlgeschlagen (unvollständig) ..."));
        QCOMPARE(itemTexts(child<QListWidget>(w.get(), "dfuList")).last(),
                 QStringLiteral("in.bin fehlgeschlagen (unvollständig) ..."));
    }

    void largeFilesShowZeroToHundredPercent_data()
    {
        QTest::addColumn<qint64>("size");
        // Sizes where progress x 100 no longer fits 32 bits.
        QTest::newRow("just above 21474836") << qint64(21474900);
        QTest::newRow("30 MB") << qint64(30000000);
        QTest::newRow("beyond 32 bits") << qint64(5000000000);
    }
    void largeFilesShowZeroToHundredPercent()
    {
        QFETCH(qint64, size);
        w = std::make_unique<TfmMain>();
        w->FormShow();
        receiveStep(QStringLiteral("big.bin"), 0, 0, tbFileName);
        QVERIFY(!gauge()->isHidden());
        QCOMPARE(text("ProgressLabel"), QStringLiteral("Warte auf Gegenstelle ..."));
        for (int percent = 0; percent <= 100; ++percent) {
            receiveStep(QStringLiteral("big.bin"), size, size / 100 * percent, tbFileData);
            QCOMPARE(gauge()->value(), percent);
        }
        receiveStep(QStringLiteral("big.bin"), size, size - 1, tbFileData);
        QCOMPARE(gauge()->value(), 99);
        QCOMPARE(text("ProgressLabel"), QStringLiteral("Empfange big.bin ..."));
        sendStep(QStringLiteral("/tmp/big.bin"), size, size / 4 * 3, tbFileData);
        QCOMPARE(gauge()->value(), 75);
        QCOMPARE(text("ProgressLabel"), QStringLiteral("Sende /tmp/big.bin ..."));
        sendStep(QStringLiteral("/tmp/big.bin"), size, size, tbFileEnd);
        QVERIFY(gauge()->isHidden());
        QVERIFY(child<QLabel>(w.get(), "ProgressLabel")->isHidden());
    }

    // Long file names neither widen the window nor run into their neighbours: they are drawn
    // shortened while the labels keep the whole text.
    void longFileNamesStayInsideTheWindow()
    {
        w = std::make_unique<TfmMain>();
        w->FormShow();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        child<QStackedWidget>(w.get(), "nb")->setCurrentIndex(TfmMain::PageProgress);
        const QString name = QStringLiteral("Quartalsbericht_Vertrieb_Nord_2026_endgueltig.pdf");
        receiveStep(name, 0, 0, tbFileName);
        receiveStep(name, 90000, 45000, tbFileData);
        QCOMPARE(text("ProgressLabel"), QStringLiteral("Empfange ") + name + QStringLiteral(" ..."));
        auto *progress = child<TElidedLabel>(w.get(), "ProgressLabel");
        auto *caption = child<QLabel>(w.get(), "lbByteSecCaption");
        auto *rate = child<QLabel>(w.get(), "lbByteSec");
        QTRY_VERIFY(progress->isElided());
        QCOMPARE(w->width(), 340);
        const auto area = [this](QWidget *c) { return QRect(c->mapTo(w.get(), QPoint()), c->size()); };
        QVERIFY(!area(progress).intersects(area(caption)));
        QVERIFY(!area(progress).intersects(area(rate)));
        QCOMPARE(caption->width(), caption->sizeHint().width());
        QVERIFY(rate->geometry().right() < rate->parentWidget()->width());

        CHECKED(serverModeOn());
        const QString path = QStringLiteral("/tmp/dfu-acc/srv/send/") + name;
        sendStep(path, 0, 0, tbFileName);
        sendStep(path, 90000, 40000, tbFileData);
        QCOMPARE(text("ISDNBar"), QStringLiteral("Sende ") + path + QStringLiteral(" ( 44 % erledigt )"));
        auto *bar = child<TElidedLabel>(w.get(), "ISDNBar");
        QTRY_VERIFY(bar->isElided());
        QVERIFY(bar->displayedText().endsWith(QStringLiteral("( 44 % erledigt )")));
        QCOMPARE(w->width(), 340);
        QVERIFY(bar->geometry().right() < bar->parentWidget()->width());
    }

    void eventsFromTheMessageThreadAreShownInOrderOnTheMainThread()
    {
        w = std::make_unique<TfmMain>();
        w->FormShow();
        action("Clientmodus1")->trigger();
        auto *list = child<QListWidget>(w.get(), "UploadList");
        std::thread messageThread([this] {
            for (int i = 0; i < 40; ++i)
                capi().OnReceiveFileList(&capi(),
                                         QStringLiteral("f%1.txt [01.01.2024 00:00:00, Größe : 1]").arg(i));
            receiveStep(QStringLiteral("f0.txt"), 0, 0, tbFileName);
            for (int i = 1; i <= 100; ++i)
                receiveStep(QStringLiteral("f0.txt"), 100, i, tbFileData);
            receiveStep(QStringLiteral("f0.txt"), 100, 100, tbFileEnd);
            capi().OnDisconnect(&capi(), 0);
        });
        messageThread.join();
        // Nothing was touched on the other thread; the main thread shows it all, in order.
        QCOMPARE(list->count(), 0);
        QTRY_COMPARE(text("lbConnectMsg"), QStringLiteral("Verbindung getrennt  ..."));
        QCOMPARE(list->count(), 40);
        for (int i = 0; i < 40; ++i) {
            QVERIFY(list->item(i)->text().startsWith(QStringLiteral("f%1.txt ").arg(i)));
            QCOMPARE(list->item(i)->checkState(), Qt::Checked);
        }
        QCOMPARE(gauge()->value(), 100);
        QCOMPARE(itemTexts(child<QListWidget>(w.get(), "dfuList")),
                 QStringList({"f0.txt erfolgreich empfangen ..."}));
        QCOMPARE(child<QListWidget>(w.get(), "dfuList")->sizeHintForRow(0), 16);
    }

    void transferIconBlinksWithEachBlock()
    {
        w = std::make_unique<TfmMain>();
        w->FormShow();
        QVERIFY(!connectTray()->Active());
        QCOMPARE(connectTray()->ToolTip(), QStringLiteral("Datenübertragung"));
        auto icon = [this] { return connectTray()->Icon().cacheKey(); };
        receiveStep(QStringLiteral("in.bin"), 0, 0, tbFileName);
        QCOMPARE(icon(), Icons::receiveIcon().cacheKey());
        QVERIFY(connectTray()->Active());
        QList<qint64> blink;
        for (int i = 0; i < 4; ++i) {
            sendStep(QStringLiteral("/srv/out.bin"), 4, i, tbFileData);
            blink << icon();
        }
        const qint64 send = Icons::sendIcon().cacheKey(), connect = Icons::connectIcon().cacheKey();
        QCOMPARE(blink, QList<qint64>({send, connect, send, connect}));
        receiveStep(QStringLiteral("in.bin"), 4, 1, tbFileData);
        QCOMPARE(icon(), Icons::receiveIcon().cacheKey());
        capi().OnBDisconnect(&capi(), 0x10001, 0);
        QCOMPARE(icon(), connect);
        QVERIFY(!connectTray()->Active());
    }
};

QTEST_MAIN(TestTransferPages)
#include "TestTransferPages.moc"
