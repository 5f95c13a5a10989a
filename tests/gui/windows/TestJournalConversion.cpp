// The conversion window: its texts, and animation and busy cursor only while converting.
#include "settings/SettingsStore.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "support/WriteFailure.h"
#include "widgets/Animate.h"
#include "widgets/MessageDialog.h"
#include "windows/JournalConversion.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

#include <cstdio>

namespace {
// A journal record of the older 32-byte form.
QByteArray oldRecord(double when, const QByteArray &key)
{
    QByteArray r(32, '\0');
    qToLittleEndian(when, r.data());
    r[8] = char(key.size());
    r.replace(9, key.size(), key);
    return r;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Notes what the conversion window shows while the event loop runs inside the conversion.
struct WindowWatch
{
    QStringList texts;
    QTimer timer;
    WindowWatch()
    {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                auto *update = qobject_cast<TfmUpdate *>(w);
                if (update && update->isVisible() &&
                    (texts.isEmpty() || texts.last() != child<QLabel>(update, "Aktion")->text()))
                    texts << child<QLabel>(update, "Aktion")->text();
            }
        });
        timer.start();
    }
};
} // namespace

class TestUpdateWindow : public QObject
{
    Q_OBJECT

private slots:
    void showsProgressWhileConverting()
    {
        TfmUpdate w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Datenkonvertierung"));
        QCOMPARE(child<QLabel>(&w, "Aktion")->text(), QStringLiteral("Bitte warten ..."));
        QVERIFY(!child<TAnimate>(&w, "Animate1")->isPlaying());
        QVERIFY(!QApplication::overrideCursor());

        w.conversionStarted();
        QCOMPARE(child<QLabel>(&w, "Aktion")->text(), QStringLiteral("Konvertiere Anruf-Journal ..."));
        QVERIFY(child<TAnimate>(&w, "Animate1")->isPlaying());
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        // the animation moves on while records are converted
        const int first = child<TAnimate>(&w, "Animate1")->currentFrame();
        QTRY_VERIFY_WITH_TIMEOUT(
            (w.conversionStep(), child<TAnimate>(&w, "Animate1")->currentFrame() != first), 5000);

        w.conversionEnded();
        QVERIFY(!child<TAnimate>(&w, "Animate1")->isPlaying());
        QCOMPARE(child<TAnimate>(&w, "Animate1")->currentFrame(), 8);
        QVERIFY(!QApplication::overrideCursor());
    }

    void conversionRunsOnceWithItsWindow()
    {
        TestEnv env;
        const QString folder = env.root() + QStringLiteral("/");
        const QByteArray old =
            oldRecord(36000.5, "0301234") + oldRecord(36001.5, "030*") + oldRecord(36002.5, "0");
        writeFile(folder + QStringLiteral("anruf2.dat"), old);
        WriteSettingString(QStringLiteral("ISDN_MSN"), QStringLiteral("4711,0815,,,,,,"));
        {
            WindowWatch watch;
            QCOMPARE(RunJournalConversion(folder), std::optional(CallJournal::Conversion::Converted));
            QCOMPARE(watch.texts.value(0), QStringLiteral("Bitte warten ..."));
            QVERIFY(watch.texts.contains(QStringLiteral("Konvertiere Anruf-Journal ...")));
        }
        QVERIFY(ReadSettingFlag(QStringLiteral("ISDN_Update20")));
        const QByteArray converted = readFile(folder + QStringLiteral("anruf2.dat"));
        QCOMPARE(converted.size(), 3 * 40);
        QCOMPARE(converted.mid(29, 5), QByteArray("\x04"
                                                  "4711"));
        QVERIFY(!QApplication::overrideCursor());
        for (QWidget *w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<TfmUpdate *>(w)); // the window is gone

        // Once done: no window, nothing touched.
        WindowWatch again;
        QCOMPARE(RunJournalConversion(folder), std::optional(CallJournal::Conversion::AlreadyDone));
        QVERIFY(again.texts.isEmpty());
        QCOMPARE(readFile(folder + QStringLiteral("anruf2.dat")), converted);
    }

