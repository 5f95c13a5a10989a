// One language per screen: German, the language the texts are written in, or English from the
// built-in translation, chosen by the "Sprache" setting or else the desktop's locale; Qt's own
// buttons follow.
#include "calls/CallerDirectory.h"
#include "common/Paths.h"
#include "mainwindow/MainWindow.h"
#include "platform/Language.h"
#include "settings/SettingsStore.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "widgets/MessageDialog.h"
#include "widgets/MessageDialogForm.h"
#include "windows/CallerListDialog.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>
#include <QTest>

class TestMainLanguage : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void settingBeforeLocale()
    {
        QCOMPARE(Language::Chosen(QString(), QLocale(QStringLiteral("de_AT"))), QStringLiteral("de"));
        QCOMPARE(Language::Chosen(QString(), QLocale(QStringLiteral("fr_FR"))), QStringLiteral("en"));
        QCOMPARE(Language::Chosen(QStringLiteral("en"), QLocale(QStringLiteral("de_DE"))),
                 QStringLiteral("en"));
        QCOMPARE(Language::Chosen(QStringLiteral(" DE "), QLocale(QStringLiteral("en_US"))),
                 QStringLiteral("de"));
        // A value the program did not write counts as no choice.
        QCOMPARE(Language::Chosen(QStringLiteral("fr"), QLocale(QStringLiteral("de_CH"))),
                 QStringLiteral("de"));

        // The options page writes the choice; the next start reads it.
        WriteSettingString(QStringLiteral("ISDN_UseExtern"), QStringLiteral("0"));
        TfmMain w;
        w.FormShow();
        auto *language = child<QComboBox>(&w, "OptLanguage");
        QCOMPARE(language->currentIndex(), 0);
        language->setCurrentIndex(2);
        QCOMPARE(Language::FromSettings(), QStringLiteral("en"));
        language->setCurrentIndex(1);
        QCOMPARE(Language::FromSettings(), QStringLiteral("de"));
    }

    void windowsInBothLanguages_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("texts");
        // Menu entry, options box, status line, caller list title, its button and column, the hint
        // it shows, the message's title and button, Qt's own "Cancel".
        QTest::newRow("de") << QStringLiteral("de")
                            << QStringList{
                                   QStringLiteral("Anruferübersicht"),
                                   QStringLiteral("Anrufe ignorieren"),
                                   QStringLiteral("Autom. Anruferkennung deaktiviert ..."),
                                   QStringLiteral("Anrufer"),
                                   QStringLiteral("&Hinweis"),
                                   QStringLiteral("Gesperrt"),
                                   QStringLiteral("Um einen Anrufer zu sperren,\rfügen Sie ein \"X\" in "
                                                  "die\rSpalte \"Gesperrt\" ein !"),
                                   QStringLiteral("Mitteilung"),
                                   QStringLiteral("&Ja"),
                                   QStringLiteral("Abbrechen")};
        QTest::newRow("en") << QStringLiteral("en")
                            << QStringList{QStringLiteral("Caller list"),
                                           QStringLiteral("Ignore calls"),
                                           QStringLiteral("Autom. caller identification off ..."),
                                           QStringLiteral("Callers"),
                                           QStringLiteral("&Hint"),
                                           QStringLiteral("Blocked"),
                                           QStringLiteral("To block a caller,\rput an \"X\" into the\rcolumn "
                                                          "\"Blocked\" !"),
                                           QStringLiteral("Message"),
                                           QStringLiteral("&Yes"),
                                           QStringLiteral("Cancel")};
    }
    void windowsInBothLanguages()
    {
        QFETCH(QString, language);
        QFETCH(QStringList, texts);
        Language::Install(language);
        WriteSettingString(QStringLiteral("ISDN_UseExtern"), QStringLiteral("0"));
        QStringList shown;

        TfmMain w;
        w.FormShow();
        shown << child<QAction>(&w, "mnuEdit")->text() << child<QCheckBox>(&w, "IsdnIgnore")->text();
        QTRY_VERIFY(!child<QLabel>(&w, "ISDNBar")->text().isEmpty());
        // Without a notification area a note follows in parentheses.
        shown << child<QLabel>(&w, "ISDNBar")->text().section(QStringLiteral(" ("), 0, 0);

        CallerDirectory callers(Paths::dataDir() + QStringLiteral("anruf.dat"));
        TfmAnruf list(callers, nullptr);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        auto *hint = child<QPushButton>(&list, "HinweisBtn");
        shown << list.windowTitle() << hint->text()
              << child<QTableView>(&list, "dbl")->model()->headerData(2, Qt::Horizontal).toString();
        QString message;
        MsgDlgHook::setHandler([&message](const QString &text, int) {
            message = text;
            return false;
        });
        auto unhook = qScopeGuard([] { MsgDlgHook::setHandler({}); });
        hint->click();
        shown << message;

        TfmMsgDlg question(QStringLiteral("?"), 0);
        shown << question.windowTitle() << child<QPushButton>(&question, "MsgBtn2")->text();
        QDialogButtonBox qtButtons(QDialogButtonBox::Cancel);
        shown << qtButtons.button(QDialogButtonBox::Cancel)->text();

        QCOMPARE(shown, texts);
    }
};

QTEST_MAIN(TestMainLanguage)
#include "TestMainLanguage.moc"
