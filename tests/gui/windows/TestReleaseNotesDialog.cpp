// The release notes window: lines from code page 850, each shown whole, the messages for a
// missing or an unreadable file, and the shipped readme.txt.
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "widgets/MessageDialog.h"
#include "windows/ReleaseNotesDialog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTimer>
#include <QtTest>
#include <memory>

class TestReadmeWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    QStringList messages;

    QString writeNotes(const QByteArray &bytes, const QString &name = QStringLiteral("readme.txt"))
    {
        const QString path = env->root() + QLatin1Char('/') + name;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    // Runs ShowReadme; a window it opens is noted and closed.
    bool showReadmeOpensWindow(const QString &path)
    {
        bool opened = false;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                opened = true;
                modal->close();
            }
        });
        closer.start(10);
        ShowReadme(nullptr, path);
        return opened;
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        messages.clear();
        MsgDlgHook::setHandler([this](const QString &text, int) {
            messages << text;
            return false;
        });
    }
    void cleanup()
    {
        MsgDlgHook::setHandler({});
        env.reset();
    }

    void showsLinesOfCodePage850Whole_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty file") << QByteArray() << QString();
        QTest::newRow("umlauts") << QByteArray("Gr\x81\xe1"
                                               "e aus M\x81nchen: \x84\x94\x81 \x8e\x99\x9a\r\n")
                                 << QStringLiteral("Grüße aus München: äöü ÄÖÜ");
        const QByteArray longLine = QByteArray(200, 'a') + QByteArray(100, 'b') + "\x81";
        QTest::newRow("300 characters") << longLine + "\r\nzweite Zeile"
                                        << QString::fromLatin1(QByteArray(200, 'a') + QByteArray(100, 'b')) +
                                               QStringLiteral("ü\nzweite Zeile");
        QTest::newRow("LF, CR LF and empty lines")
            << QByteArray("eins\r\nzwei\n\n\r\nf\x81nf") << QStringLiteral("eins\nzwei\n\n\nfünf");
        QTest::newRow("DOS end mark") << QByteArray("Ende\r\n\x1a"
                                                    "Rest ohne Text")
                                      << QStringLiteral("Ende");
    }
    void showsLinesOfCodePage850Whole()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        TfmReadme w;
        QVERIFY(w.LoadFile(writeNotes(bytes)));
        QCOMPARE(child<QPlainTextEdit>(&w, "Memo")->toPlainText(), text);
        QVERIFY(messages.isEmpty());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Hinweise / Release Information"));
        QVERIFY(child<QPlainTextEdit>(&w, "Memo")->isReadOnly());
        QTest::keyClick(&w, Qt::Key_Escape);
        QVERIFY(!w.isVisible());
    }

    void missingOrUnreadableNotesGiveMessageOnly()
    {
        const QString missing = env->root() + QStringLiteral("/nowhere/readme.txt");
        QVERIFY(!showReadmeOpensWindow(missing));
        QCOMPARE(messages, QStringList{QStringLiteral("Keine Hinweise vorhanden ...")});

        // A name that exists but cannot be read as a file.
        messages.clear();
        const QString folder = env->root() + QStringLiteral("/readme.txt");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(!showReadmeOpensWindow(folder));
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith(folder + QStringLiteral(" kann nicht gelesen werden")),
                 qPrintable(messages[0]));

        messages.clear();
        QVERIFY(showReadmeOpensWindow(writeNotes("Hinweise\r\n", QStringLiteral("hinweise.txt"))));
        QVERIFY(messages.isEmpty());
    }

    // The shipped notes are found beside the executable and are stored in code page 850: the same
    // text saved as UTF-8 would show "├╝" for every "ü".
    void shippedNotesAreCodePage850()
    {
        TfmReadme w;
        QVERIFY2(w.LoadFile(ReadmePath()), qPrintable(ReadmePath()));
        const QString text = child<QPlainTextEdit>(&w, "Memo")->toPlainText();
        QVERIFY(text.contains(QStringLiteral("Rufwart 32")));
        QVERIFY(text.contains(QStringLiteral("ü")));
        QVERIFY(!text.contains(QStringLiteral("├")));
    }
};

QTEST_MAIN(TestReadmeWindow)
#include "TestReleaseNotesDialog.moc"
