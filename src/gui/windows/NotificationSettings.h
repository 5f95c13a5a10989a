#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QString>

class QCheckBox;
class QPushButton;
class QToolButton;

// An edit with a small button at its right; the key F2 in the edit presses the button too.
// With lowerCase on, everything shown or typed turns to lower case.
class TEditBtn : public QWidget
{
    Q_OBJECT
public:
    explicit TEditBtn(bool lowerCase, QWidget *parent = nullptr);
    QString text() const { return FEdit->text(); }
    void setText(const QString &text);
    QLineEdit *edit() const { return FEdit; }
    QToolButton *button() const { return FButton; }

Q_SIGNALS:
    void buttonClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *FEdit;
    QToolButton *FButton;
    bool FLowerCase;
};

// The settings dialog of the notification window: background bitmap, background and text
// colour, whether the bitmap is used and whether the bell flashes. "&Vorschau" stores the values
// at once and opens a sample notification, which the user drags to where calls shall appear.
class TfmExtWin : public QDialog
{
    Q_OBJECT
public:
    explicit TfmExtWin(QWidget *parent = nullptr);

    TEditBtn *OptBmpDir = nullptr;
    TEditBtn *OptExtWinBackColor = nullptr;
    TEditBtn *OptExtWinFontColor = nullptr;
    QCheckBox *cbUseBackBmp = nullptr;
    QCheckBox *cbUseAnimation = nullptr;
    QPushButton *PreviewBtn = nullptr;
    QPushButton *AbortBtn = nullptr;
    QPushButton *SaveBtn = nullptr;

    // Writes ISDN_BmpDir, ISDN_ExtWinBackColor, ISDN_ExtWinFontColor (the texts as they stand),
    // then ISDN_ExtWinShowing and ISDN_ExtUseAnimation. False, after telling the user, when a
    // write failed.
    bool SaveExtWinSettings();

    void OptBmpDirEditBtnClick();
    void OptExtWinBackColorEditBtnClick(TEditBtn *target);
    void PreviewBtnClick();
    void AbortBtnClick();
    void SaveBtnClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // Fills the fields from the settings.
    void FormShow();
    bool FShown = false;
};

// The dialog while it is open, else null.
extern QPointer<TfmExtWin> fmExtWin;

// Opens the settings dialog modally and destroys it afterwards.
void ShowExtWinConfig();
