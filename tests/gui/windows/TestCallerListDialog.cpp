// The caller list: loading, sorting and the width rule, editing in the grid, adding, deleting,
// saving on closing, changes made while the list is open, entries the directory refuses,
// the hint, D-Info, the dial button and the import of an address book. Dialling through the
// exchange is in TestMainListen.
#include "calls/CallerDirectory.h"
#include "common/Paths.h"
#include "contacts/StandInSettings.h"
#include "settings/SettingsStore.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "widgets/GridView.h"
#include "widgets/MessageDialog.h"
#include "widgets/StandardDialogs.h"
#include "windows/CallerListDialog.h"
#include "windows/CallerListModel.h"
#include "windows/CallerRecordDialog.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {
QString cell(TfmAnruf &w, int row, int column)
{
    return child<CallerListModel>(&w, "model")->index(row, column).data().toString();
}
} // namespace

class TestCallerList : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    QString file;

    void givenDirectory(const QByteArray &lines) { QVERIFY(writeBytes(file, "[Anrufer]\r\n" + lines)); }
    static void showWindow(TfmAnruf &w)
    {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        file = Paths::dataDir() + QStringLiteral("anruf.dat");
    }
    void cleanup() { env.reset(); }

    void loadsSortedWithTheWidthRule()
    {
        CallerDirectory callers(file);
        {
            // Empty directory: the header and one empty row; saving it writes an empty directory.
            MessageAnswers answers;
            answers.yes = true;
            TfmAnruf w(callers, nullptr);
            showWindow(w);
            QCOMPARE(w.windowTitle(), QStringLiteral("Anrufer"));
            QCOMPARE(w.size(), QSize(405, 300));
            QVERIFY(child<QRadioButton>(&w, "rbSortName")->isChecked());
            QCOMPARE(child<CallerListModel>(&w, "model")->rowCount(), 1);
            QCOMPARE(child<CallerListModel>(&w, "model")->headerData(1, Qt::Horizontal).toString(),
                     QStringLiteral("Name"));
            QCOMPARE(child<TGridView>(&w, "dbl")->columnWidth(0), 126);
            QCOMPARE(child<TGridView>(&w, "dbl")->columnWidth(1), 172);
            // A narrow column grows where the font needs room for its header.
            QVERIFY(child<TGridView>(&w, "dbl")->columnWidth(2) >=
                    std::max(49, child<TGridView>(&w, "dbl")->fontMetrics().horizontalAdvance("Gesperrt")));
            QTest::mouseClick(child<QPushButton>(&w, "DelBtn"), Qt::LeftButton);
            QCOMPARE(answers.texts, QStringList({QStringLiteral("Eintrag löschen ?")}));
            QCOMPARE(child<CallerListModel>(&w, "model")->rowCount(), 1);
            w.reject();
            QVERIFY(!w.isVisible());
            QVERIFY(!ReadSettingFlag(QStringLiteral("ISDN_CallSortOrder")));
        }

        // 11 callers: 172; 12 callers (13 rows with the header): 156.
        const auto callerLines = [](int count) {
            QByteArray lines;
            for (int i = 0; i < count; ++i)
                lines += "0301" + QByteArray::number(20 + i) + "=F#Name " + char('L' - i) + "\r\n";
            return lines;
        };
        givenDirectory("0401=T#" + QByteArray(300, 'l') + "\r\n" + callerLines(10));
        {
            MessageAnswers answers;
            TfmAnruf w(callers, nullptr);
            showWindow(w);
            QCOMPARE(child<CallerListModel>(&w, "model")->rowCount(), 11);
            QCOMPARE(child<TGridView>(&w, "dbl")->columnWidth(1), 172);
            // By name without regard to case, and a long name shows whole as the hint of its cell
            // only.
            QCOMPARE(cell(w, 0, 1), QString(300, QLatin1Char('l')));
            QCOMPARE(cell(w, 0, 2), QStringLiteral("X"));
            QCOMPARE(cell(w, 1, 1), QStringLiteral("Name C"));
            QCOMPARE(child<CallerListModel>(&w, "model")->index(0, 1).data(Qt::ToolTipRole).toString(),
                     QString(300, QLatin1Char('l')));
            QVERIFY(child<CallerListModel>(&w, "model")->index(0, 0).data(Qt::ToolTipRole).isNull());
            // "Zufügen" adds a row on "&Ja" only; the 13th row narrows the name column.
            QTest::mouseClick(child<QPushButton>(&w, "NeuBtn"), Qt::LeftButton);
            QCOMPARE(child<CallerListModel>(&w, "model")->rowCount(), 11);
            answers.yes = true;
            QTest::mouseClick(child<QPushButton>(&w, "NeuBtn"), Qt::LeftButton);
            QCOMPARE(child<CallerListModel>(&w, "model")->rowCount(), 12);
            QCOMPARE(child<TGridView>(&w, "dbl")->currentIndex().row(), 11);
            QCOMPARE(child<TGridView>(&w, "dbl")->columnWidth(1), 156);
            // Sorting by number is remembered when the window closes (without saving here).
            QTest::mouseClick(child<QRadioButton>(&w, "rbSortNummer"), Qt::LeftButton);
            QCOMPARE(child<CallerListModel>(&w, "model")->rowCount(), 11);
            QCOMPARE(cell(w, 0, 0), QStringLiteral("030120"));
            answers.yes = false;
            w.reject();
            QVERIFY(ReadSettingFlag(QStringLiteral("ISDN_CallSortOrder")));
            QCOMPARE(answers.texts.last(), QStringLiteral("Änderungen speichern ?"));
        }
        givenDirectory(callerLines(12));
        TfmAnruf w(callers, nullptr);
        showWindow(w);
        QVERIFY(child<QRadioButton>(&w, "rbSortNummer")->isChecked());
        QCOMPARE(child<CallerListModel>(&w, "model")->rowCount(), 12);
        QCOMPARE(child<TGridView>(&w, "dbl")->columnWidth(1), 156);
        MessageAnswers answers;
        w.reject();
    }

    // Typing into cells, "Zufügen", "Löschen", sorting away edits, and what each close writes.
    void editsAreSavedOnlyWhenTheUserSaysSo()
    {
        givenDirectory("0301=F#Alt\r\n0302=F#Bleibt\r\n0303=Meier\r\n");
        CallerDirectory callers(file);
        MessageAnswers answers;
        answers.yes = true;
        TfmAnruf w(callers, nullptr);
        showWindow(w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(cell(w, 0, 1), QStringLiteral("Alt"));

        // Switching the order drops an edit that was not saved.
        child<CallerListModel>(&w, "model")
            ->setData(child<CallerListModel>(&w, "model")->index(0, 1), QStringLiteral("Verloren"));
        QTest::mouseClick(child<QRadioButton>(&w, "rbSortNummer"), Qt::LeftButton);
        QCOMPARE(cell(w, 0, 1), QStringLiteral("Alt"));

        // A new row typed in cell by cell; "ja" in "Gesperrt" blocks.
        QTest::mouseClick(child<QPushButton>(&w, "NeuBtn"), Qt::LeftButton);
        const int row = child<CallerListModel>(&w, "model")->rowCount() - 1;
        const char *typed[] = {"0404", "Neu", "ja"};
        for (int column = 0; column < 3; ++column) {
            child<TGridView>(&w, "dbl")->setCurrentIndex(
                child<CallerListModel>(&w, "model")->index(row, column));
            auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
            QVERIFY(editor);
            QTest::keyClicks(editor, QString::fromLatin1(typed[column]));
        }
        // The number of 0302 cleared by hand; "Löschen" on 0301 saves all edits at once.
        child<CallerListModel>(&w, "model")
            ->setData(child<CallerListModel>(&w, "model")->index(1, 0), QString());
        child<TGridView>(&w, "dbl")->setCurrentIndex(child<CallerListModel>(&w, "model")->index(0, 1));
        QTest::mouseClick(child<QPushButton>(&w, "DelBtn"), Qt::LeftButton);
        // A row the user left alone keeps its value as the file holds it.
        QCOMPARE(readBytes(file), "[Anrufer]\r\n0303=Meier\r\n0404=T#Neu\r\n");
        QCOMPARE(child<CallerListModel>(&w, "model")->rowCount(), 2);

        // "&Nein" on closing writes nothing; Escape inside a cell editor closes as well and
        // keeps what was typed.
        child<TGridView>(&w, "dbl")->setCurrentIndex(child<CallerListModel>(&w, "model")->index(0, 1));
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("Schulze"));
        answers.yes = false;
        QTest::keyClick(editor, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        QCOMPARE(readBytes(file), "[Anrufer]\r\n0303=Meier\r\n0404=T#Neu\r\n");
        w.show();
        answers.yes = true;
        QCOMPARE(cell(w, 0, 1), QStringLiteral("Schulze"));
        w.reject();
        QCOMPARE(readBytes(file), "[Anrufer]\r\n0303=F#Schulze\r\n0404=T#Neu\r\n");

        // "Löschen" down to the last entry leaves an empty directory and the grid's one empty row;
        // once nothing is left, it changes nothing.
        w.show();
        for (int left = 2; left >= 0; --left) {
            child<TGridView>(&w, "dbl")->setCurrentIndex(child<CallerListModel>(&w, "model")->index(0, 0));
            QTest::mouseClick(child<QPushButton>(&w, "DelBtn"), Qt::LeftButton);
            QCOMPARE(child<CallerListModel>(&w, "model")->rowCount(), std::max(left - 1, 1));
        }
        QCOMPARE(cell(w, 0, 0), QString());
        QVERIFY(CallerDirectory(file).ListKeys().isEmpty());
        w.reject();
        QVERIFY(CallerDirectory(file).ListKeys().isEmpty());
    }

    // What changes in the directory while the list is open is kept by "&Ja": a caller the ring
    // handler learns, one a notice blocks. The user's own edits and deletions still go.
    void changesWhileOpenSurviveTheSave()
    {
        givenDirectory("0301=F#A\r\n0302=F#B\r\n0303=F#C\r\n");
        CallerDirectory callers(file);
        MessageAnswers answers;
        answers.yes = true;
        TfmAnruf w(callers, nullptr);
        showWindow(w);
        callers.QueueAddCaller(QStringLiteral("0407654321"), QStringLiteral("0407654321"));
        callers.Flush();
        QVERIFY(BlockCaller(callers, QStringLiteral("0301")));
        auto *model = child<CallerListModel>(&w, "model");
        model->setData(model->index(1, 0), QString());              // 0302 deleted by hand
        model->setData(model->index(2, 1), QStringLiteral("Chef")); // 0303 renamed
        w.reject();
        QCOMPARE(readBytes(file), "[Anrufer]\r\n0301=T#A\r\n0303=F#Chef\r\n0407654321=F#0407654321\r\n");
    }

    // Free text the directory cannot store: reported with the directory's own message before
    // anything is written, and the window stays open with the edits.
    void refusedEntriesKeepTheWindowOpen()
    {
        givenDirectory("0301=F#A\r\n");
        const QByteArray before = readBytes(file);
        CallerDirectory callers(file);
        MessageAnswers answers;
        answers.yes = true;
        TfmAnruf w(callers, nullptr);
        showWindow(w);
        const int row = child<CallerListModel>(&w, "model")->appendEmptyRow();
        child<CallerListModel>(&w, "model")
            ->setData(child<CallerListModel>(&w, "model")->index(row, 0), QStringLiteral("03=02"));
        w.reject();
        QVERIFY(w.isVisible());
        QCOMPARE(
            answers.texts.last(),
            QStringLiteral(
                "Die Nummer \"03=02\" kann nicht gespeichert werden: sie enthält \"=\", \"[\" oder \"]\""));
        QCOMPARE(readBytes(file), before);
        QCOMPARE(cell(w, row, 0), QStringLiteral("03=02"));

        child<CallerListModel>(&w, "model")
            ->setData(child<CallerListModel>(&w, "model")->index(row, 0), QStringLiteral("0302"));
        child<CallerListModel>(&w, "model")
            ->setData(child<CallerListModel>(&w, "model")->index(row, 1), QString(253, QLatin1Char('n')));
        w.reject();
        QVERIFY(w.isVisible());
        QVERIFY(answers.texts.last().contains(QStringLiteral("länger als 254 Zeichen")));
        QCOMPARE(readBytes(file), before);

        child<CallerListModel>(&w, "model")
            ->setData(child<CallerListModel>(&w, "model")->index(row, 1), QStringLiteral("Gut"));
        w.reject();
        QVERIFY(!w.isVisible());
        QCOMPARE(readBytes(file), "[Anrufer]\r\n0301=F#A\r\n0302=F#Gut\r\n");
    }

    void hintDInfoAndDialButton()
    {
        givenDirectory("0301=F#Meier\r\n");
        CallerDirectory callers(file);
        MessageAnswers answers;
        answers.yes = true;
        TfmAnruf w(callers, nullptr);
        showWindow(w);
        QTest::mouseClick(child<QPushButton>(&w, "HinweisBtn"), Qt::LeftButton);
        QCOMPARE(answers.texts.last(),
                 QStringLiteral("Um einen Anrufer zu sperren,\rfügen Sie ein \"X\" in die\r"
                                "Spalte \"Gesperrt\" ein !"));
        // Without D-Info the name stays and nothing is written.
        WriteSettingString(QStringLiteral("ISDN_DInfoDir"),
                           QDir::tempPath() + QStringLiteral("/kein-dinfo/"));
        QTest::mouseClick(child<QPushButton>(&w, "DInfoBtn"), Qt::LeftButton);
        QCOMPARE(answers.texts.last(), QStringLiteral("D-Info nicht installiert !"));
        QCOMPARE(cell(w, 0, 1), QStringLiteral("Meier"));

        QTest::mouseClick(child<QPushButton>(&w, "DialBtn"), Qt::LeftButton);
        QCOMPARE(child<QPushButton>(&w, "DialBtn")->text(), QStringLiteral("&Auflegen"));
        QVERIFY(child<QLabel>(&w, "Image1")->isHidden());
        QTest::mouseClick(child<QPushButton>(&w, "DialBtn"), Qt::LeftButton);
        QCOMPARE(child<QPushButton>(&w, "DialBtn")->text(), QStringLiteral("&Anwahl"));
        QVERIFY(!child<QLabel>(&w, "Image1")->isHidden());
        answers.yes = false;
        w.reject();
    }

    void importsAnAddressBookAfterShowingWhatChanges()
    {
        givenDirectory("0301234567=F#0301234567\r\n"
                       "0307654321=T#Hausmeister\r\n");
        WriteSettingFlag(QStringLiteral("ISDN_CreateNull"), true);
        StandInSettings plan;
        plan.AreaCode = QStringLiteral("30");
        plan.Write();
        const QString book = env->root() + QStringLiteral("/kontakte.vcf");
        QVERIFY(writeBytes(book,
                           "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Meier;Hans;;;\r\nTEL:123 45 67\r\nEND:VCARD\r\n"
                           "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Schulz;Udo;;;\r\nTEL:+49 30 7654321\r\n"
                           "TEL:0171 1111111\r\nEND:VCARD\r\n"));
        QList<DialogHook::Request> requests;
        QVariant chosen = book;
        DialogHook::setHandler([&](const DialogHook::Request &request) {
            requests << request;
            return chosen;
        });
        CallerDirectory callers(file);
        MessageAnswers answers;
        TfmAnruf w(callers, nullptr);
        showWindow(w);
        const QByteArray before = readBytes(file);

        // Told what would change, and answered "&Nein": nothing is written.
        QTest::mouseClick(child<QPushButton>(&w, "ImportBtn"), Qt::LeftButton);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].kind, DialogHook::Kind::OpenFile);
        QTRY_COMPARE(answers.texts.size(), 2); // read on a worker thread
        QVERIFY(answers.texts[0].startsWith(QStringLiteral("Ein Eintrag trägt schon einen eigenen Namen")));
        QCOMPARE(answers.texts[1],
                 QStringLiteral("Neu: 1\rName geändert: 1\rUnverändert: 0\rÜbersprungen: 1\r"
                                "    vom Benutzer anders benannt: 1\r\r"
                                "Übernehmen und die Liste speichern ?"));
        QCOMPARE(readBytes(file), before);

        // "&Ja" to both: the user's name is replaced too, the blocked flag stays, one save.
        answers.yes = true;
        QTest::mouseClick(child<QPushButton>(&w, "ImportBtn"), Qt::LeftButton);
        QTRY_COMPARE(answers.texts.size(), 4);
        QCOMPARE(readBytes(file), QByteArray("[Anrufer]\r\n0301234567=F#Meier, Hans\r\n"
                                             "0307654321=T#Schulz, Udo\r\n01711111111=F#Schulz, Udo\r\n"));
        QCOMPARE(child<CallerListModel>(&w, "model")->rowCount(), 3); // the list as saved

        // A file that holds no contacts is said so, and nothing changes.
        chosen = env->root() + QStringLiteral("/leer.csv");
        QVERIFY(writeBytes(chosen.toString(), "Name,Ort\r\nA,B\r\n"));
        QTest::mouseClick(child<QPushButton>(&w, "ImportBtn"), Qt::LeftButton);
        QTRY_COMPARE(answers.texts.size(), 5);
        QVERIFY(answers.texts.last().contains(QStringLiteral("keine Kontakte")));
        DialogHook::setHandler({});
        answers.yes = false;
        w.reject();
    }

    // A large address book is read and planned away from the main thread: a ring handed to the
    // main thread after the import began is answered before the import asks anything (the
    // hand-over was queued first, so this holds however fast the machine is).
    void importReadsWhileRingsAreAnswered()
    {
        givenDirectory("");
        const QString book = env->root() + QStringLiteral("/gross.vcf");
        constexpr int kContacts = 20000;
        QByteArray cards;
        for (int i = 0; i < kContacts; ++i)
            cards += QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Kontakt %1;Jürgen;;;\r\n"
                                    "TEL:+49 40 %2\r\nEND:VCARD\r\n")
                         .arg(i)
                         .arg(1000000 + i)
                         .toUtf8();
        QVERIFY(writeBytes(book, cards));
        DialogHook::setHandler([&](const DialogHook::Request &) { return QVariant(book); });
        QStringList order;
        MsgDlgHook::setHandler([&](const QString &, int) {
            order << QStringLiteral("question");
            return true;
        });
        CallerDirectory callers(file);
        TfmAnruf w(callers, nullptr);
        showWindow(w);

        // As the component hands a ring to the main thread.
        QMetaObject::invokeMethod(
            &w, [&order] { order << QStringLiteral("ring"); }, Qt::QueuedConnection);
        QTest::mouseClick(child<QPushButton>(&w, "ImportBtn"), Qt::LeftButton);
        QVERIFY(!w.isEnabled()); // the rows stay as planned on
        QTRY_VERIFY_WITH_TIMEOUT(order.contains(QStringLiteral("question")), 60000);
        QCOMPARE(order.first(), QStringLiteral("ring"));
        QTRY_COMPARE_WITH_TIMEOUT(child<CallerListModel>(&w, "model")->rowCount(), kContacts, 60000);
        QVERIFY(w.isEnabled());
        w.reject();
        DialogHook::setHandler({});
        MsgDlgHook::setHandler({});
    }
};

QTEST_MAIN(TestCallerList)
#include "TestCallerListDialog.moc"
