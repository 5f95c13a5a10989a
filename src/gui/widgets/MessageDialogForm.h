#pragma once

#include "widgets/ToolDialog.h"

class QFrame;
class QLabel;
class QPushButton;

// The message dialog behind ShowMessageDlg / AskMessageDlg (MessageDialog.h). Exposed so that
// the layout can be checked (its controls by object name); the program itself only calls the two
// functions.
class TfmMsgDlg : public TToolDialog
{
    Q_OBJECT
public:
    TfmMsgDlg(const QString &text, int kind, QWidget *parent = nullptr);

    // 1 when the right-hand button closed the dialog, otherwise 0.
    int resultByte() const { return m_result; }
    int kind() const { return m_kind; }

protected:
    void FormShow() override;

private:
    // The dialog's client size at design time and the room planned for the text.
    static constexpr int kWidth = 256;
    static constexpr int kHeight = 142;
    static constexpr int kTextWidth = 196;
    static constexpr int kTextHeight = 81;
    // Room left between the widest dialog and the edges of its screen.
    static constexpr int kScreenMargin = 32;

    void MsgBtn1Click();
    void MsgBtn2Click();

    QString m_text;
    int m_kind;
    int m_result = 0;

    QLabel *Image1;
    QLabel *MsgLabel;
    QFrame *Bevel1;
    QPushButton *MsgBtn1;
    QPushButton *MsgBtn2;
};
