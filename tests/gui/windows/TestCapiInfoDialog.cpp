// The CAPI information window over the component and the fake library: values and pictures for
// what the driver reports, and a remote connection lost before or while it is open. (No CAPI at
// all is tested through the real library in TestCapiInfoExchange.)
#include "capi/Capi20b.h"
#include "core/capi/FakeCapi.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "windows/CapiInfoDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <memory>

class TestCapiInfoWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<FakeCapi> fake;
    std::unique_ptr<TCustomCapi20> capi;

    // "x" for each picture shown: serial number, TELES, AVM.
    static QString pictures(TfmCapiInfo &w)
    {
        QString s;
        for (const QLabel *picture :
             {child<QLabel>(&w, "Image2"), child<QLabel>(&w, "Image3"), child<QLabel>(&w, "Image4")})
            s += picture->isVisible() ? QLatin1Char('x') : QLatin1Char('.');
        return s;
    }
    static QStringList texts(TfmCapiInfo &w)
    {
        return {child<QLabel>(&w, "lbHerst")->text(), child<QLabel>(&w, "lbVersion")->text(),
                child<QLabel>(&w, "lbSerNum")->text()};
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        fake = std::make_unique<FakeCapi>();
        capi = std::make_unique<TCustomCapi20>();
        capi->SetLibraryName(fake->Path());
        capi->SetRemoteCapi(QStringLiteral("127.0.0.1:5031"));
    }
    void cleanup()
    {
        capi.reset();
        fake.reset();
        env.reset();
    }

    void showsWhatTheDriverReports_data()
    {
        QTest::addColumn<QString>("manufacturer");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no known maker") << "Fake CAPI"
                                        << "0815"
                                        << "...";
        QTest::newRow("Teles AG") << "Teles AG"
                                  << "0004711"
                                  << ".x.";
        QTest::newRow("avm berlin") << "avm berlin"
                                    << "0004711"
                                    << "..x";
        QTest::newRow("both names") << "AVM für TELES-Karten"
                                    << "0004711"
                                    << ".xx";
        QTest::newRow("000001a") << "Fake CAPI"
                                 << "000001a"
                                 << "x..";
        QTest::newRow("0000001A") << "Fake CAPI"
                                  << "0000001A"
                                  << "...";
    }
    void showsWhatTheDriverReports()
    {
        QFETCH(QString, manufacturer);
        QFETCH(QString, serial);
        QFETCH(QString, shown);
        const unsigned version[4] = {2, 0, 3, 12};
        fake->setInfo(manufacturer.toLatin1().constData(), serial.toLatin1().constData(), version);
        capi->Loaded();
        QVERIFY(capi->Registered());

        TfmCapiInfo w(*capi);
        QCOMPARE(texts(w), QStringList({"unbekannt", "unbekannt", "unbekannt"}));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Information zur ISDN-Karte / CAPI"));
        QCOMPARE(texts(w), QStringList({manufacturer, QStringLiteral("2.0 / 3.12"), serial}));
        QCOMPARE(pictures(w), shown);
        QVERIFY(!child<QLabel>(&w, "lbConnection")->isVisible());
        QVERIFY(child<QPushButton>(&w, "CloseBtn")->hasFocus());
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
    }

    // The library keeps answering after the server went away (libcapi20's remote driver answers
    // with built-in values); the window must not pass those off as the server's.
    void lostRemoteConnectionIsShownNotStaleValues()
    {
        fake->setInfo("AVM Berlin", "000001A", std::array<unsigned, 4>{2, 0, 0, 5}.data());
        capi->Loaded();
        QVERIFY(capi->Registered());

        TfmCapiInfo open(*capi);
        open.show();
        QCOMPARE(child<QLabel>(&open, "lbHerst")->text(), QStringLiteral("AVM Berlin"));
        QCOMPARE(pictures(open), QStringLiteral("x.x"));
        fake->loseConnection();
        QTRY_VERIFY(child<QLabel>(&open, "lbConnection")->isVisible());
        QCOMPARE(child<QLabel>(&open, "lbConnection")->text(),
                 QStringLiteral("Verbindung zum CAPI-Server 127.0.0.1:5031 verloren"));
        QCOMPARE(texts(open), QStringList({"unbekannt", "unbekannt", "unbekannt"}));
        QCOMPARE(pictures(open), QStringLiteral("..."));

        TfmCapiInfo later(*capi);
        later.show();
        QVERIFY(child<QLabel>(&later, "lbConnection")->isVisible());
        QCOMPARE(texts(later), QStringList({"unbekannt", "unbekannt", "unbekannt"}));

        // Registered again: the server's values are its own again.
        capi->RegisterApplication();
        QVERIFY(capi->Registered());
        TfmCapiInfo again(*capi);
        again.show();
        QVERIFY(!child<QLabel>(&again, "lbConnection")->isVisible());
        QCOMPARE(child<QLabel>(&again, "lbHerst")->text(), QStringLiteral("AVM Berlin"));
        QTest::mouseClick(child<QPushButton>(&again, "CloseBtn"), Qt::LeftButton);
        QVERIFY(!again.isVisible());
    }
};

QTEST_MAIN(TestCapiInfoWindow)
#include "TestCapiInfoDialog.moc"
