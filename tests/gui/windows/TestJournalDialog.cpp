// The journal window: every call with date, time, MSN and the caller as the directory names it
// when the window opens; the width rule; emptying the journal; a journal that cannot be read;
// the filter, a row's context menu and the export of the calls shown.
#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "common/Clock.h"
#include "common/Paths.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "widgets/GridView.h"
#include "widgets/MessageDialog.h"
#include "widgets/StandardDialogs.h"
#include "windows/CallerRecordDialog.h"
#include "windows/JournalDialog.h"
#include "windows/JournalModel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestJournalWindow : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<MessageAnswers> messages;

    static QString cell(TfmHistorie &w, int row, int column)
    {
        return child<JournalModel>(&w, "model")->index(row, column).data().toString();
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
        QCOMPARE(child<JournalModel>(&w, "model")->rowCount(), 6);
        QCOMPARE(cell(w, 0, 0), QStringLiteral("02.01.24"));
        QCOMPARE(cell(w, 0, 1), QStringLiteral("07:05"));
        QCOMPARE(cell(w, 0, 2), QStringLiteral("4711"));
        const QStringList callerColumn = {QStringLiteral("Analog"), QStringLiteral("Berlin"),
                                          QStringLiteral("0401"),   QStringLiteral("Meier alt"),
                                          QStringLiteral("0499"),   QStringLiteral("Schulze-Neu")};
        for (int row = 0; row < 6; ++row)
            QCOMPARE(cell(w, row, 3), callerColumn[row]);
        QCOMPARE(child<JournalModel>(&w, "model")->headerData(3, Qt::Horizontal).toString(),
                 QStringLiteral("Anrufer"));
        // Date and time grow where the font needs room for what they show.
        QVERIFY(child<TGridView>(&w, "dbl")->columnWidth(0) >=
                std::max(57, child<TGridView>(&w, "dbl")->fontMetrics().horizontalAdvance("02.01.24")));
        QVERIFY(child<TGridView>(&w, "dbl")->columnWidth(1) >=
                std::max(39, child<TGridView>(&w, "dbl")->fontMetrics().horizontalAdvance("Uhrzeit")));
        QCOMPARE(child<TGridView>(&w, "dbl")->columnWidth(2), 55);
        QCOMPARE(child<TGridView>(&w, "dbl")->columnWidth(3), 257);
        QVERIFY(child<QPushButton>(&w, "DelBtn")->isEnabled());
        QCOMPARE(child<TGridView>(&w, "dbl")->currentIndex().row(), 5); // the newest call

        // 12 calls, 13 rows with the header: the caller column makes room for the scroll bar.
        for (int i = 0; i < 6; ++i)
            journal.AppendCall(QStringLiteral("0403"), QStringLiteral("4712"));
        TfmHistorie twelve(journal, callers);
        QVERIFY(twelve.LoadJournal());
        QCOMPARE(child<JournalModel>(&twelve, "model")->rowCount(), 12);
        QCOMPARE(child<TGridView>(&twelve, "dbl")->columnWidth(3), 241);
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
            QCOMPARE(child<JournalModel>(&w, "model")->rowCount(), 1);
            QCOMPARE(cell(w, 0, 3), QString());
            QVERIFY(!child<QPushButton>(&w, "DelBtn")->isEnabled());
        }
        for (int i = 0; i < 20; ++i)
            journal.AppendCall(QStringLiteral("0301"), QStringLiteral("4711"));
        TfmHistorie w(journal, callers);
        QVERIFY(w.LoadJournal());
        showWindow(w);
        QCOMPARE(child<TGridView>(&w, "dbl")->columnWidth(3), 241);
        QTest::mouseClick(child<QPushButton>(&w, "DelBtn"), Qt::LeftButton);
        QCOMPARE(messages->texts, QStringList({QStringLiteral("Anrufjournal löschen ?")}));
        QCOMPARE(readBytes(journal.path()).size(), 20 * 40);
        messages->yes = true;
        QTest::mouseClick(child<QPushButton>(&w, "DelBtn"), Qt::LeftButton);
        QCOMPARE(readBytes(journal.path()).size(), 0);
        QCOMPARE(child<JournalModel>(&w, "model")->rowCount(), 1);
        QCOMPARE(child<TGridView>(&w, "dbl")->columnWidth(3), 257);
        QVERIFY(child<QPushButton>(&w, "DelBtn")->isEnabled());
        QTest::keyClick(child<TGridView>(&w, "dbl"), Qt::Key_Escape);
        QVERIFY(!w.isVisible());
    }

    void filterRowActionsAndExport()
    {
        CallerDirectory callers;
        callers.WriteCallerList({{QStringLiteral("0301"), QStringLiteral("Meier"), false},
                                 {QStringLiteral("0403"), QStringLiteral("Schulze"), false},
                                 {QStringLiteral("089*"), QStringLiteral("München"), false}});
        CallJournal journal;
        QDateTime now(QDate(2024, 1, 2), QTime(9, 0));
        Clock::setSource([&] { return now; });
        journal.AppendCall(QStringLiteral("0301"), QStringLiteral("4711"));
        journal.AppendCall(QStringLiteral("0499"), QStringLiteral("4712"));
        now = QDateTime(QDate(2024, 1, 3), QTime(9, 0));
        journal.AppendCall(QStringLiteral("0403"), QStringLiteral("4711"));
        journal.AppendCall(QStringLiteral("0"), QStringLiteral("4711"));
        journal.AppendCall(QStringLiteral("0301"), QStringLiteral("4712"));
        journal.AppendCall(QStringLiteral("089*"), QStringLiteral("4713"));

        TfmHistorie w(journal, callers);
        QVERIFY(w.LoadJournal());
        showWindow(w);
        const auto shown = [&] {
            QStringList rows;
            for (int row = 0; row < child<JournalModel>(&w, "model")->shownCount(); ++row)
                rows << cell(w, row, 3);
            return rows;
        };
        // Name (any case), number, MSN and date; every word must match; as it is typed.
        QTest::keyClicks(child<QLineEdit>(&w, "EdFilter"), QStringLiteral("MEI"));
        QCOMPARE(shown(), QStringList({"Meier", "Meier"}));
        QCOMPARE(child<TGridView>(&w, "dbl")->currentIndex().row(), 1);
        QTest::keyClicks(child<QLineEdit>(&w, "EdFilter"), QStringLiteral(" 4712"));
        QCOMPARE(shown(), QStringList({"Meier"}));
        child<QLineEdit>(&w, "EdFilter")->setText(QStringLiteral("049"));
        QCOMPARE(shown(), QStringList({"0499"}));
        child<QLineEdit>(&w, "EdFilter")->setText(QStringLiteral("03.01."));
        QCOMPARE(shown(), QStringList({"Schulze", "Analog", "Meier", QString::fromUtf8("München")}));
        child<QLineEdit>(&w, "EdFilter")->setText(QStringLiteral("niemand"));
        QCOMPARE(child<JournalModel>(&w, "model")->rowCount(), 1); // the empty row
        QVERIFY(!w.RowMenu(0));
        child<QLineEdit>(&w, "EdFilter")->clear();
        QCOMPARE(child<JournalModel>(&w, "model")->shownCount(), 6);

        // A call without number names and blocks nobody.
        std::unique_ptr<QMenu> analog(w.RowMenu(3));
        QCOMPARE(analog->actions().size(), 2);
        QCOMPARE(analog->actions()[0]->text(), QStringLiteral("Anrufer bearbeiten"));
        QCOMPARE(analog->actions()[1]->text(), QStringLiteral("Anrufer sperren"));
        QVERIFY(!analog->actions()[0]->isEnabled() && !analog->actions()[1]->isEnabled());

        // Blocking keeps the name, as the record dialog does; a blocked caller is not offered again.
        std::unique_ptr<QMenu>(w.RowMenu(4))->actions()[1]->trigger();
        QCOMPARE(callers.ReadValue(QStringLiteral("0301")), QStringLiteral("T#Meier"));
        QVERIFY(!std::unique_ptr<QMenu>(w.RowMenu(0))->actions()[1]->isEnabled());
        // A call journalled under a group key names no caller of its own: blocking asks first,
        // since it blocks the whole group.
        std::unique_ptr<QMenu>(w.RowMenu(5))->actions()[1]->trigger();
        QCOMPARE(messages->texts.size(), 1);
        QVERIFY(messages->texts[0].endsWith(QStringLiteral("Alle Anrufer der Gruppe 089* sperren ?")));
        QCOMPARE(callers.ReadValue(QStringLiteral("089*")), QString::fromUtf8("F#München"));

        // Naming an unknown caller: the window shows the new name at once.
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&] {
            if (auto *record = qobject_cast<TfmStamm *>(QApplication::activeModalWidget())) {
                answer.stop();
                child<QLineEdit>(record, "EdName")->setText(QStringLiteral("Neumann"));
                child<QPushButton>(record, "ChangeBtn")->click();
            }
        });
        answer.start(10);
        std::unique_ptr<QMenu>(w.RowMenu(1))->actions()[0]->trigger();
        QCOMPARE(callers.ReadValue(QStringLiteral("0499")), QStringLiteral("F#Neumann"));
        QCOMPARE(cell(w, 1, 3), QStringLiteral("Neumann"));

        // The export writes the calls shown; cancelling writes nothing.
        QList<DialogHook::Request> requests;
        QVariant chosen;
        DialogHook::setHandler([&](const DialogHook::Request &request) {
            requests << request;
            return chosen;
        });
        const QString file = env->root() + QStringLiteral("/export.csv");
        QTest::mouseClick(child<QPushButton>(&w, "ExportBtn"), Qt::LeftButton);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].kind, DialogHook::Kind::SaveFile);
        QCOMPARE(requests[0].filter, QStringLiteral("CSV-Dateien|*.csv"));
        QVERIFY(!QFile::exists(file));
        chosen = file;
        child<QLineEdit>(&w, "EdFilter")->setText(QStringLiteral("4711"));
        QTest::mouseClick(child<QPushButton>(&w, "ExportBtn"), Qt::LeftButton);
        QCOMPARE(readBytes(file), QByteArray("Datum,Uhrzeit,MSN,Rufnummer,Name\r\n"
                                             "2024-01-02,09:00:00,4711,0301,Meier\r\n"
                                             "2024-01-03,09:00:00,4711,0403,Schulze\r\n"
                                             "2024-01-03,09:00:00,4711,0,Analog\r\n"));
        // A chosen name that is a link: the link is replaced, the file it points to stays.
        const QString victim = env->root() + QStringLiteral("/victim");
        QVERIFY(writeBytes(victim, "keep"));
        chosen = env->root() + QStringLiteral("/link.csv");
        QVERIFY(QFile::link(victim, chosen.toString()));
        QTest::mouseClick(child<QPushButton>(&w, "ExportBtn"), Qt::LeftButton);
        DialogHook::setHandler({});
        QCOMPARE(readBytes(victim), QByteArray("keep"));
        QCOMPARE(readBytes(chosen.toString()), readBytes(file));
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
