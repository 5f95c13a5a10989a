#include "common/Paths.h"
#include "notify/NotifyLook.h"
#include "settings/SettingsStore.h"
#include "support/TestEnv.h"
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
        if (fmCallMsg)
            delete fmCallMsg.data();
        DialogHook::setHandler({});
        MsgDlgHook::setHandler({});
        env.reset();
    }

    void showsDefaultsWhenNothingIsStored()
    {
        TfmExtWin *d = open();
        QCOMPARE(d->windowTitle(), QStringLiteral("Fenster - Einstellungen (Anrufdialog)"));
        QCOMPARE(d->OptBmpDir->text(), NotifyLook::defaultBitmapPath());
        QCOMPARE(d->OptExtWinBackColor->text(), QStringLiteral("clbtnface"));
        QCOMPARE(d->OptExtWinFontColor->text(), QStringLiteral("clyellow"));
        QVERIFY(d->cbUseBackBmp->isChecked());
        QVERIFY(!d->cbUseAnimation->isChecked());
        QVERIFY(d->rbOwnWindow->isChecked()); // the own window stays the default
        QCOMPARE(d->PreviewBtn->text(), QStringLiteral("&Vorschau"));
        QCOMPARE(d->AbortBtn->text(), QStringLiteral("&Abbrechen"));
        QCOMPARE(d->SaveBtn->text(), QStringLiteral("&Speichern"));
        QVERIFY(d->PreviewBtn->x() < d->AbortBtn->x() && d->AbortBtn->x() < d->SaveBtn->x());
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
        QCOMPARE(d->OptBmpDir->text(), QStringLiteral("/home/Anna/Bilder/Wolken.bmp"));
        QCOMPARE(d->OptExtWinBackColor->text(), QStringLiteral("$00adad5c"));
        QCOMPARE(d->OptExtWinFontColor->text(), QStringLiteral("clwhite"));
        QVERIFY(!d->cbUseBackBmp->isChecked());
        QVERIFY(d->cbUseAnimation->isChecked());
        QVERIFY(d->rbDesktop->isChecked());
    }

    void typedColourTextTurnsLowerCase()
    {
        TfmExtWin *d = open();
        d->OptExtWinFontColor->clear();
        QTest::keyClicks(d->OptExtWinFontColor, QStringLiteral("ClRed"));
        QCOMPARE(d->OptExtWinFontColor->text(), QStringLiteral("clred"));
        d->OptBmpDir->clear();
        QTest::keyClicks(d->OptBmpDir, QStringLiteral("/Bilder/A.bmp"));
        QCOMPARE(d->OptBmpDir->text(), QStringLiteral("/Bilder/A.bmp"));
    }

    void colourButtonsAndF2FillTheirOwnEdit()
    {
        WriteSettingString(QStringLiteral("ISDN_ExtWinBackColor"), QStringLiteral("clred"));
        WriteSettingString(QStringLiteral("ISDN_ExtWinFontColor"), QStringLiteral("kein"));
        TfmExtWin *d = open();

        answer = QColor(0x5c, 0xad, 0xad);
        d->OptExtWinBackColor->buttonAction()->trigger();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].kind, DialogHook::Kind::Color);
        QCOMPARE(requests[0].initialColor, QColor(255, 0, 0)); // preset with the edit's colour
        QCOMPARE(d->OptExtWinBackColor->text(), QStringLiteral("$00adad5c"));
        QCOMPARE(d->OptExtWinFontColor->text(), QStringLiteral("kein"));

        answer = QColor(255, 255, 0);
        QTest::keyClick(d->OptExtWinFontColor, Qt::Key_F2);
        QCOMPARE(requests.size(), 2);
        // Not a colour: the dialog starts from the button face colour.
        QCOMPARE(requests[1].initialColor, QApplication::palette().color(QPalette::Button));
        QCOMPARE(d->OptExtWinFontColor->text(), QStringLiteral("clyellow"));
        QCOMPARE(d->OptExtWinBackColor->text(), QStringLiteral("$00adad5c"));

        answer = QVariant(); // cancelled
        QTest::keyClick(d->OptExtWinBackColor, Qt::Key_F2);
        QCOMPARE(requests.size(), 3);
        QCOMPARE(d->OptExtWinBackColor->text(), QStringLiteral("$00adad5c"));
    }

    void bitmapButton()
    {
        WriteSettingString(QStringLiteral("ISDN_BmpDir"), QStringLiteral("/srv/Bilder/alt.bmp"));
        TfmExtWin *d = open();

        answer = QStringLiteral("/srv/Neu/Sonne.bmp");
        QTest::keyClick(d->OptBmpDir, Qt::Key_F2);
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests[0].kind, DialogHook::Kind::OpenFile);
        QCOMPARE(requests[0].title, QStringLiteral("Bitmap auswählen ..."));
        QCOMPARE(requests[0].filter, QStringLiteral("Bitmaps|*.bmp"));
        QCOMPARE(requests[0].initialDir, QStringLiteral("/srv/Bilder"));
        QCOMPARE(d->OptBmpDir->text(), QStringLiteral("/srv/Neu/Sonne.bmp"));

        answer = QStringLiteral("x"); // one character is no choice
        d->OptBmpDir->buttonAction()->trigger();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[1].initialDir, QStringLiteral("/srv/Neu"));
        QCOMPARE(d->OptBmpDir->text(), QStringLiteral("/srv/Neu/Sonne.bmp"));

        answer = QVariant();
        d->OptBmpDir->buttonAction()->trigger();
        QCOMPARE(d->OptBmpDir->text(), QStringLiteral("/srv/Neu/Sonne.bmp"));
    }

    void saveWritesEveryValue()
    {
        TfmExtWin *d = open();
        d->OptBmpDir->setText(QStringLiteral("/srv/Bilder/Meer.bmp"));
        d->OptExtWinBackColor->setText(QStringLiteral("claqua"));
        d->OptExtWinFontColor->setText(QStringLiteral("nicht geprüft"));
        d->cbUseBackBmp->setChecked(false);
        d->cbUseAnimation->setChecked(true);
        d->rbDesktop->setChecked(true);
        QTest::mouseClick(d->SaveBtn, Qt::LeftButton);
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
        again->cbUseBackBmp->setChecked(true);
        again->cbUseAnimation->setChecked(false);
        again->rbOwnWindow->setChecked(true);
        QVERIFY(again->SaveExtWinSettings());
        QCOMPARE(setting("ISDN_ExtWinDesktop"), QStringLiteral("0"));
        QCOMPARE(setting("ISDN_ExtWinShowing"), QStringLiteral("1"));
        QCOMPARE(setting("ISDN_ExtUseAnimation"), QStringLiteral("0"));
        QCOMPARE(setting("ISDN_ExtWinBackColor"), QStringLiteral("claqua"));
    }

    void abortWithoutPreviewStoresNothing()
    {
        TfmExtWin *d = open();
        d->OptExtWinFontColor->setText(QStringLiteral("clred"));
        QTest::mouseClick(d->AbortBtn, Qt::LeftButton);
        QCOMPARE(d->result(), int(QDialog::Rejected));
        QVERIFY(setting("ISDN_ExtWinFontColor").isEmpty());
        QVERIFY(setting("ISDN_ExtWinShowing").isEmpty());
    }

    void previewStoresEvenWhenCancelled()
    {
        WriteSettingString(QStringLiteral("ISDN_TimeMinimize"), QStringLiteral("600"));
        TfmExtWin *d = open();
        d->OptExtWinBackColor->setText(QStringLiteral("clteal"));
        d->OptExtWinFontColor->setText(QStringLiteral("clwhite"));
        d->cbUseBackBmp->setChecked(false);
        QTest::mouseClick(d->PreviewBtn, Qt::LeftButton);

        QVERIFY(fmCallMsg);
        QCOMPARE(fmCallMsg->windowTitle(), QStringLiteral("Verschieben in die gewünschte Position ?"));
        QVERIFY(fmCallMsg->lbMSN->text().contains(QRegularExpression(QStringLiteral("^MSN :  \\d{5} !$"))));
        QCOMPARE(fmCallMsg->lbHinweis->text(), QStringLiteral("-->  Anruf "));
        QVERIFY(!fmCallMsg->lbName->text().isEmpty());
        // The preview already shows the new look.
        QCOMPARE(fmCallMsg->palette().color(QPalette::Window),
                 QColor(0, 0x80, 0x80)); // clteal: $808000 is blue and green
        QCOMPARE(fmCallMsg->lbName->palette().color(QPalette::WindowText), QColor(255, 255, 255));

        QTest::mouseClick(d->AbortBtn, Qt::LeftButton);
        QCOMPARE(setting("ISDN_ExtWinBackColor"), QStringLiteral("clteal"));
        QCOMPARE(setting("ISDN_ExtWinFontColor"), QStringLiteral("clwhite"));
        QCOMPARE(setting("ISDN_ExtWinShowing"), QStringLiteral("0"));

        // Where the user leaves the preview is where calls appear.
        fmCallMsg->setGeometry(QRect(QPoint(40, 30), fmCallMsg->size()));
        fmCallMsg->close();
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
        d->OptExtWinFontColor->setText(QStringLiteral("clred"));
        QTest::mouseClick(d->SaveBtn, Qt::LeftButton);
        QCOMPARE(messages.size(), 1);
        QVERIFY(d->isVisible());
        QCOMPARE(d->OptExtWinFontColor->text(), QStringLiteral("clred"));

        QTest::mouseClick(d->PreviewBtn, Qt::LeftButton);
        QCOMPARE(messages.size(), 2);
        QVERIFY(fmCallMsg.isNull()); // no preview of settings that were not stored
    }

    void showExtWinConfigRunsModallyAndDestroys()
    {
        WriteSettingString(QStringLiteral("ISDN_TimeMinimize"), QStringLiteral("600"));
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        QPointer<TfmExtWin> seen;
        bool modal = false;
        QTimer::singleShot(0, this, [&] {
            seen = fmExtWin;
            modal = QApplication::activeModalWidget() == fmExtWin.data();
            if (fmExtWin) {
                fmExtWin->PreviewBtn->click();
                fmExtWin->AbortBtn->click();
            }
        });
        ShowExtWinConfig();
        QVERIFY(modal);
        QVERIFY(seen.isNull());
        QVERIFY(fmExtWin.isNull());
        QCOMPARE(setting("ISDN_ExtWinFontColor"), QStringLiteral("clyellow"));
        // The preview outlives the dialog; the user closes it where it shall stay.
        QVERIFY(fmCallMsg);
        QVERIFY(fmCallMsg->isVisible());
        fmCallMsg->setGeometry(QRect(QPoint(77, 66), fmCallMsg->size()));
        fmCallMsg->close();
        QCOMPARE(ReadSettingInteger(QStringLiteral("ISDN_CallMsg_Left")), 77);
        QCOMPARE(lastClosed.count(), 0);
    }
};

QTEST_MAIN(TestExtWin)
#include "TestNotificationSettings.moc"
