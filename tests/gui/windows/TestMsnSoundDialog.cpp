// The MSN window: splitting the stored list into fields, joining them back, the sound page,
// the sound chooser and what is written when.
#include "common/Paths.h"
#include "settings/SettingsStore.h"
#include "sound/CallSound.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "support/WriteFailure.h"
#include "widgets/ButtonEdit.h"
#include "widgets/MessageDialog.h"
#include "widgets/StandardDialogs.h"
#include "windows/MsnSoundDialog.h"

#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QtTest>
#include <memory>

class TestMsnMapWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    QStringList msnTexts(TfmMsnMap &w)
    {
        QStringList out;
        for (int position = 1; position <= 8; ++position)
            out << child<TButtonEdit>(&w, qPrintable(QStringLiteral("MSN_%1").arg(position)))->text();
        return out;
    }
    bool storedAtAll(const QString &name)
    {
        QSettings ini(Paths::settingsFile(), QSettings::IniFormat);
        return ini.contains(name);
    }

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup()
    {
        DialogHook::setHandler({});
        MsgDlgHook::setHandler({});
        env.reset();
    }

    void listWithOneCommaShowsFirstAndLastField()
    {
        WriteSettingString(QStringLiteral("ISDN_MSN"), QStringLiteral("4711,0815"));
        WriteSettingString(QStringLiteral("ISDN_SOUND8"), QStringLiteral("/snd/acht.wav"));
        TfmMsnMap w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("MSN-Konfiguration"));
        QCOMPARE(msnTexts(w),
                 QStringList({QStringLiteral("4711"), "", "", "", "", "", "", QStringLiteral("0815")}));
        QCOMPARE(child<TButtonEdit>(&w, "Sound_8")->text(), QStringLiteral("/snd/acht.wav"));
        QVERIFY(child<QPushButton>(&w, "ChangeBtn")->hasFocus());

        QTest::mouseClick(child<QPushButton>(&w, "ChangeBtn"), Qt::LeftButton);
        QVERIFY(!w.isVisible());
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_Msn")), QStringLiteral("4711,,,,,,,0815"));
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_SOUND8")), QStringLiteral("/snd/acht.wav"));
        for (int i = 1; i <= 7; ++i) // empty sound fields are written too
            QVERIFY(storedAtAll(QStringLiteral("ISDN_SOUND%1").arg(i)));
    }

    void typedFieldsAreJoinedWithSevenCommas()
    {
        TfmMsnMap w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(msnTexts(w), QStringList(8));
        QTest::keyClicks(child<TButtonEdit>(&w, "MSN_2"), QStringLiteral("47-1a1")); // only digits get in
        QTest::keyClicks(child<TButtonEdit>(&w, "MSN_8"), QStringLiteral("0815"));
        QCOMPARE(child<TButtonEdit>(&w, "MSN_2")->text(), QStringLiteral("4711"));
        QTest::mouseClick(child<QPushButton>(&w, "ChangeBtn"), Qt::LeftButton);
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_MSN")), QStringLiteral(",4711,,,,,,0815"));

        // nothing entered at all: seven commas
        TfmMsnMap empty;
        empty.show();
        QTest::keyClick(child<TButtonEdit>(&empty, "MSN_2"), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(child<TButtonEdit>(&empty, "MSN_2"), Qt::Key_Delete);
        QTest::keyClick(child<TButtonEdit>(&empty, "MSN_8"), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(child<TButtonEdit>(&empty, "MSN_8"), Qt::Key_Delete);
        QTest::mouseClick(child<QPushButton>(&empty, "ChangeBtn"), Qt::LeftButton);
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_MSN")), QStringLiteral(",,,,,,,"));
    }

    void cancelAndEscapeWriteNothing()
    {
        WriteSettingString(QStringLiteral("ISDN_MSN"), QStringLiteral("1,2,3,4,5,6,7,8"));
        for (bool escape : {false, true}) {
            TfmMsnMap w;
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            child<TButtonEdit>(&w, "MSN_1")->setText(QStringLiteral("999"));
            child<TButtonEdit>(&w, "Sound_1")->setText(QStringLiteral("/x.wav"));
            if (escape)
                QTest::keyClick(&w, Qt::Key_Escape);
            else
                QTest::mouseClick(child<QPushButton>(&w, "CloseBtn"), Qt::LeftButton);
            QVERIFY(!w.isVisible());
            QCOMPARE(ReadSettingString(QStringLiteral("ISDN_MSN")), QStringLiteral("1,2,3,4,5,6,7,8"));
            QVERIFY(!storedAtAll(QStringLiteral("ISDN_SOUND1")));
        }
    }

    void soundButtonSwitchesPageAndSize()
    {
        TfmMsnMap w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(child<QStackedWidget>(&w, "nb")->currentWidget(), child<QWidget>(&w, "MSN"));
        QCOMPARE(w.height(), TfmMsnMap::kMsnHeight);
        QCOMPARE(child<QPushButton>(&w, "ChangeBtn")->y(), 168);
        QCOMPARE(child<QStackedWidget>(&w, "nb")->height(), 150);

        QTest::mouseClick(child<QPushButton>(&w, "SoundBtn"), Qt::LeftButton);
        QCOMPARE(child<QStackedWidget>(&w, "nb")->currentWidget(), child<QWidget>(&w, "Sound"));
        QCOMPARE(child<QPushButton>(&w, "SoundBtn")->text(), QStringLiteral("&MSN"));
        QCOMPARE(w.height(), TfmMsnMap::kSoundHeight);
        QCOMPARE(child<QPushButton>(&w, "ChangeBtn")->y(), 264);
        QCOMPARE(child<QStackedWidget>(&w, "nb")->height(), 241);
        QCOMPARE(child<QFrame>(&w, "Bevel1")->y(), 248);
        // every sound field lies inside the page
        QVERIFY(child<TButtonEdit>(&w, "Sound_8")->geometry().bottom() <
                child<QStackedWidget>(&w, "nb")->height());

        QTest::mouseClick(child<QPushButton>(&w, "SoundBtn"), Qt::LeftButton);
        QCOMPARE(child<QStackedWidget>(&w, "nb")->currentWidget(), child<QWidget>(&w, "MSN"));
        QCOMPARE(child<QPushButton>(&w, "SoundBtn")->text(), QStringLiteral("&Sound"));
        QCOMPARE(w.height(), TfmMsnMap::kMsnHeight);
        QCOMPARE(child<QFrame>(&w, "Bevel1")->y(), 152);
    }

    void soundChooser()
    {
        QList<DialogHook::Request> requests;
        QVariant answer;
        DialogHook::setHandler([&](const DialogHook::Request &r) {
            requests << r;
            return answer;
        });
        TfmMsnMap w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(child<QPushButton>(&w, "SoundBtn"), Qt::LeftButton);

        answer = QStringLiteral("/home/x/klingel.wav");
        child<TButtonEdit>(&w, "Sound_3")->buttonAction()->trigger();
        QCOMPARE(child<TButtonEdit>(&w, "Sound_3")->text(), QStringLiteral("/home/x/klingel.wav"));
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].kind, DialogHook::Kind::OpenFile);
        QCOMPARE(requests[0].title, QStringLiteral("Soundauswahl ..."));
        QCOMPARE(requests[0].filter, QStringLiteral("Wavedateien|*.wav"));
        QCOMPARE(requests[0].initialDir, Paths::homeDir());

        // F2 in the field opens the chooser as well; a name of 5 characters is not taken
        answer = QStringLiteral("/a.wa");
        child<TButtonEdit>(&w, "Sound_5")->setFocus();
        QTest::keyClick(child<TButtonEdit>(&w, "Sound_5"), Qt::Key_F2);
        QCOMPARE(requests.size(), 2);
        QCOMPARE(child<TButtonEdit>(&w, "Sound_5")->text(), QString());
        answer = QStringLiteral("/a.wav");
        QTest::keyClick(child<TButtonEdit>(&w, "Sound_5"), Qt::Key_F2);
        QCOMPARE(child<TButtonEdit>(&w, "Sound_5")->text(), QStringLiteral("/a.wav"));

        // cancelled: the field keeps its text
        answer = QVariant();
        child<TButtonEdit>(&w, "Sound_3")->buttonAction()->trigger();
        QCOMPARE(child<TButtonEdit>(&w, "Sound_3")->text(), QStringLiteral("/home/x/klingel.wav"));

        QTest::mouseClick(child<QPushButton>(&w, "ChangeBtn"), Qt::LeftButton);
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_SOUND3")), QStringLiteral("/home/x/klingel.wav"));
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_SOUND5")), QStringLiteral("/a.wav"));
    }

    // The built-in signal: 1000 Hz for 100 ms, 1000 Hz for 80 ms, 1500 Hz for 120 ms.
    void callSignalTones()
    {
        const int rate = 22050;
        const QByteArray pcm = CallSound::signalPcm(rate);
        const auto *samples = reinterpret_cast<const qint16 *>(pcm.constData());
        const int n = int(pcm.size() / 2);
        QCOMPARE(n, rate / 10 + rate * 8 / 100 + rate * 12 / 100);
        // frequency of a stretch from its sign changes (two per period)
        auto hz = [&](int fromMs, int toMs) {
            const int a = rate * fromMs / 1000, b = rate * toMs / 1000;
            int changes = 0;
            for (int i = a + 1; i < b; ++i)
                changes += (samples[i - 1] < 0) != (samples[i] < 0);
            return changes * 1000.0 / (2.0 * (toMs - fromMs));
        };
        QVERIFY(qAbs(hz(5, 95) - 1000) < 30);
        QVERIFY(qAbs(hz(105, 175) - 1000) < 30);
        QVERIFY(qAbs(hz(185, 295) - 1500) < 30);
        // loud in the middle of a tone, silent at its edges (no clicks)
        QVERIFY(*std::max_element(samples + rate / 100, samples + rate / 20) > 15000);
        QVERIFY(qAbs(samples[0]) < 100 && qAbs(samples[n - 1]) < 100);
    }

    void waveDurationFromHeader()
    {
        const QString path = env->root() + QStringLiteral("/t.wav");
        auto write = [&](quint32 dataSize, int bytes, quint32 byteRate) {
            QByteArray h("RIFF\0\0\0\0WAVEfmt ", 16);
            auto u32 = [&](quint32 v) {
                char b[4];
                qToLittleEndian(v, b);
                h.append(b, 4);
            };
            u32(16);
            h.append("\x01\x00\x01\x00", 4); // PCM, mono
            u32(byteRate / 2);
            u32(byteRate);
            h.append("\x02\x00\x10\x00", 4);
            h.append("LIST", 4); // a chunk before the data is skipped
            u32(3);
            h.append("abc\0", 4); // odd size is padded
            h.append("data", 4);
            u32(dataSize);
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(h + QByteArray(bytes, '\0'));
        };
        write(44100, 44100, 44100);
        QCOMPARE(CallSound::waveDurationMs(path), 1000);
        write(88200, 22050, 44100); // cut short: what the file holds
        QCOMPARE(CallSound::waveDurationMs(path), 500);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a wave file");
        f.close();
        QCOMPARE(CallSound::waveDurationMs(path), -1);
        QCOMPARE(CallSound::waveDurationMs(env->root() + QStringLiteral("/none.wav")), -1);
    }

    // Without an audio output neither a wave file nor the signal holds the caller up.
    void noAudioOutputNoWait()
    {
        if (CallSound::audioAvailable())
            QSKIP("this machine has an audio output");
        const QString wav = env->root() + QStringLiteral("/a.wav");
        QFile f(wav);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        WriteSettingString(QStringLiteral("ISDN_SOUND1"), wav);
        QElapsedTimer clock;
        clock.start();
        PlayCallSound(QStringLiteral("4711,,,,,,,"), QStringLiteral("4711"));
        PlayCallSound(QStringLiteral("4711,,,,,,,"), QStringLiteral("999"));
        CallSignal();
        QVERIFY(clock.elapsed() < CallSound::kWaveTimeLimitMs);
    }

    // A save that fails says so and keeps the window open with the entries.
    void failedSaveKeepsEntries()
    {
        WriteSettingString(QStringLiteral("ISDN_MSN"), QStringLiteral(",,,,,,,"));
        QStringList messages;
        MsgDlgHook::setHandler([&](const QString &text, int) {
            messages << text;
            return true;
        });
        TfmMsnMap w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        child<TButtonEdit>(&w, "MSN_1")->setText(QStringLiteral("4711"));
        child<TButtonEdit>(&w, "Sound_1")->setText(QString(4000, QLatin1Char('s')));
        {
            FileSizeLimit limit(QFileInfo(Paths::settingsFile()).size() + 100);
            QTest::mouseClick(child<QPushButton>(&w, "ChangeBtn"), Qt::LeftButton);
        }
        QCOMPARE(messages.size(), 1);
        QVERIFY(w.isVisible());
        QCOMPARE(child<TButtonEdit>(&w, "MSN_1")->text(), QStringLiteral("4711"));
    }
};

QTEST_MAIN(TestMsnMapWindow)
#include "TestMsnSoundDialog.moc"
