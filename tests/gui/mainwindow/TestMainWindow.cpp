// The main window: first start, the options page and its write moments, applying the options,
// hiding and ending. Every test runs in fresh HOME/XDG folders; message dialogs and choosers
// are answered through their hooks.
#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "common/Paths.h"
#include "dinfo/DdeConversation.h"
#include "mainwindow/MainWindow.h"
#include "monitor/CallPipeline.h"
#include "notify/TrayIcon.h"
#include "notify/TrayWatcher.h"
#include "settings/SettingsStore.h"
#include "support/FileBytes.h"
#include "support/NotificationServer.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "support/WriteFailure.h"
#include "widgets/ButtonEdit.h"
#include "widgets/MessageDialog.h"
#include "widgets/StandardDialogs.h"
#include "windows/CallerRecordDialog.h"
#include "windows/DInfoDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace {

// Records every message instead of showing it.
struct Messages
{
    QStringList texts;
    Messages()
    {
        MsgDlgHook::setHandler([this](const QString &text, int) {
            texts << text;
            return false;
        });
    }
    ~Messages() { MsgDlgHook::setHandler({}); }
};

const char *const kImmediateBoxes[][2] = {
    {"IsdnShow", "ISDN_Show"},
    {"IsdnBeep", "ISDN_Beep"},
    {"IsdnMinimize", "ISDN_Minimize"},
    {"IsdnWriteLog", "ISDN_WriteLog"},
    {"ISDNCreateNull", "ISDN_CreateNull"},
    {"ISDNRunDInfo", "ISDN_RunDInfo"},
    {"isdnUse", "ISDN_UseExtern"},
};
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<PrivateSessionBus> bus;

