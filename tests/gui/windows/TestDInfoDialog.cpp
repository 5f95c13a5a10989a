// The D-Info search window, alone and through the standing connection of the automatic look-up,
// and the look-up progress window, against the built stand-in and against fake_dinfo.
#include "dinfo/DdeConversation.h"
#include "monitor/DInfoService.h"
#include "notify/TrayIcon.h"
#include "settings/SettingsStore.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"
#include "support/WaitUntil.h"
#include "support/WindowTest.h"
#include "widgets/MessageDialog.h"
#include "windows/DInfoDialog.h"
#include "windows/DInfoProgress.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

namespace {
const QString kMeier = QStringLiteral("Meier, Hans Elbwerk GmbH");

// Runs `act` on the search dialog once it is shown modally and its program has started.
void whenDialogReady(std::function<void(TfmDInfo *)> act)
{
    QTimer::singleShot(0, [act] {
        TfmDInfo *dialog = nullptr;
        WaitUntil([&] {
            dialog = qobject_cast<TfmDInfo *>(QApplication::activeModalWidget());
            return dialog && child<QToolButton>(dialog, "searchBtn")->isEnabled();
        });
        if (dialog)
            act(dialog);
    });
}

bool endpointServed(int version)
{
    DdeConversation probe;
    return probe.Open(DInfoVersion::of(version).Service, DInfoVersion::of(version).Topic);
}
} // namespace

