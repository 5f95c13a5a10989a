#pragma once

#include "widgets/ElidedLabel.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>

class QFrame;

// A picture that can flash: while flashing it shows and hides itself every 500 ms by its own
// timer.
class TBlinkImage : public QLabel
{
    Q_OBJECT
public:
    explicit TBlinkImage(QWidget *parent = nullptr);
    // On: visible and flashing. Off: hidden and still.
    void setBlinking(bool on);
    bool isBlinking() const { return FBlinkTimer.isActive(); }

private:
    QTimer FBlinkTimer;
};

// The small stay-on-top window that tells who calls: the caller in large type, below a line the
// MSN on the left and a hint (service, blocked or ignored) on the right. It places itself where
// the last one was left, takes its colours and background from the settings, and closes itself
// after the display time unless ISDN_Minimize is "0". Every call gets a window of its own.
class TfmCallMsg : public QWidget
{
    Q_OBJECT
public:
    explicit TfmCallMsg(QWidget *parent = nullptr);

    // The texts; each lower label shows its fixed prefix, a blank and the text.
    void setCaller(const QString &caller);
    void setNumber(const QString &number);
    void setHint(const QString &hint);
    // Starts the close timer with this interval; 0 keeps the window until the user closes it.
    void startCloseTimer(int interval);

    // The close timer's tick: stops the timer and closes the window unless ISDN_Minimize is "0".
    void CloseTimerTimer();
    // Brings the window to the front and gives it the focus, even when the main window is hidden.
    void FormActivate();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormShow();
    // Places and sizes the hint so its whole text shows beside the MSN's.
    void fitHint();

    QLabel *lbName = nullptr;
    TBlinkImage *ImageCtrl2 = nullptr;
    QLabel *lbMSN = nullptr;
    TElidedLabel *lbHinweis = nullptr;
    QLabel *Image1 = nullptr;
    QFrame *Bevel1 = nullptr;
    QTimer *CloseTimer = nullptr;
    bool FShown = false;
};

// The display time of ISDN_TimeMinimize in milliseconds: the whole seconds stored (empty: 3),
// 0 for "0", which means the window never closes by itself. A text that is not a whole number of
// seconds gives the default of 3 seconds; very long times are capped at what a timer can hold.
int CallMsgCloseInterval(const QString &timeMinimize);

// Opens a new notification window without waiting for it: Caller in the large line, Number after
// "MSN : ", Hint after "--> " (empty keeps "Anruf "), Title as the caption (empty keeps
// "Anruf von"). The close timer runs from here on. Returns the window, which deletes itself when
// it closes.
TfmCallMsg *ShowCallMsg(const QString &caller, const QString &number, const QString &hint,
                        const QString &title);
