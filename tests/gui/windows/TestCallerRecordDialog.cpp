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
            QCOMPARE(d.EdNummer->text(), QStringLiteral("030*"));
            QCOMPARE(d.EdName->text(), QStringLiteral("Berlin"));
            QVERIFY(d.cbOut->isChecked());
            QVERIFY(d.EdName->hasFocus());
            QTest::keyClicks(d.EdNummer, QStringLiteral("99")); // the key cannot be typed over
            QCOMPARE(d.EdNummer->text(), QStringLiteral("030*"));
            QTest::mouseClick(d.cbOut, Qt::LeftButton);
            QVERIFY(d.ChangeBtn->hasFocus());
            QTest::mouseClick(d.ChangeBtn, Qt::LeftButton);
        });
        QCOMPARE(name, QStringLiteral("Berlin"));
        // An older value without marker shows whole and is saved with the marker.
        name = edit(callers, QStringLiteral("0401"), [](TfmStamm &d) {
            QCOMPARE(d.EdName->text(), QStringLiteral("Meier"));
            QVERIFY(!d.cbOut->isChecked());
            QTest::mouseClick(d.ChangeBtn, Qt::LeftButton);
        });
        QCOMPARE(readBytes(file), "[Anrufer]\r\n030*=F#Berlin\r\n0401=F#Meier\r\n");
        // A new key: empty at first, learned with the name typed.
        name = edit(callers, QStringLiteral("0409"), [](TfmStamm &d) {
            QCOMPARE(d.EdName->text(), QString());
            QTest::keyClicks(d.EdName, QStringLiteral("Neu"));
            QTest::mouseClick(d.cbOut, Qt::LeftButton);
            QTest::keyClick(d.ChangeBtn, Qt::Key_Return);
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
            d.EdName->setText(QStringLiteral("Anders"));
            QTest::mouseClick(d.AbortBtn, Qt::LeftButton);
        });
        QCOMPARE(name, QStringLiteral("Anders"));
        // An emptied name hands back the key; D-Info, not installed, leaves the name.
        WriteSettingString(QStringLiteral("ISDN_DInfoDir"),
                           QDir::tempPath() + QStringLiteral("/kein-dinfo/"));
        name = edit(callers, QStringLiteral("0401"), [this](TfmStamm &d) {
            QTest::mouseClick(d.DInfoBtn, Qt::LeftButton);
            QCOMPARE(messages->texts, QStringList({QStringLiteral("D-Info nicht installiert !")}));
            QCOMPARE(d.EdName->text(), QStringLiteral("Alt"));
            d.EdName->clear();
            QTest::keyClick(d.EdName, Qt::Key_Escape);
        });
        QCOMPARE(name, QStringLiteral("0401"));
        // A name the directory refuses is reported and the dialog stays.
        edit(callers, QStringLiteral("0401"), [this](TfmStamm &d) {
            d.EdName->setText(QString(253, QLatin1Char('n')));
            QTest::mouseClick(d.ChangeBtn, Qt::LeftButton);
            QVERIFY(d.isVisible());
            QVERIFY(messages->texts.last().contains(QStringLiteral("länger als 254 Zeichen")));
        });
        QCOMPARE(readBytes(file), before);
    }
};

QTEST_MAIN(TestCallerRecord)
#include "TestCallerRecordDialog.moc"
