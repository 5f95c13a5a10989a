#include "common/Paths.h"
#include "notify/NotifyLook.h"
#include "settings/SettingsStore.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "windows/CallNotification.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <memory>

namespace {
// Counts mouse presses that reach a widget.
class PressCounter : public QObject
{
public:
    int presses = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress)
            ++presses;
        return false;
    }
};

QPoint centred(const QWidget *window)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return {screen.width() / 2 - window->width() / 2, screen.height() / 2 - window->height() / 2};
}

// As the user leaves a window: positions are those of the client area.
void moveClient(QWidget *window, int x, int y)
{
    window->setGeometry(QRect(QPoint(x, y), window->size()));
}
} // namespace

class TestCallMsg : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    // A window as the ring handler opens it, with a long display time unless the test sets one.
    TfmCallMsg *show(const QString &hint = QString(), const QString &title = QString())
    {
        TfmCallMsg *window =
            ShowCallMsg(QStringLiteral("Erika Mustermann"), QStringLiteral("4711 !"), hint, title);
        windows.append(window);
        return window;
    }
    QList<QPointer<TfmCallMsg>> windows;
    NewestWindow<TfmCallMsg> newest;

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        WriteSettingString(QStringLiteral("ISDN_TimeMinimize"), QStringLiteral("600"));
    }
    void cleanup()
    {
        for (const QPointer<TfmCallMsg> &window : std::as_const(windows))
            delete window.data();
        windows.clear();
        env.reset();
    }

    void placementRule_data()
    {
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::addColumn<QPoint>("expected"); // (-1, -1): centred
        QTest::newRow("left 0 centres even with a good top") << 0 << 100 << QPoint(-1, -1);
        QTest::newRow("top 0 with left 10 places") << 10 << 0 << QPoint(10, 0);
        QTest::newRow("-20 counts as 65516") << -20 << 100 << QPoint(-1, -1);
        QTest::newRow("top -1 counts as 65535") << 10 << -1 << QPoint(-1, -1);
        QTest::newRow("low 16 bits only") << 65536 + 10 << 65536 * 3 + 5 << QPoint(10, 5);
        QTest::newRow("left at the width") << 1024 << 5 << QPoint(-1, -1);
        QTest::newRow("last column") << 1023 << 767 << QPoint(1023, 767);
        QTest::newRow("top at the height") << 10 << 768 << QPoint(-1, -1);
    }
    void placementRule()
    {
        QFETCH(int, left);
        QFETCH(int, top);
        QFETCH(QPoint, expected);
        const QRect screen(0, 0, 1024, 768);
        const QPoint got = NotifyLook::placement(left, top, QSize(305, 98), screen.size(), screen);
        QCOMPARE(got, expected == QPoint(-1, -1) ? QPoint(512 - 152, 384 - 49) : expected);
    }

    void windowTakesTheStoredPosition()
    {
        // (A top of 0 would put the title bar off the screen, which the platform corrects.)
        WriteSettingString(QStringLiteral("ISDN_CallMsg_Left"), QStringLiteral("10"));
        WriteSettingString(QStringLiteral("ISDN_CallMsg_Top"), QStringLiteral("30"));
        TfmCallMsg *window = show();
        QCOMPARE(window->geometry().topLeft(), QPoint(10, 30));

        WriteSettingString(QStringLiteral("ISDN_CallMsg_Left"), QStringLiteral("-20"));
        WriteSettingString(QStringLiteral("ISDN_CallMsg_Top"), QStringLiteral("40"));
        TfmCallMsg *second = show();
        QCOMPARE(second->geometry().topLeft(), centred(second));
    }

    void closingStoresThePositionAndDestroys()
    {
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        QPointer<TfmCallMsg> first = show();
        QPointer<TfmCallMsg> second = show();
        QCOMPARE(newest.get(), second.data());
        moveClient(first, 123, 45);
        moveClient(second, 300, 200);
        first->close();
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_CallMsg_Left")), QStringLiteral("123"));
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_CallMsg_Top")), QStringLiteral("45"));
        second->close();
        QCOMPARE(ReadSettingInteger(QStringLiteral("ISDN_CallMsg_Left")), 300);
        QCOMPARE(ReadSettingInteger(QStringLiteral("ISDN_CallMsg_Top")), 200);
        QTRY_VERIFY(first.isNull() && second.isNull());
        QCOMPARE(lastClosed.count(), 0); // the program runs on in the notification area
        QVERIFY(!newest);
        // The next window appears where the last one was left.
        QCOMPARE(show()->geometry().topLeft(), QPoint(300, 200));
    }

    void texts()
    {
        TfmCallMsg *plain = show();
        QCOMPARE(plain->windowTitle(), QStringLiteral("Anruf von"));
        QCOMPARE(child<TElidedLabel>(plain, "lbHinweis")->text(), QStringLiteral("-->  Anruf "));
        QCOMPARE(child<QLabel>(plain, "lbMSN")->text(), QStringLiteral("MSN :  4711 !"));
        QCOMPARE(child<QLabel>(plain, "lbName")->text(), QStringLiteral("Erika Mustermann"));
        QCOMPARE(plain->size(), QSize(305, 98));
        QVERIFY(plain->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(plain->windowFlags() & Qt::WindowType_Mask, Qt::Tool);

        TfmCallMsg *titled = show(QStringLiteral("Digital"), QStringLiteral("Vorschau"));
        QCOMPARE(titled->windowTitle(), QStringLiteral("Vorschau"));
        QCOMPARE(child<TElidedLabel>(titled, "lbHinweis")->text(), QStringLiteral("-->  Digital"));

        // Names from the directory are shown as they are, never as markup or mnemonics.
        TfmCallMsg *marked = ShowCallMsg(QStringLiteral("<b>Max</b> & Co"), QString(), QString(), QString());
        windows.append(marked);
        QCOMPARE(child<QLabel>(marked, "lbName")->textFormat(), Qt::PlainText);
        QCOMPARE(child<QLabel>(marked, "lbName")->text(), QStringLiteral("<b>Max</b> & Co"));
    }

    // The hint shows whole: a long one takes the room left of it, or smaller type when the MSN's
    // text fills that room; a short one keeps its place. The texts themselves never change.
    void longHintsShowWhole_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("hint");
        QTest::newRow("short") << QStringLiteral("4711 !") << QStringLiteral("Analog");
        QTest::newRow("blocked") << QStringLiteral("4711 !") << QStringLiteral("Anrufer ist gesperrt !");
        QTest::newRow("ignored") << QStringLiteral("4711 !") << QStringLiteral("Anruf wird ignoriert !");
        QTest::newRow("long MSN") << QStringLiteral("0301234567890 !")
                                  << QStringLiteral("Anrufer ist gesperrt !");
    }
    void longHintsShowWhole()
    {
        QFETCH(QString, number);
        QFETCH(QString, hint);
        TfmCallMsg *window = ShowCallMsg(QStringLiteral("Erika Mustermann"), number, hint, QString());
        windows.append(window);
        TElidedLabel *label = child<TElidedLabel>(window, "lbHinweis");
        QCOMPARE(label->text(), QStringLiteral("-->  ") + hint);
        QVERIFY(!label->isElided());
        QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->width());
        QCOMPARE(label->geometry().right(), 296); // right edge under the line's end
        QCOMPARE(label->y(), 74);
        const QLabel *msn = child<QLabel>(window, "lbMSN");
        const int msnEnd = msn->x() + msn->fontMetrics().horizontalAdvance(msn->text());
        const int hintStart =
            label->geometry().right() - label->fontMetrics().horizontalAdvance(label->text());
        QVERIFY2(hintStart > msnEnd, qPrintable(QStringLiteral("%1 <= %2").arg(hintStart).arg(msnEnd)));
        QVERIFY(label->font().pixelSize() >= 9);
        if (hint == QStringLiteral("Analog")) {
            QCOMPARE(label->geometry(), QRect(166, 74, 131, 17));
            QCOMPARE(label->font().pixelSize(), 11);
        }
        // A short hint after a long one returns to its usual place and size.
        window->setHint(QStringLiteral("Digital"));
        QCOMPARE(label->geometry(), QRect(166, 74, 131, 17));
        QCOMPARE(label->font().pixelSize(), 11);
    }

    void displayTime()
    {
        QCOMPARE(CallMsgCloseInterval(QString()), 3000);
        QCOMPARE(CallMsgCloseInterval(QStringLiteral("3")), 3000);
        QCOMPARE(CallMsgCloseInterval(QStringLiteral("0")), 0);
        QCOMPARE(CallMsgCloseInterval(QStringLiteral("015")), 15000);
        QCOMPARE(CallMsgCloseInterval(QStringLiteral("abc")), 3000);
        QCOMPARE(CallMsgCloseInterval(QStringLiteral("-1")), 3000);
        QCOMPARE(CallMsgCloseInterval(QStringLiteral("2.5")), 3000);
        QCOMPARE(CallMsgCloseInterval(QStringLiteral("99999999999999999999")), 2147483000);

        WriteSettingString(QStringLiteral("ISDN_TimeMinimize"), QString());
        TfmCallMsg *window = show();
        QVERIFY(child<QTimer>(window, "CloseTimer")->isActive());
        QCOMPARE(child<QTimer>(window, "CloseTimer")->interval(), 3000);
    }

    void timeZeroNeverCloses()
    {
        WriteSettingString(QStringLiteral("ISDN_TimeMinimize"), QStringLiteral("0"));
        QPointer<TfmCallMsg> window = show();
        QVERIFY(!child<QTimer>(window, "CloseTimer")->isActive());
        // A started zero timer would have fired on the first pass through the event loop.
        QTest::qWait(100);
        QVERIFY(!window.isNull());
        QVERIFY(window->isVisible());
    }

    void closesByItselfWhenMinimizeIsAbsent()
    {
        WriteSettingString(QStringLiteral("ISDN_TimeMinimize"), QStringLiteral("1"));
        QPointer<TfmCallMsg> window = show();
        QVERIFY(window->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 20000);
    }

    void minimizeZeroKeepsItOpen()
    {
        WriteSettingString(QStringLiteral("ISDN_TimeMinimize"), QStringLiteral("1"));
        WriteSettingString(QStringLiteral("ISDN_Minimize"), QStringLiteral("0"));
        QPointer<TfmCallMsg> window = show();
        QSignalSpy fired(child<QTimer>(window, "CloseTimer"), &QTimer::timeout);
        QTRY_VERIFY_WITH_TIMEOUT(fired.count() == 1, 20000);
        QVERIFY(!window.isNull());
        QVERIFY(window->isVisible());
        QVERIFY(!child<QTimer>(window, "CloseTimer")->isActive()); // the tick stops the timer: it fires once

        WriteSettingFlag(QStringLiteral("ISDN_Minimize"), true);
        window->CloseTimerTimer();
        QTRY_VERIFY(window.isNull());
    }

    void settingsThatAreNoTextGiveTheDefaults()
    {
        // Values another program stored in a form of its own (not text) must not bring the
        // ring down: the window opens with its defaults, closes by itself and stores a
        // readable position over the unreadable one.
        QVERIFY(writeBytes(Paths::settingsFile(), "[General]\n"
                                                  "ISDN_TimeMinimize=@Rect(1 2 3 4)\n"
                                                  "ISDN_Minimize=@Rect(1 2 3 4)\n"
                                                  "ISDN_BmpDir=@Rect(1 2 3 4)\n"
                                                  "ISDN_ExtWinShowing=@Rect(1 2 3 4)\n"
                                                  "ISDN_ExtWinFontColor=@Rect(1 2 3 4)\n"
                                                  "ISDN_ExtWinBackColor=@Rect(1 2 3 4)\n"
                                                  "ISDN_CallMsg_Left=@Rect(1 2 3 4)\n"));
        QPointer<TfmCallMsg> window = show();
        QCOMPARE(child<QTimer>(window, "CloseTimer")->interval(), 3000);
        QCOMPARE(child<QLabel>(window, "lbName")->palette().color(QPalette::WindowText), QColor(Qt::yellow));
        moveClient(window, 40, 50);
        window->CloseTimerTimer();
        QTRY_VERIFY(window.isNull());
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_CallMsg_Left")), QStringLiteral("40"));
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_CallMsg_Top")), QStringLiteral("50"));
    }

    void colours()
    {
        // Nothing stored: yellow text on the shipped sky.
        TfmCallMsg *sky = show();
        QCOMPARE(child<QLabel>(sky, "lbName")->palette().color(QPalette::WindowText), QColor(255, 255, 0));
        QCOMPARE(child<TElidedLabel>(sky, "lbHinweis")->palette().color(QPalette::WindowText),
                 QColor(255, 255, 0));
        QVERIFY(child<QLabel>(sky, "Image1")->isVisible());
        QVERIFY(!child<QLabel>(sky, "Image1")->pixmap().isNull());
        QVERIFY(child<QLabel>(sky, "Image1")->hasScaledContents());
        QCOMPARE(child<QLabel>(sky, "Image1")->geometry(), QRect(0, 0, 305, 98));

        // Bitmap off: the background colour, although the file exists.
        WriteSettingString(QStringLiteral("ISDN_ExtWinShowing"), QStringLiteral("0"));
        WriteSettingString(QStringLiteral("ISDN_ExtWinBackColor"), QStringLiteral("clnavy"));
        WriteSettingString(QStringLiteral("ISDN_ExtWinFontColor"), QStringLiteral("$0000ff00"));
        TfmCallMsg *plain = show();
        QVERIFY(!child<QLabel>(plain, "Image1")->isVisible());
        QCOMPARE(plain->palette().color(QPalette::Window), QColor(0, 0, 128));
        QCOMPARE(child<QLabel>(plain, "lbMSN")->palette().color(QPalette::WindowText), QColor(0, 255, 0));
        const QImage shot = plain->grab().toImage();
        QCOMPARE(QColor(shot.pixel(300, 2)), QColor(0, 0, 128));

        // Invalid texts give the defaults.
        WriteSettingString(QStringLiteral("ISDN_ExtWinBackColor"), QStringLiteral("dunkelblau"));
        WriteSettingString(QStringLiteral("ISDN_ExtWinFontColor"), QStringLiteral("$ff"));
        TfmCallMsg *fallback = show();
        QCOMPARE(fallback->palette().color(QPalette::Window),
                 QApplication::palette().color(QPalette::Button));
        QCOMPARE(child<QLabel>(fallback, "lbName")->palette().color(QPalette::WindowText),
                 QColor(255, 255, 0));
    }

    void bitmapThatIsMissingOrNoPictureGivesTheColour()
    {
        WriteSettingString(QStringLiteral("ISDN_ExtWinShowing"), QStringLiteral("1"));
        WriteSettingString(QStringLiteral("ISDN_ExtWinBackColor"), QStringLiteral("clmaroon"));
        WriteSettingString(QStringLiteral("ISDN_BmpDir"), env->root() + QStringLiteral("/fehlt.bmp"));
        TfmCallMsg *missing = show();
        QVERIFY(!child<QLabel>(missing, "Image1")->isVisible());
        QCOMPARE(missing->palette().color(QPalette::Window), QColor(128, 0, 0));

        QFile junk(env->root() + QStringLiteral("/kaputt.bmp"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("this is not a picture");
        junk.close();
        WriteSettingString(QStringLiteral("ISDN_BmpDir"), junk.fileName());
        TfmCallMsg *broken = show();
        QVERIFY(!child<QLabel>(broken, "Image1")->isVisible());
        QCOMPARE(broken->palette().color(QPalette::Window), QColor(128, 0, 0));

        // A picture of another format under any name is fine.
        QImage red(10, 10, QImage::Format_RGB32);
        red.fill(Qt::red);
        const QString own = env->root() + QStringLiteral("/Eigenes Bild.BMP");
        QVERIFY(red.save(own, "PNG"));
        WriteSettingString(QStringLiteral("ISDN_BmpDir"), own);
        TfmCallMsg *picture = show();
        QVERIFY(child<QLabel>(picture, "Image1")->isVisible());
        QCOMPARE(QColor(picture->grab().toImage().pixel(150, 10)), QColor(255, 0, 0));
    }

    void shippedSkyIsFound()
    {
        const QString path = NotifyLook::defaultBitmapPath();
        QVERIFY2(QFile::exists(path), qPrintable(path));
        QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("himmel.bmp"));
        const QImage sky(path);
        QVERIFY(!sky.isNull());
        QVERIFY(sky.width() >= 305 && sky.height() >= 98);
    }

    void animation()
    {
        TfmCallMsg *still = show();
        QVERIFY(!child<TBlinkImage>(still, "ImageCtrl2")->isVisible());
        QVERIFY(!child<TBlinkImage>(still, "ImageCtrl2")->isBlinking());

        WriteSettingFlag(QStringLiteral("ISDN_ExtUseAnimation"), true);
        TfmCallMsg *flashing = show();
        QVERIFY(child<TBlinkImage>(flashing, "ImageCtrl2")->isBlinking());
        QCOMPARE(child<TBlinkImage>(flashing, "ImageCtrl2")->geometry(), QRect(6, 6, 32, 32));
        const bool before = child<TBlinkImage>(flashing, "ImageCtrl2")->isVisible();
        QTRY_VERIFY_WITH_TIMEOUT(child<TBlinkImage>(flashing, "ImageCtrl2")->isVisible() != before, 10000);
    }

    void staysUsableWhileADialogIsOpen()
    {
        QDialog dialog;
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(QApplication::activeModalWidget(), &dialog);

        TfmCallMsg *window = show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        PressCounter counter;
        child<QLabel>(window, "lbName")->installEventFilter(&counter);
        QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                          child<QLabel>(window, "lbName")->geometry().center());
        QCOMPARE(counter.presses, 1);
        dialog.close();
    }
};

QTEST_MAIN(TestCallMsg)
#include "TestCallNotification.moc"
