// The journal window: every call with date, time, MSN and the caller as the directory names it
// when the window opens; the width rule; emptying the journal; a journal that cannot be read.
#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "common/Clock.h"
#include "common/Paths.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "widgets/GridView.h"
#include "windows/JournalDialog.h"
#include "windows/JournalModel.h"
#include "windows/MessageDialog.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestJournalWindow : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<MessageAnswers> messages;

    static QString cell(const TfmHistorie &w, int row, int column)
    {
        return w.model->index(row, column).data().toString();
    }
    static void showWindow(TfmHistorie &w)
    {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        messages = std::make_unique<MessageAnswers>();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    void cleanup()
    {
        QLocale::setDefault(QLocale::c());
        Clock::setSource({});
        messages.reset();
        env.reset();
    }

    void showsEveryCallAsTheDirectoryNamesIt()
    {
        CallerDirectory callers;
        QVERIFY(writeBytes(callers.path(), "[Anrufer]\r\n030*=T#Berlin\r\n0401=F#Al\r\n0402=Meier alt\r\n"
                                           "0403=F#Schulze\r\n"));
        CallJournal journal;
        Clock::setSource([] { return QDateTime(QDate(2024, 1, 2), QTime(7, 5, 59)); });
        const char *keys[] = {"0", "030*", "0401", "0402", "0499", "0403"};
        for (const char *key : keys)
            journal.AppendCall(QString::fromLatin1(key), QStringLiteral("4711"));
        // Renamed after the call: the name of now is shown.
        callers.WriteCaller(QStringLiteral("0403"), QStringLiteral("Schulze-Neu"), false);

        TfmHistorie w(journal, callers);
        QVERIFY(w.LoadJournal());
        showWindow(w);
        QCOMPARE(w.windowTitle(), QStringLiteral("Anrufjournal"));
        QCOMPARE(w.size(), QSize(457, 301));
        QCOMPARE(w.model->rowCount(), 6);
        QCOMPARE(cell(w, 0, 0), QStringLiteral("02.01.24"));
        QCOMPARE(cell(w, 0, 1), QStringLiteral("07:05"));
        QCOMPARE(cell(w, 0, 2), QStringLiteral("4711"));
        const QStringList callerColumn = {QStringLiteral("Analog"), QStringLiteral("Berlin"),
                                          QStringLiteral("0401"),   QStringLiteral("Meier alt"),
                                          QStringLiteral("0499"),   QStringLiteral("Schulze-Neu")};
        for (int row = 0; row < 6; ++row)
            QCOMPARE(cell(w, row, 3), callerColumn[row]);
        QCOMPARE(w.model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Anrufer"));
        // Date and time grow where the font needs room for what they show.
        QVERIFY(w.dbl->columnWidth(0) >= std::max(57, w.dbl->fontMetrics().horizontalAdvance("02.01.24")));
        QVERIFY(w.dbl->columnWidth(1) >= std::max(39, w.dbl->fontMetrics().horizontalAdvance("Uhrzeit")));
        QCOMPARE(w.dbl->columnWidth(2), 55);
        QCOMPARE(w.dbl->columnWidth(3), 257);
        QVERIFY(w.DelBtn->isEnabled());
        QCOMPARE(w.dbl->currentIndex().row(), 5); // the newest call

        // 12 calls, 13 rows with the header: the caller column makes room for the scroll bar.
        for (int i = 0; i < 6; ++i)
            journal.AppendCall(QStringLiteral("0403"), QStringLiteral("4712"));
        TfmHistorie twelve(journal, callers);
        QVERIFY(twelve.LoadJournal());
        QCOMPARE(twelve.model->rowCount(), 12);
        QCOMPARE(twelve.dbl->columnWidth(3), 241);
    }

    void emptyingTheJournal()
    {
        CallerDirectory callers;
        CallJournal journal;
        {
            // No journal: created empty, one empty row, nothing to delete.
            TfmHistorie w(journal, callers);
            QVERIFY(w.LoadJournal());
            QVERIFY(QFile::exists(journal.path()));
            QCOMPARE(w.model->rowCount(), 1);
            QCOMPARE(cell(w, 0, 3), QString());
            QVERIFY(!w.DelBtn->isEnabled());
        }
        for (int i = 0; i < 20; ++i)
            journal.AppendCall(QStringLiteral("0301"), QStringLiteral("4711"));
        TfmHistorie w(journal, callers);
        QVERIFY(w.LoadJournal());
        showWindow(w);
        QCOMPARE(w.dbl->columnWidth(3), 241);
        QTest::mouseClick(w.DelBtn, Qt::LeftButton);
        QCOMPARE(messages->texts, QStringList({QStringLiteral("Anrufjournal löschen ?")}));
        QCOMPARE(readBytes(journal.path()).size(), 20 * 40);
        messages->yes = true;
        QTest::mouseClick(w.DelBtn, Qt::LeftButton);
        QCOMPARE(readBytes(journal.path()).size(), 0);
        QCOMPARE(w.model->rowCount(), 1);
        QCOMPARE(w.dbl->columnWidth(3), 257);
        QVERIFY(w.DelBtn->isEnabled());
        QTest::keyClick(w.dbl, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
    }

    void anUnreadableJournalIsReportedAndNotShown()
    {
        CallerDirectory callers;
        CallJournal journal;
        QVERIFY(QDir().mkpath(journal.path())); // a folder where the file belongs
        bool shown = false;
        QTimer::singleShot(0, this, [&] {
            if (auto *w = qobject_cast<TfmHistorie *>(QApplication::activeModalWidget())) {
                shown = true;
                w->reject();
            }
        });
        ShowJournal(journal, callers);
        QVERIFY(!shown);
        QCOMPARE(messages->texts.size(), 1);
        QVERIFY(messages->texts.first().contains(journal.path()));
    }
};

QTEST_MAIN(TestJournalWindow)
#include "TestJournalDialog.moc"
