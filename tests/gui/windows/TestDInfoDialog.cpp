// The D-Info search dialog, the standing connection of the automatic look-up and the look-up
// progress window, against the built stand-in and against fake_dinfo.
#include "dinfo/DdeConversation.h"
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
            return dialog && dialog->searchBtn->isEnabled();
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
        DInfoStop();
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
            shownNumber = d->edNummer->text();
            shownName = d->lbTN->text();
            d->searchBtn->click();
            result = d->lbTN->text() + " / " + d->lbMsg->text();
            d->ChangeBtn->click();
        });
        QCOMPARE(DInfoLookup("301234567", "alt"), kMeier);
        QCOMPARE(caption, QStringLiteral("D-Info - Suche"));
        QCOMPARE(shownNumber, QStringLiteral("301234567"));
        QCOMPARE(shownName, QStringLiteral("alt"));
        QCOMPARE(result, kMeier + " / Neue Suche ?");
        QVERIFY(QFileInfo(env->dataHome() + "/rufwart/dinfo/dinfowin.exe").isExecutable());
        // Closing the dialog ended the program.
        QVERIFY(!endpointServed(0));

        // Nobody found, and an aborted search: the name stays.
        whenDialogReady([&](TfmDInfo *d) {
            d->searchBtn->click();
            result = d->lbTN->text();
            d->ChangeBtn->click();
        });
        QCOMPARE(DInfoLookup("40999", "alt"), QStringLiteral("alt"));
        QCOMPARE(result, QStringLiteral("Kein Teilnehmer gefunden !"));
        whenDialogReady([&](TfmDInfo *d) {
            d->edNummer->setText(QString(62, '1'));
            d->searchBtn->click();
            result = d->lbTN->text();
            d->edNummer->setText("301234567");
            d->searchBtn->click();
            d->AbortBtn->click();
        });
        QCOMPARE(DInfoLookup("301234567", "alt"), QStringLiteral("alt"));
        QCOMPARE(result, QStringLiteral("Nummer zu lang !"));
        QVERIFY(messages.isEmpty());
    }

    void missingOrFailingProgramIsReported()
    {
        QDir().mkpath(env->root() + "/leer");
        WriteSettingString("ISDN_DInfoDir", env->root() + "/leer");
        WriteSettingFlag("ISDN_RunDInfo", true);
        QCOMPARE(DInfoLookup("301234567", "alt"), QStringLiteral("alt"));
        DInfoStart();
        QCOMPARE(messages, QStringList({"D-Info nicht installiert !",
                                        "D-Info nicht installiert !\rFunktion wurde deaktiviert ."}));
        QVERIFY(!DInfoRunning);
        QCOMPARE(ReadSettingString("ISDN_RunDInfo"), QStringLiteral("0"));

        // A program that never serves its conversation: the start gives up with a message, the
        // dialog closes by itself.
        CHECKED(givenFake(1, "noendpoint"));
        DInfoClient::SetTimeoutsForTests(300, 2000);
        messages.clear();
        DInfoStart();
        QVERIFY(!DInfoRunning);
        QCOMPARE(DInfoLookup("301234567", "alt"), QStringLiteral("alt"));
        QCOMPARE(messages,
                 QStringList({"Fehler beim Laden von DInfo ...", "Fehler beim Laden von DInfo ..."}));

        // Stopped while it starts (the program ends): the start ends at once, quietly.
        DInfoClient::SetTimeoutsForTests(20000, 2000);
        messages.clear();
        QTimer::singleShot(100, [] { DInfoStop(); });
        QElapsedTimer clock;
        clock.start();
        DInfoStart();
        QVERIFY(clock.elapsed() < 10000);
        QVERIFY(!DInfoRunning);
        QVERIFY(messages.isEmpty());
    }

    void standingConnectionLooksUpWithoutAWindow()
    {
        CHECKED(givenAddressBook());
        WriteSettingInteger("ISDN_DInfoVersion", 1);
        QString name = "vorher";
        QCOMPARE(DInfoAutoLookup("301234567", name).Outcome, DInfoOutcome::NoProgram);
        QCOMPARE(name, QStringLiteral("vorher")); // without a connection the name stays

        DInfoStart();
        QVERIFY(DInfoRunning);
        QVERIFY(fmDInfo && !fmDInfo->isVisible());
        QVERIFY(fmDInfo->DInfoTask->Active()); // D-Info 97 shows its icon
        QCOMPARE(fmDInfo->DInfoTask->ToolTip(), QStringLiteral("D-Info 97 - Datenbank"));
        QVERIFY(DInfoAutoLookup("301234567", name).found());
        QCOMPARE(name, kMeier);
        QCOMPARE(DInfoAutoLookup("40999", name).Outcome, DInfoOutcome::NotFound);
        QCOMPARE(name, QStringLiteral("40999"));

        // A manual look-up uses the same dialog and program, which go on running hidden.
        const QPointer<TfmDInfo> connection = fmDInfo;
        whenDialogReady([&](TfmDInfo *d) {
            QCOMPARE(d, connection.data());
            d->searchBtn->click();
            d->ChangeBtn->click();
        });
        QCOMPARE(DInfoLookup("0301234567", "alt"), kMeier);
        QVERIFY(connection && !connection->isVisible());
        QVERIFY(endpointServed(1));

        DInfoStop();
        QVERIFY(!DInfoRunning);
        QVERIFY(!connection);
        QVERIFY(!endpointServed(1));
    }

    void crashedProgramHandsBackTheNumber()
    {
        CHECKED(givenFake(0, "crash"));
        DInfoStart();
        QVERIFY(DInfoRunning);
        for (int i = 0; i < 2; ++i) {
            QString name;
            QVERIFY(DInfoAutoLookup("301234567", name).failed());
            QCOMPARE(name, QStringLiteral("301234567"));
        }
    }

    void progressWindowSharesTheNotificationPlace()
    {
        WriteSettingInteger("ISDN_CallMsg_Left", 40);
        WriteSettingInteger("ISDN_CallMsg_Top", 30);
        WriteSettingString("ISDN_ExtWinFontColor", "clRed");
        ShowDInfMsg("0355", false);
        QPointer<TfmDInfMsg> window = fmDInfMsg;
        QVERIFY(window && window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("Anruf von "));
        QCOMPARE(window->lbNr->text(), QStringLiteral("\" 0355 \""));
        QCOMPARE(window->lbName->text(), QStringLiteral("D-Info Suche läuft ..."));
        QCOMPARE(window->lbHinweis->text(), QStringLiteral("Bitte einen Moment Geduld ..."));
        QCOMPARE(window->geometry().topLeft(), QPoint(40, 30));
        QCOMPARE(window->lbNr->palette().color(QPalette::WindowText), QColor(Qt::red));

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
