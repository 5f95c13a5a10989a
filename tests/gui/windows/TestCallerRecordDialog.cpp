// The caller record dialog: what it shows for a key, what "Über&nehmen" writes, what
// "&Abrechen" leaves, and the name it hands back either way.
#include "calls/CallerDirectory.h"
#include "common/Paths.h"
#include "settings/SettingsStore.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "widgets/MessageDialog.h"
#include "windows/CallerRecordDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

class TestCallerRecord : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    QString file;
    std::unique_ptr<MessageAnswers> messages;

    // EditCaller for `key`; `act` works the dialog once it is up.
    QString edit(CallerDirectory &callers, const QString &key, const std::function<void(TfmStamm &)> &act)
    {
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<TfmStamm *>(QApplication::activeModalWidget());
            if (!dialog) {
                QTest::qFail("the record dialog is not up", __FILE__, __LINE__);
                return;
            }
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            act(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        return EditCaller(callers, key);
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        file = Paths::dataDir() + QStringLiteral("anruf.dat");
        messages = std::make_unique<MessageAnswers>();
    }
    void cleanup()
    {
        messages.reset();
        env.reset();
    }

    void showsAndWritesTheEntryOfTheKey()
    {
        QVERIFY(writeBytes(file, "[Anrufer]\r\n030*=T#Berlin\r\n0401=Meier\r\n"));
        CallerDirectory callers(file);
        // A group key: its own entry is shown and written.
        QString name = edit(callers, QStringLiteral("030*"), [](TfmStamm &d) {
            QCOMPARE(d.windowTitle(), QStringLiteral("Anruferdaten"));
            QCOMPARE(d.size(), QSize(250, 146));
            QCOMPARE(child<QLineEdit>(&d, "EdNummer")->text(), QStringLiteral("030*"));
            QCOMPARE(child<QLineEdit>(&d, "EdName")->text(), QStringLiteral("Berlin"));
            QVERIFY(child<QCheckBox>(&d, "cbOut")->isChecked());
            QVERIFY(child<QLineEdit>(&d, "EdName")->hasFocus());
            QTest::keyClicks(child<QLineEdit>(&d, "EdNummer"),
                             QStringLiteral("99")); // the key cannot be typed over
            QCOMPARE(child<QLineEdit>(&d, "EdNummer")->text(), QStringLiteral("030*"));
            QTest::mouseClick(child<QCheckBox>(&d, "cbOut"), Qt::LeftButton);
            QVERIFY(child<QPushButton>(&d, "ChangeBtn")->hasFocus());
            QTest::mouseClick(child<QPushButton>(&d, "ChangeBtn"), Qt::LeftButton);
        });
        QCOMPARE(name, QStringLiteral("Berlin"));
        // An older value without marker shows whole and is saved with the marker.
        name = edit(callers, QStringLiteral("0401"), [](TfmStamm &d) {
            QCOMPARE(child<QLineEdit>(&d, "EdName")->text(), QStringLiteral("Meier"));
            QVERIFY(!child<QCheckBox>(&d, "cbOut")->isChecked());
            QTest::mouseClick(child<QPushButton>(&d, "ChangeBtn"), Qt::LeftButton);
        });
        QCOMPARE(readBytes(file), "[Anrufer]\r\n030*=F#Berlin\r\n0401=F#Meier\r\n");
        // A new key: empty at first, learned with the name typed.
        name = edit(callers, QStringLiteral("0409"), [](TfmStamm &d) {
            QCOMPARE(child<QLineEdit>(&d, "EdName")->text(), QString());
            QTest::keyClicks(child<QLineEdit>(&d, "EdName"), QStringLiteral("Neu"));
            QTest::mouseClick(child<QCheckBox>(&d, "cbOut"), Qt::LeftButton);
            QTest::keyClick(child<QPushButton>(&d, "ChangeBtn"), Qt::Key_Return);
        });
        QCOMPARE(name, QStringLiteral("Neu"));
        QCOMPARE(callers.ReadValue(QStringLiteral("0409")), QStringLiteral("T#Neu"));
    }

    void abortWritesNothingButHandsBackTheName()
    {
        QVERIFY(writeBytes(file, "[Anrufer]\r\n0401=F#Alt\r\n"));
        const QByteArray before = readBytes(file);
        CallerDirectory callers(file);
        QString name = edit(callers, QStringLiteral("0401"), [](TfmStamm &d) {
            child<QLineEdit>(&d, "EdName")->setText(QStringLiteral("Anders"));
            QTest::mouseClick(child<QPushButton>(&d, "AbortBtn"), Qt::LeftButton);
        });
        QCOMPARE(name, QStringLiteral("Anders"));
        // An emptied name hands back the key; D-Info, not installed, leaves the name.
        WriteSettingString(QStringLiteral("ISDN_DInfoDir"),
                           QDir::tempPath() + QStringLiteral("/kein-dinfo/"));
        name = edit(callers, QStringLiteral("0401"), [this](TfmStamm &d) {
            QTest::mouseClick(child<QPushButton>(&d, "DInfoBtn"), Qt::LeftButton);
            QCOMPARE(messages->texts, QStringList({QStringLiteral("D-Info nicht installiert !")}));
            QCOMPARE(child<QLineEdit>(&d, "EdName")->text(), QStringLiteral("Alt"));
            child<QLineEdit>(&d, "EdName")->clear();
            QTest::keyClick(child<QLineEdit>(&d, "EdName"), Qt::Key_Escape);
        });
        QCOMPARE(name, QStringLiteral("0401"));
        // A name the directory refuses is reported and the dialog stays.
        edit(callers, QStringLiteral("0401"), [this](TfmStamm &d) {
            child<QLineEdit>(&d, "EdName")->setText(QString(253, QLatin1Char('n')));
            QTest::mouseClick(child<QPushButton>(&d, "ChangeBtn"), Qt::LeftButton);
            QVERIFY(d.isVisible());
            QVERIFY(messages->texts.last().contains(QStringLiteral("länger als 254 Zeichen")));
        });
        QCOMPARE(readBytes(file), before);
    }
};

QTEST_MAIN(TestCallerRecord)
#include "TestCallerRecordDialog.moc"