class TestDInfoDialog : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    QStringList messages;

    // The stand-in's address book: one card.
    void givenAddressBook()
    {
        QVERIFY(writeBytes(env->root() + "/karten.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Meier;Hans\r\n"
                                                        "ORG:Elbwerk GmbH\r\nTEL:+49 30 1234567\r\n"
                                                        "END:VCARD\r\n"));
        QVERIFY(writeBytes(env->configHome() + "/rufwart/dinfo.ini",
                           "[AddressBook]\nSource=" + env->root().toUtf8() + "/karten.vcf\n"));
    }
    // A folder with fake_dinfo as the version's program, behaving as `mode` says.
    void givenFake(int version, const QByteArray &mode)
    {
        const QString folder = env->root() + "/fake/";
        QDir().mkpath(folder);
        QFile::remove(folder + DInfoVersion::of(version).Exe);
        QVERIFY(QFile::link(QStringLiteral(FAKE_DINFO_EXE), folder + DInfoVersion::of(version).Exe));
        QVERIFY(writeBytes(folder + "fake-mode", mode));
        WriteSettingString("ISDN_DInfoDir", folder);
        WriteSettingInteger("ISDN_DInfoVersion", version);
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        messages.clear();
        MsgDlgHook::setHandler([this](const QString &text, int) {
            messages << text;
            return false;
        });
        DInfoClient::SetTimeoutsForTests(5000, 2000);
    }
    void cleanup()
    {
        DInfoClient::SetTimeoutsForTests(0, 0);
        MsgDlgHook::setHandler({});
        env.reset();
    }

    void manualLookUpStartsTheStandInAndHandsTheNameOver()
    {
        CHECKED(givenAddressBook());
        // A new user: no folder set, so the default folder gets the stand-in.
        QString caption, shownNumber, shownName, result;
        whenDialogReady([&](TfmDInfo *d) {
            caption = d->windowTitle();
            shownNumber = child<QLineEdit>(d, "edNummer")->text();
            shownName = child<QLabel>(d, "lbTN")->text();
            child<QToolButton>(d, "searchBtn")->click();
            result = child<QLabel>(d, "lbTN")->text() + " / " + child<QLabel>(d, "lbMsg")->text();
            child<QPushButton>(d, "ChangeBtn")->click();
        });
        QCOMPARE(DInfoLookup(nullptr, "301234567", "alt"), kMeier);
        QCOMPARE(caption, QStringLiteral("D-Info - Suche"));
        QCOMPARE(shownNumber, QStringLiteral("301234567"));
        QCOMPARE(shownName, QStringLiteral("alt"));
        QCOMPARE(result, kMeier + " / Neue Suche ?");
        QVERIFY(QFileInfo(env->dataHome() + "/rufwart/dinfo/dinfowin.exe").isExecutable());
        // Closing the dialog ended the program.
        QVERIFY(!endpointServed(0));

        // Nobody found, and an aborted search: the name stays.
        whenDialogReady([&](TfmDInfo *d) {
            child<QToolButton>(d, "searchBtn")->click();
            result = child<QLabel>(d, "lbTN")->text();
            child<QPushButton>(d, "ChangeBtn")->click();
        });
        QCOMPARE(DInfoLookup(nullptr, "40999", "alt"), QStringLiteral("alt"));
        QCOMPARE(result, QStringLiteral("Kein Teilnehmer gefunden !"));
        whenDialogReady([&](TfmDInfo *d) {
            child<QLineEdit>(d, "edNummer")->setText(QString(62, '1'));
            child<QToolButton>(d, "searchBtn")->click();
            result = child<QLabel>(d, "lbTN")->text();
            child<QLineEdit>(d, "edNummer")->setText("301234567");
            child<QToolButton>(d, "searchBtn")->click();
            child<QPushButton>(d, "AbortBtn")->click();
        });
        QCOMPARE(DInfoLookup(nullptr, "301234567", "alt"), QStringLiteral("alt"));
        QCOMPARE(result, QStringLiteral("Nummer zu lang !"));
        QVERIFY(messages.isEmpty());
    }

    void missingOrFailingProgramIsReported()
    {
        QDir().mkpath(env->root() + "/leer");
        WriteSettingString("ISDN_DInfoDir", env->root() + "/leer");
        QCOMPARE(DInfoLookup(nullptr, "301234567", "alt"), QStringLiteral("alt"));
        QCOMPARE(messages, QStringList({"D-Info nicht installiert !"}));

        // A program that never serves its conversation: the start gives up with a message, the
        // window closes by itself.
        CHECKED(givenFake(1, "noendpoint"));
        DInfoClient::SetTimeoutsForTests(300, 2000);
        messages.clear();
        QCOMPARE(DInfoLookup(nullptr, "301234567", "alt"), QStringLiteral("alt"));
        QCOMPARE(messages, QStringList({"Fehler beim Laden von DInfo ..."}));
    }

    void manualLookUpThroughTheStandingConnection()
    {
        CHECKED(givenAddressBook());
        WriteSettingInteger("ISDN_DInfoVersion", 1);
        DInfoService service;
        service.Start();
        QVERIFY(service.Running());
        // The window searches with the connection's program, which goes on running after it.
        whenDialogReady([&](TfmDInfo *d) {
            child<QToolButton>(d, "searchBtn")->click();
            child<QPushButton>(d, "ChangeBtn")->click();
        });
        QCOMPARE(DInfoLookup(&service, "0301234567", "alt"), kMeier);
        QVERIFY(endpointServed(1));
        QVERIFY(service.Running());

        // The connection ends while the window is open: the window closes, the name stays.
        whenDialogReady([&](TfmDInfo *) { service.Stop(); });
        QCOMPARE(DInfoLookup(&service, "0301234567", "alt"), QStringLiteral("alt"));
        QVERIFY(!endpointServed(1));
        QVERIFY(messages.isEmpty());
    }

    void progressWindowSharesTheNotificationPlace()
    {
        WriteSettingInteger("ISDN_CallMsg_Left", 40);
        WriteSettingInteger("ISDN_CallMsg_Top", 30);
        WriteSettingString("ISDN_ExtWinFontColor", "clRed");
        NewestWindow<TfmDInfMsg> progress;
        ShowDInfMsg("0355", false);
        QPointer<TfmDInfMsg> window = progress.get();
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Anruf von "));
        QCOMPARE(child<QLabel>(window, "lbNr")->text(), QStringLiteral("\" 0355 \""));
        QCOMPARE(child<QLabel>(window, "lbName")->text(), QStringLiteral("D-Info Suche läuft ..."));
        QCOMPARE(child<QLabel>(window, "lbHinweis")->text(), QStringLiteral("Bitte einen Moment Geduld ..."));
        QCOMPARE(window->geometry().topLeft(), QPoint(40, 30));
        QCOMPARE(child<QLabel>(window, "lbNr")->palette().color(QPalette::WindowText), QColor(Qt::red));

        // Closed by the user: the place is kept for the next windows, the window only hides.
        window->setGeometry(QRect(QPoint(70, 60), window->size()));
        window->close();
        QVERIFY(window && !window->isVisible());
        QCOMPARE(ReadSettingString("ISDN_CallMsg_Left"), QStringLiteral("70"));
        // Destroyed by the look-up: the place is not written.
        window->setGeometry(QRect(QPoint(90, 80), window->size()));
        ShowDInfMsg(QString(), true);
        QVERIFY(!window);
        QCOMPARE(ReadSettingString("ISDN_CallMsg_Left"), QStringLiteral("70"));
        QCOMPARE(ReadSettingString("ISDN_CallMsg_Top"), QStringLiteral("60"));
    }
};

QTEST_MAIN(TestDInfoDialog)
#include "TestDInfoDialog.moc"
