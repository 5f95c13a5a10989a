#pragma once

#include <QLabel>
#include <QWidget>

class QFrame;

// The small stay-on-top window that says a D-Info search runs for a caller's number while the
// automatic look-up of a ring waits for its answer. A sibling of the notification window: same
// size and place (ISDN_CallMsg_Left/Top), font colour, background colour and bitmap.
class TfmDInfMsg : public QWidget
{
    Q_OBJECT
public:
    explicit TfmDInfMsg(QWidget *parent = nullptr);

    // The number, framed in double quotes: "\" 0355 \"".
    void setNumber(const QString &number);

    // Brings the window to the front, even when the main window is hidden.
    void FormActivate();

protected:
    void showEvent(QShowEvent *event) override;
    // Closed by the user: the position is stored and the window only hides; ShowDInfMsg
    // destroys it.
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *Image1 = nullptr;
    QLabel *lbName = nullptr;
    QFrame *Bevel1 = nullptr;
    QLabel *lbHinweis = nullptr;
    QLabel *ImageCtrl2 = nullptr;
    QLabel *lbNr = nullptr;
    bool FShown = false;
};

// Close off: opens a new progress window for `number` without waiting for it. Close on: destroys
// the window of the running look-up (the number is ignored) without storing its position.
void ShowDInfMsg(const QString &number, bool close);
