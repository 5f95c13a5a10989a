// Naming and blocking a caller, end to end: the program's main window runs against the virtual
// exchange (real libcapi20, real files). An unknown number calls; the user double-clicks its
// call list entry, names it and ticks "Gesperrt" in the record dialog; the next call from that
// number is turned away as busy, and the journal window shows the name for both calls.
#include "mainwindow/MainWindow.h"
#include "settings/SettingsStore.h"
#include "support/ExchangeCall.h"
#include "support/ProgramExchange.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "windows/CallerRecordDialog.h"
#include "windows/JournalDialog.h"
#include "windows/JournalModel.h"

#include "SimProcess.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

class TestCallerEndToEnd : public QObject
{
    Q_OBJECT
    isdnsim::SimProcess sim;
    std::unique_ptr<TestEnv> env;
    QStringList messages;

private slots:
    void initTestCase()
    {
        std::string error;
        QVERIFY2(StartProgramExchange(sim, &messages, &error), error.c_str());
    }
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void nameAndBlockAnUnknownCaller()
    {
        WriteSettingFlag(QStringLiteral("ISDN_WriteLog"), true);
        WriteSettingFlag(QStringLiteral("ISDN_CreateNull"), true);
        WriteSettingFlag(QStringLiteral("ISDN_ShowExtWin"), false);
        WriteSettingFlag(QStringLiteral("ISDN_Minimize"), false);
        WriteSettingInteger(QStringLiteral("ISDN_TimeMinimize"), 1);
        TfmMain w;
        w.FormShow();
        w.RestoreMainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // It registers beside the window; calls come once it listens.
        QTRY_VERIFY(child<QLabel>(&w, "ISDNBar")
                        ->text()
                        .startsWith(QStringLiteral("Autom. Anruferkennung aktiviert ...")));

        // An unknown caller rings; after the display time the call list is back in front.
        QCOMPARE(PlaceExchangeCall(sim.port(), QStringLiteral("0301234567"), QStringLiteral("4711")).result,
                 QStringLiteral("hung-up"));
        auto *list = child<QListWidget>(&w, "CallList");
        QTRY_COMPARE(list->count(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(child<QStackedWidget>(&w, "nb_Call")->currentIndex(),
                                  int(TfmMain::CallPageList), 10000);
        QCOMPARE(list->item(0)->text().mid(8), QStringLiteral(" - 0301234567"));

        // Double-click the entry: the record dialog of the number; name it and block it.
        // A double-click as the window system delivers it: a click, then the second press.
        const QPoint at = list->visualItemRect(list->item(0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
        QString shownKey;
        QTimer::singleShot(0, &w, [&] {
            auto *dialog = qobject_cast<TfmStamm *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            shownKey = child<QLineEdit>(dialog, "EdNummer")->text();
            child<QLineEdit>(dialog, "EdName")->selectAll();
            QTest::keyClicks(child<QLineEdit>(dialog, "EdName"), QStringLiteral("Werbung Meier"));
            QTest::mouseClick(child<QCheckBox>(dialog, "cbOut"), Qt::LeftButton);
            QTest::mouseClick(child<QPushButton>(dialog, "ChangeBtn"), Qt::LeftButton);
        });
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(shownKey, QStringLiteral("0301234567"));
        QCOMPARE(list->item(0)->text().mid(8), QStringLiteral(" - Werbung Meier"));

        // The next call from that number is turned away as busy.
        QCOMPARE(PlaceExchangeCall(sim.port(), QStringLiteral("0301234567"), QStringLiteral("4711")).result,
                 QStringLiteral("busy"));
        QTRY_COMPARE(list->count(), 2);
        QCOMPARE(list->item(1)->text().mid(8), QStringLiteral(" - Werbung Meier --> gesperrt"));

        // The journal window names the caller for both calls.
        QStringList callers;
        QTimer::singleShot(0, &w, [&] {
            auto *journal = qobject_cast<TfmHistorie *>(QApplication::activeModalWidget());
            QVERIFY(journal);
            for (int row = 0; row < child<JournalModel>(journal, "model")->rowCount(); ++row)
                callers << child<JournalModel>(journal, "model")
                               ->index(row, JournalModel::ColCaller)
                               .data()
                               .toString();
            QTest::mouseClick(child<QPushButton>(journal, "CloseBtn"), Qt::LeftButton);
        });
        QTest::mouseClick(child<QToolButton>(&w, "HistBtn"), Qt::LeftButton);
        QCOMPARE(callers, QStringList({QStringLiteral("Werbung Meier"), QStringLiteral("Werbung Meier")}));
        QCOMPARE(messages, QStringList());
        w.mnuCloseClick();
    }
};

QTEST_MAIN(TestCallerEndToEnd)
#include "TestCallerEndToEnd.moc"