    void firstStartWithoutJournal()
    {
        TestEnv env;
        const QString folder = env.root() + QStringLiteral("/");
        QCOMPARE(RunJournalConversion(folder), std::optional(CallJournal::Conversion::NoJournal));
        QVERIFY(!QFile::exists(folder + QStringLiteral("anruf2.dat")));
        QVERIFY(ReadSettingFlag(QStringLiteral("ISDN_Update20")));
    }

    // A conversion that cannot write says so and is tried again at the next start.
    void failedConversionIsReportedAndRetried()
    {
        TestEnv env;
        const QString folder = env.root() + QStringLiteral("/");
        WriteSettingString(QStringLiteral("ISDN_MSN"), QStringLiteral("4711,,,,,,,"));
        QByteArray old;
        for (int i = 0; i < 20; ++i)
            old += oldRecord(36000.5 + i, "0301234");
        writeFile(folder + QStringLiteral("anruf2.dat"), old);
        QStringList messages;
        MsgDlgHook::setHandler([&](const QString &text, int) {
            messages << text;
            return true;
        });
        {
            FileSizeLimit limit(old.size() + 100);
            QCOMPARE(RunJournalConversion(folder), std::nullopt);
        }
        MsgDlgHook::setHandler({});
        QCOMPARE(messages.size(), 1);
        QVERIFY(!ReadSettingFlag(QStringLiteral("ISDN_Update20")));
        QCOMPARE(readFile(folder + QStringLiteral("anruf2.dat")), old);
        QVERIFY(!QApplication::overrideCursor());

        QCOMPARE(RunJournalConversion(folder), std::optional(CallJournal::Conversion::Converted));
        QCOMPARE(readFile(folder + QStringLiteral("anruf2.dat")).size(), 20 * 40);
    }

    // A journal whose form is unclear is left alone and looked at again at every start; the user
    // is told once, with the file named, and again only about another file.
    void unclearJournalIsToldOnce()
    {
        TestEnv env;
        const QString folder = env.root() + QStringLiteral("/");
        const QString path = folder + QStringLiteral("anruf2.dat");
        QStringList messages;
        MsgDlgHook::setHandler([&](const QString &text, int) {
            messages << text;
            return true;
        });
        writeFile(path, QByteArray(160, '\xff'));
        for (int start = 0; start < 2; ++start)
            QCOMPARE(RunJournalConversion(folder), std::optional(CallJournal::Conversion::Undecided));
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(path), qPrintable(messages[0]));

        // Another file put in its place, shorter than one record.
        writeFile(path + QStringLiteral(".neu"), QByteArray(20, '\x01'));
        QVERIFY(::rename(QFile::encodeName(path + QStringLiteral(".neu")).constData(),
                         QFile::encodeName(path).constData()) == 0);
        for (int start = 0; start < 2; ++start)
            QCOMPARE(RunJournalConversion(folder), std::optional(CallJournal::Conversion::Undecided));
        MsgDlgHook::setHandler({});
        QCOMPARE(messages.size(), 2);
        QVERIFY2(messages[1].contains(path), qPrintable(messages[1]));
        QVERIFY(!ReadSettingFlag(QStringLiteral("ISDN_Update20")));
        QCOMPARE(readFile(path), QByteArray(20, '\x01'));
    }

    // A window closed while converting (an error ends the conversion early) gives the cursor back.
    void destroyedWhileBusyRestoresCursor()
    {
        {
            TfmUpdate w;
            w.conversionStarted();
            QVERIFY(QApplication::overrideCursor());
        }
        QVERIFY(!QApplication::overrideCursor());
    }
};

QTEST_MAIN(TestUpdateWindow)
#include "TestJournalConversion.moc"
