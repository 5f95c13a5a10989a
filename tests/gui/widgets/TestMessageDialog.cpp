// The message dialog: captions and results per kind, growth for long texts, and the hooks.
#include "support/WindowTest.h"
#include "widgets/MessageDialog.h"
#include "widgets/MessageDialogForm.h"
#include "widgets/StandardDialogs.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

class TestMsgDlg : public QObject
{
    Q_OBJECT

private:
    // Runs `answer` on the modal dialog as soon as it is shown.
    static void whenModalShows(std::function<void(TfmMsgDlg *)> answer)
    {
        auto *timer = new QTimer;
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, answer] {
            if (auto *dlg = qobject_cast<TfmMsgDlg *>(QApplication::activeModalWidget())) {
                timer->stop();
                timer->deleteLater();
                answer(dlg);
            }
        });
        timer->start();
    }

private slots:
    void captionsPerKind_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::newRow("0") << 0 << "&Nein"
                           << "&Ja";
        QTest::newRow("1") << 1 << "&Abbrechen"
                           << "&Weiter";
        QTest::newRow("2") << 2 << QString() << "&Weiter";
        QTest::newRow("3") << 3 << "&Weiter"
                           << "&Ignorieren";
    }
    void captionsPerKind()
    {
        QFETCH(int, kind);
        QFETCH(QString, left);
        QFETCH(QString, right);
        TfmMsgDlg dlg(QStringLiteral("Frage"), kind);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Mitteilung"));
        QCOMPARE(child<QPushButton>(&dlg, "MsgBtn2")->text(), right);
        QCOMPARE(child<QPushButton>(&dlg, "MsgBtn1")->isVisible(), !left.isEmpty());
        if (!left.isEmpty())
            QCOMPARE(child<QPushButton>(&dlg, "MsgBtn1")->text(), left);
        QVERIFY(child<QPushButton>(&dlg, "MsgBtn2")->hasFocus());
    }

    // The real modal dialog through AskMessageDlg: right button true, left button, Escape and
    // close box false.
    void resultsThroughModalDialog()
    {
        whenModalShows(
            [](TfmMsgDlg *dlg) { QTest::mouseClick(child<QPushButton>(dlg, "MsgBtn2"), Qt::LeftButton); });
        QVERIFY(AskMessageDlg(QStringLiteral("Ignorieren?"), 3));

        whenModalShows([](TfmMsgDlg *dlg) {
            QCOMPARE(child<QPushButton>(dlg, "MsgBtn1")->text(), QStringLiteral("&Weiter"));
            QTest::mouseClick(child<QPushButton>(dlg, "MsgBtn1"), Qt::LeftButton);
        });
        QVERIFY(!AskMessageDlg(QStringLiteral("Ignorieren?"), 3));

        whenModalShows([](TfmMsgDlg *dlg) { QTest::keyClick(dlg, Qt::Key_Escape); });
        QVERIFY(!AskMessageDlg(QStringLiteral("Löschen?"), 0));

        whenModalShows([](TfmMsgDlg *dlg) { dlg->close(); });
        QVERIFY(!AskMessageDlg(QStringLiteral("Löschen?"), 0));

        // Return presses the focused right-hand button.
        whenModalShows([](TfmMsgDlg *dlg) { QTest::keyClick(dlg, Qt::Key_Return); });
        QVERIFY(AskMessageDlg(QStringLiteral("Löschen?"), 0));

        bool shown = false;
        whenModalShows([&shown](TfmMsgDlg *dlg) {
            shown = true;
            QVERIFY(child<QPushButton>(dlg, "MsgBtn1")->isHidden());
            QTest::mouseClick(child<QPushButton>(dlg, "MsgBtn2"), Qt::LeftButton);
        });
        ShowMessageDlg(QStringLiteral("Capi20 nicht installiert !"));
        QVERIFY(shown);
    }

    void shortTextKeepsDesignSize()
    {
        TfmMsgDlg dlg(QStringLiteral("Kurz & gut"), 2);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.size(), QSize(256, 142));
        QCOMPARE(child<QPushButton>(&dlg, "MsgBtn2")->geometry(), QRect(180, 110, 65, 25));
        QCOMPARE(child<QFrame>(&dlg, "Bevel1")->geometry().top(), 96);
        QCOMPARE(child<QLabel>(&dlg, "MsgLabel")->text(), QStringLiteral("Kurz & gut")); // "&" stays literal
    }

    // A long text grows the dialog by exactly the extra height and moves separator and buttons
    // with it; the label is high enough for every line.
    void longTextGrowsDialog()
    {
        QString text;
        for (int i = 0; i < 30; ++i)
            text += QStringLiteral("Wort%1 ").arg(i);
        text += QStringLiteral("\rletzte Zeile");
        TfmMsgDlg dlg(text, 1);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const QRect needed = child<QLabel>(&dlg, "MsgLabel")
                                 ->fontMetrics()
                                 .boundingRect(QRect(0, 0, 196, 81), Qt::TextWordWrap,
                                               child<QLabel>(&dlg, "MsgLabel")->text());
        QVERIFY(needed.height() > 81);
        const int dy = needed.height() - 81;
        QCOMPARE(dlg.height(), 142 + dy);
        QCOMPARE(child<QPushButton>(&dlg, "MsgBtn1")->geometry(), QRect(108, 110 + dy, 65, 25));
        QCOMPARE(child<QPushButton>(&dlg, "MsgBtn2")->geometry(), QRect(180, 110 + dy, 65, 25));
        QCOMPARE(child<QFrame>(&dlg, "Bevel1")->y(), 96 + dy);
        QVERIFY(child<QLabel>(&dlg, "MsgLabel")->height() >= needed.height());
        QVERIFY(child<QLabel>(&dlg, "MsgLabel")->geometry().bottom() < child<QFrame>(&dlg, "Bevel1")->y());
        // the carriage return became a line break
        QVERIFY(child<QLabel>(&dlg, "MsgLabel")->text().endsWith(QStringLiteral("\nletzte Zeile")));
    }

    // A path without spaces wider than the text room is shown whole: the dialog widens.
    void longWordWidensDialog()
    {
        const QString path =
            QStringLiteral("/home/benutzer/") + QString(60, QLatin1Char('x')) + QStringLiteral(".wav");
        TfmMsgDlg dlg(path, 2);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        // the line may break after a "/", never inside the file name
        const QString name = QString(60, QLatin1Char('x')) + QStringLiteral(".wav");
        QVERIFY(child<QLabel>(&dlg, "MsgLabel")->width() >=
                child<QLabel>(&dlg, "MsgLabel")->fontMetrics().horizontalAdvance(name));
        QVERIFY(child<QPushButton>(&dlg, "MsgBtn2")->geometry().right() < dlg.width());
        QVERIFY(dlg.width() > 256);
    }

    // A word wider than the screen (a pasted link, a long path without a "/") is wrapped inside
    // the screen's width, every character still shown, and the dialog grows downwards instead.
    void wordWiderThanTheScreenIsWrapped()
    {
        const QString word = QString(400, QLatin1Char('x'));
        TfmMsgDlg dlg(QStringLiteral("Datei ") + word + QStringLiteral(" fehlt"), 2);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        const int screenWidth = dlg.screen()->availableGeometry().width();
        QVERIFY(child<QLabel>(&dlg, "MsgLabel")->fontMetrics().horizontalAdvance(word) > screenWidth);
        QVERIFY2(dlg.width() <= screenWidth, qPrintable(QString::number(dlg.width())));
        QVERIFY(dlg.width() > 256);
        QString shown = child<QLabel>(&dlg, "MsgLabel")->text();
        shown.remove(QChar(0x200B));
        QCOMPARE(shown, QStringLiteral("Datei ") + word + QStringLiteral(" fehlt"));
        // The label is tall enough for the wrapped lines as it draws them, above the buttons.
        const QRect drawn = child<QLabel>(&dlg, "MsgLabel")
                                ->fontMetrics()
                                .boundingRect(QRect(0, 0, child<QLabel>(&dlg, "MsgLabel")->width(), 100000),
                                              Qt::TextWordWrap, child<QLabel>(&dlg, "MsgLabel")->text());
        QVERIFY(drawn.width() <= child<QLabel>(&dlg, "MsgLabel")->width());
        QVERIFY(drawn.height() >= 3 * child<QLabel>(&dlg, "MsgLabel")->fontMetrics().lineSpacing());
        QVERIFY(child<QLabel>(&dlg, "MsgLabel")->height() >= drawn.height());
        QVERIFY(child<QLabel>(&dlg, "MsgLabel")->geometry().bottom() < child<QFrame>(&dlg, "Bevel1")->y());
        QVERIFY(child<QPushButton>(&dlg, "MsgBtn2")->geometry().right() < dlg.width());
        QVERIFY(child<QPushButton>(&dlg, "MsgBtn2")->geometry().bottom() < dlg.height());
    }

    void hookAnswersWithoutDialog()
    {
        QStringList seen;
        MsgDlgHook::setHandler([&seen](const QString &text, int kind) {
            seen << QStringLiteral("%1:%2").arg(kind).arg(text);
            return kind == 0;
        });
        QVERIFY(AskMessageDlg(QStringLiteral("a"), 0));
        QVERIFY(!AskMessageDlg(QStringLiteral("b"), 1));
        ShowMessageDlg(QStringLiteral("c"));
        MsgDlgHook::setHandler({});
        QCOMPARE(seen, QStringList({QStringLiteral("0:a"), QStringLiteral("1:b"), QStringLiteral("2:c")}));
    }

    void chooserHookAndFilters()
    {
        QCOMPARE(qtFileFilter(QStringLiteral("Wavedateien|*.wav")), QStringLiteral("Wavedateien (*.wav)"));
        QCOMPARE(qtFileFilter(QStringLiteral("Bilder|*.bmp;*.png|Alle|*.*")),
                 QStringLiteral("Bilder (*.bmp *.png);;Alle (*.*)"));
        QList<DialogHook::Kind> kinds;
        DialogHook::setHandler([&kinds](const DialogHook::Request &r) -> QVariant {
            kinds << r.kind;
            if (r.kind == DialogHook::Kind::Color)
                return QColor(Qt::red);
            if (r.kind == DialogHook::Kind::Directory)
                return QVariant(); // cancelled
            return r.initialDir + QStringLiteral("a.wav");
        });
        QCOMPARE(
            ChooseOpenFile(nullptr, QStringLiteral("t"), QStringLiteral("W|*.wav"), QStringLiteral("/x/")),
            QStringLiteral("/x/a.wav"));
        QCOMPARE(ChooseDirectory(nullptr, QStringLiteral("t"), QStringLiteral("/x/")), QString());
        QCOMPARE(ChooseColor(nullptr, Qt::blue), QColor(Qt::red));
        DialogHook::setHandler({});
        QCOMPARE(kinds, QList<DialogHook::Kind>({DialogHook::Kind::OpenFile, DialogHook::Kind::Directory,
                                                 DialogHook::Kind::Color}));
    }
};

QTEST_MAIN(TestMsgDlg)
#include "TestMessageDialog.moc"
