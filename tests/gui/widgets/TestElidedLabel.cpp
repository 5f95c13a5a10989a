// The shortening label: what it draws in a narrow place, what it keeps, and how it lets a layout
// of fixed width share the room with its neighbours.
#include "widgets/ElidedLabel.h"

#include <QHBoxLayout>
#include <QTest>

class TestElidedLabel : public QObject
{
    Q_OBJECT
private slots:
    void longTextsShortenInTheMiddleAndStayWhole()
    {
        TElidedLabel label;
        const QString path = QStringLiteral("Sende /tmp/dfu-acc/srv/send/bericht.pdf ( 44 % erledigt )");
        label.setText(path);
        label.resize(label.fontMetrics().horizontalAdvance(path) * 3 / 4, 20);
        QCOMPARE(label.text(), path);
        QVERIFY(label.isElided());
        const QString shown = label.displayedText();
        QVERIFY(shown.contains(QChar(0x2026)));
        // The folders give way; the words around the path and the file name stay.
        QVERIFY(shown.startsWith(QStringLiteral("Sende /")));
        QVERIFY(shown.endsWith(QStringLiteral("/bericht.pdf ( 44 % erledigt )")));
        QVERIFY(label.fontMetrics().horizontalAdvance(shown) <= label.contentsRect().width());

        // Too narrow even for the file name: the whole line is shortened in its middle.
        label.resize(label.fontMetrics().horizontalAdvance(QStringLiteral("Sende ( 44 % erledigt )")), 20);
        QVERIFY(label.displayedText().contains(QChar(0x2026)));
        QVERIFY(label.fontMetrics().horizontalAdvance(label.displayedText()) <= label.contentsRect().width());
        label.setText(QStringLiteral("Empfange einsehrlangerdateiname_ohne_ordner.pdf ..."));
        QVERIFY(label.displayedText().startsWith(QStringLiteral("Emp")));
        QVERIFY(label.displayedText().endsWith(QStringLiteral("...")));
        label.setText(path);

        // Wide enough: drawn as it is.
        label.resize(label.fontMetrics().horizontalAdvance(path) + 10, 20);
        QVERIFY(!label.isElided());
        QCOMPARE(label.displayedText(), path);

        // A frame takes its share of the width.
        label.setFrameShape(QFrame::StyledPanel);
        label.resize(label.fontMetrics().horizontalAdvance(path), 20);
        QVERIFY(label.isElided());
    }

    void aFixedWidthRowKeepsItsNeighboursApart()
    {
        QWidget row;
        auto *layout = new QHBoxLayout(&row);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(6);
        auto *progress = new TElidedLabel;
        progress->setText(QStringLiteral("Empfange einsehrlangerdateiname_mit_vielen_zeichen.pdf ..."));
        auto *rate = new QLabel(QStringLiteral("Bytes / Sek. :  7992"));
        layout->addWidget(progress);
        layout->addStretch();
        layout->addWidget(rate);
        row.setFixedWidth(240);
        row.show();
        QVERIFY(QTest::qWaitForWindowExposed(&row));
        QVERIFY(progress->geometry().right() < rate->x());
        QCOMPARE(rate->width(), rate->sizeHint().width());
        QVERIFY(progress->isElided());

        // Text that fits again takes only its own width.
        progress->setText(QStringLiteral("0 %"));
        QTRY_COMPARE(progress->width(), progress->sizeHint().width());
        QVERIFY(!progress->isElided());
    }
};

QTEST_MAIN(TestElidedLabel)
#include "TestElidedLabel.moc"
