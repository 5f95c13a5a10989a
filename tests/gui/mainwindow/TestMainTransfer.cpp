// The main window's data-transfer mode without a line: server mode, the dial page, the
// connection and transfer events as the component reports them (also from another thread),
// and the progress page. CAPI points at a port where nobody answers.
#include "capi/Capi20.h"
#include "common/Paths.h"
#include "mainwindow/MainWindow.h"
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

class TestMainTransfer : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<TfmMain> w;
    QStringList messages;

    int page() const { return child<QStackedWidget>(w.get(), "nb")->currentIndex(); }
    QString text(const char *label) const { return child<QLabel>(w.get(), label)->text(); }
    QProgressBar *gauge() const { return child<QProgressBar>(w.get(), "Gauge"); }

    // Server mode. Switching registers anew, beside the window (here in vain: nobody answers);
    // its report is waited for, so it cannot write the status line in the middle of a check.
    void serverModeOn()
    {
        w->mnuServermodeClick();
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
        w->Clientmodus1Click();

        auto *callers = child<QComboBox>(w.get(), "ChangeCallers");
        QCOMPARE(page(), int(TfmMain::PageDial));
        QCOMPARE(w->windowTitle(), QStringLiteral("Rufwart 32 - Verbindungsaufbau"));
        QCOMPARE(itemTexts(callers), QStringList({"Alice", "Hamburg Gruppe", "Bob", "X"}));
        QCOMPARE(w->FDialNumbers, QStringList({"0301234", "040*", "0812", "0999"}));
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

        // A remembered name that is no longer listed selects nothing.
        WriteSettingString(QStringLiteral("ISDN_LastDFUConnect"), QStringLiteral("Nobody"));
        w->Clientmodus1Click();
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
        QCOMPARE(w->Capi2->MaxReceiveSize.load(), int64_t(5) << 20);
        auto *dialWith = child<QCheckBox>(w.get(), "cbDialWith");
        // Outside the dial page the box writes nothing.
        dialWith->setChecked(true);
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_Nebenstelle")), QString());
        dialWith->setChecked(false);

        w->Clientmodus1Click();
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
        w->Clientmodus1Click();
        callBtn->click();
        QCOMPARE(child<QLineEdit>(w.get(), "ChangeNumber")->text(), QStringLiteral("00812"));
    }

    void serverModeSwitchesListeningTitleAndStatusEntry()
    {
        w = std::make_unique<TfmMain>();
        w->FormShow();
        // Received files are capped at 100 MB unless the settings say otherwise.
        QCOMPARE(w->Capi2->MaxReceiveSize.load(), int64_t(100) << 20);
        QVERIFY(w->mnuServermode->isEnabled());
        QVERIFY(!w->mnuDFUStatus->isEnabled());

        w->mnuServermodeClick();
        QVERIFY(w->ServerMode());
        QVERIFY(w->mnuDFUStatus->isEnabled());
        QCOMPARE(w->windowTitle(), kServerTitle);
        w->mnuDFUStatus->trigger();
        QCOMPARE(page(), int(TfmMain::PageProgress));
        // "Zurück ..." leads to the start page in server mode ...
        child<QPushButton>(w.get(), "Undo2Btn")->click();
        QCOMPARE(page(), int(TfmMain::PageStart));

        // ... and to the file page otherwise. The menu toggles the mode as F9 does.
        w->mnuServermode->trigger();
        QVERIFY(!w->ServerMode());
        QVERIFY(!w->mnuDFUStatus->isEnabled());
        QCOMPARE(w->windowTitle(), kNormalTitle);
        w->mnuServermode->trigger();
        QVERIFY(w->ServerMode());
        w->Clientmodus1Click();
        QVERIFY(!w->ServerMode());
        w->mnuDFUStatusClick();
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
        w->UndoBtnClick();
        QCOMPARE(messages, QStringList());
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_SendDir")), TfmMain::DefaultSendDir());
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_EmpfangDir")), TfmMain::DefaultReceiveDir());
        QCOMPARE(child<QLineEdit>(w.get(), "OptSendDir")->text(), TfmMain::DefaultSendDir());
    }

    void connectionEventsShowTheirTextsWhereTheModeSays()
    {
        w = std::make_unique<TfmMain>();
        w->FormShow();
        w->Clientmodus1Click();
        w->Capi2Connect();
        QCOMPARE(text("lbConnectMsg"), QStringLiteral("Warte auf B-Kanal  ..."));
        w->Capi2BConnect(0x10001);
        QCOMPARE(text("lbConnectMsg"), QStringLiteral("B-Kanal Verbindung wird aufgebaut  ..."));
        QCOMPARE(page(), int(TfmMain::PageUpload));
        QCOMPARE(w->windowTitle(), kReceiveTitle);
        QVERIFY(w->ConnectTray->Active());

        // The other side ends the call: the page and title stay until the user leaves.
        w->FTransferDone = false;
        w->Capi2BDisconnect(0x10001, 0);
        QCOMPARE(text("lbConnectMsg"), QStringLiteral("B-Kanal Verbindung beendet  ..."));
        QVERIFY(!w->ConnectTray->Active());
        w->Capi2Disconnect(0x3490);
        QCOMPARE(text("lbConnectMsg"), QStringLiteral("Verbindung getrennt  ..."));
        QVERIFY(w->FTransferDone.load());
        QCOMPARE(page(), int(TfmMain::PageUpload));
        QCOMPARE(w->windowTitle(), kReceiveTitle);

        // "Empfangen" with the link gone does not wait for files that cannot come.
        child<QCheckBox>(w.get(), "cbAutoDisconnect")->setChecked(true);
        QCOMPARE(ReadSettingFlag(QStringLiteral("ISDN_AutoDisconnect")), true);
        w->Capi2ReceiveFileList(QStringLiteral("a.txt [01.02.2024 10:00:00, Größe : 3]"));
        child<QPushButton>(w.get(), "UploadBtn")->click();
        QCOMPARE(page(), int(TfmMain::PageStart));
        QCOMPARE(w->windowTitle(), kNormalTitle);

        // In server mode the start page's status line shows them, and no page changes.
        CHECKED(serverModeOn());
        w->Capi2Connect();
        QCOMPARE(text("ISDNBar"), QStringLiteral("Warte auf B-Kanal  ..."));
        w->Capi2BConnect(0x10001);
        QCOMPARE(text("ISDNBar"), QStringLiteral("Datenübertragung ..."));
        QCOMPARE(page(), int(TfmMain::PageStart));
        QCOMPARE(w->windowTitle(), kServerTitle);
        w->Capi2BDisconnect(0x10001, 0);
        QCOMPARE(text("ISDNBar"), QStringLiteral("Datenübertragung beendet ..."));
        w->Capi2Disconnect(0);
        QCOMPARE(text("ISDNBar"), QStringLiteral("Verbindung getrennt  ..."));
        QCOMPARE(text("lbConnectMsg"), QStringLiteral("Verbindung getrennt  ..."));
    }

    void serverModeProgressGoesToTheStatusLineAndLeavesTheGauge()
    {
        w = std::make_unique<TfmMain>();
        w->FormShow();
        CHECKED(serverModeOn());
        gauge()->setValue(7);
        w->Capi2ReceiveFile(QStringLiteral("in.bin"), 0, 0, tbFileName);
        w->Capi2ReceiveFile(QStringLiteral("in.bin"), 4000, 0, tbFileSize);
        w->Capi2ReceiveFile(QStringLiteral("in.bin"), 4000, 2000, tbFileData);
        QCOMPARE(text("ISDNBar"), QStringLiteral("Empfange in.bin ( 50 % erledigt )"));
        w->Capi2SendFile(QStringLiteral("/srv/out.bin"), 0, 0, tbFileName);
        w->Capi2SendFile(QStringLiteral("/srv/out.bin"), 4000, 1000, tbFileData);
        QCOMPARE(text("ISDNBar"), QStringLiteral("Sende /srv/out.bin ( 25 % erledigt )"));
        QVERIFY(gauge()->isHidden());
        QVERIFY(child<QLabel>(w.get(), "ProgressLabel")->isHidden());
        QCOMPARE(gauge()->value(), 7);
        QCOMPARE(text("lbByteSec"), QStringLiteral("0"));

        w->Capi2ReceiveFile(QStringLiteral("in.bin"), 4000, 4000, tbFileEnd);
        QCOMPARE(text("ISDNBar"), QStringLiteral("in.bin erfolgreich empfangen ..."));
        w->Capi2SendFile(QStringLiteral("/srv/out.bin"), 4000, 4000, tbFileEnd);
        QCOMPARE(text("ISDNBar"), QStringLiteral("/srv/out.bin erfolgreich gesendet ..."));
        QCOMPARE(itemTexts(child<QListWidget>(w.get(), "dfuList")),
                 QStringList({"in.bin erfolgreich empfangen ...", "/srv/out.bin erfolgreich gesendet ..."}));
        // A failed transfer shows why, also when it is reported on the message thread.
        w->Capi2ReceiveFile(QStringLiteral("in.bin"), 4000, 100, tbFileError);
        std::thread([this] {
            w->Capi2TransferError(QStringLiteral("in.bin"), CapiError::ERR_TRANSFER_INCOMPLETE);
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
        w->Capi2ReceiveFile(QStringLiteral("big.bin"), 0, 0, tbFileName);
        QVERIFY(!gauge()->isHidden());
        QCOMPARE(text("ProgressLabel"), QStringLiteral("Warte auf Gegenstelle ..."));
        for (int percent = 0; percent <= 100; ++percent) {
            w->Capi2ReceiveFile(QStringLiteral("big.bin"), size, size / 100 * percent, tbFileData);
            QCOMPARE(gauge()->value(), percent);
        }
        w->Capi2ReceiveFile(QStringLiteral("big.bin"), size, size - 1, tbFileData);
        QCOMPARE(gauge()->value(), 99);
        QCOMPARE(text("ProgressLabel"), QStringLiteral("Empfange big.bin ..."));
        w->Capi2SendFile(QStringLiteral("/tmp/big.bin"), size, size / 4 * 3, tbFileData);
        QCOMPARE(gauge()->value(), 75);
        QCOMPARE(text("ProgressLabel"), QStringLiteral("Sende /tmp/big.bin ..."));
        w->Capi2SendFile(QStringLiteral("/tmp/big.bin"), size, size, tbFileEnd);
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
        w->Capi2ReceiveFile(name, 0, 0, tbFileName);
        w->Capi2ReceiveFile(name, 90000, 45000, tbFileData);
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
        w->Capi2SendFile(path, 0, 0, tbFileName);
        w->Capi2SendFile(path, 90000, 40000, tbFileData);
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
        w->Clientmodus1Click();
        auto *list = child<QListWidget>(w.get(), "UploadList");
        std::thread capi([this] {
            for (int i = 0; i < 40; ++i)
                w->Capi2ReceiveFileList(QStringLiteral("f%1.txt [01.01.2024 00:00:00, Größe : 1]").arg(i));
            w->Capi2ReceiveFile(QStringLiteral("f0.txt"), 0, 0, tbFileName);
            for (int i = 1; i <= 100; ++i)
                w->Capi2ReceiveFile(QStringLiteral("f0.txt"), 100, i, tbFileData);
            w->Capi2ReceiveFile(QStringLiteral("f0.txt"), 100, 100, tbFileEnd);
            w->Capi2Disconnect(0);
        });
        capi.join();
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
        QVERIFY(!w->ConnectTray->Active());
        QCOMPARE(w->ConnectTray->ToolTip(), QStringLiteral("Datenübertragung"));
        auto icon = [this] { return w->ConnectTray->Icon().cacheKey(); };
        w->SetConnectIcon(true, 2);
        QCOMPARE(icon(), Icons::receiveIcon().cacheKey());
        QList<qint64> blink;
        for (int i = 0; i < 4; ++i) {
            w->SetConnectIcon(true, 6);
            blink << icon();
        }
        const qint64 send = Icons::sendIcon().cacheKey(), connect = Icons::connectIcon().cacheKey();
        QCOMPARE(blink, QList<qint64>({send, connect, send, connect}));
        w->SetConnectIcon(true, 5);
        QCOMPARE(icon(), Icons::receiveIcon().cacheKey());
        w->SetConnectIcon(false, 0);
        QCOMPARE(icon(), connect);
        QVERIFY(!w->ConnectTray->Active());
    }
};

QTEST_MAIN(TestMainTransfer)
#include "TestMainTransfer.moc"
