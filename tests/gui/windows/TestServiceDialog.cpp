// The service window: which boxes a stored setting checks, what "Übernehmen" stores, and the
// CIP mask that results for the listen request.
#include "calls/ServiceSet.h"
#include "settings/SettingsStore.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "windows/ServiceDialog.h"

#include <QCheckBox>
#include <QPushButton>
#include <QtTest>
#include <memory>

// The CAPI component's CIP mask of a service set (its header does not mix with QtGui's).
uint32_t CipMaskOfServiceMask(uint16_t serviceMask);

class TestServMapWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;

    // A click on the box's indicator, where a user clicks.
    static void clickBox(QCheckBox *box)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    }
    // The box of the service at position 1 to 8.
    static QCheckBox *serviceBox(TfmServMap &w, int position)
    {
        return child<QCheckBox>(&w, qPrintable(QStringLiteral("cbServ%1").arg(position)));
    }
    static QString checked(TfmServMap &w)
    {
        QString s;
        for (int position = 1; position <= 8; ++position)
            s += serviceBox(w, position)->isChecked() ? QLatin1Char('x') : QLatin1Char('.');
        return s;
    }
    // Opens the window, sets the boxes to `pattern` ("x" checked) by clicking, and saves.
    static void choose(const QString &pattern)
    {
        TfmServMap w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (int i = 0; i < 8; ++i) {
            QCheckBox *box = serviceBox(w, i + 1);
            if (box->isChecked() != (pattern[i] == QLatin1Char('x')))
                clickBox(box);
        }
        QCOMPARE(checked(w), pattern); // boxes are independent of each other
        QTest::mouseClick(child<QPushButton>(&w, "ChangeBtn"), Qt::LeftButton);
        QVERIFY(!w.isVisible());
    }
    static quint32 listenMask()
    {
        return CipMaskOfServiceMask(
            ServiceSet::fromSetting(ReadSettingString(QStringLiteral("ISDN_Service"))));
    }

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void firstOpeningShowsAllCalls()
    {
        TfmServMap w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Service-Konfiguration"));
        QCOMPARE(child<QCheckBox>(&w, "cbServ7")->text(), QStringLiteral("DFÜ 56K"));
        QCOMPARE(child<QPushButton>(&w, "ChangeBtn")->text(), QStringLiteral("Übernehmen"));
        QCOMPARE(checked(w), QStringLiteral("x......."));
        QVERIFY(child<QPushButton>(&w, "ChangeBtn")->hasFocus());
        QCOMPARE(listenMask(), 0x1FFF03FFu);
    }

    void choicesStoredAsTokensAndMasks_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<quint32>("mask");
        QTest::newRow("all and analog") << "xx......"
                                        << "ALL,ANALOG_TELEPHONY," << 0x1FFF03FFu;
        QTest::newRow("nothing") << "........"
                                 << "" << 0x1FFF03FFu;
        QTest::newRow("unknown only") << ".......x"
                                      << "UNKNOWN," << 0u;
        QTest::newRow("fax 3") << "...x...."
                               << "FAX3," << 0x20010u;
        QTest::newRow("digital and 64K") << "..x..x.."
                                         << "DIGITAL_TELEPHONY,DATA_64K," << 0x6u;
        QTest::newRow("56K only") << "......x."
                                  << "DATA_56K," << 0x100u;
        QTest::newRow("all but all")
            << ".xxxxxxx"
            << "ANALOG_TELEPHONY,DIGITAL_TELEPHONY,FAX3,FAX4,DATA_64K,DATA_56K,UNKNOWN,"
            << (0x10u | 0x2u | 0x20010u | 0x40004u | 0x4u | 0x100u);
    }
    void choicesStoredAsTokensAndMasks()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, setting);
        QFETCH(quint32, mask);
        CHECKED(choose(pattern));
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_Service")), setting);
        QCOMPARE(listenMask(), mask);

        // the next opening shows the stored choice; an empty one shows "Alle Anrufe" again
        TfmServMap again;
        again.show();
        QCOMPARE(checked(again), setting.isEmpty() ? QStringLiteral("x.......") : pattern);
    }

    void clickMovesFocusAndCancelWritesNothing()
    {
        WriteSettingString(QStringLiteral("ISDN_Service"), QStringLiteral("FAX4,"));
        TfmServMap w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(checked(w), QStringLiteral("....x..."));
        child<QCheckBox>(&w, "cbServ2")->setFocus();
        clickBox(child<QCheckBox>(&w, "cbServ2"));
        QVERIFY(child<QPushButton>(&w, "ChangeBtn")->hasFocus());
        QTest::mouseClick(child<QPushButton>(&w, "CloseBtn"), Qt::LeftButton);
        QVERIFY(!w.isVisible());
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_Service")), QStringLiteral("FAX4,"));

        TfmServMap esc;
        esc.show();
        clickBox(child<QCheckBox>(&esc, "cbServ3"));
        QTest::keyClick(&esc, Qt::Key_Escape);
        QCOMPARE(ReadSettingString(QStringLiteral("ISDN_Service")), QStringLiteral("FAX4,"));
    }
};

QTEST_MAIN(TestServMapWindow)
#include "TestServiceDialog.moc"
