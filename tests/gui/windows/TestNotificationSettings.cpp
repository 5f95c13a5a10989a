#include "common/Paths.h"
#include "notify/NotifyLook.h"
#include "settings/SettingsStore.h"
#include "support/TestEnv.h"
#include "support/WindowTest.h"
#include "widgets/ButtonEdit.h"
#include "widgets/MessageDialog.h"
#include "widgets/StandardDialogs.h"
#include "windows/CallNotification.h"
#include "windows/NotificationSettings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

class TestExtWin : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<TfmExtWin> dialog;
    QList<DialogHook::Request> requests;
    QVariant answer; // what the next chooser returns; null: cancelled
    NewestWindow<TfmCallMsg> preview;

    TfmExtWin *open()
    {
        dialog = std::make_unique<TfmExtWin>();
        dialog->show();
        return dialog.get();
    }

    static QString setting(const char *name) { return ReadSettingString(QLatin1String(name)); }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        requests.clear();
        answer = QVariant();
        DialogHook::setHandler([this](const DialogHook::Request &request) {
            requests.append(request);
            return answer;
        });
    }
    void cleanup()
    {
        dialog.reset();
        delete preview.get();
        DialogHook::setHandler({});
        MsgDlgHook::setHandler({});
        env.reset();
    }

    void showsDefaultsWhenNothingIsStored()
    {
        TfmExtWin *d = open();
        QCOMPARE(d->windowTitle(), QStringLiteral("Fenster - Einstellungen (Anrufdialog)"));
        QCOMPARE(child<TButtonEdit>(d, "OptBmpDir")->text(), NotifyLook::defaultBitmapPath());
        QCOMPARE(child<TButtonEdit>(d, "OptExtWinBackColor")->text(), QStringLiteral("clbtnface"));
        QCOMPARE(child<TButtonEdit>(d, "OptExtWinFontColor")->text(), QStringLiteral("clyellow"));
        QVERIFY(child<QCheckBox>(d, "cbUseBackBmp")->isChecked());
        QVERIFY(!child<QCheckBox>(d, "cbUseAnimation")->isChecked());
        QVERIFY(child<QRadioButton>(d, "rbOwnWindow")->isChecked()); // the own window stays the default
        QCOMPARE(child<QPushButton>(d, "PreviewBtn")->text(), QStringLiteral("&Vorschau"));
        QCOMPARE(child<QPushButton>(d, "AbortBtn")->text(), QStringLiteral("&Abbrechen"));
        QCOMPARE(child<QPushButton>(d, "SaveBtn")->text(), QStringLiteral("&Speichern"));
        QVERIFY(child<QPushButton>(d, "PreviewBtn")->x() < child<QPushButton>(d, "AbortBtn")->x() &&
                child<QPushButton>(d, "AbortBtn")->x() < child<QPushButton>(d, "SaveBtn")->x());
    }

    void showsStoredValuesColoursInLowerCase()
    {
        WriteSettingString(QStringLiteral("ISDN_BmpDir"), QStringLiteral("/home/Anna/Bilder/Wolken.bmp"));
        WriteSettingString(QStringLiteral("ISDN_ExtWinBackColor"), QStringLiteral("$00ADAD5C"));
        WriteSettingString(QStringLiteral("ISDN_ExtWinFontColor"), QStringLiteral("clWhite"));
        WriteSettingFlag(QStringLiteral("ISDN_ExtWinShowing"), false);
        WriteSettingFlag(QStringLiteral("ISDN_ExtUseAnimation"), true);
        WriteSettingFlag(QStringLiteral("ISDN_ExtWinDesktop"), true);
        TfmExtWin *d = open();
        // File names differ by case on this system, so the path stays as it is.
        QCOMPARE(child<TButtonEdit>(d, "OptBmpDir")->text(), QStringLiteral("/home/Anna/Bilder/Wolken.bmp"));
        QCOMPARE(child<TButtonEdit>(d, "OptExtWinBackColor")->text(), QStringLiteral("$00adad5c"));
        QCOMPARE(child<TButtonEdit>(d, "OptExtWinFontColor")->text(), QStringLiteral("clwhite"));
        QVERIFY(!child<QCheckBox>(d, "cbUseBackBmp")->isChecked());
        QVERIFY(child<QCheckBox>(d, "cbUseAnimation")->isChecked());
        QVERIFY(child<QRadioButton>(d, "rbDesktop")->isChecked());
    }

    void typedColourTextTurnsLowerCase()
    {
        TfmExtWin *d = open();
        child<TButtonEdit>(d, "OptExtWinFontColor")->clear();
        QTest::keyClicks(child<TButtonEdit>(d, "OptExtWinFontColor"), QStringLiteral("ClRed"));
        QCOMPARE(child<TButtonEdit>(d, "OptExtWinFontColor")->text(), QStringLiteral("clred"));
        child<TButtonEdit>(d, "OptBmpDir")->clear();
        QTest::keyClicks(child<TButtonEdit>(d, "OptBmpDir"), QStringLiteral("/Bilder/A.bmp"));
        QCOMPARE(child<TButtonEdit>(d, "OptBmpDir")->text(), QStringLiteral("/Bilder/A.bmp"));
    }

    void colourButtonsAndF2FillTheirOwnEdit()
    {
        WriteSettingString(QStringLiteral("ISDN_ExtWinBackColor"), QStringLiteral("clred"));
        WriteSettingString(QStringLiteral("ISDN_ExtWinFontColor"), QStringLiteral("kein"));
        TfmExtWin *d = open();

        answer = QColor(0x5c, 0xad, 0xad);
        child<TButtonEdit>(d, "OptExtWinBackColor")->buttonAction()->trigger();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].kind, DialogHook::Kind::Color);
        QCOMPARE(requests[0].initialColor, QColor(255, 0, 0)); // preset with the edit's colour
        QCOMPARE(child<TButtonEdit>(d, "OptExtWinBackColor")->text(), QStringLiteral("$00adad5c"));
        QCOMPARE(child<TButtonEdit>(d, "OptExtWinFontColor")->text(), QStringLiteral("kein"));

        answer = QColor(255, 255, 0);
        QTest::keyClick(child<TButtonEdit>(d, "OptExtWinFontColor"), Qt::Key_F2);
        QCOMPARE(requests.size(), 2);
        // Not a colour: the dialog starts from the button face colour.
        QCOMPARE(requests[1].initialColor, QApplication::palette().color(QPalette::Button));
        QCOMPARE(child<TButtonEdit>(d, "OptExtWinFontColor")->text(), QStringLiteral("clyellow"));
        QCOMPARE(child<TButtonEdit>(d, "OptExtWinBackColor")->text(), QStringLiteral("$00adad5c"));

        answer = QVariant(); // cancelled
        QTest::keyClick(child<TButtonEdit>(d, "OptExtWinBackColor"), Qt::Key_F2);
        QCOMPARE(requests.size(), 3);
        QCOMPARE(child<TButtonEdit>(d, "OptExtWinBackColor")->text(), QStringLiteral("$00adad5c"));
    }

    void bitmapButton()
    {
        WriteSettingString(QStringLiteral("ISDN_BmpDir"), QStringLiteral("/srv/Bilder/alt.bmp"));
        TfmExtWin *d = open();

        answer = QStringLiteral("/srv/Neu/Sonne.bmp");
        QTest::keyClick(child<TButtonEdit>(d, "OptBmpDir"), Qt::Key_F2);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].kind, DialogHook::Kind::OpenFile);
        QCOMPARE(requests[0].title, QStringLiteral("Bitmap auswählen ..."));
        QCOMPARE(requests[0].filter, QStringLiteral("Bitmaps|*.bmp"));
        QCOMPARE(requests[0].initialDir, QStringLiteral("/srv/Bilder"));
        QCOMPARE(child<TButtonEdit>(d, "OptBmpDir")->text(), QStringLiteral("/srv/Neu/Sonne.bmp"));

        answer = QStringLiteral("x"); // one character is no choice
        child<TButtonEdit>(d, "OptBmpDir")->buttonAction()->trigger();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[1].initialDir, QStringLiteral("/srv/Neu"));
        QCOMPARE(child<TButtonEdit>(d, "OptBmpDir")->text(), QStringLiteral("/srv/Neu/Sonne.bmp"));

        answer = QVariant();
        child<TButtonEdit>(d, "OptBmpDir")->buttonAction()->trigger();
        QCOMPARE(child<TButtonEdit>(d, "OptBmpDir")->text(), QStringLiteral("/srv/Neu/Sonne.bmp"));
    }

    void saveWritesEveryValue()
    {
        TfmExtWin *d = open();
        child<TButtonEdit>(d, "OptBmpDir")->setText(QStringLiteral("/srv/Bilder/Meer.bmp"));
        child<TButtonEdit>(d, "OptExtWinBackColor")->setText(QStringLiteral("claqua"));
        child<TButtonEdit>(d, "OptExtWinFontColor")->setText(QStringLiteral("nicht geprüft"));
        child<QCheckBox>(d, "cbUseBackBmp")->setChecked(false);
        child<QCheckBox>(d, "cbUseAnimation")->setChecked(true);
        child<QRadioButton>(d, "rbDesktop")->setChecked(true);
        QTest::mouseClick(child<QPushButton>(d, "SaveBtn"), Qt::LeftButton);
        QCOMPARE(d->result(), int(QDialog::Accepted));
        QVERIFY(!d->isVisible());
        QCOMPARE(setting("ISDN_BmpDir"), QStringLiteral("/srv/Bilder/Meer.bmp"));
        QCOMPARE(setting("ISDN_ExtWinBackColor"), QStringLiteral("claqua"));
        QCOMPARE(setting("ISDN_ExtWinFontColor"), QStringLiteral("nicht geprüft"));
        QCOMPARE(setting("ISDN_ExtWinShowing"), QStringLiteral("0"));
        QCOMPARE(setting("ISDN_ExtUseAnimation"), QStringLiteral("1"));
        QCOMPARE(setting("ISDN_ExtWinDesktop"), QStringLiteral("1"));

        // Saving the defaults stores them too, so the next dialog shows the same.
        TfmExtWin *again = open();
        child<QCheckBox>(again, "cbUseBackBmp")->setChecked(true);
        child<QCheckBox>(again, "cbUseAnimation")->setChecked(false);
        child<QRadioButton>(again, "rbOwnWindow")->setChecked(true);
        QVERIFY(again->SaveExtWinSettings());
        QCOMPARE(setting("ISDN_ExtWinDesktop"), QStringLiteral("0"));
        QCOMPARE(setting("ISDN_ExtWinShowing"), QStringLiteral("1"));
        QCOMPARE(setting("ISDN_ExtUseAnimation"), QStringLiteral("0"));
        QCOMPARE(setting("ISDN_ExtWinBackColor"), QStringLiteral("claqua"));
    }

    void abortWithoutPreviewStoresNothing()
    {
        TfmExtWin *d = open();
        child<TButtonEdit>(d, "OptExtWinFontColor")->setText(QStringLiteral("clred"));
        QTest::mouseClick(child<QPushButton>(d, "AbortBtn"), Qt::LeftButton);
        QCOMPARE(d->result(), int(QDialog::Rejected));
        QVERIFY(setting("ISDN_ExtWinFontColor").isEmpty());
        QVERIFY(setting("ISDN_ExtWinShowing").isEmpty());
    }

    void previewStoresEvenWhenCancelled()
    {
        WriteSettingString(QStringLiteral("ISDN_TimeMinimize"), QStringLiteral("600"));
        TfmExtWin *d = open();
        child<TButtonEdit>(d, "OptExtWinBackColor")->setText(QStringLiteral("clteal"));
        child<TButtonEdit>(d, "OptExtWinFontColor")->setText(QStringLiteral("clwhite"));
        child<QCheckBox>(d, "cbUseBackBmp")->setChecked(false);
        QTest::mouseClick(child<QPushButton>(d, "PreviewBtn"), Qt::LeftButton);

        QVERIFY(preview);
        QCOMPARE(preview.get()->windowTitle(), QStringLiteral("Verschieben in die gewünschte Position ?"));
        QVERIFY(child<QLabel>(preview.get(), "lbMSN")
                    ->text()
                    .contains(QRegularExpression(QStringLiteral("^MSN :  \\d{5} !$"))));
        QCOMPARE(child<TElidedLabel>(preview.get(), "lbHinweis")->text(), QStringLiteral("-->  Anruf "));
        QVERIFY(!child<QLabel>(preview.get(), "lbName")->text().isEmpty());
        // The preview already shows the new look.
        QCOMPARE(preview.get()->palette().color(QPalette::Window),
                 QColor(0, 0x80, 0x80)); // clteal: $808000 is blue and green
        QCOMPARE(child<QLabel>(preview.get(), "lbName")->palette().color(QPalette::WindowText),
                 QColor(255, 255, 255));

        QTest::mouseClick(child<QPushButton>(d, "AbortBtn"), Qt::LeftButton);
        QCOMPARE(setting("ISDN_ExtWinBackColor"), QStringLiteral("clteal"));
        QCOMPARE(setting("ISDN_ExtWinFontColor"), QStringLiteral("clwhite"));
        QCOMPARE(setting("ISDN_ExtWinShowing"), QStringLiteral("0"));

        // Where the user leaves the preview is where calls appear.
        preview.get()->setGeometry(QRect(QPoint(40, 30), preview.get()->size()));
        preview.get()->close();
        QCOMPARE(ReadSettingInteger(QStringLiteral("ISDN_CallMsg_Left")), 40);
        QCOMPARE(ReadSettingInteger(QStringLiteral("ISDN_CallMsg_Top")), 30);
    }

    void failedSaveKeepsTheDialogOpen()
    {
        // The settings folder cannot be made: a file stands in its place.
        const QString folder = QFileInfo(Paths::settingsFile()).path();
        QDir(folder).removeRecursively();
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        QStringList messages;
        MsgDlgHook::setHandler([&messages](const QString &text, int) {
            messages << text;
            return true;
        });
        TfmExtWin *d = open();
        child<TButtonEdit>(d, "OptExtWinFontColor")->setText(QStringLiteral("clred"));
        QTest::mouseClick(child<QPushButton>(d, "SaveBtn"), Qt::LeftButton);
        QCOMPARE(messages.size(), 1);
        QVERIFY(d->isVisible());
        QCOMPARE(child<TButtonEdit>(d, "OptExtWinFontColor")->text(), QStringLiteral("clred"));

        QTest::mouseClick(child<QPushButton>(d, "PreviewBtn"), Qt::LeftButton);
        QCOMPARE(messages.size(), 2);
        QVERIFY(!preview); // no preview of settings that were not stored
    }

    void showExtWinConfigRunsModallyAndDestroys()
    {
        WriteSettingString(QStringLiteral("ISDN_TimeMinimize"), QStringLiteral("600"));
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        QPointer<TfmExtWin> seen;
        bool modal = false;
        QTimer::singleShot(0, this, [&] {
            seen = qobject_cast<TfmExtWin *>(QApplication::activeModalWidget());
            modal = !seen.isNull();
            if (seen) {
                child<QPushButton>(seen, "PreviewBtn")->click();
                child<QPushButton>(seen, "AbortBtn")->click();
            }
        });
        ShowExtWinConfig();
        QVERIFY(modal);
        QVERIFY(seen.isNull());
        QCOMPARE(setting("ISDN_ExtWinFontColor"), QStringLiteral("clyellow"));
        // The preview outlives the dialog; the user closes it where it shall stay.
        QVERIFY(preview);
        QVERIFY(preview.get()->isVisible());
        preview.get()->setGeometry(QRect(QPoint(77, 66), preview.get()->size()));
        preview.get()->close();
        QCOMPARE(ReadSettingInteger(QStringLiteral("ISDN_CallMsg_Left")), 77);
        QCOMPARE(lastClosed.count(), 0);
    }
};

QTEST_MAIN(TestExtWin)
#include "TestNotificationSettings.moc"
