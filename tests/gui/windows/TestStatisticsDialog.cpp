// The statistics window of the journal window: it counts the calls the journal shows and follows
// its filter and its emptying, and saves the chart shown as a PNG picture.
#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "common/Clock.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "widgets/StandardDialogs.h"
#include "windows/JournalDialog.h"
#include "windows/StatisticsChart.h"
#include "windows/StatisticsDialog.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

class TestStatisticsWindow : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<MessageAnswers> messages;

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        messages = std::make_unique<MessageAnswers>();
    }
    void cleanup()
    {
        DialogHook::setHandler({});
        Clock::setSource({});
        messages.reset();
        env.reset();
    }

    void followsTheJournalWindowAndSavesTheChartShown()
    {
        CallerDirectory callers;
        callers.WriteCallerList({{QStringLiteral("0301"), QStringLiteral("Meier"), false},
                                 {QStringLiteral("0403"), QStringLiteral("Werbung"), true}});
        CallJournal journal;
        Clock::setSource([] { return QDateTime(QDate(2024, 1, 2), QTime(9, 0)); });
        for (const char *key : {"0301", "0403", "0301", "0499"})
            journal.AppendCall(QString::fromLatin1(key), QStringLiteral("4711"));

        TfmHistorie w(journal, callers);
        QVERIFY(w.LoadJournal());
        w.show();
        child<QLineEdit>(&w, "EdFilter")->setText(QStringLiteral("meier"));
        QTest::mouseClick(child<QToolButton>(&w, "StatBtn"), Qt::LeftButton);
        auto *statistics = w.findChild<StatisticsDialog *>();
        QVERIFY(statistics);
        QVERIFY(QTest::qWaitForWindowExposed(statistics));
        QCOMPARE(statistics->windowTitle(), QStringLiteral("Statistik"));
        // Opened with the filter typed, then as the filter changes.
        QCOMPARE(statistics->statistics().Calls, 2);
        QCOMPARE(statistics->statistics().PerDay.last(), 2);
        child<QLineEdit>(&w, "EdFilter")->clear();
        QCOMPARE(statistics->statistics().Calls, 4);
        QCOMPARE(statistics->statistics().FromBlocked, 1);
        QCOMPARE(child<QLabel>(statistics, "LbSummary")->text(), QStringLiteral("4 Anrufe"));
        // The button raises the one window.
        QTest::mouseClick(child<QToolButton>(&w, "StatBtn"), Qt::LeftButton);
        QCOMPARE(w.findChildren<StatisticsDialog *>().size(), 1);

        // The chart shown, as a picture of its size; cancelling writes nothing; a link at the
        // chosen name is replaced, the file it points to stays.
        QList<DialogHook::Request> requests;
        QVariant chosen;
        DialogHook::setHandler([&](const DialogHook::Request &request) {
            requests << request;
            return chosen;
        });
        auto *charts = child<QTabWidget>(statistics, "Charts");
        charts->setCurrentIndex(1);
        QTest::mouseClick(child<QPushButton>(statistics, "SaveBtn"), Qt::LeftButton);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].kind, DialogHook::Kind::SaveFile);
        QCOMPARE(requests[0].filter, QStringLiteral("PNG-Bilder|*.png"));
        const QString victim = env->root() + QStringLiteral("/victim");
        QVERIFY(writeBytes(victim, "keep"));
        chosen = env->root() + QStringLiteral("/chart.png");
        QVERIFY(QFile::link(victim, chosen.toString()));
        QTest::mouseClick(child<QPushButton>(statistics, "SaveBtn"), Qt::LeftButton);
        QCOMPARE(readBytes(victim), QByteArray("keep"));
        QImage picture;
        QVERIFY(picture.loadFromData(readBytes(chosen.toString()), "PNG"));
        QCOMPARE(picture.size(), charts->currentWidget()->size());
        QCOMPARE(messages->texts, QStringList());

        // Emptying the journal empties the statistics.
        messages->yes = true;
        QTest::mouseClick(child<QPushButton>(&w, "DelBtn"), Qt::LeftButton);
        QCOMPARE(statistics->statistics().Calls, 0);
    }
};

QTEST_MAIN(TestStatisticsWindow)
#include "TestStatisticsDialog.moc"
