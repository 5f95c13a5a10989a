#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QPushButton;
class QRadioButton;
class QToolButton;
class TButtonEdit;

// The settings dialog of the notification window: background bitmap, background and text
// colour, whether the bitmap is used and whether the bell flashes, and whether calls for the
// "Externes Fenster" show in this window or as desktop notifications (ISDN_ExtWinDesktop).
// "&Vorschau" stores the values at once and opens a sample notification, which the user drags to
// where calls shall appear.
class TfmExtWin : public QDialog
{
    Q_OBJECT
public:
    explicit TfmExtWin(QWidget *parent = nullptr);

    // Writes ISDN_BmpDir, ISDN_ExtWinBackColor, ISDN_ExtWinFontColor (the texts as they stand),
    // then ISDN_ExtWinShowing, ISDN_ExtUseAnimation and ISDN_ExtWinDesktop. False, after telling
    // the user, when a write failed.
    bool SaveExtWinSettings();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void OptBmpDirEditBtnClick();
    void OptExtWinBackColorEditBtnClick(TButtonEdit *target);
    void PreviewBtnClick();
    void AbortBtnClick();
    void SaveBtnClick();
    // Fills the fields from the settings.
    void FormShow();

    TButtonEdit *OptBmpDir = nullptr;
    TButtonEdit *OptExtWinBackColor = nullptr;
    TButtonEdit *OptExtWinFontColor = nullptr;
    QCheckBox *cbUseBackBmp = nullptr;
    QCheckBox *cbUseAnimation = nullptr;
    QRadioButton *rbOwnWindow = nullptr;
    QRadioButton *rbDesktop = nullptr;
    QPushButton *PreviewBtn = nullptr;
    QPushButton *AbortBtn = nullptr;
    QPushButton *SaveBtn = nullptr;
    bool FShown = false;
};

// Opens the settings dialog modally and destroys it afterwards.
void ShowExtWinConfig();

// ISDN_ExtWinDesktop: calls for the "Externes Fenster" are shown as desktop notifications.
// "0": in the own notification window. Absent: as desktop notifications on Wayland where a
// notification service runs, else in the own window (DesktopSession::CallsAsDesktopNotification).
bool ExtWinAsDesktopNotification();
