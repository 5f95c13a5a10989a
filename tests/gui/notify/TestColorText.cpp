#include "notify/ColorText.h"

#include <QApplication>
#include <QPalette>
#include <QTest>

using namespace ColorText;

class TestColorText : public QObject
{
    Q_OBJECT

private slots:
    void readsNamesInAnyCase_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("value");
        QTest::newRow("canonical") << "clYellow" << 0x0000FFFFu;
        QTest::newRow("lower") << "clyellow" << 0x0000FFFFu;
        QTest::newRow("upper") << "CLNAVY" << 0x00800000u;
        QTest::newRow("system") << "clbtnface" << 0x8000000Fu;
        QTest::newRow("first system") << "clScrollBar" << 0x80000000u;
        QTest::newRow("last system") << "CLINFOBK" << 0x80000018u;
        QTest::newRow("digit in name") << "cl3ddkshadow" << 0x80000015u;
        QTest::newRow("none") << "clnone" << 0x1FFFFFFFu;
        QTest::newRow("hex lower") << "$00adad5c" << 0x00ADAD5Cu;
        QTest::newRow("hex upper") << "$00ADAD5C" << 0x00ADAD5Cu;
        QTest::newRow("hex system") << "$80000005" << 0x80000005u;
    }
    void readsNamesInAnyCase()
    {
        QFETCH(QString, text);
        QFETCH(uint, value);
        const std::optional<ColorValue> color = toColor(text);
        QVERIFY(color.has_value());
        QCOMPARE(*color, value);
    }

    void rejectsWhatIsNoColour_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("plain word") << "yellow";
        QTest::newRow("unknown name") << "clOrange";
        QTest::newRow("blank around") << " clRed";
        QTest::newRow("seven digits") << "$00adad5";
        QTest::newRow("nine digits") << "$00adad5cc";
        QTest::newRow("not hex") << "$00adad5g";
        QTest::newRow("html form") << "#ffff00";
        QTest::newRow("decimal") << "65535";
        QTest::newRow("dollar only") << "$";
    }
    void rejectsWhatIsNoColour()
    {
        QFETCH(QString, text);
        QVERIFY(!toColor(text).has_value());
    }

    void writesHexWhenThereIsNoName()
    {
        QCOMPARE(toText(0x00ADAD5C), QStringLiteral("$00adad5c"));
        QCOMPARE(toText(0x80000019), QStringLiteral("$80000019")); // past the last system colour
    }

    void everyNameReadsBackAsItself()
    {
        const QStringList names = {
            "clBlack",        "clMaroon",      "clGreen",         "clOlive",
            "clNavy",         "clPurple",      "clTeal",          "clGray",
            "clSilver",       "clRed",         "clLime",          "clYellow",
            "clBlue",         "clFuchsia",     "clAqua",          "clWhite",
            "clScrollBar",    "clBackground",  "clActiveCaption", "clInactiveCaption",
            "clMenu",         "clWindow",      "clWindowFrame",   "clMenuText",
            "clWindowText",   "clCaptionText", "clActiveBorder",  "clInactiveBorder",
            "clAppWorkSpace", "clHighlight",   "clHighlightText", "clBtnFace",
            "clBtnShadow",    "clGrayText",    "clBtnText",       "clInactiveCaptionText",
            "clBtnHighlight", "cl3DDkShadow",  "cl3DLight",       "clInfoText",
            "clInfoBk",       "clNone"};
        QCOMPARE(names.size(), 42);
        QSet<ColorValue> values;
        for (const QString &name : names) {
            const std::optional<ColorValue> value = toColor(name.toLower());
            QVERIFY2(value.has_value(), qPrintable(name));
            QCOMPARE(toText(*value), name);
            values.insert(*value);
        }
        QCOMPARE(values.size(), 42);
        for (uint i = 0; i <= 24; ++i)
            QVERIFY(values.contains(0x80000000u + i));
    }

    void plainColoursAreBlueGreenRed()
    {
        QCOMPARE(toQColor(0x000000FF), QColor(255, 0, 0));
        QCOMPARE(toQColor(0x00FF0000), QColor(0, 0, 255));
        QCOMPARE(toQColor(*toColor("$00adad5c")), QColor(0x5c, 0xad, 0xad));
        QCOMPARE(fromQColor(QColor(0x5c, 0xad, 0xad)), ColorValue(0x00ADAD5C));
        QCOMPARE(toText(fromQColor(QColor(255, 255, 0))), QStringLiteral("clYellow"));
        QCOMPARE(toQColor(clNone).alpha(), 0);
    }

    void systemColoursFollowThePalette()
    {
        const QPalette saved = QGuiApplication::palette();
        QPalette palette = saved;
        palette.setColor(QPalette::Active, QPalette::Button, QColor(1, 2, 3));
        palette.setColor(QPalette::Active, QPalette::ToolTipBase, QColor(4, 5, 6));
        palette.setColor(QPalette::Active, QPalette::Highlight, QColor(7, 8, 9));
        QApplication::setPalette(palette);
        QCOMPARE(toQColor(clBtnFace), QColor(1, 2, 3));
        QCOMPARE(resolve(QStringLiteral("clinfobk"), clBlack), QColor(4, 5, 6));
        QCOMPARE(resolve(QStringLiteral("clHighlight"), clBlack), QColor(7, 8, 9));

        palette.setColor(QPalette::Active, QPalette::Button, QColor(10, 20, 30));
        QApplication::setPalette(palette);
        QCOMPARE(toQColor(clBtnFace), QColor(10, 20, 30));
        QApplication::setPalette(saved);
    }

    void resolveFallsBackForNoColour()
    {
        QCOMPARE(resolve(QString(), clYellow), QColor(255, 255, 0));
        QCOMPARE(resolve(QStringLiteral("gelb"), clYellow), QColor(255, 255, 0));
        QCOMPARE(resolve(QStringLiteral("CLRED"), clYellow), QColor(255, 0, 0));
    }
};

QTEST_MAIN(TestColorText)
#include "TestColorText.moc"
