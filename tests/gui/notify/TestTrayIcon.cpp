// The notification-area icon: what reaches the platform when, and which clicks become which events.
#include "notify/TrayIcon.h"
#include "widgets/Icons.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QtTest>

class TestTrayIcon : public QObject
{
    Q_OBJECT
    // The test stands in for the desktop: whether it has a notification area.
    bool area = true;

private slots:
    void initTestCase()
    {
        TTrayIcon::setAvailabilityProbe([this] { return area; });
    }
    void init() { area = true; }

    void activationAddsOnceAndRemovesOnce()
    {
        TTrayIcon tray;
        tray.setIcon(Icons::trayIcon());
        QVERIFY(!tray.Active());
        QVERIFY(!tray.platformIcon());

        tray.setActive(false); // already inactive: nothing is sent
        QCOMPARE(tray.stats().deletes, 0);

        tray.setActive(true);
        tray.setActive(true);
        QCOMPARE(tray.stats().adds, 1);
        QVERIFY(tray.platformIcon());

        tray.setActive(false);
        tray.setActive(false);
        QCOMPARE(tray.stats().deletes, 1);
        QVERIFY(!tray.platformIcon());
    }

    void changesWhileInactiveShowFromNextActivation()
    {
        TTrayIcon tray;
        tray.setToolTip(QStringLiteral("Rufwart 32"));
        tray.setIcon(Icons::trayIcon());
        QCOMPARE(tray.stats().modifies, 0);
        QCOMPARE(tray.stats().adds, 0);

        tray.setActive(true);
        QCOMPARE(tray.platformIcon()->toolTip(), QStringLiteral("Rufwart 32"));
        QCOMPARE(tray.platformIcon()->icon().cacheKey(), Icons::trayIcon().cacheKey());

        // while active every change is shown at once ...
        tray.setToolTip(QStringLiteral("Datenübertragung"));
        QCOMPARE(tray.platformIcon()->toolTip(), QStringLiteral("Datenübertragung"));
        tray.setIcon(Icons::sendIcon());
        QCOMPARE(tray.platformIcon()->icon().cacheKey(), Icons::sendIcon().cacheKey());
        QCOMPARE(tray.stats().modifies, 2);
        // ... an unchanged value sends nothing
        tray.setToolTip(QStringLiteral("Datenübertragung"));
        tray.setIcon(Icons::sendIcon());
        QCOMPARE(tray.stats().modifies, 2);

        // while inactive nothing is sent; the next activation shows the new values
        tray.setActive(false);
        tray.setToolTip(QStringLiteral("neu"));
        tray.setIcon(Icons::receiveIcon());
        QCOMPARE(tray.stats().modifies, 2);
        tray.setActive(true);
        QCOMPARE(tray.platformIcon()->toolTip(), QStringLiteral("neu"));
        QCOMPARE(tray.platformIcon()->icon().cacheKey(), Icons::receiveIcon().cacheKey());
        QCOMPARE(tray.stats().adds, 2);
    }

    void clicksBecomeEvents()
    {
        TTrayIcon tray;
        tray.setIcon(Icons::trayIcon());
        QStringList seen;
        tray.OnClick = [&](TTrayIcon *sender) {
            QCOMPARE(sender, &tray);
            seen << QStringLiteral("click");
        };
        tray.OnDblClick = [&](TTrayIcon *) { seen << QStringLiteral("dbl"); };
        tray.OnRightClick = [&](TTrayIcon *, Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint) {
            QCOMPARE(button, Qt::RightButton);
            QCOMPARE(shift, Qt::NoModifier);
            seen << QStringLiteral("right");
        };
        tray.setActive(true);
        QSystemTrayIcon *icon = tray.platformIcon();
        emit icon->activated(QSystemTrayIcon::Trigger);
        emit icon->activated(QSystemTrayIcon::DoubleClick);
        emit icon->activated(QSystemTrayIcon::Context);
        emit icon->activated(QSystemTrayIcon::MiddleClick); // ignored
        QCOMPARE(seen,
                 QStringList({QStringLiteral("click"), QStringLiteral("dbl"), QStringLiteral("right")}));

        // events without a handler do nothing
        TTrayIcon bare;
        bare.setIcon(Icons::connectIcon());
        bare.setActive(true);
        emit bare.platformIcon()->activated(QSystemTrayIcon::Trigger);
        emit bare.platformIcon()->activated(QSystemTrayIcon::Context);
    }

    void popupMenuReachesPlatform()
    {
        QMenu menu;
        TTrayIcon tray;
        tray.setIcon(Icons::trayIcon());
        tray.setPopupMenu(&menu);
        tray.setActive(true);
        QCOMPARE(tray.platformIcon()->contextMenu(), &menu);
    }

    // Without a notification area nothing reaches the platform (Qt would warn about the missing
    // area), yet the icon works on; an activation once an area is there adds it with its values.
    void worksWithoutNotificationArea()
    {
        area = false;
        TTrayIcon tray;
        tray.setIcon(Icons::trayIcon());
        tray.setActive(true);
        tray.setToolTip(QStringLiteral("x"));
        QVERIFY(tray.Active());
        QVERIFY(!tray.platformIcon());
        tray.setActive(false);
        QCOMPARE(tray.stats().adds, 0);
        QCOMPARE(tray.stats().deletes, 0);

        area = true;
        tray.setActive(true);
        QVERIFY(tray.platformIcon());
        QCOMPARE(tray.platformIcon()->toolTip(), QStringLiteral("x"));
    }

    // Our icons exist at the tray sizes and are not blank.
    void iconsDrawnAtTraySizes()
    {
        for (const QIcon &icon :
             {Icons::trayIcon(), Icons::connectIcon(), Icons::sendIcon(), Icons::receiveIcon()}) {
            for (int size : {16, 22}) {
                const QImage image = icon.pixmap(size, size).toImage();
                QCOMPARE(image.size(), QSize(size, size));
                int opaque = 0;
                for (int y = 0; y < size; ++y)
                    for (int x = 0; x < size; ++x)
                        opaque += qAlpha(image.pixel(x, y)) > 128;
                QVERIFY2(opaque > size * size / 3, "icon is mostly empty");
            }
        }
    }
};

QTEST_MAIN(TestTrayIcon)
#include "TestTrayIcon.moc"