private slots:
    void initTestCase()
    {
        qputenv("RUFWART_CAPI_REMOTE", QByteArray("127.0.0.1:") + QByteArray::number(closedPort()));
        // The desktop's session bus, where a notification area announces itself.
        bus = std::make_unique<PrivateSessionBus>();
        QVERIFY2(bus->isRunning(), qPrintable(bus->error()));
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus->address().toUtf8());
    }
    void cleanupTestCase() { bus.reset(); }
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void firstStartWithoutSettings()
    {
        Messages messages;
        TfmMain w;
        w.FormShow();

        for (const char *name : {"isdnUse", "IsdnMinimize", "ISDNShowExtWin"})
            QVERIFY2(child<QCheckBox>(&w, name)->isChecked(), name);
        for (const char *name : {"IsdnIgnore", "ISDNAutoStart", "IsdnShow", "IsdnBeep", "IsdnWriteLog",
                                 "ISDNCreateNull", "ISDNRunDInfo"})
            QVERIFY2(!child<QCheckBox>(&w, name)->isChecked(), name);
        QCOMPARE(child<QLineEdit>(&w, "IsdnTimeMinimize")->text(), QStringLiteral("3"));
        QVERIFY(child<QLineEdit>(&w, "IsdnTimeMinimize")->isEnabled());
        // Never the data folder itself: a server would offer the caller directory and journal.
        QCOMPARE(child<QLineEdit>(&w, "OptSendDir")->text(),
                 env->dataHome() + QStringLiteral("/rufwart/senden/"));
        QVERIFY(QDir(env->dataHome() + QStringLiteral("/rufwart/senden")).exists());
        QCOMPARE(child<QLineEdit>(&w, "OptEmpfangDir")->text(),
                 env->dataHome() + QStringLiteral("/rufwart/empfang/"));
        // The per-user D-Info folder, which the look-up provisions with the stand-in.
        QCOMPARE(child<QLineEdit>(&w, "OptDInfoDir")->text(),
                 env->dataHome() + QStringLiteral("/rufwart/dinfo/"));
        QVERIFY(child<QRadioButton>(&w, "rbDInfo30")->isChecked());
        QCOMPARE(child<QRadioButton>(&w, "rbDInfo30")->text(), QStringLiteral("D-Info 3.0"));
        QCOMPARE(child<QAction>(&w, "mnuInfo")->text(), QStringLiteral("Über Rufwart 32 v2.2"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Rufwart 32  v2.2"));
        QCOMPARE(w.height(), 144);
        QCOMPARE(w.width(), 340);

        // Loading left the never-written values unwritten: their defaults stay "checked".
        for (const char *name : {"ISDN_UseExtern", "ISDN_Minimize", "ISDN_ShowExtWin", "ISDN_Beep"})
            QVERIFY2(ReadSettingString(QString::fromLatin1(name)).isEmpty(), name);

        // No CAPI to be reached: said once (when the registration beside the window reports),
        // and listening stays off.
        QTRY_COMPARE(messages.texts, QStringList{QStringLiteral("Capi20 nicht installiert !")});
        QVERIFY(child<QLabel>(&w, "ISDNBar")
                    ->text()
                    .startsWith(QStringLiteral("Autom. Anruferkennung deaktiviert ...")));
    }

    void storedSettingsAreShown()
    {
        Messages messages;
        WriteSettingFlag(QStringLiteral("ISDN_Minimize"), false);
        WriteSettingFlag(QStringLiteral("ISDN_ShowExtWin"), false);
        WriteSettingFlag(QStringLiteral("ISDN_UseExtern"), false);
        WriteSettingString(QStringLiteral("ISDN_Beep"), QStringLiteral("1"));
        WriteSettingString(QStringLiteral("ISDN_TimeMinimize"), QStringLiteral("12"));
        WriteSettingInteger(QStringLiteral("ISDN_DInfoVersion"), 1);
        WriteSettingString(QStringLiteral("ISDN_SendDir"), QStringLiteral("/srv/out/"));
        WriteSettingString(QStringLiteral("ISDN_Msn"), QStringLiteral("4711,,,,,,,"));
        const QDateTime written = QFileInfo(Paths::settingsFile()).lastModified();
        TfmMain w;
        w.FormShow();
        // Loading wrote nothing back: every value shown is the one stored.
        QCOMPARE(QFileInfo(Paths::settingsFile()).lastModified(), written);

        QVERIFY(!child<QCheckBox>(&w, "IsdnMinimize")->isChecked());
        QVERIFY(!child<QLineEdit>(&w, "IsdnTimeMinimize")->isEnabled());
        QVERIFY(!child<QCheckBox>(&w, "ISDNShowExtWin")->isChecked());
        QVERIFY(!child<QCheckBox>(&w, "isdnUse")->isChecked());
        QVERIFY(child<QCheckBox>(&w, "IsdnBeep")->isChecked());
        QCOMPARE(child<QLineEdit>(&w, "IsdnTimeMinimize")->text(), QStringLiteral("12"));
        QVERIFY(child<QRadioButton>(&w, "rbDInfo97")->isChecked());
        QCOMPARE(child<QLineEdit>(&w, "OptSendDir")->text(), QStringLiteral("/srv/out/"));
        QCOMPARE(w.Pipeline().Options().MsnList, QStringLiteral("4711,,,,,,,"));
        // Monitoring off: no attempt to reach CAPI, and the status says so.
        QVERIFY(messages.texts.isEmpty());
        QVERIFY(child<QLabel>(&w, "ISDNBar")
                    ->text()
                    .startsWith(QStringLiteral("Autom. Anruferkennung deaktiviert ...")));
    }

    void storedTimeThatIsNoNumberShowsDefault()
    {
        Messages messages;
        for (const QString &stored : {QStringLiteral("abc"), QStringLiteral("-4"), QStringLiteral("2.5")}) {
            WriteSettingString(QStringLiteral("ISDN_TimeMinimize"), stored);
            TfmMain w;
            w.FormShow();
            auto *time = child<QLineEdit>(&w, "IsdnTimeMinimize");
            QCOMPARE(time->text(), QStringLiteral("3"));
            // Nothing but digits can be typed.
            time->clear();
            QTest::keyClicks(time, QStringLiteral("1x-2.5"));
            QCOMPARE(time->text(), QStringLiteral("125"));
        }
    }

    void settingsThatAreNoTextGiveTheDefaults()
    {
        // Values another program stored in a form of its own must not end the program at start:
        // each reads as never written, so the window's default applies.
        QFile file(Paths::settingsFile());
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[General]\nISDN_TimeMinimize=@Rect(1 2 3 4)\nISDN_Minimize=@Rect(1 2 3 4)\n"
                   "ISDN_Msn=@Rect(1 2 3 4)\nISDN_SendDir=@Rect(1 2 3 4)\nISDN_Service=@Rect(1 2 3 4)\n"
                   "ISDN_CapiRemote=@Rect(1 2 3 4)\nISDN_UseExtern=@Rect(1 2 3 4)\n");
        file.close();
        Messages messages;
        TfmMain w;
        w.FormShow();
        QCOMPARE(child<QLineEdit>(&w, "IsdnTimeMinimize")->text(), QStringLiteral("3"));
        QVERIFY(child<QCheckBox>(&w, "IsdnMinimize")->isChecked());
        QVERIFY(child<QCheckBox>(&w, "isdnUse")->isChecked());
        QCOMPARE(w.Pipeline().Options().MsnList, QString());
        QCOMPARE(child<QLineEdit>(&w, "OptSendDir")->text(),
                 env->dataHome() + QStringLiteral("/rufwart/senden/"));
    }

    void optionBoxesWriteAtOnce()
    {
        Messages messages;
        WriteSettingFlag(QStringLiteral("ISDN_UseExtern"), false);
        TfmMain w;
        w.FormShow();
        w.show();
        for (const auto &pair : kImmediateBoxes) {
            auto *box = child<QCheckBox>(&w, pair[0]);
            const QString name = QString::fromLatin1(pair[1]);
            const bool before = box->isChecked();
            box->click();
            QCOMPARE(ReadSettingString(name), before ? QStringLiteral("0") : QStringLiteral("1"));
            box->click();
            QCOMPARE(ReadSettingString(name), before ? QStringLiteral("1") : QStringLiteral("0"));
        }
        // The boxes written on return are not written by a click.
        child<QCheckBox>(&w, "ISDNShowExtWin")->click();
        QVERIFY(ReadSettingString(QStringLiteral("ISDN_ShowExtWin")).isEmpty());
        child<QCheckBox>(&w, "IsdnIgnore")->click();
        QVERIFY(ReadSettingString(QStringLiteral("ISDN_Ignore")).isEmpty());

        // "Autom. minimieren" enables the time field.
        auto *minimize = child<QCheckBox>(&w, "IsdnMinimize");
        minimize->setChecked(false);
        QVERIFY(!child<QLineEdit>(&w, "IsdnTimeMinimize")->isEnabled());
        QVERIFY(!child<QLabel>(&w, "Label2")->isEnabled());
        minimize->setChecked(true);
        QVERIFY(child<QLineEdit>(&w, "IsdnTimeMinimize")->isEnabled());
    }

    void autostartOnAndOff()
    {
        Messages messages;
        const QString run = QString::fromLatin1(kRunKey);
        {
            TfmMain w;
            w.FormShow();
            QVERIFY(!child<QCheckBox>(&w, "ISDNAutoStart")->isChecked());
            child<QCheckBox>(&w, "ISDNAutoStart")->click();
            QCOMPARE(ReadRegString(RegRoot::CurrentUser, run, QStringLiteral("Rufwart"), QString()),
                     QCoreApplication::applicationFilePath());
            QVERIFY(QFile::exists(Paths::autostartFile()));
        }
        {
            TfmMain w;
            w.FormShow();
            QVERIFY(child<QCheckBox>(&w, "ISDNAutoStart")->isChecked());
            child<QCheckBox>(&w, "ISDNAutoStart")->click();
            QCOMPARE(ReadRegString(RegRoot::CurrentUser, run, QStringLiteral("Rufwart"), QStringLiteral("x")),
                     QString());
        }
        {
            TfmMain w;
            w.FormShow();
            QVERIFY(!child<QCheckBox>(&w, "ISDNAutoStart")->isChecked());
        }
    }

    void undoWithUncreatableDirectoryStillSaves()
    {
        Messages messages;
        WriteSettingFlag(QStringLiteral("ISDN_UseExtern"), false);
        TfmMain w;
        w.FormShow();
        w.show();
        child<QToolButton>(&w, "OptBtn")->click();
        QCOMPARE(child<QStackedWidget>(&w, "nb")->currentIndex(), int(TfmMain::PageOptions));
        QCOMPARE(w.height(), 306);

        // A plain file where a folder would have to be.
        QFile blocker(env->root() + QStringLiteral("/blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString badSend = env->root() + QStringLiteral("/blocker/out");
        const QString newReceive = env->root() + QStringLiteral("/in/deeper");
        child<QLineEdit>(&w, "OptSendDir")->setText(badSend);
        child<QLineEdit>(&w, "OptEmpfangDir")->setText(newReceive);
        child<QLineEdit>(&w, "OptDInfoDir")->setText(QString());
        child<QLineEdit>(&w, "IsdnTimeMinimize")->setText(QStringLiteral("7"));
        child<QRadioButton>(&w, "rbDInfo97")->setChecked(true);
        child<QCheckBox>(&w, "ISDNShowExtWin")->setChecked(false);
        messages.texts.clear();

        child<QPushButton>(&w, "UndoBtn")->click();

        QCOMPARE(messages.texts, QStringList{QStringLiteral("Sendeverzeichnis ungültig .")});
        QVERIFY(QFileInfo(newReceive).isDir());
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_SendDir")), badSend + QLatin1Char('/'));
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_EmpfangDir")), newReceive + QLatin1Char('/'));
        // An emptied D-Info folder is the default folder, never "/".
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_DInfoDir")),
                 env->dataHome() + QStringLiteral("/rufwart/dinfo/"));
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_TimeMinimize")), QStringLiteral("7"));
        QCOMPARE(ReadSettingInteger(QStringLiteral("ISDN_DInfoVersion")), 1);
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_ShowExtWin")), QStringLiteral("0"));
        QCOMPARE(child<QStackedWidget>(&w, "nb")->currentIndex(), int(TfmMain::PageStart));
        QCOMPARE(w.height(), 144);

        // Both directories bad: both messages, in this order; an emptied time field saves 3.
        child<QLineEdit>(&w, "OptEmpfangDir")->setText(badSend + QStringLiteral("/2"));
        child<QLineEdit>(&w, "IsdnTimeMinimize")->clear();
        messages.texts.clear();
        child<QPushButton>(&w, "UndoBtn")->click();
        QCOMPARE(messages.texts, (QStringList{QStringLiteral("Sendeverzeichnis ungültig ."),
                                              QStringLiteral("Empfangsverzeichnis ungültig .")}));
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_TimeMinimize")), QStringLiteral("3"));
    }

    void dinfo97HintOnlyForOldProgramFile()
    {
        Messages messages;
        WriteSettingFlag(QStringLiteral("ISDN_UseExtern"), false);
        const QString dir = env->root() + QStringLiteral("/dinfo/");
        QDir().mkpath(dir);
        QFile exe(dir + QStringLiteral("dinfo32.exe"));
        QVERIFY(exe.open(QIODevice::WriteOnly));
        exe.setFileTime(QDateTime(QDate(1997, 7, 20), QTime(12, 0)), QFileDevice::FileModificationTime);
        exe.close();

        TfmMain w;
        w.FormShow();
        child<QLineEdit>(&w, "OptDInfoDir")->setText(dir);
        auto hints = [&] {
            messages.texts.clear();
            child<QPushButton>(&w, "UndoBtn")->click();
            return messages.texts.filter(QStringLiteral("DINFO-97 HINWEIS !")).size();
        };
        QCOMPARE(hints(), 0); // "D-Info 3.0" selected
        child<QRadioButton>(&w, "rbDInfo97")->setChecked(true);
        QCOMPARE(hints(), 1);
        QVERIFY(messages.texts.first().startsWith(QStringLiteral(
            "DINFO-97 HINWEIS !\r\rNur lauffähig mit DInfo 97 32Bit\rServicePack B oder höher .\r\r"
            "Download: ")));
        QVERIFY(exe.open(QIODevice::ReadWrite));
        exe.setFileTime(QDateTime(QDate(1997, 7, 21), QTime(0, 0)), QFileDevice::FileModificationTime);
        exe.close();
        QCOMPARE(hints(), 0);
    }

    void dinfoOptionStartsAndStopsTheLookUpOnReturn()
    {
        Messages messages;
        WriteSettingFlag(QStringLiteral("ISDN_UseExtern"), false);
        TfmMain w;
        w.FormShow();
        auto *box = child<QCheckBox>(&w, "ISDNRunDInfo");
        auto apply = [&](bool on) {
            child<QToolButton>(&w, "OptBtn")->click();
            box->setChecked(on);
            child<QPushButton>(&w, "UndoBtn")->click();
        };
        // Whether the directory program of the default folder serves its conversation.
        auto running = [] {
            DdeConversation probe;
            return probe.Open(DInfoVersion::of(0).Service, DInfoVersion::of(0).Topic);
        };
        // Switched on and off again before "Zurück ..." starts nothing.
        child<QToolButton>(&w, "OptBtn")->click();
        box->setChecked(true);
        box->setChecked(false);
        child<QPushButton>(&w, "UndoBtn")->click();
        QTRY_VERIFY(!running());
        // The default folder holds the stand-in: on starts it, off stops it.
        apply(true);
        QVERIFY(running());
        apply(false);
        QTRY_VERIFY(!running());
        QVERIFY(messages.texts.isEmpty());

        // No program file in the folder: the option switches itself off again.
        QDir().mkpath(env->root() + QStringLiteral("/leer"));
        child<QLineEdit>(&w, "OptDInfoDir")->setText(env->root() + QStringLiteral("/leer"));
        apply(true);
        QTRY_VERIFY(!running());
        QVERIFY(!box->isChecked());
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_RunDInfo")), QStringLiteral("0"));
        QCOMPARE(messages.texts,
                 QStringList{QStringLiteral("D-Info nicht installiert !\rFunktion wurde deaktiviert .")});
    }

    void directoryChooser()
    {
        Messages messages;
        WriteSettingFlag(QStringLiteral("ISDN_UseExtern"), false);
        TfmMain w;
        w.FormShow();
        QList<DialogHook::Request> asked;
        QString answer = QStringLiteral("/srv/empfang");
        DialogHook::setHandler([&](const DialogHook::Request &r) {
            asked << r;
            return answer.isNull() ? QVariant() : QVariant(answer);
        });
        auto *edit = child<TButtonEdit>(&w, "OptEmpfangDir");
        edit->setText(QStringLiteral("/tmp/"));
        edit->buttonAction()->trigger();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].kind, DialogHook::Kind::Directory);
        QCOMPARE(asked[0].title, QStringLiteral("Verzeichnis auswählen ..."));
        QCOMPARE(asked[0].initialDir, QStringLiteral("/tmp/"));
        QCOMPARE(edit->text(), QStringLiteral("/srv/empfang/"));
        // Cancelled, or a name of one character: the edit keeps its text.
        answer = QString();
        edit->buttonAction()->trigger();
        answer = QStringLiteral("/");
        edit->buttonAction()->trigger();
        QCOMPARE(edit->text(), QStringLiteral("/srv/empfang/"));
        DialogHook::setHandler({});
    }

    // Double-click on the call list: a name stands for the last call's key (last entry only),
    // a number for itself, also when it carries the blocked mark; the entry takes the name.
    // (Before the tests that end the program: after QCoreApplication::exit() no dialog of this
    // process runs modally any more.)
    void callListDoubleClickOpensTheRecordDialog()
    {
        Messages messages;
        WriteSettingFlag(QStringLiteral("ISDN_UseExtern"), false);
        QVERIFY(writeBytes(Paths::dataDir() + QStringLiteral("anruf.dat"),
                           "[Anrufer]\r\n0301234=F#Meier\r\n0309*=T#\r\n"));
        TfmMain w;
        w.FormShow();
        w.RestoreMainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto *list = child<QListWidget>(&w, "CallList");
        list->addItems(
            {QStringLiteral("12:00:00 - 0401111"), QStringLiteral("12:00:05 - 0309111 --> gesperrt")});
        // The last call as the monitor hands it over; the window then goes back to its call list.
        ShownCall last;
        last.Rang = QDateTime(QDate::currentDate(), QTime(12, 0, 10));
        last.Decision.Label = QStringLiteral("Meier");
        last.Decision.CallerKey = QStringLiteral("0301234");
        last.Decision.OwnKey = QStringLiteral("0301234");
        emit w.Pipeline().callShown(last);
        QCOMPARE(list->item(2)->text(), QStringLiteral("12:00:10 - Meier"));
        child<QStackedWidget>(&w, "nb_Call")->setCurrentIndex(TfmMain::CallPageList);

        // Double-clicks `row`; `act` works the record dialog if one opens. Returns its key.
        auto doubleClick = [&](int row, const std::function<void(TfmStamm &)> &act) {
            // A click, then the second press as a double-click.
            list->scrollToItem(list->item(row));
            const QPoint at = list->visualItemRect(list->item(row)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QString key;
            QTimer::singleShot(0, &w, [&] {
                if (auto *d = qobject_cast<TfmStamm *>(QApplication::activeModalWidget())) {
                    key = child<QLineEdit>(d, "EdNummer")->text();
                    act(*d);
                    if (d->isVisible())
                        d->reject();
                }
            });
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::qWait(0);
            return key;
        };
        QCOMPARE(doubleClick(2,
                             [](TfmStamm &d) {
                                 QCOMPARE(child<QLineEdit>(&d, "EdName")->text(), QStringLiteral("Meier"));
                                 child<QLineEdit>(&d, "EdName")->setText(QStringLiteral("Meier-Neu"));
                                 child<QPushButton>(&d, "ChangeBtn")->click();
                             }),
                 QStringLiteral("0301234"));
        QCOMPARE(list->item(2)->text(), QStringLiteral("12:00:10 - Meier-Neu"));
        QCOMPARE(doubleClick(0, [](TfmStamm &) {}), QStringLiteral("0401111"));
        QCOMPARE(list->item(0)->text(), QStringLiteral("12:00:00 - 0401111"));
        QCOMPARE(doubleClick(1,
                             [](TfmStamm &d) {
                                 // Starts from the group key's entry: blocked, no name.
                                 QVERIFY(child<QCheckBox>(&d, "cbOut")->isChecked());
                                 child<QLineEdit>(&d, "EdName")->setText(QStringLiteral("Werbung"));
                                 child<QCheckBox>(&d, "cbOut")->setChecked(true);
                                 child<QPushButton>(&d, "ChangeBtn")->click();
                             }),
                 QStringLiteral("0309111"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("12:00:05 - Werbung"));
        // A number the group key 0309* answers gets its own entry before that key, where it takes
        // effect.
        QCOMPARE(readBytes(Paths::dataDir() + QStringLiteral("anruf.dat")),
                 "[Anrufer]\r\n0301234=F#Meier-Neu\r\n0309111=T#Werbung\r\n0309*=T#\r\n");
        // A name that is no longer the last entry opens nothing.
        list->addItem(QStringLiteral("12:01:00 - Analog"));
        QCOMPARE(doubleClick(2, [](TfmStamm &) {}), QString());

        // The caller list and the journal are reachable from the start page and the menu.
        for (QWidget *button : {static_cast<QWidget *>(child<QToolButton>(&w, "EditBtn")),
                                static_cast<QWidget *>(child<QToolButton>(&w, "HistBtn"))})
            QVERIFY(button->isEnabled());
        QVERIFY(child<QAction>(&w, "mnuEdit")->isEnabled() && child<QAction>(&w, "mnuHist")->isEnabled());
        QStringList opened;
        auto closeNext = [&] {
            QTimer::singleShot(0, &w, [&] {
                QWidget *d = QApplication::activeModalWidget();
                opened << (d ? d->windowTitle() : QString());
                if (auto *dialog = qobject_cast<QDialog *>(d))
                    dialog->done(0); // closes without the closing questions
            });
        };
        closeNext();
        QTest::mouseClick(child<QToolButton>(&w, "EditBtn"), Qt::LeftButton);
        closeNext();
        child<QAction>(&w, "mnuHist")->trigger();
        QCOMPARE(opened, QStringList({QStringLiteral("Anrufer"), QStringLiteral("Anrufjournal")}));
    }

    void closeBoxHidesAndTimerHides()
    {
        Messages messages;
        WriteSettingFlag(QStringLiteral("ISDN_UseExtern"), false);
        TfmMain w;
        w.FormShow();
        w.RestoreMainWindow();
        QVERIFY(w.isVisible());
        QVERIFY(!w.close()); // the close box only hides
        QVERIFY(!w.isVisible() || w.isMinimized());
        QVERIFY(w.Pipeline().Callers());

        // Auto-hide after a call, on the start page.
        w.RestoreMainWindow();
        w.ShowAnimation(true);
        child<QStackedWidget>(&w, "nb_Call")->setCurrentIndex(TfmMain::CallPageCaller);
        w.findChild<QTimer *>("Timer")->start();
        w.TimerTimer();
        QVERIFY(!w.isVisible() || w.isMinimized());
        QVERIFY(!w.findChild<QTimer *>("Timer")->isActive());
        QVERIFY(!child<QLabel>(&w, "Ani")->isVisible());
        QCOMPARE(child<QStackedWidget>(&w, "nb_Call")->currentIndex(), int(TfmMain::CallPageList));

        // On the options page, or with "Autom. minimieren" off, the window stays.
        w.RestoreMainWindow();
        child<QStackedWidget>(&w, "nb")->setCurrentIndex(TfmMain::PageOptions);
        w.TimerTimer();
        QVERIFY(w.isVisible() && !w.isMinimized());
        child<QStackedWidget>(&w, "nb")->setCurrentIndex(TfmMain::PageStart);
        child<QCheckBox>(&w, "IsdnMinimize")->setChecked(false);
        w.TimerTimer();
        QVERIFY(w.isVisible() && !w.isMinimized());

        // "Programm beenden" ends in order.
        w.mnuCloseClick();
        QVERIFY(!w.Pipeline().Callers());
        QVERIFY(!w.isVisible());
        QVERIFY(child<QLabel>(&w, "ISDNBar")
                    ->text()
                    .startsWith(QStringLiteral("Autom. Anruferkennung deaktiviert ...")));
    }

    // Closing the service window listens anew for the new choice, but only while "Aktiv" is
    // ticked: with it unticked monitoring stays off, as the box says.
    void serviceWindowListensAnewOnlyWhileActive()
    {
        Messages messages;
        WriteSettingFlag(QStringLiteral("ISDN_UseExtern"), false);
        TfmMain w;
        w.FormShow();
        auto closeServiceWindow = [&w] {
            QTimer::singleShot(0, &w, [] {
                if (QWidget *dialog = QApplication::activeModalWidget())
                    dialog->close();
            });
            child<QToolButton>(&w, "ServiceBtn")->click();
        };
        closeServiceWindow();
        QVERIFY(messages.texts.isEmpty());
        QVERIFY(child<QLabel>(&w, "ISDNBar")
                    ->text()
                    .startsWith(QStringLiteral("Autom. Anruferkennung deaktiviert ...")));

        // Ticked, it tries (no CAPI answers here, which is said once per try).
        child<QCheckBox>(&w, "isdnUse")->setChecked(true);
        QTRY_COMPARE(messages.texts, QStringList{QStringLiteral("Capi20 nicht installiert !")});
        closeServiceWindow();
        QTRY_COMPARE(messages.texts.size(), 2);
    }

    // The session manager's commit-data request also comes for checkpoints and for a logout the
    // user may still cancel: what is queued is saved and the program runs on. A save that fails
    // is asked about only when the session manager allows interaction. When the session really
    // ends (the application is told to quit) the program ends in order, asking nothing.
    void sessionSavesRunsOnAndEndsWithoutAsking()
    {
        Messages messages;
        WriteSettingFlag(QStringLiteral("ISDN_UseExtern"), false);
        TfmMain w;
        w.FormShow();
        int permissionAsked = 0, released = 0;
        bool allowed = false;
        const TfmMain::SessionManagerAccess session{[&] {
                                                        ++permissionAsked;
                                                        return allowed;
                                                    },
                                                    [&] { ++released; }};
        auto queueCall = [&w] {
            w.Pipeline().Journal()->QueueCall(QStringLiteral("0301234567"), QStringLiteral("4711"));
        };

        queueCall();
        w.CommitData(session);
        QCOMPARE(CallJournal().ReadCalls().size(), 1);
        QCOMPARE(permissionAsked, 0); // nothing to ask about
        QVERIFY(w.Pipeline().Callers() && w.Pipeline().Journal());
        QVERIFY(messages.texts.isEmpty());

        auto full = std::make_unique<FileSizeLimit>(8);
        queueCall();
        w.CommitData(session);
        QCOMPARE(permissionAsked, 1);
        QVERIFY(messages.texts.isEmpty()); // not allowed: no question
        QCOMPARE(released, 0);

        allowed = true;
        QStringList asked;
        MsgDlgHook::setHandler([&](const QString &text, int kind) {
            asked << text;
            full.reset(); // room is made before the answer "try again"
            return kind == 0;
        });
        w.CommitData(session);
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].contains(QStringLiteral("Nochmals versuchen ?")), qPrintable(asked[0]));
        QCOMPARE(released, 1);
        QCOMPARE(CallJournal().ReadCalls().size(), 2);
        QVERIFY(w.Pipeline().Callers() && w.Pipeline().Journal());

        // The session ends: a window on the screen does not keep the program from ending, and a
        // save that fails now is not asked about.
        asked.clear();
        full = std::make_unique<FileSizeLimit>(8);
        queueCall();
        w.RestoreMainWindow();
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
        full.reset();
        MsgDlgHook::setHandler({});
        QVERIFY(asked.isEmpty());
        QVERIFY(!w.Pipeline().Callers() && !w.Pipeline().Journal());
        QVERIFY(!w.isVisible());
    }

    // A desktop without a notification area (as offscreen, or a Wayland desktop without a
    // StatusNotifierItem host): the start says nothing on the console, Qt included.
    void startWithoutNotificationAreaWarnsOfNothing()
    {
        Messages messages;
        WriteSettingFlag(QStringLiteral("ISDN_UseExtern"), false);
        static QStringList warnings;
        warnings.clear();
        const QtMessageHandler previous =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
                if (type != QtDebugMsg && type != QtInfoMsg)
                    warnings << text;
            });
        auto restore = qScopeGuard([previous] { qInstallMessageHandler(previous); });
        {
            TfmMain w;
            w.FormShow();
            QVERIFY(!w.TrayAvailable());
            QCoreApplication::processEvents();
        }
        restore.dismiss();
        qInstallMessageHandler(previous);
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(QLatin1Char('\n'))));
    }

    // Started before the desktop's panel (by autostart), the program runs in window mode. Once a
    // notification area appears it moves there: the window goes behind its icon, the status line
    // drops its note, and the close box hides again rather than minimising.
    void notificationAreaThatAppearsLaterIsUsed()
    {
        Messages messages;
        WriteSettingFlag(QStringLiteral("ISDN_UseExtern"), false);
        bool tray = false;
        TTrayIcon::setAvailabilityProbe([&tray] { return tray; });
        auto noProbe = qScopeGuard([] { TTrayIcon::setAvailabilityProbe({}); });
        TfmMain w;
        w.FormShow();
        w.RestoreMainWindow();
        QVERIFY(!w.TrayAvailable());
        auto *status = child<QLabel>(&w, "ISDNBar");
        QCOMPARE(status->text(), QStringLiteral("Autom. Anruferkennung deaktiviert ... (kein Infobereich)"));
        QVERIFY(!w.close());
        QVERIFY(w.isVisible() && w.isMinimized());

        // The panel starts: its notification area announces itself on the session bus.
        tray = true;
        QDBusConnection panel = QDBusConnection::connectToBus(bus->address(), QStringLiteral("panel"));
        auto noPanel = qScopeGuard([] { QDBusConnection::disconnectFromBus(QStringLiteral("panel")); });
        QVERIFY(panel.registerService(QString::fromLatin1(TrayWatcher::kService)));
        QTRY_VERIFY_WITH_TIMEOUT(w.TrayAvailable(), 20000);
        QCOMPARE(status->text(), QStringLiteral("Autom. Anruferkennung deaktiviert ..."));
        QVERIFY(!w.isVisible());
        QVERIFY(child<TTrayIcon>(&w, "TaskIcon1")->Active());
        w.RestoreMainWindow();
        QVERIFY(w.isVisible() && !w.isMinimized());
        QVERIFY(!w.close());
        QVERIFY(!w.isVisible());
    }

    // A remote CAPI address that does not answer must not hold the window for the connect
    // time-out: the start returns at once with a status line that says what is true, the window
    // works meanwhile, and the failure is told once the server has had its time to answer.
    void unansweredCapiServerLeavesTheWindowWorking()
    {
        Messages messages;
        const QByteArray closed = qgetenv("RUFWART_CAPI_REMOTE");
        auto restore = qScopeGuard([&] { qputenv("RUFWART_CAPI_REMOTE", closed); });
        UnansweredPort silent;
        qputenv("RUFWART_CAPI_REMOTE", QByteArray("127.0.0.1:") + QByteArray::number(silent.port()));
        TfmMain w;
        w.FormShow();
        auto *status = child<QLabel>(&w, "ISDNBar");
        QVERIFY2(status->text().startsWith(QStringLiteral("Autom. Anruferkennung wird aktiviert ...")),
                 qPrintable(status->text()));
        QVERIFY(messages.texts.isEmpty());
        child<QCheckBox>(&w, "IsdnBeep")->click();
        QVERIFY(ReadSettingFlag(QStringLiteral("ISDN_Beep")));
        QTRY_COMPARE_WITH_TIMEOUT(messages.texts, QStringList{QStringLiteral("Capi20 nicht installiert !")},
                                  60000);
        QVERIFY(status->text().startsWith(QStringLiteral("Autom. Anruferkennung deaktiviert ...")));
    }

    void pageHeights()
    {
        Messages messages;
        TfmMain w;
        auto *nb = child<QStackedWidget>(&w, "nb");
        const int heights[] = {144, 306, 227, 227, 227};
        for (int page = 4; page >= 0; --page) {
            nb->setCurrentIndex(page);
            QCOMPARE(w.height(), heights[page]);
            QCOMPARE(w.width(), 340);
        }
    }
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
