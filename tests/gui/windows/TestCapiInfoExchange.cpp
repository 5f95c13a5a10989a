// The CAPI information window through the real libcapi20 against the virtual exchange: what the
// library answers over TCP, the exchange vanishing while the window is open (the library keeps
// answering with its built-in values, which must not show), and no CAPI reachable after that.
// One exchange per executable: libcapi20 keeps one remote selection per process.
#include "capi/Capi20b.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "windows/CapiInfoDialog.h"

#include "SimProcess.h"

#include <QLabel>
#include <QtTest>
#include <csignal>
#include <memory>

class TestCapiInfoExchange : public QObject
{
    Q_OBJECT

    isdnsim::SimProcess sim;

    static QStringList texts(TfmCapiInfo &w)
    {
        return {child<QLabel>(&w, "lbHerst")->text(), child<QLabel>(&w, "lbVersion")->text(),
                child<QLabel>(&w, "lbSerNum")->text()};
    }
    static QString pictures(TfmCapiInfo &w)
    {
        QString s;
        for (const QLabel *picture :
             {child<QLabel>(&w, "Image2"), child<QLabel>(&w, "Image3"), child<QLabel>(&w, "Image4")})
            s += picture->isVisible() ? QLatin1Char('x') : QLatin1Char('.');
        return s;
    }

private slots:
    void exchangeValuesThenLostThenNoCapi()
    {
        TestEnv env;
        std::string error;
        QVERIFY2(sim.start(ISDNSIM_EXE, {"--die-with-parent"}, &error), error.c_str());
        const QString server = QStringLiteral("127.0.0.1:%1").arg(sim.port());
        TCustomCapi20 capi;
        capi.SetRemoteCapi(server);
        capi.Loaded();
        QVERIFY(capi.Registered());

        // The library's remote driver answers these itself (nothing crosses the wire for them).
        TfmCapiInfo w(capi);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(texts(w), QStringList({"AVM Berlin", "2.0 / 0.5", "0004711"}));
        QCOMPARE(pictures(w), QStringLiteral("..x"));
        QVERIFY(!child<QLabel>(&w, "lbConnection")->isVisible());

        sim.kill(SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>(&w, "lbConnection")->isVisible(), 20000);
        QCOMPARE(child<QLabel>(&w, "lbConnection")->text(),
                 QStringLiteral("Verbindung zum CAPI-Server %1 verloren").arg(server));
        QCOMPARE(texts(w), QStringList({"unbekannt", "unbekannt", "unbekannt"}));
        QCOMPARE(pictures(w), QStringLiteral("..."));

        // A new registration finds no server: no CAPI, shown as the driver reports it.
        capi.RegisterApplication();
        QVERIFY(!capi.Registered());
        TfmCapiInfo none(capi);
        none.show();
        QCOMPARE(texts(none), QStringList({QString(), QStringLiteral("0.0 / 0.0"), QString()}));
        QCOMPARE(pictures(none), QStringLiteral("..."));
        QVERIFY(!child<QLabel>(&none, "lbConnection")->isVisible());
    }
};

QTEST_MAIN(TestCapiInfoExchange)
#include "TestCapiInfoExchange.moc"
