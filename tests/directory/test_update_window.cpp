// The conversion window: its texts, and animation and busy cursor only while converting.
#include "controls/Animate.h"
#include "directory/update.h"

#include <QApplication>
#include <QLabel>
#include <QtTest>

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
        QCOMPARE(w.Aktion->text(), QStringLiteral("Bitte warten ..."));
        QVERIFY(!w.Animate1->isPlaying());
        QVERIFY(!QApplication::overrideCursor());

        w.conversionStarted();
        QCOMPARE(w.Aktion->text(), QStringLiteral("Konvertiere Anruf-Journal ..."));
        QVERIFY(w.Animate1->isPlaying());
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        // the animation moves on while records are converted
        const int first = w.Animate1->currentFrame();
        QTRY_VERIFY_WITH_TIMEOUT((w.conversionStep(), w.Animate1->currentFrame() != first), 5000);

        w.conversionEnded();
        QVERIFY(!w.Animate1->isPlaying());
        QCOMPARE(w.Animate1->currentFrame(), 8);
        QVERIFY(!QApplication::overrideCursor());
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
#include "test_update_window.moc"
