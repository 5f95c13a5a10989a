#pragma once

#include <QDialog>
#include <QPointer>

// The program's modal dialogs: a title bar with only a close box, a fixed size, centred on the
// screen when first shown. FormShow runs once, before the first showing, and the focus goes
// to the widget named with setFocusOnShow each time the dialog is shown.
class TToolDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TToolDialog(QWidget *parent = nullptr);

protected:
    virtual void FormShow() {}
    void setFocusOnShow(QWidget *widget) { m_focus = widget; }
    void showEvent(QShowEvent *event) override;

private:
    QPointer<QWidget> m_focus;
    bool m_shown = false;
};

// Moves a top-level window to the centre of its screen.
void CenterOnScreen(QWidget *window);
